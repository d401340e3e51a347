#include "oxDeviation.h"

#include "oxRenderScene.h"

std::shared_ptr<const oxDeviationField> oxDeviation::compute(const oxRenderScene&, const oxRenderScene&)
{
    return nullptr;
}
