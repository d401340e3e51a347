#include "oxHostCommandLine.h"

#include "oxHostAnalysisSettings.h"

#include <algorithm>

namespace
{
// One part of --colormap's value after the name: "reverse" or "steps=N"; false for anything else.
bool colourMapPart(const QString& part, bool& reversed, int& steps)
{
    if (part.compare("reverse", Qt::CaseInsensitive) == 0 || part.compare("reversed", Qt::CaseInsensitive) == 0)
        return reversed = true;
    if (!part.startsWith("steps=", Qt::CaseInsensitive))
        return false;
    bool ok = false;
    steps = part.mid(6).toInt(&ok);
    return ok;
}
} // namespace

QStringList oxHostCommandLine::colourMapDomain()
{
    QStringList names;
    for (const char* name : oxColourMapNames)
        names << name;
    oxSettingDomain steps = oxHostAnalysisRows::ColourMapSteps.domain;
    steps.min = std::max(steps.min, 1.0);
    return {names.join(", "), QString::fromStdString(steps.text())};
}

bool oxHostCommandLine::colourMap(const std::string& option, const std::string& value, ColourMap& out,
                                  std::string& error)
{
    const QStringList parts = QString::fromStdString(value).split(',');
    QString name = parts[0].trimmed();
    const int colon = name.indexOf(':');
    bool ok = true;
    int steps = colon < 0 ? 0 : name.mid(colon + 1).toInt(&ok);
    name = colon < 0 ? name : name.left(colon);
    bool reversed = name.endsWith("_r", Qt::CaseInsensitive);
    if (reversed)
        name.chop(2);
    bool stepped = colon >= 0;
    for (int i = 1; i < parts.size() && ok; ++i)
    {
        ok = colourMapPart(parts[i].trimmed(), reversed, steps);
        stepped = stepped || parts[i].trimmed().startsWith("steps=", Qt::CaseInsensitive);
    }
    const int map = oxHostAnalysisRows::colourMap(name.toStdString());
    if (map < 0 || !ok || (stepped && (steps < 1 || !oxHostAnalysisRows::ColourMapSteps.domain.contains(steps))))
    {
        const QStringList domain = colourMapDomain();
        error = option + " needs a colour map's name (" + domain[0].toStdString() +
                "), optionally followed by ,reverse and ,steps=N, a number of bands " + domain[1].toStdString() +
                " (or NAME_r:N), not \"" + value + "\"";
        return false;
    }
    out.map = unsigned(map);
    out.reversed = reversed;
    out.steps = unsigned(steps);
    return true;
}
