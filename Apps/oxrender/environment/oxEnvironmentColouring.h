#pragma once

#include "oxAnalysisShading.h"
#include "oxColouring.h"
#include "oxEnvironmentMap.h"

struct oxColouringInput;

// Each pixel reflects an environment at infinity: a built-in studio or the user's image, turned
// about the model's Z (or, following the view, about the view's up). The map's level is chosen by
// how far the reflected direction moves to the neighbouring pixels of the tile, so that at rims,
// where it sweeps across the map, the pixel reads the mean of what it spans. The reflection is
// laid over the base colour by the blend and lit as the base is, so that the form still reads.
class oxEnvironmentColouring : public oxColouring
{
public:
    explicit oxEnvironmentColouring(const oxColouringInput& input);

    void shade(oxShadingBatch& batch) const override;

    // The environment's colour along a reflected unit direction, turned; footprint in radians.
    osg::Vec3f colourAt(const osg::Vec3f& reflected, float footprint) const;
    // Whether the image stood in for by the softbox studio was asked for but could not be read.
    bool imageMissing() const { return m_imageMissing; }

private:
    // The reflected directions of the batch's hits, in the environment's axes.
    void reflections(const oxShadingBatch& b, oxShadingBatch::Lanes& r) const;
    // Per hit, the largest angle (radians) to a neighbouring pixel's reflection, each way the least
    // of both sides (a neighbour across an edge does not count).
    void footprints(const oxShadingBatch& b, const oxShadingBatch::Lanes& r, float* footprint) const;

    std::shared_ptr<const oxEnvironmentMap> m_map;
    osg::Vec3f m_x, m_y, m_z; // the environment's axes in the world, turned
    osg::Color3f m_base;
    float m_blend = 1.f;
    bool m_imageMissing = false;
    oxAnalysisShader m_lighting;
};
