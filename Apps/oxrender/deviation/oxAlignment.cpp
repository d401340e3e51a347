#include "oxAlignment.h"

#include "oxDeviation.h"
#include "oxRenderScene.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace
{
using Vec3 = Eigen::Vector3d;
using Mat3 = Eigen::Matrix3d;
using Vec6 = Eigen::Matrix<double, 6, 1>;
using Mat6 = Eigen::Matrix<double, 6, 6>;
// Up to six motions, one per column.
using Twists = Eigen::Matrix<double, 6, Eigen::Dynamic, 0, 6, 6>;

template <class P> Vec3 toVec3(const P& p)
{
    return Vec3(p[0], p[1], p[2]);
}

Vec3 apply(const Mat3& r, const Vec3& t, const osg::Pnt3f& p)
{
    return r * toVec3(p) + t;
}

osg::Pnt3f toPoint(const Vec3& p)
{
    return osg::Pnt3f(float(p[0]), float(p[1]), float(p[2]));
}

// The rotation by |w| radians about w.
Mat3 rotation(const Vec3& w)
{
    const double angle = w.norm();
    if (angle < 1e-300)
        return Mat3::Identity();
    return Eigen::AngleAxisd(angle, w / angle).toRotationMatrix();
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
    Mat6 a = Mat6::Zero();
    Vec6 b = Vec6::Zero();
    Vec3 centroid = Vec3::Zero();
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
            e.centroid += toVec3(moved[i]);
            ++e.kept;
        }
    if (e.kept == 0)
        return e;
    e.centroid /= double(e.kept);
    double spread2 = 0;
    for (size_t i = 0; i < moved.size(); ++i)
        if (keep(i))
            spread2 += (toVec3(moved[i]) - e.centroid).squaredNorm();
    e.spread = std::max(std::sqrt(spread2 / double(e.kept)), 1e-30);
    for (size_t i = 0; i < moved.size(); ++i)
    {
        if (!keep(i))
            continue;
        const oxClosestPoint& q = closest[i];
        const Vec3 x = (toVec3(moved[i]) - e.centroid) / e.spread, n = toVec3(q.normal);
        Vec6 row;
        row << x.cross(n), n;
        const double residual = (toVec3(moved[i]) - toVec3(q.point)).dot(n);
        e.a.noalias() += row * row.transpose();
        e.b -= row * residual;
    }
    return e;
}

// The eigenvectors of a, split into the motions the data constrains and those it leaves free.
struct Subspaces
{
    Vec6 values = Vec6::Zero();
    Mat6 vectors = Mat6::Identity(); // columns
    double largest = 0;
    bool free(Eigen::Index i) const { return !(values[i] > oxAlignment::FreeRatio * largest); }
};

Subspaces subspaces(const Equations& e)
{
    Subspaces s;
    const Eigen::SelfAdjointEigenSolver<Mat6> solver(e.a);
    if (solver.info() != Eigen::Success)
        return s;
    s.values = solver.eigenvalues();
    s.vectors = solver.eigenvectors();
    s.largest = std::max(0.0, s.values.maxCoeff());
    return s;
}

// The free motions (scaled as the equations' unknowns) recombined so that their rotation parts
// are orthogonal: turn[j] is the squared length of twists' column j's rotation, 0 for a pure
// translation.
struct FreeTwists
{
    Twists twists;
    Eigen::VectorXd turn;
    static constexpr double Slide = 1e-6; // a turn below this is a translation
};

FreeTwists freeTwists(const Subspaces& s)
{
    Twists basis(6, 0);
    for (Eigen::Index i = 0; i < 6; ++i)
        if (s.free(i))
        {
            basis.conservativeResize(Eigen::NoChange, basis.cols() + 1);
            basis.col(basis.cols() - 1) = s.vectors.col(i);
        }
    FreeTwists out;
    if (basis.cols() == 0)
        return out;
    // The rotation parts' Gram matrix: its null vectors combine the basis into pure translations.
    const Eigen::MatrixXd gram = basis.topRows<3>().transpose() * basis.topRows<3>();
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(gram);
    out.turn = solver.eigenvalues();
    out.twists = basis * solver.eigenvectors();
    return out;
}

// The least-squares step within the constrained motions (the pseudo-inverse), then, of the
// steps that fit equally well, the one that turns least: a sphere off its place is shifted back,
// not rolled about the reference's centre. Nothing along a free translation. (rotation in
// radians, translation)
Vec6 constrainedStep(const Equations& e, const Subspaces& s)
{
    Vec6 step = Vec6::Zero();
    for (Eigen::Index i = 0; i < 6; ++i)
        if (!s.free(i))
            step += s.vectors.col(i) * (s.vectors.col(i).dot(e.b) / s.values[i]);
    const FreeTwists free = freeTwists(s);
    for (Eigen::Index j = 0; j < free.twists.cols(); ++j)
    {
        if (!(free.turn[j] > FreeTwists::Slide))
            continue;
        const Vec6 t = free.twists.col(j);
        step -= t * (t.head<3>().dot(step.head<3>()) / free.turn[j]);
    }
    step.head<3>() /= e.spread;
    return step;
}

osg::Vec3f toVec(const Vec3& v)
{
    return osg::Vec3f(float(v[0]), float(v[1]), float(v[2]));
}

// A rotation about an axis through a point, from a twist (scaled as the equations' unknowns)
// with its free translations taken out: p -> p + w x (p - c) + v turns about the axis through
// c + w x v / |w|^2.
oxAlignment::FreeMotion rotationMotion(const Equations& e, const Vec6& twist)
{
    const Vec3 w = twist.head<3>() / e.spread, v = twist.tail<3>();
    const double w2 = w.squaredNorm();
    oxAlignment::FreeMotion m;
    m.rotation = true;
    m.axis = toVec(w / std::sqrt(w2));
    m.point = osg::Pnt3f(toVec(e.centroid + w.cross(v) / w2));
    m.pitch = float(w.dot(v) / w2);
    return m;
}

// The free motions in a readable basis: pure translations first, then rotations about axes
// through a point.
std::vector<oxAlignment::FreeMotion> freeMotions(const Equations& e, const Subspaces& s)
{
    const FreeTwists free = freeTwists(s);
    std::vector<Vec3> translations;
    std::vector<oxAlignment::FreeMotion> out;
    for (Eigen::Index j = 0; j < free.twists.cols(); ++j)
        if (!(free.turn[j] > FreeTwists::Slide))
        {
            translations.push_back(free.twists.col(j).tail<3>().normalized());
            oxAlignment::FreeMotion m;
            m.axis = toVec(translations.back());
            m.point = osg::Pnt3f(toVec(e.centroid));
            out.push_back(m);
        }
    for (Eigen::Index j = 0; j < free.twists.cols(); ++j)
    {
        if (!(free.turn[j] > FreeTwists::Slide))
            continue;
        Vec6 r = free.twists.col(j);
        for (const Vec3& t : translations)
            r.tail<3>() -= t * r.tail<3>().dot(t);
        out.push_back(rotationMotion(e, r));
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
            m[j][i] = float(r(i, j));
        m[3][i] = float(t[i]);
    }
    return m;
}

// Whether r, t moves any of the points by more than their float positions resolve.
bool moves(const std::vector<osg::Pnt3f>& points, const Mat3& r, const Vec3& t)
{
    double scale = 0, shift2 = 0;
    for (const osg::Pnt3f& p : points)
    {
        shift2 = std::max(shift2, (apply(r, t, p) - toVec3(p)).squaredNorm());
        scale = std::max(scale, toVec3(p).cwiseAbs().maxCoeff());
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
    if (!reference.bounds(min, max))
    {
        error = "cannot align: no reference is loaded";
        return false;
    }
    if (reference.triangleCount() == 0)
    {
        // Point to point, a fit slides along the surface; a mesh or CAD reference gives it planes.
        error = "cannot align: the reference is a point cloud, which has no surface to fit onto; load a mesh or "
                "CAD reference";
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

    Mat3 r = Mat3::Identity();
    Vec3 t = Vec3::Zero();
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
        const Vec6 step = constrainedStep(e, s);
        const Mat3 dr = rotation(step.head<3>());
        // p -> dr (p - c) + c + tau, after p -> r p + t.
        r = dr * r;
        t = dr * (t - e.centroid) + e.centroid + step.tail<3>();
        out.iterations = it + 1;
        const double angle = step.head<3>().norm(), shift = step.tail<3>().norm();
        // Steps this small are below what float positions resolve: the fit has settled.
        if (angle < 1e-7 && shift < 1e-7 * size)
            break;
    }
    out.moved = moves(samples, r, t);
    if (!out.moved)
    {
        r = Mat3::Identity();
        t = Vec3::Zero();
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
