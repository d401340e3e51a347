#include "oxDraftStats.h"

#include "oxCadDraft.h"
#include "oxHostAnalysisSettings.h"
#include "oxRenderMath.h"
#include "oxRenderScene.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>

namespace
{
const double RadToDeg = 180.0 / M_PI;

double degrees(double sine)
{
    return std::asin(std::clamp(sine, -1.0, 1.0)) * RadToDeg;
}

// The share of a triangle's area where a function linear over it, with values f at the corners,
// lies below t.
double shareBelow(const double f[3], double t)
{
    double a = f[0], b = f[1], c = f[2];
    if (a > b)
        std::swap(a, b);
    if (b > c)
        std::swap(b, c);
    if (a > b)
        std::swap(a, b);
    if (t <= a)
        return 0;
    if (t >= c)
        return 1;
    // The level line cuts off a corner triangle similar to the part of the triangle below b or
    // above b.
    if (t <= b)
        return (t - a) * (t - a) / ((b - a) * (c - a));
    return 1 - (c - t) * (c - t) / ((c - a) * (c - b));
}

// Runs fn(begin, end) over [0, count) in fixed chunks, in parallel, and adds up the chunks' sums
// in their order, so that the result does not depend on the threads.
template <class Fn> oxDraftStats::Sum sumInChunks(size_t count, const Fn& fn)
{
    constexpr size_t Chunk = 16384;
    std::vector<oxDraftStats::Sum> sums((count + Chunk - 1) / Chunk);
    tbb::parallel_for(size_t(0), sums.size(),
                      [&](size_t i) { sums[i] = fn(i * Chunk, std::min(count, (i + 1) * Chunk)); });
    oxDraftStats::Sum total;
    for (const oxDraftStats::Sum& s : sums)
        total.add(s);
    return total;
}

// A mesh without exact data: each triangle with the sines at its corner normals (its own normal
// where a corner has none).
oxDraftStats::Sum meshSum(const oxRenderScene& scene, size_t m, const double d[3], double threshold)
{
    const oxRenderMesh& mesh = scene.mesh(m);
    const float* normals = scene.cornerNormals(m);
    return sumInChunks(
        mesh.triangleCount(),
        [&](size_t begin, size_t end)
        {
            oxDraftStats::Sum sum;
            for (size_t t = begin; t < end; ++t)
            {
                double p[3][3], s[3];
                for (int k = 0; k < 3; ++k)
                {
                    const osg::Pnt3f& q = mesh.positions[mesh.indices[3 * t + size_t(k)]];
                    for (int j = 0; j < 3; ++j)
                        p[k][j] = q[j];
                }
                const double e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
                const double e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
                double own[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                 e1[0] * e2[1] - e1[1] * e2[0]};
                const double ownLength = std::sqrt(own[0] * own[0] + own[1] * own[1] + own[2] * own[2]);
                for (int k = 0; k < 3; ++k)
                {
                    const float* n = normals + 9 * t + 3 * size_t(k);
                    const double length = std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
                    if (length > 1e-12)
                        s[k] = (n[0] * d[0] + n[1] * d[1] + n[2] * d[2]) / length;
                    else
                        s[k] = ownLength > 0 ? (own[0] * d[0] + own[1] * d[1] + own[2] * d[2]) / ownLength : 0.0;
                }
                sum.add(p, s, threshold);
            }
            return sum;
        });
}
} // namespace

double oxDraftStats::draft(const osg::Vec3f& normal, const osg::Vec3f& direction)
{
    const double n = normal.length(), d = direction.length();
    if (!(n > 0) || !(d > 0))
        return 0;
    return degrees(double(normal.dot(direction)) / (n * d));
}

oxDraftStats::Class oxDraftStats::classOf(double draftDegrees, double angleDegrees)
{
    return draftDegrees >= angleDegrees ? Positive : draftDegrees <= -angleDegrees ? Negative : Insufficient;
}

oxDraftStats::Class oxDraftStats::classOf(double minDegrees, double maxDegrees, double angleDegrees)
{
    const Class low = classOf(minDegrees, angleDegrees), high = classOf(maxDegrees, angleDegrees);
    return low == high ? low : Mixed;
}

const char* oxDraftStats::className(Class c)
{
    switch (c)
    {
    case Positive:
        return "positive";
    case Negative:
        return "negative";
    case Insufficient:
        return "insufficient";
    case Mixed:
    default:
        return "mixed";
    }
}

double oxDraftStats::clearance(const Face& face)
{
    if (face.min <= 0 && face.max >= 0)
        return 0;
    return std::min(std::fabs(face.min), std::fabs(face.max));
}

void oxDraftStats::Sum::add(const double corners[3][3], const double sines[3], double threshold)
{
    const double e1[3] = {corners[1][0] - corners[0][0], corners[1][1] - corners[0][1], corners[1][2] - corners[0][2]};
    const double e2[3] = {corners[2][0] - corners[0][0], corners[2][1] - corners[0][1], corners[2][2] - corners[0][2]};
    const double cx = e1[1] * e2[2] - e1[2] * e2[1], cy = e1[2] * e2[0] - e1[0] * e2[2],
                 cz = e1[0] * e2[1] - e1[1] * e2[0];
    const double a = 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz);
    minSine = std::min({minSine, sines[0], sines[1], sines[2]});
    maxSine = std::max({maxSine, sines[0], sines[1], sines[2]});
    if (!(a > 0))
        return;
    area += a;
    negative += a * shareBelow(sines, -threshold);
    belowPositive += a * shareBelow(sines, threshold);
}

void oxDraftStats::Sum::add(const Sum& other)
{
    area += other.area;
    negative += other.negative;
    belowPositive += other.belowPositive;
    minSine = std::min(minSine, other.minSine);
    maxSine = std::max(maxSine, other.maxSine);
}

bool oxDraftStats::compute(const oxRenderScene& scene, const osg::Vec3f& direction, double angleDegrees,
                           oxDraftStats& out, std::string& error)
{
    double d[3];
    if (!oxRenderMath::direction(direction, d))
    {
        error = "the pull direction must be finite and not zero";
        return false;
    }
    const oxSettingDomain& angles = oxHostAnalysisRows::DraftAngle.domain;
    if (!angles.contains(angleDegrees))
    {
        error = "the draft angle must be " + angles.text() + ", not " + oxSettingDomain::number(angleDegrees);
        return false;
    }
    const double threshold = std::sin(angleDegrees / RadToDeg);
    oxDraftStats result;
    Sum total;
    long offset = 0;
    for (size_t m = 0; m < scene.meshCount(); ++m)
    {
        const oxCadMesh* cad = scene.cad(m);
        if (!cad)
        {
            total.add(meshSum(scene, m, d, threshold));
            continue;
        }
        std::vector<double> faceSines;
        Sum sum;
        oxCadDraft::sample(*cad, scene.mesh(m), d, threshold, sum, faceSines);
        total.add(sum);
        for (size_t f = 0; 2 * f + 1 < faceSines.size(); ++f)
        {
            // A face without triangles has no values.
            if (faceSines[2 * f] > faceSines[2 * f + 1])
                continue;
            Face face;
            face.face = offset + long(f);
            face.min = degrees(faceSines[2 * f]);
            face.max = degrees(faceSines[2 * f + 1]);
            face.draftClass = classOf(face.min, face.max, angleDegrees);
            result.faces.push_back(face);
        }
        offset += long(cad->model->faceCount());
    }
    if (!(total.area > 0))
    {
        error = "the model has no area";
        return false;
    }
    result.area = total.area;
    result.negative = total.negative / total.area;
    result.positive = std::max(0.0, 1 - total.belowPositive / total.area);
    result.insufficient = std::max(0.0, (total.belowPositive - total.negative) / total.area);
    result.min = degrees(total.minSine);
    result.max = degrees(total.maxSine);
    out = std::move(result);
    return true;
}
