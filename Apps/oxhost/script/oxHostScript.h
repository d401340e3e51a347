#pragma once

// The reference host's script module "oxHost": the host's own commands (scene, project, undo,
// render state, camera, meshes, picking) and the Vec3f type with its conversions for every
// module's script functions. Host-side panels of plug-in modules add their own functions to it.
class oxHostScript
{
public:
    // Registers "oxHost" with the host's script start-up: a built-in module at level 0, imported
    // into the script namespace at level 1. Once is enough; it must precede the interpreter's start.
    static void install();

    typedef void (*Extension)();

    // define runs with "oxHost" as the Boost.Python scope, so its def() calls add to the module:
    // while the module is initialised, or at once when it is already imported.
    static void addExtension(Extension define);
    static void removeExtension(Extension define);
};
