#include "oxCheckModel.h"
#include "oxParallel.h"
#include "oxRenderMesh.h"
#include "oxRenderUtil.h"

#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_sort.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>

namespace
{
typedef oxCheckCriterion C;

struct D3
{
    double x, y, z;
    D3 operator-(const D3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    D3 operator+(const D3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    D3 operator*(double s) const { return {x * s, y * s, z * s}; }
    double dot(const D3& o) const { return x * o.x + y * o.y + z * o.z; }
    D3 cross(const D3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double length() const { return std::sqrt(dot(*this)); }
};

// One occurrence before the findings are made of it: only the kept ones get a message.
struct Hit
{
    size_t index;
    double value;
    D3 at;
    size_t other; // the crossed triangle; for a flipped one, 1 when its closed mesh faces inwards
};

bool operator<(const Hit& a, const Hit& b)
{
    return a.index != b.index ? a.index < b.index : a.other < b.other;
}

typedef std::array<std::vector<Hit>, oxCheckCriteria::Count> Hits;

const uint32_t None = UINT32_MAX;

// The mesh with its corners on welded vertices: positions equal in value (so -0 and 0 too) are one
// vertex, as an STL file, which repeats every corner, needs before any edge can be shared.
struct Welded
{
    std::vector<D3> points;         // per vertex of the mesh
    std::vector<uint32_t> corners;  // per corner, the first vertex at its position
    std::vector<uint8_t> collapsed; // per triangle: two corners on one vertex, no edges of its own

    size_t triangles() const { return collapsed.size(); }
    const D3& corner(size_t t, size_t k) const { return points[corners[3 * t + k]]; }
};

Welded weld(const oxRenderMesh& mesh)
{
    Welded w;
    const size_t n = mesh.positions.size();
    w.points.resize(n);
    std::vector<std::array<uint32_t, 4>> keys(n);
    oxRenderUtil::parallelFor(n,
                              [&](size_t begin, size_t end)
                              {
                                  for (size_t i = begin; i < end; ++i)
                                  {
                                      const osg::Pnt3f& p = mesh.positions[i];
                                      w.points[i] = {p[0], p[1], p[2]};
                                      for (int a = 0; a < 3; ++a)
                                      {
                                          const float v = p[a] + 0.f; // -0 becomes 0
                                          std::memcpy(&keys[i][size_t(a)], &v, sizeof v);
                                      }
                                      keys[i][3] = uint32_t(i);
                                  }
                              });
    tbb::parallel_sort(keys.begin(), keys.end());
    std::vector<uint32_t> first(n);
    for (size_t i = 0; i < n; ++i)
        first[keys[i][3]] = i > 0 && std::equal(keys[i].begin(), keys[i].begin() + 3, keys[i - 1].begin())
                                ? first[keys[i - 1][3]]
                                : keys[i][3];
    w.corners.resize(mesh.indices.size());
    w.collapsed.resize(mesh.triangleCount());
    for (size_t t = 0; t < w.collapsed.size(); ++t)
    {
        uint32_t* c = &w.corners[3 * t];
        for (size_t k = 0; k < 3; ++k)
            c[k] = first[mesh.indices[3 * t + k]];
        w.collapsed[t] = c[0] == c[1] || c[1] == c[2] || c[2] == c[0];
    }
    return w;
}

// The triangles' edges, each joined to the triangles across it; what uses an edge once or more
// than twice is a hit.
struct Edges
{
    std::vector<uint32_t> across; // per corner: the triangle across its edge when two share it
    std::vector<uint8_t> turned;  // per corner: that triangle runs the edge the same way
    std::vector<uint8_t> open;    // per triangle: an edge of it is free or over-used
};

Edges joinEdges(const Welded& w, size_t first, Hits& hits)
{
    struct Half
    {
        uint64_t key;
        uint32_t corner;
        bool operator<(const Half& o) const { return key != o.key ? key < o.key : corner < o.corner; }
    };
    std::vector<Half> halves;
    halves.reserve(w.corners.size());
    for (size_t t = 0; t < w.triangles(); ++t)
        for (uint32_t k = 0; !w.collapsed[t] && k < 3; ++k)
        {
            const uint64_t a = w.corners[3 * t + k], b = w.corners[3 * t + (k + 1) % 3];
            halves.push_back({std::min(a, b) << 32 | std::max(a, b), uint32_t(3 * t + k)});
        }
    tbb::parallel_sort(halves.begin(), halves.end());
    Edges e{std::vector<uint32_t>(w.corners.size(), None), std::vector<uint8_t>(w.corners.size(), 0),
            std::vector<uint8_t>(w.triangles(), 0)};
    // Corner c's edge runs to the next corner of its triangle.
    auto next = [](uint32_t c) { return c - c % 3 + (c + 1) % 3; };
    auto middle = [&](uint32_t c) { return (w.points[w.corners[c]] + w.points[w.corners[next(c)]]) * 0.5; };
    auto forward = [&](uint32_t c) { return w.corners[c] < w.corners[next(c)]; };
    for (size_t i = 0, j = 0; i < halves.size(); i = j)
    {
        for (j = i + 1; j < halves.size() && halves[j].key == halves[i].key;)
            ++j;
        const uint32_t c = halves[i].corner, n = uint32_t(j - i);
        if (n == 2)
        {
            const uint32_t d = halves[i + 1].corner;
            e.across[c] = d / 3;
            e.across[d] = c / 3;
            e.turned[c] = e.turned[d] = forward(c) == forward(d);
            continue;
        }
        hits[size_t(n == 1 ? C::MESH_FREE_EDGE : C::MESH_OVERUSED_EDGE)].push_back(
            {3 * first + c, double(n), middle(c), 0});
        for (size_t h = i; h < j; ++h)
            e.open[halves[h].corner / 3] = 1;
    }
    return e;
}

// Smallest angle and longest edge of every triangle against their thresholds.
void measureTriangles(const Welded& w, const oxCheckProfile& profile, size_t first, Hits& hits)
{
    const bool degenerate = profile.rule(C::MESH_DEGENERATE_TRIANGLE).severity != oxCheckSeverity::Off,
               tiny = profile.rule(C::MESH_TINY_TRIANGLE).severity != oxCheckSeverity::Off;
    if (!degenerate && !tiny)
        return;
    const double angleLimit = profile.rule(C::MESH_DEGENERATE_TRIANGLE).threshold,
                 lengthLimit = profile.rule(C::MESH_TINY_TRIANGLE).threshold;
    const double degrees = 180 / M_PI;
    tbb::enumerable_thread_specific<Hits> found;
    oxRenderUtil::parallelFor(
        w.triangles(),
        [&](size_t begin, size_t end)
        {
            Hits& mine = found.local();
            for (size_t t = begin; t < end; ++t)
            {
                const D3 p[3] = {w.corner(t, 0), w.corner(t, 1), w.corner(t, 2)};
                const D3 centre = (p[0] + p[1] + p[2]) * (1.0 / 3);
                double smallest = 180, longest = 0;
                for (int k = 0; k < 3; ++k)
                {
                    const D3 a = p[(k + 1) % 3] - p[k], b = p[(k + 2) % 3] - p[k];
                    longest = std::max(longest, a.length());
                    // A corner without an edge of length has no angle: collapsed.
                    const double sine = a.cross(b).length(), cosine = a.dot(b);
                    smallest = std::min(smallest, degrees * std::atan2(sine, cosine));
                }
                if (degenerate && smallest < angleLimit)
                    mine[size_t(C::MESH_DEGENERATE_TRIANGLE)].push_back({first + t, smallest, centre, 0});
                if (tiny && longest < lengthLimit)
                    mine[size_t(C::MESH_TINY_TRIANGLE)].push_back({first + t, longest, centre, 0});
            }
        });
    for (const Hits& some : found)
        for (size_t c = 0; c < some.size(); ++c)
            hits[c].insert(hits[c].end(), some[c].begin(), some[c].end());
}
} // namespace

namespace
{
// Each part of the mesh that hangs together across its shared edges is wound as its first triangle
// is; where it is closed, outwards instead (by its signed volume), else as most of its triangles.
// The triangles wound the other way are hits.
void orient(const Welded& w, const Edges& e, size_t first, Hits& hits)
{
    std::vector<int8_t> parity(w.triangles(), -1);
    std::vector<uint32_t> part;
    for (size_t seed = 0; seed < w.triangles(); ++seed)
    {
        if (parity[seed] >= 0 || w.collapsed[seed])
            continue;
        part.assign(1, uint32_t(seed));
        parity[seed] = 0;
        bool closed = true;
        size_t turned = 0;
        double volume = 0;
        const D3 origin = w.corner(seed, 0);
        for (size_t i = 0; i < part.size(); ++i)
        {
            const uint32_t t = part[i];
            closed = closed && !e.open[t];
            turned += size_t(parity[t]);
            const double v = (w.corner(t, 0) - origin).dot((w.corner(t, 1) - origin).cross(w.corner(t, 2) - origin));
            volume += parity[t] ? -v : v;
            for (size_t k = 0; k < 3; ++k)
            {
                const uint32_t u = e.across[3 * t + k];
                if (u == None || parity[u] >= 0)
                    continue;
                parity[u] = int8_t(parity[t] ^ e.turned[3 * t + k]);
                part.push_back(u);
            }
        }
        const int8_t right = closed ? int8_t(volume < 0) : int8_t(2 * turned > part.size());
        const bool inwards = closed && turned == (right ? 0 : part.size());
        for (const uint32_t t : part)
            if (parity[t] != right)
                hits[size_t(C::MESH_FLIPPED_TRIANGLE)].push_back(
                    {first + t, 1, (w.corner(t, 0) + w.corner(t, 1) + w.corner(t, 2)) * (1.0 / 3), size_t(inwards)});
    }
}

// Shewchuk's orient3d in double precision, 0 where its error bound cannot tell the sign.
double side(const D3& a, const D3& b, const D3& c, const D3& d)
{
    const D3 ad = a - d, bd = b - d, cd = c - d;
    const double bc = bd.x * cd.y, cb = cd.x * bd.y, ca = cd.x * ad.y, ac = ad.x * cd.y, ab = ad.x * bd.y,
                 ba = bd.x * ad.y;
    const double det = ad.z * (bc - cb) + bd.z * (ca - ac) + cd.z * (ab - ba);
    const double permanent = (std::fabs(bc) + std::fabs(cb)) * std::fabs(ad.z) +
                             (std::fabs(ca) + std::fabs(ac)) * std::fabs(bd.z) +
                             (std::fabs(ab) + std::fabs(ba)) * std::fabs(cd.z);
    return std::fabs(det) > 7.771561172376103e-16 * permanent ? det : 0;
}

bool opposite(double a, double b)
{
    return (a > 0 && b < 0) || (a < 0 && b > 0);
}

// Whether segment pq, its ends strictly on either side of triangle t's plane (their sides sp and
// sq), passes through the inside of t; a segment that only touches it does not.
bool passes(const D3& p, const D3& q, double sp, double sq, const D3* t, D3& at)
{
    const double e1 = side(p, q, t[0], t[1]), e2 = side(p, q, t[1], t[2]), e3 = side(p, q, t[2], t[0]);
    if (e1 == 0 || e2 == 0 || e3 == 0 || (e1 > 0) != (e2 > 0) || (e2 > 0) != (e3 > 0))
        return false;
    at = p + (q - p) * (sp / (sp - sq));
    return true;
}

// Two triangles cross where an edge of one passes through the other, which needs each to have
// corners strictly on both sides of the other's plane. So neighbours across an edge only touch,
// and an edge from a shared corner, which lies in the other's plane, never passes.
bool cross(const Welded& w, size_t s, size_t t, D3& at)
{
    const uint32_t* a = &w.corners[3 * s];
    const uint32_t* b = &w.corners[3 * t];
    int shared = 0;
    for (int i = 0; i < 3; ++i)
        shared += a[i] == b[0] || a[i] == b[1] || a[i] == b[2];
    if (shared >= 2)
        return false;
    const D3 p[3] = {w.corner(s, 0), w.corner(s, 1), w.corner(s, 2)};
    const D3 q[3] = {w.corner(t, 0), w.corner(t, 1), w.corner(t, 2)};
    auto straddles = [](const double* d)
    { return opposite(d[0], d[1]) || opposite(d[1], d[2]) || opposite(d[2], d[0]); };
    const double sp[3] = {side(q[0], q[1], q[2], p[0]), side(q[0], q[1], q[2], p[1]), side(q[0], q[1], q[2], p[2])};
    if (!straddles(sp))
        return false;
    const double sq[3] = {side(p[0], p[1], p[2], q[0]), side(p[0], p[1], p[2], q[1]), side(p[0], p[1], p[2], q[2])};
    if (!straddles(sq))
        return false;
    for (int k = 0; k < 3; ++k)
    {
        const int n = (k + 1) % 3;
        if ((opposite(sp[k], sp[n]) && passes(p[k], p[n], sp[k], sp[n], q, at)) ||
            (opposite(sq[k], sq[n]) && passes(q[k], q[n], sq[k], sq[n], p, at)))
            return true;
    }
    return false;
}

double D3::*axis(size_t k)
{
    return k == 0 ? &D3::x : k == 1 ? &D3::y : &D3::z;
}

// A triangle's bounding box; lo above hi for one with a corner at no finite position.
struct Box
{
    std::array<float, 3> lo, hi;

    bool meets(const Box& o) const
    {
        for (size_t k = 0; k < 3; ++k)
            if (lo[k] > o.hi[k] || o.lo[k] > hi[k])
                return false;
        return true;
    }
};

// The positions came in single precision, so a box of floats holds them exactly.
std::vector<Box> boxes(const Welded& w)
{
    std::vector<Box> out(w.triangles());
    oxRenderUtil::parallelFor(out.size(),
                              [&](size_t begin, size_t end)
                              {
                                  for (size_t t = begin; t < end; ++t)
                                  {
                                      const D3 p[3] = {w.corner(t, 0), w.corner(t, 1), w.corner(t, 2)};
                                      bool finite = true;
                                      for (size_t k = 0; k < 3; ++k)
                                      {
                                          const double c[3] = {p[0].*axis(k), p[1].*axis(k), p[2].*axis(k)};
                                          out[t].lo[k] = float(std::min({c[0], c[1], c[2]}));
                                          out[t].hi[k] = float(std::max({c[0], c[1], c[2]}));
                                          finite = finite && std::isfinite(out[t].lo[k]) && std::isfinite(out[t].hi[k]);
                                      }
                                      if (!finite)
                                          out[t].lo[0] = 1, out[t].hi[0] = 0;
                                  }
                              });
    return out;
}

// A uniform grid of cubes, each triangle in those its bounding box meets.
struct Grid
{
    std::array<double, 3> low{{0, 0, 0}};
    double size = 1;
    static constexpr int64_t Cells = 1 << 20; // per axis: three fit a key

    int64_t cell(float v, size_t k) const
    {
        return int64_t(std::min(double(Cells - 1), std::max(0.0, std::floor((double(v) - low[k]) / size))));
    }
    std::array<int64_t, 6> cells(const Box& b) const
    {
        if (!(b.lo[0] <= b.hi[0]))
            return {0, 0, 0, -1, -1, -1}; // in no cell
        return {cell(b.lo[0], 0), cell(b.lo[1], 1), cell(b.lo[2], 2),
                cell(b.hi[0], 0), cell(b.hi[1], 1), cell(b.hi[2], 2)};
    }
    static uint64_t key(int64_t x, int64_t y, int64_t z) { return uint64_t(x) << 42 | uint64_t(y) << 21 | uint64_t(z); }
    // The first cube two boxes that meet share.
    uint64_t firstShared(const Box& a, const Box& b) const
    {
        return key(cell(std::max(a.lo[0], b.lo[0]), 0), cell(std::max(a.lo[1], b.lo[1]), 1),
                   cell(std::max(a.lo[2], b.lo[2]), 2));
    }
    static size_t count(const std::array<int64_t, 6>& c)
    {
        return c[3] < c[0] ? 0 : size_t((c[3] - c[0] + 1) * (c[4] - c[1] + 1) * (c[5] - c[2] + 1));
    }
};

// Cubes about as large as a typical triangle, larger while the triangles would fill too many.
Grid gridFor(const std::vector<Box>& boxes)
{
    Grid g;
    const size_t n = boxes.size();
    std::vector<float> extents;
    extents.reserve(n);
    std::array<double, 3> high{{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
    g.low = {{HUGE_VAL, HUGE_VAL, HUGE_VAL}};
    for (const Box& b : boxes)
        if (b.lo[0] <= b.hi[0])
        {
            extents.push_back(std::max({b.hi[0] - b.lo[0], b.hi[1] - b.lo[1], b.hi[2] - b.lo[2]}));
            for (size_t k = 0; k < 3; ++k)
            {
                g.low[k] = std::min(g.low[k], double(b.lo[k]));
                high[k] = std::max(high[k], double(b.hi[k]));
            }
        }
    if (extents.empty())
        return g;
    std::nth_element(extents.begin(), extents.begin() + long(extents.size() / 2), extents.end());
    const double reach = std::max({high[0] - g.low[0], high[1] - g.low[1], high[2] - g.low[2], 0.0});
    g.size = std::max({2.0 * extents[extents.size() / 2], reach / double(Grid::Cells - 1), 1e-30});
    for (;; g.size *= 2)
    {
        std::atomic<size_t> filled{0};
        oxRenderUtil::parallelFor(n,
                                  [&](size_t begin, size_t end)
                                  {
                                      size_t mine = 0;
                                      for (size_t t = begin; t < end; ++t)
                                          mine += Grid::count(g.cells(boxes[t]));
                                      filled += mine;
                                  });
        if (filled <= 8 * n + 1024)
            return g;
    }
}

// The pairs of triangles in one cube of the grid whose boxes meet, each pair tested only in the
// first cube both boxes share, so once.
void crossingsIn(const Welded& w, const Grid& g, const std::vector<Box>& boxes,
                 const std::vector<std::pair<uint64_t, uint32_t>>& entries, size_t begin, size_t end, size_t first,
                 std::vector<Hit>& out)
{
    const uint64_t cube = entries[begin].first;
    for (size_t i = begin; i < end; ++i)
    {
        const uint32_t s = entries[i].second;
        for (size_t j = i + 1; j < end; ++j)
        {
            const uint32_t t = entries[j].second;
            if (!boxes[s].meets(boxes[t]) || g.firstShared(boxes[s], boxes[t]) != cube)
                continue;
            D3 at;
            if (cross(w, s, t, at))
                out.push_back({first + std::min(s, t), 1, at, first + std::max(s, t)});
        }
    }
}

void selfIntersections(const Welded& w, size_t first, Hits& hits)
{
    const size_t n = w.triangles();
    if (n < 2)
        return;
    const std::vector<Box> box = boxes(w);
    const Grid g = gridFor(box);
    std::vector<size_t> start(n + 1, 0);
    for (size_t t = 0; t < n; ++t)
        start[t + 1] = start[t] + Grid::count(g.cells(box[t]));
    std::vector<std::pair<uint64_t, uint32_t>> entries(start[n]);
    oxRenderUtil::parallelFor(n,
                              [&](size_t begin, size_t end)
                              {
                                  for (size_t t = begin; t < end; ++t)
                                  {
                                      const std::array<int64_t, 6> c = g.cells(box[t]);
                                      size_t at = start[t];
                                      for (int64_t x = c[0]; x <= c[3]; ++x)
                                          for (int64_t y = c[1]; y <= c[4]; ++y)
                                              for (int64_t z = c[2]; z <= c[5]; ++z)
                                                  entries[at++] = {Grid::key(x, y, z), uint32_t(t)};
                                  }
                              });
    tbb::parallel_sort(entries.begin(), entries.end());
    std::vector<size_t> cubes;
    for (size_t i = 0; i < entries.size(); ++i)
        if (i == 0 || entries[i].first != entries[i - 1].first)
            cubes.push_back(i);
    cubes.push_back(entries.size());
    tbb::enumerable_thread_specific<std::vector<Hit>> found;
    tbb::this_task_arena::isolate(
        [&]
        {
            tbb::parallel_for(tbb::blocked_range<size_t>(0, cubes.size() - 1, 256),
                              [&](const tbb::blocked_range<size_t>& r)
                              {
                                  for (size_t i = r.begin(); i < r.end(); ++i)
                                      crossingsIn(w, g, box, entries, cubes[i], cubes[i + 1], first, found.local());
                              });
        });
    for (const std::vector<Hit>& some : found)
        hits[size_t(C::MESH_SELF_INTERSECTION)].insert(hits[size_t(C::MESH_SELF_INTERSECTION)].end(), some.begin(),
                                                       some.end());
}

std::string sentence(C c, const Hit& h, const oxCheckProfile& profile)
{
    const char* unit = oxCheckCriteria::unitText(oxCheckCriteria::info(c).unit);
    const std::string limit = " < " + oxCheckNumbers::text(profile.rule(c).threshold) + unit;
    switch (c)
    {
    case C::MESH_FREE_EDGE:
        return "bounds one triangle only";
    case C::MESH_OVERUSED_EDGE:
        return "shared by " + std::to_string(size_t(h.value)) + " triangles > 2";
    case C::MESH_DEGENERATE_TRIANGLE:
        return "smallest angle " + oxCheckNumbers::text(h.value) + unit + limit;
    case C::MESH_TINY_TRIANGLE:
        return "longest edge " + oxCheckNumbers::text(h.value) + unit + limit;
    case C::MESH_SELF_INTERSECTION:
        return "crosses triangle " + std::to_string(h.other);
    default:
        return h.other ? "faces inwards: the closed mesh it bounds has a negative volume"
                       : "wound against its neighbours";
    }
}

// The hits of criteria the profile keeps, each in index order and capped, as findings.
oxCheckResult collect(Hits& hits, const oxCheckProfile& profile)
{
    oxCheckResult r;
    r.profile = profile.name;
    r.meshes = true;
    for (size_t i = 0; i < hits.size(); ++i)
    {
        const C c = C(i);
        std::vector<Hit>& h = hits[i];
        if (profile.rule(c).severity == oxCheckSeverity::Off)
            continue;
        r.counts[i] = h.size();
        const size_t kept = std::min(h.size(), profile.findingsPerCriterion);
        std::partial_sort(h.begin(), h.begin() + long(kept), h.end());
        for (size_t k = 0; k < kept; ++k)
        {
            oxCheckFinding f;
            f.criterion = c;
            f.severity = profile.rule(c).severity;
            f.value = h[k].value;
            f.threshold = profile.rule(c).threshold;
            f.entity = c == C::MESH_FREE_EDGE || c == C::MESH_OVERUSED_EDGE ? "edge" : "triangle";
            f.index = h[k].index;
            f.location[0] = h[k].at.x;
            f.location[1] = h[k].at.y;
            f.location[2] = h[k].at.z;
            f.message = f.entity + " " + std::to_string(f.index) + ": " + sentence(c, h[k], profile);
            r.findings.push_back(std::move(f));
        }
    }
    r.decide();
    return r;
}
} // namespace

oxCheckResult oxCheck::runMesh(const oxRenderMesh& mesh, const oxCheckProfile& profile, size_t firstTriangle)
{
    auto on = [&](C c) { return profile.rule(c).severity != oxCheckSeverity::Off; };
    const size_t corners = mesh.triangleCount() * 3;
    for (size_t i = 0; i < corners; ++i)
        if (mesh.indices[i] >= mesh.positions.size())
        {
            oxCheckResult r;
            r.profile = profile.name;
            r.meshes = true;
            r.verdict = oxCheckResult::Error;
            r.reason = "cannot check the mesh " + oxRenderUtil::quoted(mesh.name) + ": triangle " +
                       std::to_string(i / 3) + " names vertex " + std::to_string(mesh.indices[i]) + " of " +
                       std::to_string(mesh.positions.size());
            return r;
        }
    const Welded w = weld(mesh);
    Hits hits;
    if (on(C::MESH_FREE_EDGE) || on(C::MESH_OVERUSED_EDGE) || on(C::MESH_FLIPPED_TRIANGLE))
    {
        const Edges e = joinEdges(w, firstTriangle, hits);
        if (on(C::MESH_FLIPPED_TRIANGLE))
            orient(w, e, firstTriangle, hits);
    }
    measureTriangles(w, profile, firstTriangle, hits);
    if (on(C::MESH_SELF_INTERSECTION))
        selfIntersections(w, firstTriangle, hits);
    return collect(hits, profile);
}
