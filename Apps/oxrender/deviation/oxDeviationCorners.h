#pragma once

#include "oxColouring.h"
#include "oxRenderScene.h"

#include <memory>
#include <vector>

struct oxDeviationField;

// A field's distances at the three corners of every triangle, three floats per triangle and mesh,
// so that a frame reads a hit's three from one place, as it reads the corner curvatures (a cloud's
// point has its one distance); none for
// a mesh where the field lacks the distance of any of its vertices.
class oxDeviationCorners : public oxCornerScalars
{
public:
    // Made from the field over the scene's triangles once, then kept while the frames ask for the
    // same field and scene.
    static std::shared_ptr<const oxDeviationCorners> of(const std::shared_ptr<const oxDeviationField>& field,
                                                        const oxRenderScene& scene);
};
