#include "oxAlignment.h"

#include "oxDeviation.h"
#include "oxRenderScene.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace
{
using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>; // rows

Vec3 apply(const Mat3& r, const Vec3& t, const osg::Pnt3f& p)
{
    Vec3 out;
    for (int i = 0; i < 3; ++i)
        out[i] = r[i][0] * p[0] + r[i][1] * p[1] + r[i][2] * p[2] + t[i];
    return out;
}

osg::Pnt3f toPoint(const Vec3& p)
{
    return osg::Pnt3f(float(p[0]), float(p[1]), float(p[2]));
}

// The rotation by |w| radians about w (Rodrigues).
Mat3 rotation(const Vec3& w)
{
    const double angle = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    Mat3 r{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    if (angle < 1e-300)
        return r;
    const double x = w[0] / angle, y = w[1] / angle, z = w[2] / angle;
    const double c = std::cos(angle), s = std::sin(angle), C = 1 - c;
    r = {{{c + x * x * C, x * y * C - z * s, x * z * C + y * s},
          {y * x * C + z * s, c + y * y * C, y * z * C - x * s},
          {z * x * C - y * s, z * y * C + x * s, c + z * z * C}}};
    return r;
}

Mat3 multiply(const Mat3& a, const Mat3& b)
{
    Mat3 out{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                out[i][j] += a[i][k] * b[k][j];
    return out;
}

// The eigenvalues and unit eigenvectors (the columns of vectors) of a symmetric n x n matrix,
// row-major, by cyclic Jacobi rotations: small, and exact to rounding for n <= 6.
void eigen(std::vector<double> a, size_t n, std::vector<double>& values, std::vector<double>& vectors)
{
    vectors.assign(n * n, 0.0);
    for (size_t i = 0; i < n; ++i)
        vectors[i * n + i] = 1;
    for (int sweep = 0; sweep < 50; ++sweep)
    {
        double off = 0, all = 0;
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j)
                (i == j ? all : off) += a[i * n + j] * a[i * n + j];
        if (!(off > 1e-28 * (all + off)))
            break;
        for (size_t p = 0; p < n; ++p)
            for (size_t q = p + 1; q < n; ++q)
            {
                const double apq = a[p * n + q];
                if (apq == 0)
                    continue;
                const double theta = (a[q * n + q] - a[p * n + p]) / (2 * apq);
                const double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (size_t k = 0; k < n; ++k)
                {
                    const double akp = a[k * n + p], akq = a[k * n + q];
                    a[k * n + p] = c * akp - s * akq;
                    a[k * n + q] = s * akp + c * akq;
                }
                for (size_t k = 0; k < n; ++k)
                {
                    const double apk = a[p * n + k], aqk = a[q * n + k];
                    a[p * n + k] = c * apk - s * aqk;
                    a[q * n + k] = s * apk + c * aqk;
                }
                for (size_t k = 0; k < n; ++k)
                {
                    const double vkp = vectors[k * n + p], vkq = vectors[k * n + q];
                    vectors[k * n + p] = c * vkp - s * vkq;
                    vectors[k * n + q] = s * vkp + c * vkq;
                }
            }
    }
    values.resize(n);
    for (size_t i = 0; i < n; ++i)
        values[i] = a[i * n + i];
}

// The distance below which the best (1 - TrimFraction) of the finite distances lie.
double trimBound(const std::vector<oxClosestPoint>& closest)
{
    std::vector<float> d;
    d.reserve(closest.size());
    for (const oxClosestPoint& c : closest)
        if (std::isfinite(c.distance))
            d.push_back(std::fabs(c.distance));
    if (d.empty())
        return -1;
    const size_t keep = std::min(d.size() - 1, size_t(std::ceil(double(d.size()) * (1 - oxAlignment::TrimFraction))));
    std::nth_element(d.begin(), d.begin() + long(keep), d.end());
    return d[keep];
}

double trimmedRms(const std::vector<oxClosestPoint>& closest)
{
    const double bound = trimBound(closest);
    double sum = 0;
    size_t n = 0;
    for (const oxClosestPoint& c : closest)
        if (std::isfinite(c.distance) && std::fabs(c.distance) <= bound)
        {
            sum += double(c.distance) * c.distance;
            ++n;
        }
    return n ? std::sqrt(sum / double(n)) : 0;
}

// One point-to-plane step's normal equations a x = b over the kept points, about their centroid,
// so that rotation and translation separate well. The rotation's unknowns are scaled by the
// points' spread, so that all six are lengths and their eigenvalues compare.
struct Equations
{
    std::vector<double> a = std::vector<double>(36, 0.0);
    std::array<double, 6> b{};
    Vec3 centroid{0, 0, 0};
    double spread = 1;
    size_t kept = 0;
};

Equations equations(const std::vector<osg::Pnt3f>& moved, const std::vector<oxClosestPoint>& closest)
{
    Equations e;
    const double bound = trimBound(closest);
    auto keep = [&](size_t i) { return std::isfinite(closest[i].distance) && std::fabs(closest[i].distance) <= bound; };
    for (size_t i = 0; i < moved.size(); ++i)
        if (keep(i))
        {
            for (size_t k = 0; k < 3; ++k)
                e.centroid[k] += moved[i][int(k)];
            ++e.kept;
        }
    if (e.kept == 0)
        return e;
    for (double& v : e.centroid)
        v /= double(e.kept);
    double spread2 = 0;
    for (size_t i = 0; i < moved.size(); ++i)
        if (keep(i))
            for (size_t k = 0; k < 3; ++k)
                spread2 += (moved[i][int(k)] - e.centroid[k]) * (moved[i][int(k)] - e.centroid[k]);
    e.spread = std::max(std::sqrt(spread2 / double(e.kept)), 1e-30);
    for (size_t i = 0; i < moved.size(); ++i)
    {
        if (!keep(i))
            continue;
        const oxClosestPoint& q = closest[i];
        const Vec3 x{(moved[i][0] - e.centroid[0]) / e.spread, (moved[i][1] - e.centroid[1]) / e.spread,
                     (moved[i][2] - e.centroid[2]) / e.spread};
        const Vec3 n{q.normal[0], q.normal[1], q.normal[2]};
        const double row[6] = {
            x[1] * n[2] - x[2] * n[1], x[2] * n[0] - x[0] * n[2], x[0] * n[1] - x[1] * n[0], n[0], n[1], n[2]};
        const double residual =
            (moved[i][0] - q.point[0]) * n[0] + (moved[i][1] - q.point[1]) * n[1] + (moved[i][2] - q.point[2]) * n[2];
        for (size_t j = 0; j < 6; ++j)
        {
            for (size_t k = 0; k < 6; ++k)
                e.a[j * 6 + k] += row[j] * row[k];
            e.b[j] -= row[j] * residual;
        }
    }
    return e;
}

// The eigenvectors of a, split into the motions the data constrains and those it leaves free.
struct Subspaces
{
    std::vector<double> values, vectors; // vectors' columns
    double largest = 0;
    bool free(size_t i) const { return !(values[i] > oxAlignment::FreeRatio * largest); }
};

Subspaces subspaces(const Equations& e)
{
    Subspaces s;
    eigen(e.a, 6, s.values, s.vectors);
    for (double v : s.values)
        s.largest = std::max(s.largest, v);
    return s;
}

// The free motions (scaled as the equations' unknowns) recombined so that their rotation parts
// are orthogonal: turn[j] is the squared length of twists[j]'s rotation, 0 for a pure translation.
struct FreeTwists
{
    std::vector<std::array<double, 6>> twists;
    std::vector<double> turn;
    static constexpr double Slide = 1e-6; // a turn below this is a translation
};

FreeTwists freeTwists(const Subspaces& s)
{
    std::vector<std::array<double, 6>> basis;
    for (size_t i = 0; i < 6; ++i)
        if (s.free(i))
            basis.push_back({s.vectors[i], s.vectors[6 + i], s.vectors[12 + i], s.vectors[18 + i], s.vectors[24 + i],
                             s.vectors[30 + i]});
    const size_t k = basis.size();
    FreeTwists out;
    if (k == 0)
        return out;
    // The rotation parts' Gram matrix: its null vectors combine the basis into pure translations.
    std::vector<double> gram(k * k, 0.0), vectors;
    for (size_t i = 0; i < k; ++i)
        for (size_t j = 0; j < k; ++j)
            for (size_t c = 0; c < 3; ++c)
                gram[i * k + j] += basis[i][c] * basis[j][c];
    eigen(gram, k, out.turn, vectors);
    for (size_t j = 0; j < k; ++j)
    {
        std::array<double, 6> twist{};
        for (size_t i = 0; i < k; ++i)
            for (size_t c = 0; c < 6; ++c)
                twist[c] += vectors[i * k + j] * basis[i][c];
        out.twists.push_back(twist);
    }
    return out;
}

// The least-squares step within the constrained motions (the pseudo-inverse), then, of the
// steps that fit equally well, the one that turns least: a sphere off its place is shifted back,
// not rolled about the reference's centre. Nothing along a free translation. (rotation in
// radians, translation)
std::array<double, 6> constrainedStep(const Equations& e, const Subspaces& s)
{
    std::array<double, 6> step{};
    for (size_t i = 0; i < 6; ++i)
    {
        if (s.free(i))
            continue;
        double along = 0;
        for (size_t k = 0; k < 6; ++k)
            along += s.vectors[k * 6 + i] * e.b[k];
        for (size_t k = 0; k < 6; ++k)
            step[k] += s.vectors[k * 6 + i] * along / s.values[i];
    }
    const FreeTwists free = freeTwists(s);
    for (size_t j = 0; j < free.twists.size(); ++j)
    {
        if (!(free.turn[j] > FreeTwists::Slide))
            continue;
        const std::array<double, 6>& t = free.twists[j];
        const double amount = -(t[0] * step[0] + t[1] * step[1] + t[2] * step[2]) / free.turn[j];
        for (size_t k = 0; k < 6; ++k)
            step[k] += amount * t[k];
    }
    for (size_t k = 0; k < 3; ++k)
        step[k] /= e.spread;
    return step;
}

osg::Vec3f toVec(const Vec3& v)
{
    return osg::Vec3f(float(v[0]), float(v[1]), float(v[2]));
}

// The free motions in a readable basis: pure translations first, then rotations about axes
// through a point (a twist with its free translations taken out).
std::vector<oxAlignment::FreeMotion> freeMotions(const Equations& e, const Subspaces& s)
{
    const FreeTwists free = freeTwists(s);
    std::vector<std::array<double, 6>> translations, rotations;
    for (size_t j = 0; j < free.twists.size(); ++j)
        (free.turn[j] > FreeTwists::Slide ? rotations : translations).push_back(free.twists[j]);
    std::vector<oxAlignment::FreeMotion> out;
    for (auto& t : translations)
    {
        const double l = std::sqrt(t[3] * t[3] + t[4] * t[4] + t[5] * t[5]);
        for (size_t c = 3; c < 6; ++c)
            t[c] /= l;
        oxAlignment::FreeMotion m;
        m.axis = toVec({t[3], t[4], t[5]});
        m.point = osg::Pnt3f(toVec(e.centroid));
        out.push_back(m);
    }
    for (auto& r : rotations)
    {
        for (const auto& t : translations)
        {
            const double along = r[3] * t[3] + r[4] * t[4] + r[5] * t[5];
            for (size_t c = 3; c < 6; ++c)
                r[c] -= along * t[c];
        }
        const Vec3 w{r[0] / e.spread, r[1] / e.spread, r[2] / e.spread}, v{r[3], r[4], r[5]};
        const double w2 = w[0] * w[0] + w[1] * w[1] + w[2] * w[2], l = std::sqrt(w2);
        // p -> p + w x (p - c) + v turns about the axis through c + w x v / |w|^2.
        const Vec3 wv{w[1] * v[2] - w[2] * v[1], w[2] * v[0] - w[0] * v[2], w[0] * v[1] - w[1] * v[0]};
        oxAlignment::FreeMotion m;
        m.rotation = true;
        m.axis = toVec({w[0] / l, w[1] / l, w[2] / l});
        m.point =
            osg::Pnt3f(toVec({e.centroid[0] + wv[0] / w2, e.centroid[1] + wv[1] / w2, e.centroid[2] + wv[2] / w2}));
        m.pitch = float((w[0] * v[0] + w[1] * v[1] + w[2] * v[2]) / w2);
        out.push_back(m);
    }
    return out;
}
} // namespace

namespace
{
osg::Matrix toMatrix(const Mat3& r, const Vec3& t)
{
    osg::Matrix m;
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            m[j][i] = float(r[size_t(i)][size_t(j)]);
        m[3][i] = float(t[size_t(i)]);
    }
    return m;
}

// Whether r, t moves any of the points by more than their float positions resolve.
bool moves(const std::vector<osg::Pnt3f>& points, const Mat3& r, const Vec3& t)
{
    double scale = 0, shift2 = 0;
    for (const osg::Pnt3f& p : points)
    {
        const Vec3 q = apply(r, t, p);
        double d2 = 0;
        for (size_t k = 0; k < 3; ++k)
        {
            d2 += (q[k] - p[int(k)]) * (q[k] - p[int(k)]);
            scale = std::max(scale, std::fabs(double(p[int(k)])));
        }
        shift2 = std::max(shift2, d2);
    }
    return std::sqrt(shift2) > 1e-6 * scale;
}
} // namespace

bool oxAlignment::align(const std::vector<osg::Pnt3f>& points, const oxRenderScene& reference, int iterations,
                        Result& out, std::string& error)
{
    if (points.empty())
    {
        error = "cannot align: the model has no points";
        return false;
    }
    osg::Pnt3f min, max;
    if (!reference.bounds(min, max) || reference.triangleCount() == 0)
    {
        error = "cannot align: no reference is loaded";
        return false;
    }
    if (iterations < 1)
    {
        error = "cannot align: the number of iterations must be at least 1, not " + std::to_string(iterations);
        return false;
    }
    const double size = std::max(double((max - min).length()), 1e-30);
    std::vector<osg::Pnt3f> samples;
    const size_t stride = (points.size() + MaxSamples - 1) / MaxSamples;
    for (size_t i = 0; i < points.size(); i += stride)
        samples.push_back(points[i]);

    Mat3 r{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    Vec3 t{0, 0, 0};
    std::vector<osg::Pnt3f> moved(samples.size());
    std::vector<oxClosestPoint> closest;
    out = Result();
    for (int it = 0; it < iterations; ++it)
    {
        for (size_t i = 0; i < samples.size(); ++i)
            moved[i] = toPoint(apply(r, t, samples[i]));
        oxDeviation::closestPoints(reference, moved, closest);
        if (it == 0)
            out.rmsBefore = trimmedRms(closest);
        const Equations e = equations(moved, closest);
        const Subspaces s = subspaces(e);
        if (e.kept == 0 || !(s.largest > 0))
            break;
        const std::array<double, 6> step = constrainedStep(e, s);
        const Mat3 dr = rotation({step[0], step[1], step[2]});
        // p -> dr (p - c) + c + tau, after p -> r p + t.
        const Vec3& c = e.centroid;
        r = multiply(dr, r);
        Vec3 nt;
        for (size_t i = 0; i < 3; ++i)
            nt[i] = dr[i][0] * (t[0] - c[0]) + dr[i][1] * (t[1] - c[1]) + dr[i][2] * (t[2] - c[2]) + c[i] + step[3 + i];
        t = nt;
        out.iterations = it + 1;
        const double angle = std::sqrt(step[0] * step[0] + step[1] * step[1] + step[2] * step[2]);
        const double shift = std::sqrt(step[3] * step[3] + step[4] * step[4] + step[5] * step[5]);
        // Steps this small are below what float positions resolve: the fit has settled.
        if (angle < 1e-7 && shift < 1e-7 * size)
            break;
    }
    out.moved = moves(samples, r, t);
    if (!out.moved)
    {
        r = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        t = {0, 0, 0};
    }
    // The last distances over all points, and what they leave free there.
    std::vector<osg::Pnt3f> all(points.size());
    for (size_t i = 0; i < points.size(); ++i)
        all[i] = toPoint(apply(r, t, points[i]));
    oxDeviation::closestPoints(reference, all, closest);
    out.rmsAfter = trimmedRms(closest);
    const Equations last = equations(all, closest);
    const Subspaces free = subspaces(last);
    if (last.kept > 0 && free.largest > 0)
        out.free = freeMotions(last, free);
    out.matrix = toMatrix(r, t);
    return true;
}
