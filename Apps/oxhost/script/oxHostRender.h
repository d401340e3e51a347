#pragma once

#include "OSGNode.h"
#include "oxCadMesh.h"
#include "oxMeshImporter.h"

#include <string>

// The reference host's analysis raytracer and its scene input (Apps/oxrender): mesh files
// through Assimp, the built-in sample surfaces, framing the view, and images of the view.
// install() adds the matching functions to the script module oxHost.
class oxHostRender
{
public:
    static void install();
    static void uninstall();

    // Adds the file's meshes to the model, as one node named after the file; null with error
    // (naming the file) when it cannot be read, and the scene is then unchanged.
    // CAD files are triangulated as cad says.
    static osg::NodePtr loadMesh(const std::string& path, std::string& error, const oxCadOptions& cad = oxCadOptions());
    // A file read with oxModelImporter::read (on any thread) into the model; here, where the scene lives.
    static osg::NodePtr addFile(const oxMeshImporter::File& file);
    // Adds a sample surface; null with error for an unknown name.
    static osg::NodePtr addSample(const std::string& name, std::string& error);

    // Moves the view camera back along its view direction until the whole model is in view, as
    // navigation does (the "changedNavigator" callback, a field-of-view announcement); the look-at
    // target becomes the model's centre. False for an empty model.
    static bool frameScene(float aspect);

    // Renders the view into an image file, samples x samples rays per pixel; false with error
    // (naming the file) on failure.
    static bool render(const std::string& path, int width, int height, std::string& error, int samples = 3);
};
