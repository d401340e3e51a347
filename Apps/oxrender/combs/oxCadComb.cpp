#include "oxCadComb.h"

#include "oxCadShape.h"

#include <BRepAdaptor_Curve.hxx>
#include <BRepLProp_CLProps.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>

#include <algorithm>
#include <cmath>
#include <map>

namespace
{
const double Resolution = 1e-9;

osg::Vec3f toVec(const gp_XYZ& v)
{
    return osg::Vec3f(float(v.X()), float(v.Y()), float(v.Z()));
}

osg::Pnt3f toPnt(const gp_XYZ& v)
{
    return osg::Pnt3f(float(v.X()), float(v.Y()), float(v.Z()));
}

// A unit vector across t that stays the same along a straight line.
gp_Vec across(const gp_Vec& t)
{
    const double x = std::fabs(t.X()), y = std::fabs(t.Y()), z = std::fabs(t.Z());
    const gp_Vec axis = x <= y && x <= z ? gp_Vec(1, 0, 0) : y <= z ? gp_Vec(0, 1, 0) : gp_Vec(0, 0, 1);
    gp_Vec n = t.Crossed(axis);
    const double length = n.Magnitude();
    return length > 0 ? n / length : gp_Vec(0, 0, 1);
}
} // namespace

size_t oxCadComb::edgeCount(const oxCadModel& model)
{
    return model.impl().shared.size() + model.impl().freeEdges.size();
}

bool oxCadComb::edge(const oxCadModel& model, size_t edge, int samples, oxComb& comb)
{
    const oxCadModel::Impl& d = model.impl();
    if (edge >= edgeCount(model) || samples < 2)
        return false;
    const int index = edge < d.shared.size() ? d.shared[edge].edge : d.freeEdges[edge - d.shared.size()];
    comb = oxComb();
    try
    {
        const BRepAdaptor_Curve curve(TopoDS::Edge(d.edges(index)));
        // Curvatures below this are a straight line's rounding; OCCT gives no normal below its
        // resolution.
        const double flat = std::max(Resolution, Resolution / std::max(d.size, 1e-12));
        BRepLProp_CLProps props(curve, 2, Resolution);
        const double first = curve.FirstParameter(), last = curve.LastParameter();
        gp_Vec straight;
        bool haveStraight = false;
        for (int k = 0; k < samples; ++k)
        {
            props.SetParameter(first + (last - first) * k / (samples - 1));
            const double curvature = props.IsTangentDefined() ? props.Curvature() : 0.0;
            gp_Vec tooth;
            if (curvature > flat)
            {
                gp_Dir towardsCentre;
                props.Normal(towardsCentre);
                tooth = -gp_Vec(towardsCentre);
            }
            else
            {
                if (!haveStraight && props.IsTangentDefined())
                {
                    gp_Dir t;
                    props.Tangent(t);
                    straight = across(gp_Vec(t));
                    haveStraight = true;
                }
                tooth = haveStraight ? straight : gp_Vec(0, 0, 1);
            }
            comb.add(toPnt(props.Value().XYZ()), curvature > flat ? curvature : 0.0, toVec(tooth.XYZ()));
        }
    }
    catch (const Standard_Failure&)
    {
        comb = oxComb();
        return false;
    }
    return true;
}

namespace
{
struct UVBox
{
    double u0, u1, v0, v1;
};

// The point of the face's surface on the line through p along n x t: on the section plane (normal n)
// and across the section's direction t at p. Newton's steps from (u, v), kept in the face's
// parameter box; false where they do not settle.
bool onSection(const Geom_Surface& surface, const UVBox& box, const gp_Pnt& p, const gp_Vec& n, const gp_Vec& t,
               double& u, double& v)
{
    for (int iteration = 0; iteration < 20; ++iteration)
    {
        gp_Pnt s;
        gp_Vec su, sv;
        surface.D1(u, v, s, su, sv);
        const gp_Vec r(s, p);
        const double a = n.Dot(su), b = n.Dot(sv), c = t.Dot(su), e = t.Dot(sv);
        const double det = a * e - b * c;
        if (!(std::fabs(det) > 1e-14 * su.Magnitude() * sv.Magnitude()))
            return false;
        const double rn = n.Dot(r), rt = t.Dot(r);
        const double du = (rn * e - b * rt) / det, dv = (a * rt - rn * c) / det;
        u = std::clamp(u + du, box.u0, box.u1);
        v = std::clamp(v + dv, box.v0, box.v1);
        if ((su * du + sv * dv).Magnitude() < 1e-13 * std::max(1.0, gp_Vec(p.XYZ()).Magnitude()))
            return true;
    }
    return false;
}

// The (u, v) of p on the mesh triangle with the given corners, by barycentric weights.
void triangleUV(const oxCadMesh& cad, const oxRenderMesh& mesh, const osg::UInt32* corner, const gp_Pnt& p, double& u,
                double& v)
{
    gp_Vec corners[3];
    for (int k = 0; k < 3; ++k)
    {
        const osg::Pnt3f& q = mesh.positions[corner[k]];
        corners[k] = gp_Vec(q[0], q[1], q[2]);
    }
    const gp_Vec e1 = corners[1] - corners[0], e2 = corners[2] - corners[0], r = gp_Vec(p.XYZ()) - corners[0];
    const double d11 = e1.Dot(e1), d12 = e1.Dot(e2), d22 = e2.Dot(e2), r1 = r.Dot(e1), r2 = r.Dot(e2);
    const double det = d11 * d22 - d12 * d12;
    const double w1 = det > 0 ? (d22 * r1 - d12 * r2) / det : 0, w2 = det > 0 ? (d11 * r2 - d12 * r1) / det : 0;
    const double w[3] = {1 - w1 - w2, w1, w2};
    u = 0;
    v = 0;
    for (int k = 0; k < 3; ++k)
    {
        u += w[k] * cad.uv[2 * corner[k]];
        v += w[k] * cad.uv[2 * corner[k] + 1];
    }
}

// The section curve's tooth at (u, v) of the surface, added to comb; nothing where the surface's
// normal is undefined or the plane (normal n) touches the surface.
void addSectionTooth(const Geom_Surface& surface, bool reversed, const gp_Vec& n, double u, double v, double flat,
                     oxComb& comb)
{
    gp_Pnt s;
    gp_Vec su, sv, suu, svv, suv;
    surface.D2(u, v, s, su, sv, suu, svv, suv);
    gp_Vec normal = su.Crossed(sv);
    const double length = normal.Magnitude();
    if (!(length > 1e-12 * su.Magnitude() * sv.Magnitude()))
        return;
    normal /= reversed ? -length : length;
    // The curve's tangent, and the direction of its principal normal: in the section plane,
    // across the tangent.
    gp_Vec tangent = n.Crossed(normal);
    if (tangent.Magnitude() < 1e-9)
        return; // the plane touches the surface here
    tangent.Normalize();
    const gp_Vec inPlane = n.Crossed(tangent);
    // The tangent in (du, dv), through the first fundamental form.
    const double E = su.Dot(su), F = su.Dot(sv), G = sv.Dot(sv);
    const double bu = tangent.Dot(su), bv = tangent.Dot(sv), det2 = E * G - F * F;
    const double a = (G * bu - F * bv) / det2, b = (E * bv - F * bu) / det2;
    const double first = (su * a + sv * b).SquareMagnitude();
    const double second = a * a * suu.Dot(normal) + 2 * a * b * suv.Dot(normal) + b * b * svv.Dot(normal);
    const double normalCurvature = second / first; // the curvature vector's part along the normal
    const double cosine = inPlane.Dot(normal);
    const double curvature = std::fabs(normalCurvature) / std::max(std::fabs(cosine), 1e-12);
    // Away from the centre of curvature; on a flat piece, to the side the surface faces.
    const double side = curvature > flat ? (normalCurvature > 0) == (cosine > 0) ? -1.0 : 1.0 : cosine < 0 ? -1.0 : 1.0;
    const gp_Vec tooth = inPlane * side;
    comb.add(toPnt(s.XYZ()), curvature > flat ? curvature : 0.0, toVec(tooth.XYZ()));
}
} // namespace

oxComb oxCadComb::section(const oxCadMesh& cad, const oxRenderMesh& mesh,
                          const std::vector<oxCurvatureComb::Sample>& samples, const oxCurvatureComb::Vec& planeNormal)
{
    const oxCadModel::Impl& d = cad.model->impl();
    const gp_Vec n(planeNormal[0], planeNormal[1], planeNormal[2]);
    // Curvatures below this are a straight section's rounding.
    const double flat = std::max(Resolution, Resolution / std::max(d.size, 1e-12));
    std::map<size_t, UVBox> boxes;
    oxComb comb;
    for (const oxCurvatureComb::Sample& sample : samples)
    {
        const osg::UInt32* corner = &mesh.indices[3 * sample.triangle];
        const size_t face = cad.vertexFace[corner[0]];
        if (face >= d.surfaces.size())
            continue;
        const gp_Pnt p(sample.point[0], sample.point[1], sample.point[2]);
        double u = 0, v = 0;
        triangleUV(cad, mesh, corner, p, u, v);
        const gp_Vec t(sample.tangent[0], sample.tangent[1], sample.tangent[2]);
        const Geom_Surface& surface = *d.surfaces[face];
        try
        {
            auto box = boxes.find(face);
            if (box == boxes.end())
            {
                UVBox b;
                BRepTools::UVBounds(TopoDS::Face(d.faces(int(face) + 1)), b.u0, b.u1, b.v0, b.v1);
                box = boxes.emplace(face, b).first;
            }
            const double u0 = u, v0 = v;
            if (!onSection(surface, box->second, p, n, t, u, v))
            {
                u = u0;
                v = v0;
            }
            addSectionTooth(surface, d.reversed[face], n, u, v, flat, comb);
        }
        catch (const Standard_Failure&)
        {
            continue;
        }
    }
    return comb;
}
