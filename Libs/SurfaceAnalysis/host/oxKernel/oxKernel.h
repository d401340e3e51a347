#pragma once

#include <cstdint>
#include <vector>

class oxMessage;
class oxModuleBase;

// The host kernel: knows every live module and delivers kernel messages to them.
class oxKernel
{
public:
    // Kernel message ids; a module's mask is the sum of the ids it wants.
    enum Message : uint64_t
    {
        NewSceneMessage = 16,
        ProjectMessage = 8192, // a project is saved, or loaded when "_loading" is true
        RaytracerMessage = 32768,
    };
    // What the surface analysis module listens to.
    static constexpr uint64_t SurfaceAnalysisMessageMask = NewSceneMessage | ProjectMessage | RaytracerMessage;

    // Delivers the message to every module whose mask contains its id (all bits of the id), in
    // registration order; id 0 reaches nobody. Returns how many modules received it.
    static int sendMessage(oxMessage& msg);
    // The live modules, in registration order.
    static std::vector<oxModuleBase*> modules();
    static bool maskContains(uint64_t mask, uint64_t id) { return id != 0 && (mask & id) == id; }

private:
    friend class oxModuleBase;
    static void registerModule(oxModuleBase* module);
    static void unregisterModule(oxModuleBase* module);
};
