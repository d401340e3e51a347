#include "oxHostDraftOptions.h"

#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisSettings.h"
#include "oxHostRoomOptions.h"

namespace
{
QStringList domain()
{
    return {QString::fromStdString(oxHostAnalysisRows::DraftAngle.domain.text()),
            QString::fromStdString(oxSettingDomain::number(oxHostAnalysisSettings().DraftAngle))};
}

// DIR[:ANGLE]; a negative angle when none is given.
bool parse(const std::string& value, std::array<float, 3>& direction, float& angle)
{
    // The last colon parts the angle off: directions hold none.
    const QString text = QString::fromStdString(value);
    const int colon = text.lastIndexOf(':');
    bool angleOk = colon < 0;
    angle = colon < 0 ? -1.f : text.mid(colon + 1).toFloat(&angleOk);
    return oxHostRoomOptions::directionText(colon < 0 ? text : text.left(colon), direction) && angleOk &&
           (colon < 0 || oxHostAnalysisRows::DraftAngle.domain.contains(angle));
}

bool check(const std::string& value, std::string& error)
{
    std::array<float, 3> direction;
    float angle = 0.f;
    if (parse(value, direction, angle))
        return true;
    error = "--draft needs a pull direction x, y, z, -x, -y, -z or X,Y,Z (three numbers, not all zero), "
            "optionally followed by :ANGLE, the least draft in degrees, " +
            oxHostAnalysisRows::DraftAngle.domain.text() + ", not \"" + value + "\"";
    return false;
}

// The value was checked with the command line; the last one given counts.
bool apply(const oxHostRoomOptions::Given& given, std::string& error)
{
    const auto draft = given.find("draft");
    if (draft == given.end() || draft->second.empty())
        return true;
    std::array<float, 3> d{0.f, 0.f, 1.f};
    float angle = -1.f;
    parse(draft->second.back(), d, angle);
    oxHostAnalysisModel* host = oxHostAnalysisModel::the();
    return host->setDraftDirection(osg::Vec3f(d[0], d[1], d[2]), &error) &&
           (angle < 0.f || host->setDraftAngle(angle, &error)) && host->setDraftActive(true, &error);
}
} // namespace

void oxHostDraftOptions::add()
{
    oxHostRoomOptions::add({"draft", "analysis", "DIR[:ANGLE]",
                            "a pull direction (x, y, z, -x, -y, -z or X,Y,Z) and optionally :ANGLE",
                            "switch the draft angle analysis on before the script, and the surface analysis off: the "
                            "pull direction x, y, z, -x, -y, -z or X,Y,Z (three numbers), and the least draft in "
                            "degrees, %1 (%2 unless given): --draft z:3",
                            domain, check, true});
    oxHostRoomOptions::addApply(apply);
}
