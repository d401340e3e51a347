#include "oxDraftColouring.h"

#include "oxColouringInput.h"
#include "oxDraftOverlay.h"
#include "oxRenderMath.h"
#include "oxShadingMath.h"

#include <cmath>

namespace
{
using oxShadingMath::fastAcos;
using oxShadingMath::Pi;
using oxShadingMath::RadToDeg;

// The colours, from the palette of Okabe and Ito, which the common colour-vision deficiencies
// keep apart: blue faces the pull, vermillion faces away, yellow lacks draft.
const osg::Color3f DraftPositive(0.f, 0.447f, 0.698f);
const osg::Color3f DraftNegative(0.835f, 0.369f, 0.f);
const osg::Color3f DraftInsufficient(0.941f, 0.894f, 0.259f);

// The ramp over [-1, 1] (-90 to 90 degrees): vermillion through yellow to blue, so that the ramp
// reads as the classes do.
inline void rampColour(float a, float& r, float& g, float& b)
{
    const float toward = std::min(std::fabs(a), 1.f);
    const bool up = a > 0.f;
    r = DraftInsufficient[0] + ((up ? DraftPositive[0] : DraftNegative[0]) - DraftInsufficient[0]) * toward;
    g = DraftInsufficient[1] + ((up ? DraftPositive[1] : DraftNegative[1]) - DraftInsufficient[1]) * toward;
    b = DraftInsufficient[2] + ((up ? DraftPositive[2] : DraftNegative[2]) - DraftInsufficient[2]) * toward;
}

// The classic ramp as a table, for the host's reverse and steps.
const float ClassicRamp[][3] = {{DraftNegative[0], DraftNegative[1], DraftNegative[2]},
                                {DraftInsufficient[0], DraftInsufficient[1], DraftInsufficient[2]},
                                {DraftPositive[0], DraftPositive[1], DraftPositive[2]}};

[[maybe_unused]] const bool registered =
    oxColourings::add(oxHostAnalysisRows::DraftActive.name,
                      [](const oxColouringInput& in) -> std::unique_ptr<oxColouring>
                      {
                          if (!in.host.DraftActive)
                              return nullptr;
                          return std::make_unique<oxDraftColouring>(in.settings, in.host, in.camera);
                      });
} // namespace

oxDraftColouring::oxDraftColouring(const oxAnalysisSettings& settings, const oxHostAnalysisSettings& host,
                                   const oxRenderCamera& camera)
    : _lighting(oxAnalysisShader::valueLighting(settings, host, camera))
{
    _pull = host.DraftDirection.length() > 0.f ? oxRenderMath::unit(host.DraftDirection) : osg::Vec3f(0.f, 0.f, 1.f);
    const float angle =
        oxHostAnalysisRows::DraftAngle.domain.within(host.DraftAngle, oxHostAnalysisSettings().DraftAngle);
    _sine = std::sin(angle / RadToDeg);
    _ramp = host.DraftRamp;
    if (_ramp && (host.ColourMap != 0 || host.ColourMapReversed || host.ColourMapSteps != 0))
        _scale = std::make_shared<oxColourScale>(-90.f, 90.f,
                                                 oxColourScale::options(host, oxColourTable{ClassicRamp, 3}, false));
}

void oxDraftColouring::shade(oxShadingBatch& b) const
{
    // The base colour goes to b.p; the outward normal is the turned one turned back.
    const float px = _pull[0], py = _pull[1], pz = _pull[2], threshold = _sine;
    if (_scale)
        return shadeOnScale(b);
    oxShadingMath::withFlag(
        _ramp,
        [&](auto ramped)
        {
            OX_SIMD_LOOP
            for (int i = 0; i < b.count; ++i)
            {
                const float sine = b.side[i] * (b.n.x[i] * px + b.n.y[i] * py + b.n.z[i] * pz);
                b.value[i] = sine;
                if (ramped)
                    rampColour(1.f - fastAcos(sine) * (2.f / Pi), b.p.x[i], b.p.y[i], b.p.z[i]);
                else
                {
                    const bool positive = sine >= threshold, negative = sine <= -threshold;
                    b.p.x[i] = positive ? DraftPositive[0] : negative ? DraftNegative[0] : DraftInsufficient[0];
                    b.p.y[i] = positive ? DraftPositive[1] : negative ? DraftNegative[1] : DraftInsufficient[1];
                    b.p.z[i] = positive ? DraftPositive[2] : negative ? DraftNegative[2] : DraftInsufficient[2];
                }
                b.cover[i] = 0.f;
            }
        });
    _lighting.light(b, &b.p);
}

void oxDraftColouring::shadeOnScale(oxShadingBatch& b) const
{
    for (int i = 0; i < b.count; ++i)
    {
        const float sine = b.side[i] * (b.n.x[i] * _pull[0] + b.n.y[i] * _pull[1] + b.n.z[i] * _pull[2]);
        b.value[i] = sine;
        const osg::Color3f c = _scale->colour(90.f - fastAcos(sine) * RadToDeg);
        b.p.x[i] = c[0];
        b.p.y[i] = c[1];
        b.p.z[i] = c[2];
        b.cover[i] = 0.f;
    }
    _lighting.light(b, &b.p);
}

void oxDraftColouring::drawOverlay(QImage& image, const std::vector<float>& values,
                                   const std::vector<float>& depth) const
{
    oxDraftOverlay::drawBoundaries(image, values, depth, _sine);
}

void oxDraftColouring::drawLegend(QImage& image) const
{
    oxDraftOverlay::drawLegend(image, *this);
}

osg::Color3f oxDraftColouring::colour(float degrees) const
{
    osg::Color3f c;
    if (_scale)
        c = _scale->colour(degrees);
    else if (_ramp)
        rampColour(degrees / 90.f, c[0], c[1], c[2]);
    else
    {
        const float sine = std::sin(degrees / RadToDeg);
        c = sine >= _sine ? DraftPositive : sine <= -_sine ? DraftNegative : DraftInsufficient;
    }
    return c;
}
