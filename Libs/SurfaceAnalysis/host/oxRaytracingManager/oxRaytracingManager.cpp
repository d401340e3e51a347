#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"

namespace
{
// A plain pointer, constant-initialised and never destroyed: module statics may ask for the utilities
// during process exit, whatever the destruction order. Utilities the host does not remove stay reachable.
oxRaytracingUtilsBase* s_utils = nullptr;
} // namespace

oxRaytracingUtilsBase* oxRaytracingManager::getRaytracingUtils()
{
    return s_utils;
}

oxRaytracingUtilsBase* oxRaytracingManager::createRaytracingUtils()
{
    setRaytracingUtils(new oxRaytracingUtilsBase);
    return s_utils;
}

void oxRaytracingManager::setRaytracingUtils(oxRaytracingUtilsBase* utils)
{
    if (utils == s_utils)
        return;
    // Unpublish first, so the dying utilities' record is not found through the manager.
    oxRaytracingUtilsBase* old = s_utils;
    s_utils = utils;
    delete old;
}

void oxRaytracingManager::removeRaytracingUtils()
{
    setRaytracingUtils(nullptr);
}
