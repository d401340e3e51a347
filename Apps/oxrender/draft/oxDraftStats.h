#pragma once

#include "OSGVector.h"

#include <string>
#include <vector>

class oxRenderScene;

// The draft angle over a model: asin(n . d) in degrees for the outward unit normal n and the pull
// direction d, +90 facing the pull, -90 facing away. Classes against the minimum draft A:
// positive (>= A), negative (<= -A), insufficient (between).
struct oxDraftStats
{
    enum Class
    {
        Positive,
        Negative,
        Insufficient,
        Mixed // a face with more than one class
    };
    struct Face
    {
        long face = 0; // numbered across the scene's CAD meshes, as oxProbe numbers them
        double min = 0, max = 0;
        Class draftClass = Mixed;
    };

    double positive = 0, negative = 0, insufficient = 0; // area fractions, summing to 1
    double min = 0, max = 0;                             // degrees
    double area = 0;
    std::vector<Face> faces; // CAD faces only, in their order

    static double draft(const osg::Vec3f& normal, const osg::Vec3f& direction);
    static Class classOf(double draftDegrees, double angleDegrees);
    // The class of a face whose draft runs over [min, max].
    static Class classOf(double minDegrees, double maxDegrees, double angleDegrees);
    static const char* className(Class c);
    // How far a face is from clearing the angle everywhere: the smallest |draft| on it (0 when it
    // crosses the parting direction); the report sorts by it, worst first.
    static double clearance(const Face& face);

    // Area sums of one or many triangles over which sin(draft) runs linearly between its corner
    // values; the class boundaries are found exactly inside each triangle.
    struct Sum
    {
        double area = 0, negative = 0, belowPositive = 0; // area with s <= -t, area with s < t
        double minSine = 2, maxSine = -2;
        void add(const double corners[3][3], const double sines[3], double threshold);
        void add(const Sum& other);
    };

    // Over every mesh of the scene: meshes from their triangles and corner normals, CAD meshes
    // from their exact surfaces. direction need not be unit; false with error for a zero direction,
    // an angle outside [0, 90] or a scene without area.
    static bool compute(const oxRenderScene& scene, const osg::Vec3f& direction, double angleDegrees, oxDraftStats& out,
                        std::string& error);
};
