#include "oxPythonRegisterFactory.h"

#include <algorithm>
#include <mutex>

namespace
{
struct Registry
{
    std::mutex mutex;
    std::vector<oxPythonRegisterFactory::Function> functions;
};

// Registrations come from static objects of plug-in libraries, which may be constructed before this
// library's statics and destroyed after them; a leaked heap registry is valid for all of them.
Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}
} // namespace

void oxPythonRegisterFactory::run(Level level)
{
    // A function may register or unregister others while it runs.
    for (Function function : functions())
        function(level);
}

void oxPythonRegisterFactory::add(Function function)
{
    if (!function)
        return;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.functions.push_back(function);
}

bool oxPythonRegisterFactory::remove(Function function)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = std::find(r.functions.begin(), r.functions.end(), function);
    if (it == r.functions.end())
        return false;
    r.functions.erase(it);
    return true;
}

std::vector<oxPythonRegisterFactory::Function> oxPythonRegisterFactory::functions()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.functions;
}
