#pragma once

#include "OSGSurfaceAnalysisAttachment.h"
#include "OSGVector.h"
#include "oxHostAnalysisSettings.h"

class oxDeviationCorners;

#include <vector>

// The analysis settings the raytracer reads, copied from the record once per frame.
struct oxAnalysisSettings : osg::SurfaceAnalysisValues
{
    // The record's values; the record's defaults when there is no record.
    static oxAnalysisSettings fromRecord(const osg::SurfaceAnalysisAttachmentPtr& record);
    // The host's settings record: the raytracer utilities' attachment, or NullFC without either.
    static osg::SurfaceAnalysisAttachmentPtr hostRecord();
};

// One tile's hits as the shading loops read them: one array per component, so that the
// loops run over several pixels at once.
struct oxShadingBatch
{
    static constexpr int Capacity = 256;
    struct Lanes
    {
        alignas(32) float x[Capacity], y[Capacity], z[Capacity];
        void set(int i, const osg::Vec3f& v)
        {
            x[i] = v[0];
            y[i] = v[1];
            z[i] = v[2];
        }
    };
    int count = 0;
    Lanes p; // the hit
    Lanes n; // unit normal turned towards the viewer
    Lanes d; // unit ray direction
    // 1 where n is the surface's own (outward) normal, -1 where it was turned towards the viewer.
    alignas(32) float side[Capacity];
    alignas(32) float kMax[Capacity], kMin[Capacity];
    // Written by the shader: how much of the stripe colour covers each hit, and the colours.
    alignas(32) float cover[Capacity];
    alignas(32) osg::UInt32 colour[Capacity]; // 0xffRRGGBB
    // Written by the draft shading: the sine of the draft angle, for the boundary lines. Read by
    // the deviation shading: the distance to the reference interpolated at the hit.
    alignas(32) float value[Capacity];
};

// Per-pixel analysis colour. Construction does the per-frame work (frames, periods); shade is
// called from many threads at once and only reads its own batch.
class oxAnalysisShader
{
public:
    // analysis false: plain shading (grey, headlight), as outside the analysis render mode.
    oxAnalysisShader(const oxAnalysisSettings& settings, bool analysis);
    // With the host's draft on, the draft colours the surface instead, lit as the settings say.
    oxAnalysisShader(const oxAnalysisSettings& settings, bool analysis, const oxHostAnalysisSettings& host);

    // Whether shade needs the principal curvatures.
    bool needsCurvature() const { return _kind == Curvature; }

    // Colours by the distances at the triangles' corners (each hit's, interpolated, in batch.value)
    // instead: within tolerance the neutral colour, beyond it the deviation ramp up to halfRange.
    // Null corners change nothing.
    void setDeviation(const oxDeviationCorners* corners, float tolerance, float halfRange);
    // The distances the hits' are interpolated from; null unless the deviation colours.
    const oxDeviationCorners* deviation() const { return _kind == Deviation ? _deviation : nullptr; }
    // The deviation's colour at a signed distance: neutral within tolerance, pale to full blue
    // (inside) or vermillion (outside) from the tolerance to the half-range; NaN is neutral.
    osg::Color3f deviationColor(float distance) const;
    float deviationTolerance() const { return _deviationTolerance; }
    float deviationRange() const { return _deviationRange; }

    // Fills batch.cover and batch.colour for the batch's hits.
    void shade(oxShadingBatch& batch) const;

    // The diverging ramp over [-1, 1] (blue, white, red), quantised when bands are on.
    osg::Color3f curvatureColor(float value) const;

    // Curvature value at the ramp's ends; 0 when the draw scale is 0.
    float legendRange() const;

    const oxAnalysisSettings& settings() const { return _s; }

    // The draft's colour at an angle in degrees: its class's, or on the ramp over -90 .. 90.
    osg::Color3f draftColor(float degrees) const;
    // sin(DraftAngle): where the draft's boundary lines lie in batch.value.
    float draftThreshold() const { return _draftSine; }

    enum Kind
    {
        Plain,
        Isophotes,
        PlaneLines,
        SphereRings,
        NoLines,
        Curvature,
        Draft,
        Deviation
    };
    Kind kind() const { return _kind; }

private:
    // The per-frame stages of construction.
    void tabulateSpecular();
    void setLighting();
    void setStripe();
    void setIsophotes();
    void setPlaneLines();
    void setSphereRings();
    bool stripes() const;

    void isophoteCover(oxShadingBatch& b) const;
    void planeLineCover(oxShadingBatch& b) const;
    void sphereRingCover(oxShadingBatch& b) const;
    void curvatureColours(oxShadingBatch& b) const;
    void draftColours(oxShadingBatch& b) const;
    void deviationColours(oxShadingBatch& b) const;
    // Lights the base colour (per pixel when given, else the frame's) and lays the stripe colour
    // over it by cover.
    void finish(oxShadingBatch& b, const oxShadingBatch::Lanes* base) const;

    oxAnalysisSettings _s;
    Kind _kind = Plain;
    bool _highlight = false; // the normal line instead of the reflected ray
    osg::Vec3f _light;
    osg::Vec3f _planeNormal;
    osg::UInt32 _count = 0; // lines, or rings as the light sphere draws them
    // Where the stripe colour lies, from a point's stripe coordinate t (in periods, level k at
    // t = k): q = t * scale + offset, distance = |q - floor(q) - centre| * spread; the colour
    // covers up to edge0 and fades out over 1 / invSoftness beyond. Plane lines exist for t in
    // [first, last].
    struct Stripe
    {
        float scale = 1, offset = 0.5f, centre = 0.5f, spread = 1;
        float edge0 = -1, invSoftness = 0;
        float first = 0, last = 0;
    };
    static float cover(const Stripe& s, float t);
    Stripe _stripe;
    float _planeWidth = 0, _planeHalfLength = 0;
    osg::Vec3f _sphereB, _sphereC;         // the sphere frame's images of local y and z
    float _ringPeriod = 0, _ringStart = 0; // degrees about the sphere axis
    // Lighting: base * (ambient + diffuse * facing) + glossy * facing^exponent.
    float _ambient = 1, _diffuse = 0;
    bool _glossy = false;
    static constexpr int SpecularSteps = 1024;
    std::vector<float> _specular;
    osg::Vec3f _pull; // the draft's unit pull direction
    float _draftSine = 0;
    bool _draftRamp = false;
    const oxDeviationCorners* _deviation = nullptr;
    float _deviationTolerance = 0, _deviationRange = 0;
};
