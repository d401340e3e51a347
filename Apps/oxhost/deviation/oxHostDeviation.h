#pragma once

#include "oxAlignment.h"
#include "oxCadMesh.h"
#include "oxDeviation.h"
#include "oxHostCad.h"
#include "oxMeshImporter.h"

#include <string>

// The host's side of the deviation: the reference (read isolated, as the model's files are), the
// model's distances to it, their numbers and export, and the model's best fit onto it.
class oxHostDeviation
{
public:
    // On failure the reference stays as it was and error is the one line a model file's gives.
    static bool loadReference(const std::string& path, std::string& error, const oxCadOptions& cad = oxCadOptions());
    // A reference already read (a window reads on a thread of its own) becomes the reference.
    static void useReference(oxMeshImporter::File& file);
    static void clearReference();
    // modelInfo's numbers for the reference, its file as the source; no meshes without one.
    static oxHostCad::ModelInfo referenceInfo();

    // False with error without a reference or for bins < 1.
    static bool stats(int bins, oxDeviationStats& out, std::string& error);
    static bool exportDeviation(const std::string& path, std::string& error);

    // Moves the whole model onto the reference by a rigid best fit, one undo step; none when the
    // fit moves nothing (out.moved false).
    static bool alignToReference(int iterations, oxAlignment::Result& out, std::string& error);
};
