#pragma once

#include "oxColouring.h"
#include "oxCompare.h"

#include <memory>
#include <vector>

// A comparison as a frame shows it over the new part: each triangle's code at its three corners
// (the largest distance of a modified face, or a class code below 0), and the old part's removed
// faces as a scene of their own, moved into the new part's space.
class oxCompareView : public oxCornerScalars
{
public:
    static constexpr float UnchangedCode = -1.f, AddedCode = -2.f;

    // newPart must be the scene the frames trace, as it was compared.
    static std::shared_ptr<const oxCompareView> make(const oxCompareResult& result, const oxRenderScene& oldPart,
                                                     const oxRenderScene& newPart);

    // Whether scene has the meshes and triangles the view was made for.
    bool fits(const oxRenderScene& scene) const;
    const oxRenderScene& removed() const { return *_removed; }
    float tolerance() const { return _tolerance; }
    // The largest distance of a modified face; the top of the legend.
    float largest() const { return _largest; }

private:
    oxCompareView() = default;

    std::vector<size_t> _triangles; // per mesh of the new part
    std::shared_ptr<oxRenderScene> _removed;
    float _tolerance = 0, _largest = 0;
};
