#pragma once

#include "oxRenderScene.h"

#include <memory>
#include <vector>

struct oxDeviationField;

// A field's distances at the three corners of every triangle, three floats per triangle and mesh,
// so that a frame reads a hit's three from one place, as it reads the corner curvatures.
class oxDeviationCorners
{
public:
    // Made from the field over the scene's triangles once, then kept while the frames ask for the
    // same field and scene.
    static std::shared_ptr<const oxDeviationCorners> of(const std::shared_ptr<const oxDeviationField>& field,
                                                        const oxRenderScene& scene);

    // Three per triangle of the mesh; null where the field has no distance for each of its vertices.
    const float* corners(size_t mesh) const
    {
        return mesh < _corners.size() && !_corners[mesh].empty() ? _corners[mesh].data() : nullptr;
    }

private:
    std::vector<oxShadingArray> _corners;
};
