#pragma once

#include "OSGVector.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

// Tolerances of the continuity classes; a negative g0 means the default, 0.01 model units or
// 1e-5 of the model's size when that is larger.
struct oxContinuityTolerances
{
    double g0 = -1;   // gap, model units
    double g1 = 0.5;  // angle between the normals, degrees
    double g2 = 0.05; // relative curvature mismatch |R1 - R2| / (R1 + R2)
    double g3 = 0.05; // relative mismatch of the curvature's rate of change across the edge
};

// How two faces meet along one shared edge, from samples of both faces along it.
struct oxEdgeContinuity
{
    enum Class
    {
        G3,
        G2,
        G1,
        G0,
        Open
    };
    size_t edge = 0;
    size_t faces[2] = {0, 0};
    double length = 0;
    double g0 = 0;    // largest gap between the two surfaces
    double g1 = 0;    // largest angle between the normals, degrees
    double g2 = 0;    // largest relative mismatch of the normal curvatures across the edge
    double g2abs = 0; // largest |1/R1 - 1/R2|
    // Largest relative mismatch of the normal curvature's rate of change across the edge, along
    // the geodesic that crosses it: |k1' - k2'| / (|k1'| + |k2'|).
    double g3 = 0;
    Class continuity = G2;
    std::vector<osg::Pnt3f> polyline; // the edge, for drawing

    static const char* className(Class c);
};

// What oxCadModel::rayHit may take into account.
struct oxCadRayOptions
{
    // The largest curvature on the face: where the step is too short to turn the normal
    // measurably, the normal is taken where the step started.
    float curvatureBound = INFINITY;
    // The hit triangle touches its face's boundary: a hit past the face's trim is moved to the
    // face across the nearest edge where the ray meets that one inside its trim.
    bool nearEdge = false;
};

// What a STEP file says one of its shapes measures: its validation properties. A value the file does
// not give is NaN.
struct oxCadValidationProps
{
    // The shape's solids in the model (from 0, as solidCount() counts them), or its faces (as
    // faceCount() counts them) when it has no solid.
    std::vector<size_t> solids, faces;
    double volume = NAN, area = NAN; // model units cubed and squared
    double centroid[3] = {NAN, NAN, NAN};
};

// The exact surfaces of a CAD model (an Open CASCADE shape, kept out of this header): faces and
// edges by index, evaluation of normals and curvatures at a face's (u, v), and edge continuity.
// Faces are numbered in the order TopExp::MapShapes visits them, the same in the process that
// read the file and in this one.
class oxCadModel
{
public:
    // Rebuilds the model from OCCT's binary B-rep (BinTools); null with error when it does not parse.
    static std::shared_ptr<oxCadModel> fromBrep(const std::string& brep, std::string& error);
    ~oxCadModel();
    oxCadModel(const oxCadModel&) = delete;
    oxCadModel& operator=(const oxCadModel&) = delete;

    size_t faceCount() const;
    // Edges between two different faces, and edges that bound one face only (seams and
    // degenerate edges are neither).
    size_t sharedEdgeCount() const;
    size_t freeEdgeCount() const;
    // The diagonal of the bounding box.
    double size() const;
    size_t solidCount() const;

    // The validation properties the file carried, often none.
    const std::vector<oxCadValidationProps>& validationProps() const;
    // False, keeping none, when one names a solid or a face the model does not have.
    bool setValidationProps(std::vector<oxCadValidationProps> props);

    // The unit normal of the face at (u, v), turned as the face is, and with curvature the
    // principal curvatures in the convention of oxPrincipalCurvatures. False where the normal is
    // undefined (a pole) or the face does not exist. Safe from many threads at once.
    bool normalAt(size_t face, double u, double v, float n[3]) const;
    bool curvatureAt(size_t face, double u, double v, float n[3], float& kMax, float& kMin) const;

    // Points on the exact faces, for sampling a face without searching for it (oxCompare).
    struct SurfacePoint
    {
        double point[3] = {0, 0, 0};
        float normal[3] = {0, 0, 0};
    };
    // The face's point at (u, v) with its normal as normalAt's; false where that has none.
    bool pointAt(size_t face, double u, double v, SurfacePoint& out) const;
    // Whether (u, v), at point on the surface, lies inside the face's trim. Thread-safe.
    bool insideTrim(size_t face, double u, double v, const double point[3]) const;
    // The (u, v) at weights wb and wc of corners 1 and 2 of a triangle whose corners' (u, v) are
    // corners; corners across a periodic surface's seam are taken to one side of it first.
    void uvInTriangle(size_t face, const double corners[6], double wb, double wc, double& u, double& v) const;

    // Where a ray meets the face near the tessellation's hit: starting from the (u, v) interpolated
    // at the hit point on the triangle, one Newton step along the ray moves the point onto the
    // surface; then the normal (and curvatures when kMax is given) there. point returns the refined
    // hit, face the face it lies on. False where the surface cannot be evaluated. Thread-safe.
    bool rayHit(size_t& face, double u, double v, const float hit[3], const float direction[3], float point[3],
                float n[3], float* kMax = nullptr, float* kMin = nullptr,
                const oxCadRayOptions& options = oxCadRayOptions()) const;

    // Every shared edge, sampled at samplesPerEdge points (more on long edges).
    std::vector<oxEdgeContinuity> continuity(const oxContinuityTolerances& tolerances, int samplesPerEdge = 16) const;

    struct Impl;
    const Impl& impl() const { return *_d; }

private:
    explicit oxCadModel(std::unique_ptr<Impl> d);
    std::unique_ptr<Impl> _d;
};
