#pragma once

#include "OSGVector.h"

#include <memory>
#include <string>
#include <vector>

class QImage;

// An environment around the model at infinity, as an equirectangular map with its mip chain: the
// top row looks up the model's Z, the left edge towards +X, and the columns go round towards +Y
// at a quarter of the width. Each level halves the one before, so that a pixel whose reflection
// spans many texels reads their mean instead of one of them (no shimmer at rims).
class oxEnvironmentMap
{
public:
    struct Level
    {
        int width = 0, height = 0;
        std::vector<float> rgb; // row by row from the top, 0..1
    };

    // From an image of any size; a wide one is scaled down to 1024 columns first.
    explicit oxEnvironmentMap(const QImage& image);

    // A built-in studio by its number (oxEnvironmentNames), made once and kept.
    static std::shared_ptr<const oxEnvironmentMap> builtIn(unsigned which);
    // The image at path, kept while its size and time stay the same; null with error saying why
    // when it cannot be read.
    static std::shared_ptr<const oxEnvironmentMap> image(const std::string& path, std::string* error = nullptr);

    // The colour seen along a unit direction whose pixel spans footprint radians.
    osg::Vec3f colour(const osg::Vec3f& direction, float footprint) const;
    // The map coordinates and fractional mip level of count unit directions (x, y, z) whose pixels
    // span footprint radians: the part of a lookup that runs as SIMD code over a batch.
    void coordinates(const float* x, const float* y, const float* z, const float* footprint, int count, float* u,
                     float* v, float* level) const;
    // The colour at map coordinates u (turns, wrapping) and v (0 up to 1 down) on a fractional level.
    osg::Vec3f sample(float u, float v, float level) const;

    const std::vector<Level>& levels() const { return m_levels; }

private:
    oxEnvironmentMap() = default;
    void buildChain();
    osg::Vec3f bilinear(const Level& level, float u, float v) const;

    std::vector<Level> m_levels;
    float m_texelAngle = 1.f; // radians a texel of the first level spans
};
