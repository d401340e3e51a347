#pragma once

#include "OSGVector.h"
#include "oxHostAnalysisSettings.h"
#include "oxOverlay.h"

#include <array>
#include <vector>

class oxRenderScene;
struct oxRenderMesh;

// A curvature comb: samples along a curve with the curvature there (>= 0) and the direction of
// the tooth, along the curve's principal normal pointing away from the centre of curvature. On a
// straight piece the tooth direction is a consistent normal and the tooth has no length.
struct oxComb
{
    std::vector<osg::Pnt3f> points;
    std::vector<double> curvature;
    std::vector<osg::Vec3f> normals;
    std::vector<size_t> faces; // a section's CAD faces, in the order it crosses them
    double max = 0;
    bool closed = false; // the curve runs on from the last sample to the first

    void add(const osg::Pnt3f& point, double k, const osg::Vec3f& normal);
};

// Combs of the scene's curves: of CAD edges (their own curvature) and of plane sections (on CAD
// meshes from the exact surfaces, on other meshes from the section polyline).
class oxCurvatureComb
{
public:
    using Vec = std::array<double, 3>;

    // A section of a triangle mesh by a plane: points in order, one segment per triangle crossed.
    struct Chain
    {
        std::vector<Vec> points;
        std::vector<size_t> triangles; // per segment
        bool closed = false;           // the last point joins the first
    };
    // Triangles crossed across faces that do not share vertices are chained where their crossing
    // points meet within tolerance.
    static std::vector<Chain> sectionChains(const oxRenderMesh& mesh, const Vec& origin, const Vec& normal,
                                            double tolerance);

    // Evenly spaced along the chain's arc length, both ends included on an open chain: the point,
    // the chain's unit direction there, the triangle it lies on and its arc length from the start.
    struct Sample
    {
        Vec point, tangent;
        size_t triangle = 0;
        double along = 0;
    };
    static std::vector<Sample> resample(const Chain& chain, int samples);

    // The comb of a section polyline, its curvature from a least-squares circle through the chain's
    // points within a window of arc length around each sample.
    static oxComb polylineComb(const Chain& chain, const Vec& normal, int samples);

    // Every section curve of the scene by the plane, one comb per curve; faces numbered across the
    // CAD meshes in scene order. normal must be of unit length, samples 2 or more.
    static std::vector<oxComb> sections(const oxRenderScene& scene, const Vec& origin, const Vec& normal, int samples);
    // The edges of the scene's CAD meshes (shared and free; seams and degenerate edges left out).
    static std::vector<oxComb> edges(const oxRenderScene& scene, int samples);
    // The shared edges numbered as the continuity table numbers them across CAD meshes; false when
    // there is no such edge.
    static bool sharedEdge(const oxRenderScene& scene, size_t edge, int samples, oxComb& comb);
    static size_t sharedEdgeCount(const oxRenderScene& scene);

    // What the settings ask for: the edge combs and the section planes spread evenly across the
    // model along the section normal, neither plane at the very end. The edges in all, and the
    // planes in all, get at most MaxTeeth teeth: with more curves than that allows at CombSamples
    // each, every curve gets fewer (never fewer than 2), so that whatever the settings' domains
    // allow draws in bounded memory.
    static constexpr double MaxTeeth = 1e6;
    static std::vector<oxComb> fromSettings(const oxRenderScene& scene, const oxHostAnalysisSettings& settings);
    // Tooth length per unit curvature that makes the longest tooth a tenth of the model's size.
    static double fittedScale(const std::vector<oxComb>& combs, double modelSize);
    // Teeth and the envelope through their tips, in the comb colour over a dark edge that keeps
    // them readable on light and dark shading alike.
    static std::vector<oxOverlay::Polyline> polylines(const std::vector<oxComb>& combs, double scale);
    // The lines a frame draws for the settings: their combs at CombScale, or fitted when it is 0.
    static std::vector<oxOverlay::Polyline> lines(const oxRenderScene& scene, const oxHostAnalysisSettings& settings);
    // Whether two settings give the same lines.
    static bool sameCombs(const oxHostAnalysisSettings& a, const oxHostAnalysisSettings& b);
    static osg::Color3f color() { return osg::Color3f(1.f, 0.15f, 0.75f); }
};
