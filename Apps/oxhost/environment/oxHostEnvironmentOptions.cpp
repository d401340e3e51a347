#include "oxHostEnvironmentOptions.h"

#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisSettings.h"
#include "oxHostRoomOptions.h"

#include <QFileInfo>

namespace
{
// The built-in's number, or the image's index for anything else (a file).
unsigned environmentOf(const std::string& value)
{
    for (unsigned i = 0; i < oxEnvironmentImage; ++i)
        if (value == oxEnvironmentNames[i])
            return i;
    return oxEnvironmentImage;
}

QString builtIns()
{
    QStringList names;
    for (unsigned i = 0; i < oxEnvironmentImage; ++i)
        names << oxEnvironmentNames[i];
    return names.join(", ");
}

QStringList domain()
{
    return {builtIns()};
}

bool check(const std::string& value, std::string& error)
{
    if (environmentOf(value) != oxEnvironmentImage || QFileInfo(QString::fromStdString(value)).isFile())
        return true;
    error = "--environment needs a built-in studio (" + builtIns().toStdString() +
            ") or an image file (PNG or JPEG), not \"" + value + "\": no such file";
    return false;
}

// The value was checked with the command line; the last one given counts.
bool apply(const oxHostRoomOptions::Given& given, std::string& error)
{
    const auto environment = given.find("environment");
    if (environment == given.end() || environment->second.empty())
        return true;
    const std::string& value = environment->second.back();
    const unsigned which = environmentOf(value);
    oxHostAnalysisModel* host = oxHostAnalysisModel::the();
    if (which == oxEnvironmentImage &&
        !host->setEnvironmentImage(QFileInfo(QString::fromStdString(value)).absoluteFilePath().toStdString(), &error))
        return false;
    return host->setEnvironmentMap(which, &error) && host->setEnvironmentActive(true, &error);
}
} // namespace

void oxHostEnvironmentOptions::add()
{
    oxHostRoomOptions::add({"environment", "analysis", "NAME|FILE", "a built-in studio or an image file",
                            "switch the environment reflection on before the script, and the surface analysis off: a "
                            "built-in studio (%1) or an equirectangular PNG or JPEG image, its top row up the model's "
                            "Z: --environment horizon",
                            domain, check, true});
    oxHostRoomOptions::addApply(apply);
}
