#include "oxHostRoomOptions.h"

#include <cmath>

namespace
{
std::vector<oxHostRoomOption>& options()
{
    static std::vector<oxHostRoomOption> list;
    return list;
}

std::vector<oxHostRoomOptions::Apply>& applies()
{
    static std::vector<oxHostRoomOptions::Apply> list;
    return list;
}
} // namespace

void oxHostRoomOptions::add(const oxHostRoomOption& option)
{
    options().push_back(option);
}

const std::vector<oxHostRoomOption>& oxHostRoomOptions::all()
{
    return options();
}

void oxHostRoomOptions::addApply(Apply apply)
{
    applies().push_back(apply);
}

bool oxHostRoomOptions::apply(const Given& given, std::string& error)
{
    for (Apply a : applies())
        if (!a(given, error))
            return false;
    return true;
}

bool oxHostRoomOptions::colours(const Given& given)
{
    for (const oxHostRoomOption& o : options())
        if (o.colours && given.count(QString::fromLatin1(o.names).section(',', -1).toStdString()))
            return true;
    return false;
}

bool oxHostRoomOptions::vectorText(const QString& text, std::array<float, 3>& v)
{
    const QStringList parts = text.split(',');
    if (parts.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i)
    {
        bool ok = false;
        v[i] = parts[i].trimmed().toFloat(&ok);
        if (!ok || !std::isfinite(v[i]))
            return false;
    }
    return v[0] != 0.f || v[1] != 0.f || v[2] != 0.f;
}

bool oxHostRoomOptions::directionText(const QString& text, std::array<float, 3>& v)
{
    const QString axes[] = {"x", "y", "z"};
    for (int i = 0; i < 3; ++i)
        for (int sign : {1, -1})
            if (text == (sign < 0 ? "-" : "") + axes[i])
            {
                v = {0.f, 0.f, 0.f};
                v[i] = float(sign);
                return true;
            }
    return vectorText(text, v);
}
