#include "oxCurvature.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace
{
typedef osg::Vec3f V3;

// fn(begin, end) over [0, n) in one block per hardware thread; small inputs stay on this one.
template <class Fn> void parallelFor(size_t n, const Fn& fn)
{
    const size_t threads = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), n / 20000 + 1);
    std::vector<std::thread> pool;
    const size_t block = (n + threads - 1) / threads;
    for (size_t t = 1; t < threads; ++t)
        pool.emplace_back([&fn, t, block, n] { fn(std::min(n, t * block), std::min(n, (t + 1) * block)); });
    fn(0, std::min(n, block));
    for (std::thread& thread : pool)
        thread.join();
}

bool finite(const V3& v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

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
} // namespace

oxPrincipalCurvatures oxCurvature::estimate(const oxRenderMesh& mesh)
{
    const size_t nv = mesh.positions.size();
    const size_t nf = mesh.triangleCount();
    const std::vector<osg::Pnt3f>& p = mesh.positions;
    auto corner = [&](size_t f, int k) { return mesh.indices[3 * f + size_t(k)]; };
    auto usable = [&](size_t f)
    {
        return corner(f, 0) < nv && corner(f, 1) < nv && corner(f, 2) < nv && corner(f, 0) != corner(f, 1) &&
               corner(f, 1) != corner(f, 2) && corner(f, 0) != corner(f, 2);
    };

    std::vector<V3> normals(nv);
    if (mesh.hasNormals())
        for (size_t i = 0; i < nv; ++i)
            normals[i] = finite(mesh.normals[i]) ? unit(mesh.normals[i]) : V3();
    else
        for (size_t f = 0; f < nf; ++f)
        {
            if (!usable(f))
                continue;
            const V3 n = (p[corner(f, 1)] - p[corner(f, 0)]).cross(p[corner(f, 2)] - p[corner(f, 0)]);
            if (!finite(n))
                continue;
            for (int k = 0; k < 3; ++k)
                normals[corner(f, k)] += n;
        }
    for (V3& n : normals)
        n = unit(n);

    // Mixed Voronoi areas per corner (obtuse triangles split by their edge midpoints).
    std::vector<float> cornerArea(3 * nf, 0.f);
    std::vector<float> pointArea(nv, 0.f);
    parallelFor(nf,
                [&](size_t begin, size_t end)
                {
                    for (size_t f = begin; f < end; ++f)
                    {
                        if (!usable(f))
                            continue;
                        const V3 e[3] = {p[corner(f, 2)] - p[corner(f, 1)], p[corner(f, 0)] - p[corner(f, 2)],
                                         p[corner(f, 1)] - p[corner(f, 0)]};
                        const float area = 0.5f * e[0].cross(e[1]).length();
                        if (!(area > 0.f) || !std::isfinite(area))
                            continue;
                        const float l2[3] = {e[0].squareLength(), e[1].squareLength(), e[2].squareLength()};
                        const float ew[3] = {l2[0] * (l2[1] + l2[2] - l2[0]), l2[1] * (l2[2] + l2[0] - l2[1]),
                                             l2[2] * (l2[0] + l2[1] - l2[2])};
                        float* ca = &cornerArea[3 * f];
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
                });
    // Summed in face order, so the result does not depend on the threads.
    for (size_t f = 0; f < nf; ++f)
        if (usable(f))
            for (int k = 0; k < 3; ++k)
                pointArea[corner(f, k)] += cornerArea[3 * f + size_t(k)];

    // A tangent frame per vertex: any edge, made perpendicular to the normal.
    std::vector<V3> frameU(nv), frameV(nv);
    for (size_t f = 0; f < nf; ++f)
    {
        if (!usable(f))
            continue;
        for (int k = 0; k < 3; ++k)
            frameU[corner(f, k)] = p[corner(f, (k + 1) % 3)] - p[corner(f, k)];
    }
    parallelFor(nv,
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

    // Each face's weighted tensor in its corners' frames, faces in parallel; then summed per vertex
    // in face order.
    std::vector<float> contribution(9 * nf, 0.f);
    std::vector<char> contributes(nf, 0);
    parallelFor(nf,
                [&](size_t begin, size_t end)
                {
                    for (size_t f = begin; f < end; ++f)
                    {
                        if (!usable(f))
                            continue;
                        const osg::UInt32 vi[3] = {corner(f, 0), corner(f, 1), corner(f, 2)};
                        const V3 e[3] = {p[vi[2]] - p[vi[1]], p[vi[0]] - p[vi[2]], p[vi[1]] - p[vi[0]]};
                        V3 faceNormal = e[0].cross(e[1]);
                        if (faceNormal.length() < 1e-30f || !finite(faceNormal))
                            continue;
                        // The face frame follows the vertex normals, so the winding does not matter.
                        if (faceNormal.dot(normals[vi[0]] + normals[vi[1]] + normals[vi[2]]) < 0.f)
                            faceNormal = -faceNormal;
                        faceNormal = unit(faceNormal);
                        const V3 t = unit(e[0]);
                        const V3 b = unit(faceNormal.cross(t));

                        // Along each edge the normal changes by the second fundamental form applied to the edge.
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
                            const V3 dn = normals[vi[(j + 2) % 3]] - normals[vi[(j + 1) % 3]];
                            const double dnu = dn.dot(t), dnv = dn.dot(b);
                            rhs[0] += dnu * u;
                            rhs[1] += dnu * v + dnv * u;
                            rhs[2] += dnv * v;
                        }
                        m[0][1] = m[1][0];
                        m[1][2] = m[2][1];
                        double x[3];
                        if (!solve3(m, rhs, x))
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
    std::vector<float> curv1(nv, 0.f), curv12(nv, 0.f), curv2(nv, 0.f);
    for (size_t f = 0; f < nf; ++f)
    {
        if (!contributes[f])
            continue;
        for (int k = 0; k < 3; ++k)
        {
            const float* in = &contribution[9 * f + 3 * size_t(k)];
            const osg::UInt32 v = corner(f, k);
            curv1[v] += in[0];
            curv12[v] += in[1];
            curv2[v] += in[2];
        }
    }

    oxPrincipalCurvatures result;
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
    return result;
}
