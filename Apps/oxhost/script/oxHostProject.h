#pragma once

#include <string>

// The reference host's scene and project commands, as its menu would run them. Every module
// takes part through the kernel messages; the project file itself is oxProjectFile.
class oxHostProject
{
public:
    // The model's meshes and its placement go, the raytracer utilities get a fresh record (a new
    // container id), the project message and the undo history are emptied, then kernel message 16.
    static void newScene();

    // Every module writes its section into the project message (message 8192 with "_loading"
    // false), then the message is written to the file.
    static bool save(const std::string& path, std::string& error);

    // Only a sound file is used: its values replace the project message, every module loads its
    // section (message 8192 with "_loading" true), the model takes the project's placement (none
    // when it has none), and the undo history is emptied, since its edits belong to the project
    // that was open. A bad file changes nothing.
    static bool load(const std::string& path, std::string& error);
};
