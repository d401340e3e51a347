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

// Solves a x = b for a symmetric 6 x 6 system by Gaussian elimination with partial pivoting;
// false when it is singular.
bool solve(std::array<std::array<double, 7>, 6> a, std::array<double, 6>& x)
{
    for (int col = 0; col < 6; ++col)
    {
        int pivot = col;
        for (int row = col + 1; row < 6; ++row)
            if (std::fabs(a[size_t(row)][size_t(col)]) > std::fabs(a[size_t(pivot)][size_t(col)]))
                pivot = row;
        if (!(std::fabs(a[size_t(pivot)][size_t(col)]) > 1e-300))
            return false;
        std::swap(a[size_t(col)], a[size_t(pivot)]);
        for (int row = col + 1; row < 6; ++row)
        {
            const double f = a[size_t(row)][size_t(col)] / a[size_t(col)][size_t(col)];
            for (int k = col; k < 7; ++k)
                a[size_t(row)][size_t(k)] -= f * a[size_t(col)][size_t(k)];
        }
    }
    for (int row = 5; row >= 0; --row)
    {
        double sum = a[size_t(row)][6];
        for (int k = row + 1; k < 6; ++k)
            sum -= a[size_t(row)][size_t(k)] * x[size_t(k)];
        x[size_t(row)] = sum / a[size_t(row)][size_t(row)];
    }
    return true;
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
        {
            const Vec3 p = apply(r, t, samples[i]);
            moved[i] = osg::Pnt3f(float(p[0]), float(p[1]), float(p[2]));
        }
        oxDeviation::closestPoints(reference, moved, closest);
        if (it == 0)
            out.rmsBefore = trimmedRms(closest);
        const double bound = trimBound(closest);
        // About the kept points' centroid, so that rotation and translation separate well.
        Vec3 c{0, 0, 0};
        size_t kept = 0;
        for (size_t i = 0; i < samples.size(); ++i)
            if (std::isfinite(closest[i].distance) && std::fabs(closest[i].distance) <= bound)
            {
                for (int k = 0; k < 3; ++k)
                    c[size_t(k)] += moved[i][k];
                ++kept;
            }
        if (kept < 6)
            break;
        for (double& v : c)
            v /= double(kept);
        std::array<std::array<double, 7>, 6> a{};
        for (size_t i = 0; i < samples.size(); ++i)
        {
            const oxClosestPoint& q = closest[i];
            if (!std::isfinite(q.distance) || std::fabs(q.distance) > bound)
                continue;
            const Vec3 x{moved[i][0] - c[0], moved[i][1] - c[1], moved[i][2] - c[2]};
            const Vec3 n{q.normal[0], q.normal[1], q.normal[2]};
            const double row[6] = {
                x[1] * n[2] - x[2] * n[1], x[2] * n[0] - x[0] * n[2], x[0] * n[1] - x[1] * n[0], n[0], n[1], n[2]};
            const double residual = (moved[i][0] - q.point[0]) * n[0] + (moved[i][1] - q.point[1]) * n[1] +
                                    (moved[i][2] - q.point[2]) * n[2];
            for (size_t j = 0; j < 6; ++j)
            {
                for (size_t k = 0; k < 6; ++k)
                    a[j][k] += row[j] * row[k];
                a[j][6] -= row[j] * residual;
            }
        }
        // A little damping keeps directions the surface does not fix (a plane's slide) still.
        double trace = 0;
        for (size_t j = 0; j < 6; ++j)
            trace += a[j][j];
        for (size_t j = 0; j < 6; ++j)
            a[j][j] += 1e-12 * trace;
        std::array<double, 6> step{};
        if (!solve(a, step))
            break;
        const Mat3 dr = rotation({step[0], step[1], step[2]});
        // p -> dr (p - c) + c + tau, after p -> r p + t.
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
    // The last distances over all points.
    std::vector<osg::Pnt3f> all(points.size());
    for (size_t i = 0; i < points.size(); ++i)
    {
        const Vec3 p = apply(r, t, points[i]);
        all[i] = osg::Pnt3f(float(p[0]), float(p[1]), float(p[2]));
    }
    oxDeviation::closestPoints(reference, all, closest);
    out.rmsAfter = trimmedRms(closest);
    out.matrix.setIdentity();
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            out.matrix[j][i] = float(r[size_t(i)][size_t(j)]);
        out.matrix[3][i] = float(t[size_t(i)]);
    }
    return true;
}
