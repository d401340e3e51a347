#include "oxRenderVersions.h"

#include <Standard_Version.hxx>
#include <assimp/version.h>
#include <embree3/rtcore_config.h>

std::vector<std::pair<std::string, std::string>> oxRenderVersions()
{
    // Assimp says which library is loaded; Open CASCADE and Embree only which headers we built with.
    const std::string assimp = std::to_string(aiGetVersionMajor()) + "." + std::to_string(aiGetVersionMinor()) + "." +
                               std::to_string(aiGetVersionPatch());
    return {{"Open CASCADE", OCC_VERSION_COMPLETE}, {"Embree", RTC_VERSION_STRING}, {"Assimp", assimp}};
}
