#include "oxCurvatureComb.h"

#include "oxCadComb.h"
#include "oxRenderMath.h"
#include "oxRenderMesh.h"
#include "oxRenderScene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

void oxComb::add(const osg::Pnt3f& point, double k, const osg::Vec3f& normal)
{
    points.push_back(point);
    curvature.push_back(k);
    normals.push_back(normal);
    max = std::max(max, k);
}

namespace
{
using Vec = oxCurvatureComb::Vec;

Vec sub(const Vec& a, const Vec& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

double dot(const Vec& a, const Vec& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vec cross(const Vec& a, const Vec& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double distance(const Vec& a, const Vec& b)
{
    const Vec d = sub(a, b);
    return std::sqrt(dot(d, d));
}

Vec toVec(const osg::Pnt3f& p)
{
    return {p[0], p[1], p[2]};
}

osg::Vec3f toVec3f(const Vec& v)
{
    return osg::Vec3f(float(v[0]), float(v[1]), float(v[2]));
}

struct BitsHash
{
    size_t operator()(const std::array<osg::UInt32, 3>& k) const
    {
        return (size_t(k[0]) * 73856093u) ^ (size_t(k[1]) * 19349663u) ^ (size_t(k[2]) * 83492791u);
    }
};

// Where the plane crosses one triangle: between two crossing points (nodes) on its sides.
struct Segment
{
    size_t nodes[2];
    size_t triangle;
};

// An open chain the other way round.
void reverse(oxCurvatureComb::Chain& chain)
{
    std::reverse(chain.points.begin(), chain.points.end());
    std::reverse(chain.triangles.begin(), chain.triangles.end());
}

// Joins chains whose ends meet within tolerance (where neighbouring faces keep vertices of their
// own), and closes a chain whose ends meet. Ends are found through a grid of cells twice the
// tolerance wide, so that a section through many faces joins in linear time.
void joinChains(std::vector<oxCurvatureComb::Chain>& chains, double tolerance)
{
    using Chain = oxCurvatureComb::Chain;
    // End 2 c is chain c's front, 2 c + 1 its back.
    auto endPoint = [&](size_t e) -> const Vec&
    { return e % 2 ? chains[e / 2].points.back() : chains[e / 2].points.front(); };
    const double cell = 2 * std::max(tolerance, 1e-300);
    auto cellOf = [&](const Vec& p, int dx, int dy, int dz)
    {
        auto index = [&](double v, int d)
        { return osg::UInt64(osg::Int64(std::clamp(std::floor(v / cell), -1e15, 1e15)) + d); };
        return index(p[0], dx) * 73856093u ^ index(p[1], dy) * 19349663u ^ index(p[2], dz) * 83492791u;
    };
    std::unordered_multimap<osg::UInt64, size_t> grid;
    for (size_t e = 0; e < 2 * chains.size(); ++e)
        if (!chains[e / 2].closed)
            grid.emplace(cellOf(endPoint(e), 0, 0, 0), e);
    const size_t none = size_t(-1);
    std::vector<size_t> partner(2 * chains.size(), none);
    for (size_t e = 0; e < partner.size(); ++e)
    {
        if (chains[e / 2].closed || partner[e] != none)
            continue;
        for (int d = 0; d < 27 && partner[e] == none; ++d)
        {
            const auto range = grid.equal_range(cellOf(endPoint(e), d % 3 - 1, d / 3 % 3 - 1, d / 9 - 1));
            for (auto it = range.first; it != range.second; ++it)
            {
                const size_t f = it->second;
                if (f / 2 != e / 2 && partner[f] == none && distance(endPoint(e), endPoint(f)) <= tolerance)
                {
                    partner[e] = f;
                    partner[f] = e;
                    break;
                }
            }
        }
    }
    // Walks from a chain through the linked ends; open runs first, then the runs that close.
    std::vector<bool> taken(chains.size(), false);
    std::vector<Chain> joined;
    auto walk = [&](size_t first, bool reversed)
    {
        Chain run = std::move(chains[first]);
        taken[first] = true;
        if (reversed)
            reverse(run);
        size_t back = 2 * first + (reversed ? 0 : 1);
        while (partner[back] != none && !taken[partner[back] / 2])
        {
            const size_t f = partner[back], next = f / 2;
            Chain& piece = chains[next];
            taken[next] = true;
            if (f % 2)
                reverse(piece);
            run.points.insert(run.points.end(), piece.points.begin() + 1, piece.points.end());
            run.triangles.insert(run.triangles.end(), piece.triangles.begin(), piece.triangles.end());
            back = f % 2 ? f - 1 : f + 1;
        }
        joined.push_back(std::move(run));
    };
    for (size_t c = 0; c < chains.size(); ++c)
        if (!taken[c] && (chains[c].closed || partner[2 * c] == none || partner[2 * c + 1] == none))
            walk(c, !chains[c].closed && partner[2 * c] != none);
    for (size_t c = 0; c < chains.size(); ++c)
        if (!taken[c])
            walk(c, false);
    chains = std::move(joined);
    for (Chain& chain : chains)
        if (!chain.closed && chain.triangles.size() > 2 &&
            distance(chain.points.front(), chain.points.back()) <= tolerance)
        {
            chain.points.pop_back();
            chain.closed = true;
        }
}
} // namespace

namespace
{
// The plane's crossings of a mesh: a node per crossed edge, a segment per crossed triangle.
struct Section
{
    const oxRenderMesh& mesh;
    std::vector<double> height; // each vertex's signed distance to the plane, 0 within the tolerance
    // Vertices of the crossed triangles with the same position are one, so that faces sharing
    // positions chain exactly.
    std::unordered_map<std::array<osg::UInt32, 3>, size_t, BitsHash> byPosition;
    std::vector<size_t> first; // a vertex of each welded position
    // A crossing point per mesh edge that the plane crosses, keyed by the edge's two vertices.
    std::unordered_map<osg::UInt64, size_t> nodeOf;
    std::vector<Vec> nodes;
    std::vector<Segment> segments;

    Section(const oxRenderMesh& m, const Vec& origin, const Vec& normal, double tolerance);
    size_t weld(osg::UInt32 v);
    size_t node(size_t a, size_t b);
    void cross(size_t t);
};

Section::Section(const oxRenderMesh& m, const Vec& origin, const Vec& normal, double tolerance)
    : mesh(m), height(m.vertexCount())
{
    for (size_t v = 0; v < mesh.vertexCount(); ++v)
    {
        // Vertices within the tolerance lie on the plane: a plane along an edge whose vertices
        // carry float noise would otherwise zigzag across it in crossings of no length.
        height[v] = dot(sub(toVec(mesh.positions[v]), origin), normal);
        if (std::fabs(height[v]) <= tolerance)
            height[v] = 0;
    }
    for (size_t t = 0; t < mesh.triangleCount(); ++t)
        cross(t);
}

size_t Section::weld(osg::UInt32 v)
{
    std::array<osg::UInt32, 3> key;
    std::memcpy(key.data(), mesh.positions[v].getValues(), sizeof key);
    const auto found = byPosition.emplace(key, first.size());
    if (found.second)
        first.push_back(v);
    return found.first->second;
}

size_t Section::node(size_t a, size_t b)
{
    // A vertex on the plane is one crossing for every edge it ends, so that a plane through
    // the mesh's vertices (a symmetry plane, a shared edge) chains like any other.
    if (height[first[a]] == 0)
        b = a;
    else if (height[first[b]] == 0)
        a = b;
    if (a > b)
        std::swap(a, b);
    const auto found = nodeOf.emplace((osg::UInt64(a) << 32) | osg::UInt64(b), nodes.size());
    if (found.second)
    {
        const Vec pa = toVec(mesh.positions[first[a]]), pb = toVec(mesh.positions[first[b]]);
        const double ha = height[first[a]], hb = height[first[b]];
        const double s = a == b ? 0.0 : ha / (ha - hb);
        nodes.push_back({pa[0] + s * (pb[0] - pa[0]), pa[1] + s * (pb[1] - pa[1]), pa[2] + s * (pb[2] - pa[2])});
    }
    return found.first->second;
}

// The segment where the plane crosses triangle t, if it does.
void Section::cross(size_t t)
{
    const osg::UInt32* corner = &mesh.indices[3 * t];
    const bool above[3] = {height[corner[0]] >= 0, height[corner[1]] >= 0, height[corner[2]] >= 0};
    if (above[0] == above[1] && above[1] == above[2])
        return;
    const size_t c[3] = {weld(corner[0]), weld(corner[1]), weld(corner[2])};
    if (c[0] == c[1] || c[1] == c[2] || c[2] == c[0])
        return;
    size_t found[2], count = 0;
    for (int k = 0; k < 3; ++k)
        if (above[k] != above[(k + 1) % 3])
            found[count++] = node(c[k], c[(k + 1) % 3]);
    if (count == 2 && found[0] != found[1])
        segments.push_back({{found[0], found[1]}, t});
}

// The section's segments walked into chains: open chains from their ends first, then the loops.
std::vector<oxCurvatureComb::Chain> walkChains(const Section& section)
{
    const std::vector<Segment>& segments = section.segments;
    std::vector<std::vector<size_t>> at(section.nodes.size());
    for (size_t s = 0; s < segments.size(); ++s)
        for (size_t n : segments[s].nodes)
            at[n].push_back(s);
    std::vector<bool> used(segments.size(), false);
    std::vector<oxCurvatureComb::Chain> chains;
    auto walk = [&](size_t start)
    {
        oxCurvatureComb::Chain chain;
        chain.points.push_back(section.nodes[start]);
        size_t current = start;
        for (;;)
        {
            const auto next = std::find_if(at[current].begin(), at[current].end(), [&](size_t s) { return !used[s]; });
            if (next == at[current].end())
                break;
            used[*next] = true;
            const Segment& s = segments[*next];
            current = s.nodes[0] == current ? s.nodes[1] : s.nodes[0];
            chain.triangles.push_back(s.triangle);
            if (current == start)
            {
                chain.closed = true;
                break;
            }
            chain.points.push_back(section.nodes[current]);
        }
        if (!chain.triangles.empty())
            chains.push_back(std::move(chain));
    };
    for (size_t n = 0; n < section.nodes.size(); ++n)
        if (at[n].size() == 1 && !used[at[n][0]])
            walk(n);
    for (size_t s = 0; s < segments.size(); ++s)
        if (!used[s])
            walk(segments[s].nodes[0]);
    return chains;
}
} // namespace

std::vector<oxCurvatureComb::Chain> oxCurvatureComb::sectionChains(const oxRenderMesh& mesh, const Vec& origin,
                                                                   const Vec& normal, double tolerance)
{
    const Section section(mesh, origin, normal, tolerance);
    std::vector<Chain> chains = walkChains(section);
    joinChains(chains, tolerance);
    return chains;
}

std::vector<oxCurvatureComb::Sample> oxCurvatureComb::resample(const Chain& chain, int samples)
{
    const size_t count = chain.triangles.size();
    std::vector<double> along(count + 1, 0.0);
    for (size_t s = 0; s < count; ++s)
        along[s + 1] = along[s] + distance(chain.points[s], chain.points[(s + 1) % chain.points.size()]);
    const double length = along.back();
    std::vector<Sample> result;
    if (!(length > 0) || samples < 2)
        return result;
    for (int k = 0; k < samples; ++k)
    {
        const double at = chain.closed ? length * k / samples : length * k / (samples - 1);
        // The segment holding at, of non-zero length.
        size_t s = size_t(std::upper_bound(along.begin(), along.end(), at) - along.begin());
        s = std::clamp<size_t>(s, 1, count) - 1;
        while (s > 0 && !(along[s + 1] > along[s]))
            --s;
        const Vec& a = chain.points[s];
        const Vec& b = chain.points[(s + 1) % chain.points.size()];
        const double span = along[s + 1] - along[s];
        const double w = span > 0 ? std::clamp((at - along[s]) / span, 0.0, 1.0) : 0.0;
        const Vec d = sub(b, a);
        Sample sample;
        sample.point = {a[0] + w * d[0], a[1] + w * d[1], a[2] + w * d[2]};
        const double l = span > 0 ? span : 1.0;
        sample.tangent = {d[0] / l, d[1] / l, d[2] / l};
        sample.triangle = chain.triangles[s];
        sample.along = at;
        result.push_back(sample);
    }
    return result;
}

oxComb oxCurvatureComb::polylineComb(const Chain& chain, const Vec& normal, int samples)
{
    oxComb comb;
    comb.closed = chain.closed;
    const size_t points = chain.points.size();
    std::vector<double> along(points, 0.0);
    for (size_t i = 1; i < points; ++i)
        along[i] = along[i - 1] + distance(chain.points[i - 1], chain.points[i]);
    const double length = along.back() + (chain.closed ? distance(chain.points.back(), chain.points.front()) : 0.0);
    // Wide enough to smooth the facets: twenty segments either side, and at least the samples' spacing.
    const double half =
        std::min(std::max(20.0 * length / double(chain.triangles.size()), length / samples), 0.25 * length);
    for (const Sample& sample : resample(chain, samples))
    {
        const Vec& p = sample.point;
        const Vec across = cross(normal, sample.tangent);
        // Kasa's circle fit, x^2 + y^2 + D x + E y + F = 0, in the plane's coordinates around p
        // scaled by the window.
        double m[3][3] = {}, r[3] = {};
        int used = 0;
        const double position = sample.along;
        for (size_t i = 0; i < points; ++i)
        {
            double gap = std::fabs(along[i] - position);
            if (chain.closed)
                gap = std::min(gap, length - gap);
            if (gap > half)
                continue;
            const Vec q = sub(chain.points[i], p);
            const double x = dot(q, sample.tangent) / half, y = dot(q, across) / half;
            const double row[3] = {x, y, 1.0}, z = -(x * x + y * y);
            for (int a = 0; a < 3; ++a)
            {
                for (int b = 0; b < 3; ++b)
                    m[a][b] += row[a] * row[b];
                r[a] += row[a] * z;
            }
            ++used;
        }
        double curvature = 0, side = 1;
        const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        if (used >= 3 && std::fabs(det) > 1e-12)
        {
            auto solve = [&](int column)
            {
                double c[3][3];
                std::memcpy(c, m, sizeof c);
                for (int a = 0; a < 3; ++a)
                    c[a][column] = r[a];
                return (c[0][0] * (c[1][1] * c[2][2] - c[1][2] * c[2][1]) -
                        c[0][1] * (c[1][0] * c[2][2] - c[1][2] * c[2][0]) +
                        c[0][2] * (c[1][0] * c[2][1] - c[1][1] * c[2][0])) /
                       det;
            };
            const double D = solve(0), E = solve(1), F = solve(2);
            const double radius2 = 0.25 * (D * D + E * E) - F;
            // A radius a million windows long is a straight line.
            if (radius2 > 0 && radius2 < 1e12)
            {
                curvature = 1.0 / (std::sqrt(radius2) * half);
                side = -0.5 * E > 0 ? -1.0 : 1.0; // away from the centre
            }
        }
        comb.add(osg::Pnt3f(float(p[0]), float(p[1]), float(p[2])), curvature,
                 toVec3f({across[0] * side, across[1] * side, across[2] * side}));
    }
    return comb;
}

std::vector<oxComb> oxCurvatureComb::sections(const oxRenderScene& scene, const Vec& origin, const Vec& normal,
                                              int samples)
{
    std::vector<oxComb> combs;
    osg::Pnt3f min, max;
    if (!scene.bounds(min, max))
        return combs;
    // Crossing points of neighbouring faces closer than this are one.
    const double tolerance = 1e-6 * std::max(1e-12, double((max - min).length()));
    size_t faceOffset = 0;
    for (size_t i = 0; i < scene.meshCount(); ++i)
    {
        const oxRenderMesh& mesh = scene.mesh(i);
        const oxCadMesh* cad = scene.cad(i);
        for (const Chain& chain : sectionChains(mesh, origin, normal, tolerance))
        {
            oxComb comb;
            if (cad)
            {
                comb = oxCadComb::section(*cad, mesh, resample(chain, samples), normal);
                comb.closed = chain.closed;
                // Every face the chain crosses, also those between two samples.
                for (size_t t : chain.triangles)
                {
                    const size_t face = faceOffset + cad->vertexFace[mesh.indices[3 * t]];
                    if (comb.faces.empty() || comb.faces.back() != face)
                        comb.faces.push_back(face);
                }
                if (chain.closed && comb.faces.size() > 1 && comb.faces.front() == comb.faces.back())
                    comb.faces.pop_back();
            }
            else
                comb = polylineComb(chain, normal, samples);
            if (!comb.points.empty())
                combs.push_back(std::move(comb));
        }
        if (cad)
            faceOffset += cad->model->faceCount();
    }
    return combs;
}

std::vector<oxComb> oxCurvatureComb::edges(const oxRenderScene& scene, int samples)
{
    std::vector<oxComb> combs;
    for (size_t i = 0; i < scene.meshCount(); ++i)
        if (const oxCadMesh* cad = scene.cad(i))
            for (size_t e = 0; e < oxCadComb::edgeCount(*cad->model); ++e)
            {
                oxComb comb;
                if (oxCadComb::edge(*cad->model, e, samples, comb))
                    combs.push_back(std::move(comb));
            }
    return combs;
}

bool oxCurvatureComb::sharedEdge(const oxRenderScene& scene, size_t edge, int samples, oxComb& comb)
{
    for (size_t i = 0; i < scene.meshCount(); ++i)
        if (const oxCadMesh* cad = scene.cad(i))
        {
            const size_t count = cad->model->sharedEdgeCount();
            if (edge < count)
                return oxCadComb::edge(*cad->model, edge, samples, comb);
            edge -= count;
        }
    return false;
}

size_t oxCurvatureComb::sharedEdgeCount(const oxRenderScene& scene)
{
    size_t count = 0;
    for (size_t i = 0; i < scene.meshCount(); ++i)
        if (const oxCadMesh* cad = scene.cad(i))
            count += cad->model->sharedEdgeCount();
    return count;
}

namespace
{
// The teeth per curve for this many curves within MaxTeeth.
int samplesFor(int samples, double curves)
{
    return int(std::clamp(std::floor(oxCurvatureComb::MaxTeeth / std::max(1.0, curves)), 2.0, double(samples)));
}

size_t edgeCount(const oxRenderScene& scene)
{
    size_t count = 0;
    for (size_t i = 0; i < scene.meshCount(); ++i)
        if (const oxCadMesh* cad = scene.cad(i))
            count += oxCadComb::edgeCount(*cad->model);
    return count;
}
} // namespace

std::vector<oxComb> oxCurvatureComb::fromSettings(const oxRenderScene& scene, const oxHostAnalysisSettings& settings)
{
    // Within the settings' domains whoever set them: the counts bound what is allocated.
    const oxSettingDomain& sampleCounts = oxHostAnalysisRows::CombSamples.domain;
    const int samples = int(std::clamp(double(settings.CombSamples), sampleCounts.min, sampleCounts.max));
    const unsigned planes =
        unsigned(std::min(double(settings.CombSections), oxHostAnalysisRows::CombSections.domain.max));
    std::vector<oxComb> combs;
    if (!settings.CombActive)
        return combs;
    if (settings.CombEdges)
        combs = edges(scene, samplesFor(samples, double(edgeCount(scene))));
    Vec normal;
    if (planes == 0 || !oxRenderMath::direction(settings.CombSectionNormal, normal.data()))
        return combs;
    double low = INFINITY, high = -INFINITY;
    for (size_t i = 0; i < scene.meshCount(); ++i)
        for (const osg::Pnt3f& p : scene.mesh(i).positions)
        {
            const double h = dot(toVec(p), normal);
            low = std::min(low, h);
            high = std::max(high, h);
        }
    if (!(low <= high))
        return combs;
    const int perCurve = samplesFor(samples, planes);
    for (unsigned k = 0; k < planes; ++k)
    {
        const double h = low + (high - low) * (k + 0.5) / planes;
        for (oxComb& comb : sections(scene, {normal[0] * h, normal[1] * h, normal[2] * h}, normal, perCurve))
            combs.push_back(std::move(comb));
    }
    return combs;
}

double oxCurvatureComb::fittedScale(const std::vector<oxComb>& combs, double modelSize)
{
    double largest = 0;
    for (const oxComb& comb : combs)
        largest = std::max(largest, comb.max);
    return largest > 0 ? 0.1 * modelSize / largest : 0.0;
}

std::vector<oxOverlay::Polyline> oxCurvatureComb::polylines(const std::vector<oxComb>& combs, double scale)
{
    const osg::Color3f edge(0.15f, 0.f, 0.1f);
    std::vector<oxOverlay::Polyline> teeth, envelopes;
    for (const oxComb& comb : combs)
    {
        oxOverlay::Polyline envelope{{}, color(), 2.f};
        for (size_t i = 0; i < comb.points.size(); ++i)
        {
            const osg::Pnt3f tip = comb.points[i] + comb.normals[i] * float(comb.curvature[i] * scale);
            if (tip != comb.points[i])
                teeth.push_back({{comb.points[i], tip}, color(), 1.5f});
            envelope.points.push_back(tip);
        }
        if (comb.closed && !envelope.points.empty())
            envelope.points.push_back(envelope.points.front());
        envelopes.push_back({envelope.points, edge, 4.f});
        envelopes.push_back(std::move(envelope));
    }
    // The envelope's dark edge first, its colour over it, then the teeth.
    std::vector<oxOverlay::Polyline> lines;
    for (size_t i = 0; i < envelopes.size(); i += 2)
        lines.push_back(std::move(envelopes[i]));
    for (size_t i = 1; i < envelopes.size(); i += 2)
        lines.push_back(std::move(envelopes[i]));
    lines.insert(lines.end(), std::make_move_iterator(teeth.begin()), std::make_move_iterator(teeth.end()));
    return lines;
}

std::vector<oxOverlay::Polyline> oxCurvatureComb::lines(const oxRenderScene& scene,
                                                        const oxHostAnalysisSettings& settings)
{
    const std::vector<oxComb> combs = fromSettings(scene, settings);
    double scale = settings.CombScale;
    osg::Pnt3f min, max;
    if (!(scale > 0) && scene.bounds(min, max))
        scale = fittedScale(combs, double((max - min).length()));
    return polylines(combs, std::isfinite(scale) ? scale : 0.0);
}

bool oxCurvatureComb::sameCombs(const oxHostAnalysisSettings& a, const oxHostAnalysisSettings& b)
{
    return a.CombActive == b.CombActive && a.CombEdges == b.CombEdges && a.CombSections == b.CombSections &&
           a.CombSectionNormal == b.CombSectionNormal && a.CombSamples == b.CombSamples && a.CombScale == b.CombScale;
}
