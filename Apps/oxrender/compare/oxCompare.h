#pragma once

#include "OSGMatrix.h"
#include "OSGVector.h"
#include "oxCadMesh.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

class oxRenderScene;

// What oxCompare::run measures with.
struct oxCompareOptions
{
    // Largest distance of an unchanged face from the other part; 0 or less: DefaultTolerance times
    // the old part's size (its bounding box diagonal).
    double tolerance = 0;
    // Best-fits the new part onto the old one first (oxAlignment).
    bool align = false;
    // Points sampled on each face, spread by area.
    int samplesPerFace = 300;
    // Polled between the stages and within their loops: once set, run soon returns false with
    // error "the comparison was cancelled" and out holds no result.
    const std::atomic<bool>* cancel = nullptr;

    // The CAD tessellation's deflection: where no exact closest point is found on a face, the
    // triangle's point stands, which lies that far from the surface at most.
    static constexpr double DefaultTolerance = oxCadOptions::DefaultDeflection;
    // A sample has a counterpart within the tolerance, and within the larger of these distances
    // where the normals agree within MatchAngle degrees; further off, or turned away, it has none.
    static constexpr double ReachTolerances = 100;
    static constexpr double ReachOfSize = 0.02;
    static constexpr double MatchAngle = 45;
};

// One face of one part and how it compares with the other part.
struct oxFaceChange
{
    enum Class
    {
        Unchanged,
        Modified,
        Added,
        Removed
    };
    size_t face = 0; // faces of CAD meshes as the model numbers them, one per plain mesh, in scene order
    Class change = Unchanged;
    double largest = 0; // the largest distance of it and of its matching faces to the other part
    double area = 0;
    osg::Pnt3f centroid;         // in the part's own space
    std::vector<size_t> matches; // faces of the other part it lies on

    static const char* className(Class c);
};

struct oxCompareResult
{
    double tolerance = 0;
    double reach = 0;
    // The largest sampled distances, from the new part to the old one and back.
    double newToOld = 0, oldToNew = 0;
    // The best fit's motion of the new part onto the old one; identity without align.
    osg::Matrix alignment;
    double alignmentRms = 0;
    std::vector<oxFaceChange> oldFaces, newFaces;

    double hausdorff() const { return std::max(newToOld, oldToNew); }
    size_t count(const std::vector<oxFaceChange>& faces, oxFaceChange::Class c) const;
    // Every face of both parts unchanged.
    bool unchanged() const;
};

// Two releases of a part face by face: points sampled on each face of either part, their exact
// distances to the other part (oxDeviation::closestPoints) and the faces they land on; a face is
// unchanged when all its samples and those of the faces it lands on lie within the tolerance,
// modified when most of it has a counterpart further off, added or removed when most has none.
class oxCompare
{
public:
    // False with error for an empty part.
    static bool run(const oxRenderScene& oldPart, const oxRenderScene& newPart, const oxCompareOptions& options,
                    oxCompareResult& out, std::string& error);
};
