#include "oxHostProject.h"

#include "oxFileIO.h"
#include "oxHostPlacementEdit.h"
#include "oxHostScene.h"
#include "oxKernel.h"
#include "oxMessage.h"
#include "oxProjectFile.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxUndoStack.h"

namespace
{
// The host's flag in the project message; it tells modules which way the message goes and is
// not part of the project.
const char* const LoadingKey = "_loading";

void sendProjectMessage(bool loading)
{
    oxMessage& project = oxFileIO::getProject();
    project.set(LoadingKey, loading, true);
    oxMessage msg(oxKernel::ProjectMessage);
    oxKernel::sendMessage(msg);
    project.remove(LoadingKey);
}
} // namespace

void oxHostProject::newScene()
{
    oxHostScene::clear();
    // The placement belongs to the model that went: the next one sits where its file puts it.
    oxHostPlacementEdit::setPlacement(osg::Matrix());
    if (oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils())
        utils->replaceAttachment();
    oxFileIO::getProject().clear();
    oxUndoStack::get(0).clear();
    oxMessage msg(oxKernel::NewSceneMessage);
    oxKernel::sendMessage(msg);
}

bool oxHostProject::save(const std::string& path, std::string& error)
{
    sendProjectMessage(false);
    oxHostPlacementEdit::save(oxFileIO::getProject());
    return oxProjectFile::write(path, oxFileIO::getProject(), error);
}

bool oxHostProject::load(const std::string& path, std::string& error)
{
    oxMessage values;
    if (!oxProjectFile::read(path, values, error))
        return false;
    oxMessage& project = oxFileIO::getProject();
    project.clear();
    for (const auto& entry : values.values())
        project.set(entry.first, entry.second, true);
    oxUndoStack::get(0).clear();
    sendProjectMessage(true);
    oxHostPlacementEdit::load(project);
    return true;
}
