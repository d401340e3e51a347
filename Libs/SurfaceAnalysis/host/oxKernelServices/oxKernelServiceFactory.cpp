#include "oxKernelServiceFactory.h"

#include <cstdio>

oxKernelServiceFactory& oxKernelServiceFactory::the()
{
    // Intentionally leaked: a function-local static object would be destroyed before the statics of
    // modules constructed later, yet those may still look services up while they are destroyed.
    static oxKernelServiceFactory* factory = new oxKernelServiceFactory;
    return *factory;
}

void* oxKernelServiceFactory::find(const std::type_info& type) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _services.find(std::type_index(type));
    if (it == _services.end())
    {
        std::fprintf(stderr, "oxKernelServiceFactory: couldn't find class '%s'!\n", type.name());
        return nullptr;
    }
    if (!it->second)
        std::fprintf(stderr, "oxKernelServiceFactory: service '%s' is NULL!\n", type.name());
    return it->second;
}

void oxKernelServiceFactory::insert(const std::type_info& type, void* service)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _services[std::type_index(type)] = service;
}

bool oxKernelServiceFactory::erase(const std::type_info& type, void* expected, bool onlyExpected)
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _services.find(std::type_index(type));
    if (it == _services.end() || (onlyExpected && it->second != expected))
        return false;
    _services.erase(it);
    return true;
}

bool oxKernelServiceFactory::contains(const std::type_info& type) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _services.count(std::type_index(type)) > 0;
}
