#pragma once

#include "oxAnalysisShading.h"
#include "oxColouring.h"

#include <limits>

struct oxColouringInput;

// Zebra stripes that cover every surface: each pixel reflects a cylinder around the model, as a
// light tunnel, striped along its axis, StripesCount dark stripes around it. The cylinder lies at
// a finite radius so that a flat face, which reflects one direction, still crosses stripes by
// parallax. Following the view, each pixel reflects
// its own eye ray; locked, every pixel reflects the frozen StripesView, so that the stripes stay
// on the part while the view turns. The stripes are box-filtered over each pixel's footprint,
// measured from its neighbours in the tile, so that where they crowd (near rims) they fade to the
// mean grey instead of beating into moire. The stripes are black and white, not lit: the
// reflection of an environment does not depend on a light.
class oxStripesColouring : public oxColouring
{
public:
    explicit oxStripesColouring(const oxColouringInput& input);

    void shade(oxShadingBatch& batch) const override;

    // The direction a hit reflects: d the unit eye ray, n the unit outward normal.
    osg::Vec3f reflected(const osg::Vec3f& n, const osg::Vec3f& d) const;
    // Where the ray from point along the reflected direction meets the cylinder, in stripes
    // around it: 0 .. count.
    float stripeAt(const osg::Pnt3f& point, const osg::Vec3f& reflected) const;
    // How much of the dark stripe covers a pixel at stripe coordinate t whose footprint spans
    // footprint stripes: 1 in a stripe's middle, 0 between; where a pixel spans a quarter of a
    // stripe and more, every second and then every fourth stripe stays, and where even those crowd,
    // width.
    float cover(float t, float footprint) const;

    // The cylinder's axis, and where its angle starts (towards the viewer), unit.
    const osg::Vec3f& axis() const { return _axis; }
    const osg::Vec3f& start() const { return _start; }
    // The cylinder's radius; infinite without a scene to measure.
    float radius() const { return _radius; }

private:
    // The stripe coordinates of the batch's hits into t.
    void coordinates(const oxShadingBatch& b, float* t) const;
    // Per hit, the largest change of t to a neighbouring pixel, each way the least of both sides
    // (a neighbour across an edge or on another face does not count).
    void footprints(const oxShadingBatch& b, const float* t, float* footprint) const;

    osg::Vec3f _axis, _start, _side; // _side = _axis x _start
    osg::Vec3f _lockedRay;           // towards the model, while locked
    osg::Pnt3f _centre;              // on the axis
    float _radius = std::numeric_limits<float>::infinity();
    float _front = 0; // FrontWeight / _radius; 0 at infinity
    int _merges = 0;  // how often crowded stripes may halve: 2 when the count is a multiple of 4
    bool _locked = false;
    float _count = 1, _width = 0.5f, _softness = 0;
};
