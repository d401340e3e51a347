#pragma once

#include "OSGSurfaceAnalysisAttachment.h"
#include "OSGVector.h"

#include <vector>

// The analysis settings the raytracer reads, copied from the record once per frame.
struct oxAnalysisSettings
{
    osg::Vec3f linearLightDirection{0.57735026f, 0.57735026f, 0.57735026f};
    osg::UInt32 isolines = 16;
    osg::UInt32 shadingMode = 1;
    osg::Color3f baseColor{1.f, 1.f, 1.f};
    float stripeThickness = 0.1f;
    float stripeSharpness = 0.5f;
    osg::Color3f stripeColor{0.f, 0.f, 0.f};
    bool useViewVector = false;
    osg::UInt32 analysisMode = 0;
    osg::UInt32 lineMode = 0;
    osg::Vec3f lightPlaneOrigin{0.f, 0.f, 0.f};
    osg::Vec3f lightPlaneAxisU{1.f, 0.f, 0.f};
    osg::Vec3f lightPlaneAxisV{0.f, 1.f, 0.f};
    osg::Vec3f lightSphereAxis{1.f, 0.f, 0.f};
    osg::Vec3f lightSphereAxisUTangent{0.f, 0.f, 1.f};
    osg::UInt32 reflectionMode = 0;
    float lightLinesDistance = 10.f;
    float lightLinesLength = 1000.f;
    bool isLightLinesLengthLimited = false;
    osg::Color3f glossyColor{1.f, 1.f, 1.f};
    float phongExponent = 32.f;
    osg::UInt32 curvatureEvaluationType = 3;
    float curvatureDrawScale = 0.05f;
    bool curvatureUseBands = false;
    bool curvatureUseRadiusLimit = false;
    float curvatureRadiusLimit = 0.5f;

    // The record's values; the defaults above when there is no record.
    static oxAnalysisSettings fromRecord(const osg::SurfaceAnalysisAttachmentPtr& record);
};

// Per-pixel analysis colour. Construction does the per-frame work (frames, periods); shade is
// called from many threads at once and only reads.
class oxAnalysisShader
{
public:
    // analysis false: plain shading (grey, headlight), as outside the analysis render mode.
    oxAnalysisShader(const oxAnalysisSettings& settings, bool analysis);

    // Whether shade needs the principal curvatures.
    bool needsCurvature() const { return _kind == Curvature; }

    // p: the hit; n: unit normal turned towards the viewer; d: unit ray direction.
    osg::Color3f shade(const osg::Vec3f& p, const osg::Vec3f& n, const osg::Vec3f& d, float kMax, float kMin) const;

    // The value whose levels the stripes mark, in periods (level k at k), and whether there is
    // one at all (a reflected ray that misses the light plane has none). Exposed for tests.
    bool stripeCoordinate(const osg::Vec3f& p, const osg::Vec3f& n, const osg::Vec3f& d, double& t) const;

    // How much of the stripe colour covers a point at stripe coordinate t, 0 to 1.
    float stripeCoverage(double t) const;

    // The diverging ramp over [-1, 1] (blue, white, red), quantised when bands are on.
    osg::Color3f curvatureColor(float value) const;
    float curvatureValue(float kMax, float kMin) const;

    // Curvature value at the ramp's ends; 0 when the draw scale is 0.
    float legendRange() const;

    const oxAnalysisSettings& settings() const { return _s; }

    enum Kind
    {
        Plain,
        Isophotes,
        PlaneLines,
        SphereRings,
        NoLines,
        Curvature
    };
    Kind kind() const { return _kind; }

private:
    osg::Color3f lit(const osg::Color3f& base, const osg::Vec3f& n, const osg::Vec3f& d) const;

    oxAnalysisSettings _s;
    Kind _kind = Plain;
    bool _highlight = false; // the normal line instead of the reflected ray
    osg::Vec3f _light;
    osg::Vec3f _planeNormal;
    osg::UInt32 _count = 0; // lines, or rings as the light sphere draws them
    double _halfWidth = 0;  // of the line or stripe, in periods
    double _softness = 0;   // of the stripe edges, in periods
    double _planeWidth = 0, _planeHalfLength = 0;
    osg::Vec3f _sphereB, _sphereC;          // the sphere frame's images of local y and z
    double _ringPeriod = 0, _ringStart = 0; // degrees about the sphere axis
    static constexpr int SpecularSteps = 1024;
    std::vector<float> _specular;
};
