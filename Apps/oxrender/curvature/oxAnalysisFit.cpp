#include "oxAnalysisFit.h"

#include <algorithm>
#include <cmath>

bool oxAnalysisFit::lights(const osg::Pnt3f& min, const osg::Pnt3f& max, const osg::Vec3f& u, const osg::Vec3f& v,
                           unsigned int count, Lights& out)
{
    const osg::Vec3f diagonal = max - min;
    const float size = diagonal.length();
    if (!std::isfinite(size) || !(size > 0.f))
        return false;
    osg::Vec3f normal = u.cross(v);
    if (!(normal.length() > 0.f))
        normal = osg::Vec3f(0.f, 0.f, 1.f);
    normal.normalize();
    // Half the box's extent along the normal, then a little more, so the plane clears the model.
    const float reach = 0.5f * (std::fabs(diagonal[0] * normal[0]) + std::fabs(diagonal[1] * normal[1]) +
                                std::fabs(diagonal[2] * normal[2]));
    const osg::Vec3f centre = (min.subZero() + max.subZero()) * 0.5f;
    out.planeOrigin = centre + normal * (reach + 0.05f * size);
    out.linesDistance = size / float(std::max(1u, count));
    out.linesLength = 2.f * size;
    return true;
}

float oxAnalysisFit::drawScale(double low, double high, bool symmetric)
{
    const double range = symmetric ? std::max(std::fabs(low), std::fabs(high)) : 0.5 * (high - low);
    if (!std::isfinite(range) || !(range > 0))
        return 0.f;
    return float(1.0 / range);
}
