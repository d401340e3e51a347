#pragma once

#include "OSGSurfaceAnalysisAttachment.h"
#include "OSGVector.h"
#include "oxColouring.h"
#include "oxRenderCamera.h"

#include <memory>
#include <vector>

class oxColourScale;
struct oxHostAnalysisSettings;

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
    // The chosen colouring's own scalar per hit: interpolated by the tracer from the colouring's
    // corner values, or written by its shade (see oxColouring).
    alignas(32) float value[Capacity];
    // Where each hit lies in its tile, y * stride + x, for a colouring that compares neighbouring
    // pixels; stride 0 where the batch's hits carry no pixel.
    alignas(32) int pixel[Capacity];
    int stride = 0;
};

// The module's per-pixel analysis colour (stripes, curvature) and the lighting every colouring
// shares. Construction does the per-frame work (frames, periods); shade is called from many
// threads at once and only reads its own batch.
class oxAnalysisShader : public oxColouring
{
public:
    // analysis false: plain shading (grey, headlight), as outside the analysis render mode.
    oxAnalysisShader(const oxAnalysisSettings& settings, bool analysis);
    // Only the lighting, as the settings say it, for a colouring that brings its own base colour
    // per hit (see light).
    static oxAnalysisShader lightingOnly(const oxAnalysisSettings& settings);
    // The lighting of a colouring by a value: lit by a key light above the viewer's left, a
    // headlight fill and a small highlight in every ShadingMode while the host's ColoursLit is on,
    // so that the shape reads; flat, exactly the legend's colours, while it is off.
    static oxAnalysisShader valueLighting(const oxAnalysisSettings& settings, const oxHostAnalysisSettings& host,
                                          const oxRenderCamera& camera);

    // Whether shade needs the principal curvatures.
    bool needsCurvature() const override { return _kind == Curvature; }

    // Fills batch.cover and batch.colour for the batch's hits.
    void shade(oxShadingBatch& batch) const override;
    // Lights the base colour (per pixel when given, else the frame's) into batch.colour and lays
    // the stripe colour over it by batch.cover.
    void light(oxShadingBatch& batch, const oxShadingBatch::Lanes* base) const;

    // The diverging ramp over [-1, 1] (blue, white, red), quantised when bands are on.
    osg::Color3f curvatureColor(float value) const;

    // Curvature value at the ramp's ends; 0 when the draw scale is 0.
    float legendRange() const;

    // Colours the curvature on the host's colour map, range and scale where the host chose
    // anything but the classic ramp; the classic ramp stays as it always was.
    void useColourScale(const oxHostAnalysisSettings& host);
    // Lights the curvature's colours as valueLighting says.
    void lightValues(const oxHostAnalysisSettings& host, const oxRenderCamera& camera);
    // The curvature's colour scale; null while the classic ramp colours it.
    const oxColourScale* colourScale() const { return _scale.get(); }

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
    void lightKeyed(oxShadingBatch& b, const oxShadingBatch::Lanes& base) const;
    template <class Value> void scaledCurvatureColours(oxShadingBatch& b, Value value, float tightest) const;

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
    // A colouring by a value, lit: diffuse from _keyLight (towards it) and the headlight's _fill.
    bool _keyed = false;
    osg::Vec3f _keyLight;
    float _fill = 0, _sheen = 0;
    static constexpr int SpecularSteps = 1024;
    std::vector<float> _specular;
    std::shared_ptr<const oxColourScale> _scale; // shared: a shader is copied per frame
};
