#pragma once

#include "oxRenderMesh.h"

#include <string>
#include <vector>

// Analytic surfaces for demos and tests, tessellated finely, with exact normals.
// World units suit the host's default view (camera at distance 100, light lines 10 apart).
class oxSampleSurfaces
{
public:
    // "sphere", "torus", "cylinder", "saddle", "teapot", "joins".
    static std::vector<std::string> names();
    // The sample of that name; false with a sentence naming the valid names for any other.
    static bool make(const std::string& name, oxRenderMesh& mesh, std::string& error);

    // Centred on the origin; latitude-longitude grid with one vertex per pole.
    static oxRenderMesh sphere(float radius, int segments);
    // About the Y axis.
    static oxRenderMesh torus(float majorRadius, float minorRadius, int segments);
    // Open tube about the Y axis, centred on the origin.
    static oxRenderMesh cylinder(float radius, float height, int segments);
    // z = x * y / scale over [-halfSize, halfSize]^2: Gaussian curvature -1 / scale^2 at the origin.
    static oxRenderMesh saddle(float halfSize, float scale, int segments);
    // z = 0 over [-halfSize, halfSize]^2.
    static oxRenderMesh plane(float halfSize, int segments);
    // Newell's patches, y up, scaled by scale.
    static oxRenderMesh teapot(float scale, int segmentsPerPatch);

    // How a flat strip meets a cylindrical bend.
    enum Join
    {
        JoinG0, // with a kink: the tangent turns by 30 degrees at the join
        JoinG1, // tangentially: the curvature jumps from 0 to 1 / radius
        JoinG2  // curvature-continuously: a clothoid ramps the curvature up first
    };
    // One strip in the x-z plane, extruded along y over [y0, y1]: flat (z = 0, normal +z) for
    // x in [-flatLength, 0], then bending away from +z by 90 degrees in all. Unit is scale.
    static oxRenderMesh joinStrip(Join join, float scale, float y0, float y1, int segments);
    // The three strips side by side: G0 at the top (largest y), then G1, then G2.
    static oxRenderMesh joins(float scale, int segments);

    // Profile of a join strip at arc length s from the join (s < 0 on the flat part):
    // the turning angle of the tangent in radians, and the point (x, z), in units of scale = 1.
    static double joinAngle(Join join, double s);
    static void joinPoint(Join join, double s, double& x, double& z);
    static constexpr double JoinFlatLength = 2.0;
    static constexpr double JoinRadius = 1.0;
    static constexpr double JoinClothoidLength = 1.0;
    static constexpr double JoinKinkDegrees = 30.0;
};
