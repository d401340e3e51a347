// Points on the exact faces, for samples that need no closest-point search to lie on the face they
// were drawn from.
#include "oxCadShape.h"

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
