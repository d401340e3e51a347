#include "oxHostEnvironmentProject.h"

#include "oxHostAnalysisSettings.h"

#include "oxFileIO.h"
#include "oxKernel.h"
#include "oxMessage.h"
#include "oxModuleBase.h"

#include <QCryptographicHash>
#include <QFile>

#include <cstdio>

namespace P = oxHostEnvironmentProject;

const char* const P::HashKey = "Host Environment Image SHA-256";

namespace
{
std::string imagePath(const oxMessage& project)
{
    std::string path;
    project.get(oxHostAnalysisRows::EnvironmentImage.projectKey, path);
    return path;
}

// Listens to the project's save and load beside the settings model, which loads the path itself.
class ProjectListener : public oxModuleBase
{
public:
    ProjectListener() : oxModuleBase("oxHostEnvironment", "Environment image", oxKernel::ProjectMessage, nullptr) {}

    bool receivedMessage(oxMessage& msg) override
    {
        if (msg.id() != oxKernel::ProjectMessage)
            return false;
        oxMessage& project = oxFileIO::getProject();
        bool loading = false;
        if (!project.get("_loading", loading))
            return false;
        if (!loading)
            P::save(project);
        else
        {
            const std::string message = P::check(project);
            if (!message.empty())
                std::fprintf(stderr, "oxhost: %s\n", message.c_str());
        }
        return false;
    }
};
} // namespace

std::string P::contentHash(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::string();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return std::string();
    return hash.result().toHex().toStdString();
}

void P::save(oxMessage& project)
{
    const std::string path = imagePath(project);
    const std::string hash = path.empty() ? std::string() : contentHash(path);
    if (hash.empty())
        project.remove(HashKey);
    else
        project.set(HashKey, std::string(hash), true);
}

std::string P::check(const oxMessage& project)
{
    const std::string path = imagePath(project);
    if (path.empty())
        return std::string();
    const std::string now = contentHash(path);
    const std::string standIn = oxEnvironmentNames[oxHostAnalysisSettings().EnvironmentMap];
    if (now.empty())
        return "the environment image \"" + path + "\" is missing or cannot be read; the " + standIn +
               " studio stands in for it";
    std::string saved;
    if (project.get(HashKey, saved) && saved != now)
        return "the environment image \"" + path +
               "\" has changed since the project was saved; it is shown as it is now";
    return std::string();
}

void P::install()
{
    // Registered with the kernel for the rest of the run, as the settings model is.
    static ProjectListener* listener = new ProjectListener;
    (void)listener;
}
