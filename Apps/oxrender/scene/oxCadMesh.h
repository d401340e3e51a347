#pragma once

#include "OSGGeometry.h"
#include "oxCadModel.h"
#include "oxCurvature.h"

#include <memory>
#include <string>
#include <vector>

// How finely CAD faces are triangulated: the linear deflection relative to the model's size and
// the angular deflection in degrees.
struct oxCadOptions
{
    static constexpr double DefaultDeflection = 0.0005;
    static constexpr double DefaultAngle = 12.0;
    double deflection = DefaultDeflection;
    double angleDegrees = DefaultAngle;
    // How long the reader may take before it is stopped; 0: a minute and more for big files.
    int timeoutSeconds = 0;
    // Refuse a file with damaged entities instead of loading what is left of it with a warning.
    bool strict = false;
};

// The exact data beside the render mesh of a CAD file: per vertex its face, its (u, v) on that
// face and the surface's principal curvatures there, and the model to evaluate the surfaces at
// any other (u, v). Vertices are those of the render mesh, in its order.
struct oxCadMesh
{
    std::shared_ptr<const oxCadModel> model;
    std::string source; // the file read
    std::vector<osg::UInt32> vertexFace;
    std::vector<double> uv; // two per vertex
    oxPrincipalCurvatures curvatures;
    size_t lostEntities = 0; // entities of the file that could not be read (a damaged file)

    // The data stays with the geometry core while that lives; the renderer finds it through of().
    static void attach(const osg::GeometryPtr& geometry, std::shared_ptr<const oxCadMesh> cad);
    static std::shared_ptr<const oxCadMesh> of(const osg::Geometry& geometry);
};
