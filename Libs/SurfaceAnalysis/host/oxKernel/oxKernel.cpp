#include "oxKernel.h"
#include "oxMessage.h"
#include "oxModuleBase.h"

#include <algorithm>

namespace
{
// Leaked on purpose: module objects are function-local statics of plug-in libraries and unregister
// from their destructors at process exit, possibly after this library's statics are gone.
std::vector<oxModuleBase*>& registry()
{
    static std::vector<oxModuleBase*>* modules = new std::vector<oxModuleBase*>;
    return *modules;
}

bool isRegistered(oxModuleBase* module)
{
    const std::vector<oxModuleBase*>& r = registry();
    return std::find(r.begin(), r.end(), module) != r.end();
}
} // namespace

int oxKernel::sendMessage(oxMessage& msg)
{
    int delivered = 0;
    // A receiver may destroy modules or create new ones; only modules alive and registered when
    // the message was sent, and still alive now, get it.
    for (oxModuleBase* module : modules())
    {
        if (!isRegistered(module) || !maskContains(module->getMessageMask(), msg.id()))
            continue;
        module->receivedMessage(msg);
        ++delivered;
    }
    return delivered;
}

std::vector<oxModuleBase*> oxKernel::modules()
{
    return registry();
}

void oxKernel::registerModule(oxModuleBase* module)
{
    if (!isRegistered(module))
        registry().push_back(module);
}

void oxKernel::unregisterModule(oxModuleBase* module)
{
    std::vector<oxModuleBase*>& r = registry();
    r.erase(std::remove(r.begin(), r.end(), module), r.end());
}
