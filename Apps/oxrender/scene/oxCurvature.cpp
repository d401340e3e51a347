#include "oxCurvature.h"

#include "oxParallel.h"
#include "oxRenderUtil.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace
{
typedef osg::Vec3f V3;

using oxRenderUtil::finite;
using oxRenderUtil::parallelFor;

inline V3 unit(const V3& v)
{
    const float len = v.length();
    if (len > 0.f && len <= std::numeric_limits<float>::max())
        return v * (1.f / len);
    if (!std::isinf(len))
        return v;
    // The squares overflowed: scale down by the largest component first.
    const float largest = std::max({std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])});
    if (!std::isfinite(largest))
        return V3();
    const V3 w = v * (1.f / largest);
    return w * (1.f / w.length());
}

// Turns the frame (u, v) about u x v so that its normal becomes n (the shortest rotation).
void rotateFrame(V3& u, V3& v, const V3& n)
{
    const V3 oldNormal = u.cross(v);
    const float ndot = oldNormal.dot(n);
    if (ndot <= -1.f)
    {
        u = -u;
        v = -v;
        return;
    }
    const V3 perp = n - oldNormal * ndot;
    const V3 dperp = (oldNormal + n) * (1.f / (1.f + ndot));
    u -= dperp * perp.dot(u);
    v -= dperp * perp.dot(v);
}

// The tensor (ku, kuv, kv) given in frame (u, v), re-expressed in frame (nu, nv).
void projectTensor(V3 u, V3 v, float ku, float kuv, float kv, const V3& nu, const V3& nv, float& out1, float& out12,
                   float& out2)
{
    rotateFrame(u, v, nu.cross(nv));
    const float u1 = nu.dot(u), v1 = nu.dot(v), u2 = nv.dot(u), v2 = nv.dot(v);
    out1 = ku * u1 * u1 + kuv * (2.f * u1 * v1) + kv * v1 * v1;
    out12 = ku * u1 * u2 + kuv * (u1 * v2 + u2 * v1) + kv * v1 * v2;
    out2 = ku * u2 * u2 + kuv * (2.f * u2 * v2) + kv * v2 * v2;
}

// Least squares of the 3 x 3 normal equations by LDL^T; false when singular.
bool solve3(double m[3][3], double rhs[3], double x[3])
{
    double d[3];
    for (int i = 0; i < 3; ++i)
    {
        double sum = m[i][i];
        for (int k = 0; k < i; ++k)
            sum -= m[i][k] * m[i][k] * d[k];
        if (!(std::fabs(sum) > 1e-30))
            return false;
        d[i] = sum;
        for (int j = i + 1; j < 3; ++j)
        {
            double s = m[j][i];
            for (int k = 0; k < i; ++k)
                s -= m[j][k] * m[i][k] * d[k];
            m[j][i] = s / d[i];
        }
    }
    double y[3];
    for (int i = 0; i < 3; ++i)
    {
        y[i] = rhs[i];
        for (int k = 0; k < i; ++k)
            y[i] -= m[i][k] * y[k];
    }
    for (int i = 2; i >= 0; --i)
    {
        x[i] = y[i] / d[i];
        for (int k = i + 1; k < 3; ++k)
            x[i] -= m[k][i] * x[k];
    }
    return std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]);
}

// The mesh's triangles as the estimate reads them; a triangle is usable when its three corners
// name three different existing vertices.
struct Triangles
{
    const oxRenderMesh& mesh;
    const std::vector<osg::Pnt3f>& p;
    size_t nv, nf;

    explicit Triangles(const oxRenderMesh& m) : mesh(m), p(m.positions), nv(m.positions.size()), nf(m.triangleCount())
    {
    }
    osg::UInt32 corner(size_t f, int k) const { return mesh.indices[3 * f + size_t(k)]; }
    bool usable(size_t f) const
    {
        return corner(f, 0) < nv && corner(f, 1) < nv && corner(f, 2) < nv && corner(f, 0) != corner(f, 1) &&
               corner(f, 1) != corner(f, 2) && corner(f, 0) != corner(f, 2);
    }
};

// Unit vertex normals: the mesh's own, or area-weighted face normals when it has none.
std::vector<V3> vertexNormals(const Triangles& m)
{
    std::vector<V3> normals(m.nv);
    if (m.mesh.hasNormals())
        for (size_t i = 0; i < m.nv; ++i)
            normals[i] = finite(m.mesh.normals[i]) ? unit(m.mesh.normals[i]) : V3();
    else
        for (size_t f = 0; f < m.nf; ++f)
        {
            if (!m.usable(f))
                continue;
            const V3 n = (m.p[m.corner(f, 1)] - m.p[m.corner(f, 0)]).cross(m.p[m.corner(f, 2)] - m.p[m.corner(f, 0)]);
            if (!finite(n))
                continue;
            for (int k = 0; k < 3; ++k)
                normals[m.corner(f, k)] += n;
        }
    for (V3& n : normals)
        n = unit(n);
    return normals;
}

// One triangle's mixed Voronoi areas per corner (Meyer et al.): obtuse triangles are split by
// their edge midpoints, so that the areas stay positive. e[k] is the edge opposite corner k.
void triangleCornerAreas(const V3 e[3], float ca[3])
{
    const float area = 0.5f * e[0].cross(e[1]).length();
    if (!(area > 0.f) || !std::isfinite(area))
        return;
    const float l2[3] = {e[0].squareLength(), e[1].squareLength(), e[2].squareLength()};
    const float ew[3] = {l2[0] * (l2[1] + l2[2] - l2[0]), l2[1] * (l2[2] + l2[0] - l2[1]),
                         l2[2] * (l2[0] + l2[1] - l2[2])};
    if (ew[0] <= 0.f)
    {
        ca[1] = -0.25f * l2[2] * area / e[0].dot(e[2]);
        ca[2] = -0.25f * l2[1] * area / e[0].dot(e[1]);
        ca[0] = area - ca[1] - ca[2];
    }
    else if (ew[1] <= 0.f)
    {
        ca[2] = -0.25f * l2[0] * area / e[1].dot(e[0]);
        ca[0] = -0.25f * l2[2] * area / e[1].dot(e[2]);
        ca[1] = area - ca[2] - ca[0];
    }
    else if (ew[2] <= 0.f)
    {
        ca[0] = -0.25f * l2[1] * area / e[2].dot(e[1]);
        ca[1] = -0.25f * l2[0] * area / e[2].dot(e[0]);
        ca[2] = area - ca[0] - ca[1];
    }
    else
    {
        const float scale = 0.5f * area / (ew[0] + ew[1] + ew[2]);
        for (int k = 0; k < 3; ++k)
            ca[k] = scale * (ew[(k + 1) % 3] + ew[(k + 2) % 3]);
    }
    for (int k = 0; k < 3; ++k)
    {
        if (!std::isfinite(ca[k]))
        {
            ca[0] = ca[1] = ca[2] = 0.f;
            break;
        }
    }
}

// Three areas per triangle, 0 for unusable ones; triangles in parallel.
std::vector<float> cornerAreas(const Triangles& m)
{
    std::vector<float> cornerArea(3 * m.nf, 0.f);
    parallelFor(m.nf,
                [&](size_t begin, size_t end)
                {
                    for (size_t f = begin; f < end; ++f)
                    {
                        if (!m.usable(f))
                            continue;
                        const V3 e[3] = {m.p[m.corner(f, 2)] - m.p[m.corner(f, 1)],
                                         m.p[m.corner(f, 0)] - m.p[m.corner(f, 2)],
                                         m.p[m.corner(f, 1)] - m.p[m.corner(f, 0)]};
                        triangleCornerAreas(e, &cornerArea[3 * f]);
                    }
                });
    return cornerArea;
}

// Each vertex's area: its corners' areas, summed in face order, so the result does not depend on
// the threads.
std::vector<float> pointAreas(const Triangles& m, const std::vector<float>& cornerArea)
{
    std::vector<float> pointArea(m.nv, 0.f);
    for (size_t f = 0; f < m.nf; ++f)
        if (m.usable(f))
            for (int k = 0; k < 3; ++k)
                pointArea[m.corner(f, k)] += cornerArea[3 * f + size_t(k)];
    return pointArea;
}

// A tangent frame per vertex: any edge, made perpendicular to the normal.
void tangentFrames(const Triangles& m, const std::vector<V3>& normals, std::vector<V3>& frameU, std::vector<V3>& frameV)
{
    frameU.assign(m.nv, V3());
    frameV.assign(m.nv, V3());
    for (size_t f = 0; f < m.nf; ++f)
    {
        if (!m.usable(f))
            continue;
        for (int k = 0; k < 3; ++k)
            frameU[m.corner(f, k)] = m.p[m.corner(f, (k + 1) % 3)] - m.p[m.corner(f, k)];
    }
    parallelFor(m.nv,
                [&](size_t begin, size_t end)
                {
                    for (size_t i = begin; i < end; ++i)
                    {
                        V3 u = frameU[i] - normals[i] * frameU[i].dot(normals[i]);
                        if (u.length() < 1e-20f || !finite(u))
                        {
                            // No usable edge, or one along the normal: any vector perpendicular to it.
                            const V3& n = normals[i];
                            u = std::fabs(n[0]) < 0.9f ? V3(1.f, 0.f, 0.f).cross(n) : V3(0.f, 1.f, 0.f).cross(n);
                            if (u.length() < 1e-20f)
                                u = V3(1.f, 0.f, 0.f);
                        }
                        frameU[i] = unit(u);
                        frameV[i] = unit(normals[i].cross(frameU[i]));
                    }
                });
}

// One face's second fundamental form (x: ku, kuv, kv) in its frame (t, b), by least squares over
// its edges: along each edge the normal changes by the form applied to the edge. False for a
// degenerate face or a singular fit.
bool faceTensor(const V3 e[3], const V3 n[3], V3& t, V3& b, double x[3])
{
    V3 faceNormal = e[0].cross(e[1]);
    if (faceNormal.length() < 1e-30f || !finite(faceNormal))
        return false;
    // The face frame follows the vertex normals, so the winding does not matter.
    if (faceNormal.dot(n[0] + n[1] + n[2]) < 0.f)
        faceNormal = -faceNormal;
    faceNormal = unit(faceNormal);
    t = unit(e[0]);
    b = unit(faceNormal.cross(t));
    double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    double rhs[3] = {0, 0, 0};
    for (int j = 0; j < 3; ++j)
    {
        const double u = e[j].dot(t), v = e[j].dot(b);
        m[0][0] += u * u;
        m[1][1] += u * u + v * v;
        m[2][2] += v * v;
        m[1][0] += u * v;
        m[2][1] += u * v;
        const V3 dn = n[(j + 2) % 3] - n[(j + 1) % 3];
        const double dnu = dn.dot(t), dnv = dn.dot(b);
        rhs[0] += dnu * u;
        rhs[1] += dnu * v + dnv * u;
        rhs[2] += dnv * v;
    }
    m[0][1] = m[1][0];
    m[1][2] = m[2][1];
    return solve3(m, rhs, x);
}

// Adds each face's three corner contributions (three values per corner) to its vertices, in
// face order.
void sumInFaceOrder(const Triangles& m, const std::vector<float>& contribution, const std::vector<char>& contributes,
                    std::vector<float>& curv1, std::vector<float>& curv12, std::vector<float>& curv2)
{
    curv1.assign(m.nv, 0.f);
    curv12.assign(m.nv, 0.f);
    curv2.assign(m.nv, 0.f);
    for (size_t f = 0; f < m.nf; ++f)
    {
        if (!contributes[f])
            continue;
        for (int k = 0; k < 3; ++k)
        {
            const float* in = &contribution[9 * f + 3 * size_t(k)];
            const osg::UInt32 v = m.corner(f, k);
            curv1[v] += in[0];
            curv12[v] += in[1];
            curv2[v] += in[2];
        }
    }
}

// The vertices' tensors (curv1, curv12, curv2 in each vertex's frame): every face's tensor in its
// corners' frames, weighted by the corner's share of the vertex area. Faces run in parallel into
// their own slots and are summed per vertex in face order, so the result does not depend on the
// threads.
void vertexTensors(const Triangles& m, const std::vector<V3>& normals, const std::vector<float>& cornerArea,
                   const std::vector<float>& pointArea, const std::vector<V3>& frameU, const std::vector<V3>& frameV,
                   std::vector<float>& curv1, std::vector<float>& curv12, std::vector<float>& curv2)
{
    std::vector<float> contribution(9 * m.nf, 0.f);
    std::vector<char> contributes(m.nf, 0);
    parallelFor(m.nf,
                [&](size_t begin, size_t end)
                {
                    for (size_t f = begin; f < end; ++f)
                    {
                        if (!m.usable(f))
                            continue;
                        const osg::UInt32 vi[3] = {m.corner(f, 0), m.corner(f, 1), m.corner(f, 2)};
                        const V3 e[3] = {m.p[vi[2]] - m.p[vi[1]], m.p[vi[0]] - m.p[vi[2]], m.p[vi[1]] - m.p[vi[0]]};
                        const V3 n[3] = {normals[vi[0]], normals[vi[1]], normals[vi[2]]};
                        V3 t, b;
                        double x[3];
                        if (!faceTensor(e, n, t, b, x))
                            continue;
                        for (int k = 0; k < 3; ++k)
                        {
                            const osg::UInt32 v = vi[k];
                            if (!(pointArea[v] > 0.f))
                                continue;
                            float c1, c12, c2;
                            projectTensor(t, b, float(x[0]), float(x[1]), float(x[2]), frameU[v], frameV[v], c1, c12,
                                          c2);
                            const float w = cornerArea[3 * f + size_t(k)] / pointArea[v];
                            if (!std::isfinite(c1 + c12 + c2) || !std::isfinite(w))
                                continue;
                            float* out = &contribution[9 * f + 3 * size_t(k)];
                            out[0] = w * c1;
                            out[1] = w * c12;
                            out[2] = w * c2;
                        }
                        contributes[f] = 1;
                    }
                });
    sumInFaceOrder(m, contribution, contributes, curv1, curv12, curv2);
}

// The principal curvatures and directions of each vertex's tensor.
void principal(const std::vector<float>& curv1, const std::vector<float>& curv12, const std::vector<float>& curv2,
               const std::vector<V3>& normals, const std::vector<V3>& frameU, const std::vector<V3>& frameV,
               oxPrincipalCurvatures& result)
{
    const size_t nv = normals.size();
    result.kMax.resize(nv, 0.f);
    result.kMin.resize(nv, 0.f);
    result.dirMax.resize(nv);
    result.dirMin.resize(nv);
    parallelFor(nv,
                [&](size_t begin, size_t end)
                {
                    for (size_t i = begin; i < end; ++i)
                    {
                        // Eigenvalues of the symmetric 2 x 2 tensor.
                        const double a = curv1[i], c = curv2[i], h = curv12[i];
                        const double mean = 0.5 * (a + c);
                        const double radius = std::sqrt(0.25 * (a - c) * (a - c) + h * h);
                        const double k1 = mean + radius, k2 = mean - radius;
                        if (std::isfinite(k1) && std::isfinite(k2))
                        {
                            result.kMax[i] = float(k1);
                            result.kMin[i] = float(k2);
                        }
                        // The eigenvector of k1 lies at half the angle of (a - c, 2 h) from the frame's u.
                        const double angle = 0.5 * std::atan2(2.0 * h, a - c);
                        V3 d1 = frameU[i] * float(std::cos(angle)) + frameV[i] * float(std::sin(angle));
                        if (!finite(d1) || !(d1.length() > 1e-6f))
                            d1 = frameU[i];
                        d1 = unit(d1);
                        // A vertex without a normal still gets a right angle.
                        V3 d2 = normals[i].cross(d1);
                        if (!(d2.length() > 1e-6f))
                            d2 = std::fabs(d1[0]) < 0.9f ? V3(1.f, 0.f, 0.f).cross(d1) : V3(0.f, 1.f, 0.f).cross(d1);
                        result.dirMax[i] = d1;
                        result.dirMin[i] = unit(d2);
                    }
                });
}
oxPrincipalCurvatures estimateAsItIs(const oxRenderMesh& mesh)
{
    const Triangles triangles(mesh);
    const std::vector<V3> normals = vertexNormals(triangles);
    const std::vector<float> cornerArea = cornerAreas(triangles);
    const std::vector<float> pointArea = pointAreas(triangles, cornerArea);
    std::vector<V3> frameU, frameV;
    tangentFrames(triangles, normals, frameU, frameV);
    std::vector<float> curv1, curv12, curv2;
    vertexTensors(triangles, normals, cornerArea, pointArea, frameU, frameV, curv1, curv12, curv2);
    oxPrincipalCurvatures result;
    principal(curv1, curv12, curv2, normals, frameU, frameV, result);
    return result;
}

// The power of two that brings a mesh's coordinates to about 1: the areas and Voronoi weights
// take fourth powers of edge lengths, which overflow float for edges of a few 1e9.
int magnitude(const oxRenderMesh& mesh)
{
    float reach = 0.f;
    for (const osg::Pnt3f& p : mesh.positions)
        for (int c = 0; c < 3; ++c)
            if (std::isfinite(p[c]))
                reach = std::max(reach, std::fabs(p[c]));
    int exponent = 0;
    std::frexp(reach, &exponent);
    return exponent;
}
} // namespace

oxPrincipalCurvatures oxCurvature::estimate(const oxRenderMesh& mesh)
{
    const int exponent = magnitude(mesh);
    if (exponent <= 20)
        return estimateAsItIs(mesh);
    // Scaled by a power of two, which changes no bit of the positions but their exponent.
    oxRenderMesh scaled;
    scaled.positions.reserve(mesh.positions.size());
    for (const osg::Pnt3f& p : mesh.positions)
        scaled.positions.emplace_back(std::ldexp(p[0], -exponent), std::ldexp(p[1], -exponent),
                                      std::ldexp(p[2], -exponent));
    scaled.normals = mesh.normals;
    scaled.indices = mesh.indices;
    oxPrincipalCurvatures result = estimateAsItIs(scaled);
    for (std::vector<float>* k : {&result.kMax, &result.kMin})
        for (float& value : *k)
            value = std::ldexp(value, -exponent);
    return result;
}
