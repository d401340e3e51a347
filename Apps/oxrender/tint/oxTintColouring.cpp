#include "oxAnalysisShading.h"
#include "oxColouring.h"
#include "oxColouringInput.h"
#include "oxHostAnalysisSettings.h"

namespace
{
// One colour over the whole surface, lit as the settings say.
class oxTintColouring : public oxColouring
{
public:
    explicit oxTintColouring(const oxAnalysisSettings& settings) : _lighting(oxAnalysisShader::lightingOnly(settings))
    {
    }
    void shade(oxShadingBatch& b) const override
    {
        for (int i = 0; i < b.count; ++i)
        {
            b.p.x[i] = 0.8f;
            b.p.y[i] = 0.2f;
            b.p.z[i] = 0.6f;
            b.cover[i] = 0.f;
        }
        _lighting.light(b, &b.p);
    }

private:
    oxAnalysisShader _lighting;
};

[[maybe_unused]] const bool registered =
    oxColourings::add(oxHostAnalysisRows::TintActive.name,
                      [](const oxColouringInput& in) -> std::unique_ptr<oxColouring>
                      {
                          if (!in.host.TintActive)
                              return nullptr;
                          return std::make_unique<oxTintColouring>(in.settings);
                      });
} // namespace
