// Points on the exact faces, for samples that need no closest-point search to lie on the face they
// were drawn from.
#include "oxCadShape.h"

#include <algorithm>
#include <cmath>

namespace
{
void toDoubles(const gp_XYZ& v, double out[3])
{
    out[0] = v.X();
    out[1] = v.Y();
    out[2] = v.Z();
}

void toFloats(const gp_XYZ& v, float out[3])
{
    out[0] = float(v.X());
    out[1] = float(v.Y());
    out[2] = float(v.Z());
}
} // namespace

bool oxCadModel::pointAt(size_t face, double u, double v, SurfacePoint& out) const
{
    gp_Pnt p;
    gp_Vec normal;
    if (!_d->evaluate(face, u, v, p, normal, nullptr, nullptr))
        return false;
    toDoubles(p.XYZ(), out.point);
    toFloats(normal.XYZ(), out.normal);
    return true;
}

bool oxCadModel::insideTrim(size_t face, double u, double v, const double point[3]) const
{
    return _d->insideTrim(face, u, v, gp_Pnt(point[0], point[1], point[2]));
}

void oxCadModel::uvInTriangle(size_t face, const double corners[6], double wb, double wc, double& u, double& v) const
{
    double corner[6];
    std::copy(corners, corners + 6, corner);
    if (face < _d->surfaces.size())
    {
        const Geom_Surface& surface = *_d->surfaces[face];
        for (int k = 1; k < 3; ++k)
        {
            if (surface.IsUPeriodic())
                corner[2 * k] -= surface.UPeriod() * std::round((corner[2 * k] - corner[0]) / surface.UPeriod());
            if (surface.IsVPeriodic())
                corner[2 * k + 1] -=
                    surface.VPeriod() * std::round((corner[2 * k + 1] - corner[1]) / surface.VPeriod());
        }
    }
    const double wa = 1.0 - wb - wc;
    u = wa * corner[0] + wb * corner[2] + wc * corner[4];
    v = wa * corner[1] + wb * corner[3] + wc * corner[5];
}
