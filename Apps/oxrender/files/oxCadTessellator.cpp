#include "oxCadTessellator.h"

#include <BRepAdaptor_Curve.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Geom2d_Curve.hxx>
#include <Poly_PolygonOnTriangulation.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Vertex.hxx>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <unordered_map>

namespace
{
using Index = std::uint32_t;

std::uint64_t pairKey(Index a, Index b)
{
    return a < b ? (std::uint64_t(a) << 32 | b) : (std::uint64_t(b) << 32 | a);
}

// Side i runs from v[i] to v[i + 1]. n: the triangle across it, or -1 on the face's boundary;
// there b names the piece of edge it lies on, or is -1 where it is never split (an edge without
// curves).
struct Triangle
{
    Index v[3];
    int n[3];
    int b[3];
};

// A boundary side's piece of an edge: the edge (into Refiner::edges) and its curve parameters at
// the side's first and second vertex.
struct Piece
{
    int edge;
    double t0, t1;
};

struct FaceEdge
{
    int id; // into the model's edges
    Handle(Geom2d_Curve) pcurve;
    std::unique_ptr<BRepAdaptor_Curve> curve; // null on a degenerate edge, which is all pole
    gp_Pnt pole;
};

// Where the error of a triangle is measured, barycentric: side middles, centre, and halfway from
// the centre to the corners.
const double kSamples[7][3] = {{0.5, 0.5, 0},
                               {0, 0.5, 0.5},
                               {0.5, 0, 0.5},
                               {1 / 3.0, 1 / 3.0, 1 / 3.0},
                               {2 / 3.0, 1 / 6.0, 1 / 6.0},
                               {1 / 6.0, 2 / 3.0, 1 / 6.0},
                               {1 / 6.0, 1 / 6.0, 2 / 3.0}};

class Refiner
{
public:
    Refiner(const Geom_Surface& surface, double deflection, double angle)
        // Samples and corners miss the worst point of a triangle by a little: the deflection and the
        // angle are held a tenth tighter.
        : _surface(surface), _deflection(deflection), _angle(angle), _deflection2(0.81 * deflection * deflection),
          _cosAngle(std::cos(0.9 * angle)),
          // Below this a triangle is not split for error: only a singular surface gets there.
          _shortest2(0.01 * deflection * deflection),
          // Twice the area over the longest side is the height: a tenth of the deflection.
          _sliver2(0.01 * deflection * deflection)
    {
    }

    std::vector<double> uv;
    std::vector<gp_Pnt> points;
    // The surface at each vertex's (u, v). Points on edges come from the edge curves, which real
    // files keep only within a tolerance of the surface: measured against the surface with those
    // points, the small triangles along an edge would never be close enough and split on and on.
    std::vector<gp_Pnt> onSurface;
    std::vector<gp_Vec> normals; // unit, or zero where undefined
    std::vector<Triangle> triangles;
    std::vector<Piece> pieces;
    std::vector<int> pieceOwner; // the triangle holding each piece
    std::vector<FaceEdge> edges;
    std::vector<std::pair<int, double>> edgeSplits; // (model edge, parameter) made here

    Index addVertex(double u, double v, const gp_Pnt& p)
    {
        uv.push_back(u);
        uv.push_back(v);
        points.push_back(p);
        // Zero where undefined (at a pole): the angle is not measured there.
        gp_Pnt at;
        gp_Vec du, dv;
        _surface.D1(u, v, at, du, dv);
        const gp_Vec cross = du.Crossed(dv);
        const double length = cross.Magnitude();
        const gp_Vec n = length > 1e-12 * std::max(1.0, du.Magnitude() * dv.Magnitude()) ? cross / length : gp_Vec();
        normals.push_back(n);
        onSurface.push_back(at);
        return Index(points.size() - 1);
    }

    bool load(const TopoDS_Face& face, const TopTools_IndexedMapOfShape& modelEdges);

    // Splits until every triangle is within the deflection and angle; false when the triangles
    // counted in made pass limit.
    bool refine(std::atomic<size_t>& made, size_t limit, std::vector<int> active);

    // Splits the boundary sides on each edge at the parameters where any face split that edge.
    // Returns the triangles it changed.
    std::vector<int> follow(const std::map<int, std::vector<double>>& splits);

    void output(bool reversed, oxCadTessellator::Face& out) const;

private:
    const Geom_Surface& _surface;
    const double _deflection, _angle, _deflection2, _cosAngle, _shortest2, _sliver2;
    std::vector<unsigned> _stamp; // the round that last changed each triangle
    std::vector<char> _frozen;    // triangles next to a side that cannot be split, left as they are
    std::vector<int> _touched;    // triangles changed in this round
    unsigned _round = 0;

    // Sides are compared in (u, v), each direction scaled as load() says: there a side's middle is
    // the middle of its parameters, which keeps longest-side bisection finite (in space, the
    // middle of a long side near a pole may lie far off the chord).
    double _su = 1, _sv = 1;
    // How the base mesh's triangles turn in (u, v), 1 or -1: as most of them do.
    double _uvSign = 1;

    // The steps of load().
    using SideMap = std::unordered_map<std::uint64_t, std::pair<int, int>>;
    double loadNodes(const Handle(Poly_Triangulation) & mesh, const gp_Trsf& transform); // returns the extent
    void setScales(const Handle(Poly_Triangulation) & mesh, double extent);
    void loadTriangles(const Handle(Poly_Triangulation) & mesh, SideMap& sides);
    void loadEdge(const TopoDS_Face& face, const TopoDS_Edge& edge, const Handle(Poly_Triangulation) & mesh,
                  const TopLoc_Location& location, const TopTools_IndexedMapOfShape& modelEdges, const SideMap& sides);
    double length2(Index a, Index b) const
    {
        const double du = _su * (uv[2 * a] - uv[2 * b]), dv = _sv * (uv[2 * a + 1] - uv[2 * b + 1]);
        return du * du + dv * dv;
    }

    bool splittable(const Triangle& t, int i) const { return t.n[i] >= 0 || t.b[i] >= 0; }

    // The longest side that may be split, ties broken alike on both triangles of a side; -1: none.
    int longest(int t) const
    {
        const Triangle& T = triangles[size_t(t)];
        int best = -1;
        double bestLength = -1;
        std::uint64_t bestKey = 0;
        if (size_t(t) < _frozen.size() && _frozen[size_t(t)])
            return -1;
        for (int i = 0; i < 3; ++i)
        {
            const Index a = T.v[i], b = T.v[(i + 1) % 3];
            const double l = length2(a, b);
            // Two corners at one (u, v): splits would make more of its like, with sides as long as
            // its own, and never end.
            if (l == 0)
                return -1;
            const std::uint64_t key = pairKey(a, b);
            if (l > bestLength || (l == bestLength && key > bestKey))
            {
                best = i;
                bestLength = l;
                bestKey = key;
            }
        }
        // Bisection ends only when it always takes the longest side.
        return best >= 0 && splittable(T, best) ? best : -1;
    }

    bool needsSplit(int t) const
    {
        const Triangle& T = triangles[size_t(t)];
        if (longest(t) < 0)
            return false;
        double longest2 = 0;
        for (int i = 0; i < 3; ++i)
            longest2 = std::max(longest2, onSurface[T.v[i]].SquareDistance(onSurface[T.v[(i + 1) % 3]]));
        if (longest2 < _shortest2)
            return false;
        // The facet against the surface at each corner (this also catches triangles turned over
        // next to a pole). Where halving cannot bring the facet round, the angle is not measured,
        // else the triangle would be split until its sides are a tenth of the deflection: a
        // triangle turned over in (u, v) already (an edge's curve bent past the chord it replaced)
        // stays turned over; a sliver along an edge (all three corners on its curve, much thinner
        // than the deflection) keeps the plane of that curve, and is split only if turned over.
        const double* a = &uv[2 * T.v[0]];
        const double* b = &uv[2 * T.v[1]];
        const double* c = &uv[2 * T.v[2]];
        const bool turned = _uvSign * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])) <= 0;
        const gp_Vec facet =
            gp_Vec(onSurface[T.v[0]], onSurface[T.v[1]]).Crossed(gp_Vec(onSurface[T.v[0]], onSurface[T.v[2]]));
        const bool sliver = facet.SquareMagnitude() < _sliver2 * longest2;
        const double facetLength = turned ? 0 : facet.Magnitude();
        const double least = sliver ? 0 : _cosAngle;
        for (int i = 0; i < 3 && facetLength > 0; ++i)
        {
            const gp_Vec& n = normals[T.v[i]];
            if (n.SquareMagnitude() > 0 && facet.Dot(n) < facetLength * least)
                return true;
        }
        // The surface's distance from the facet's plane, not from the facet's point of the same
        // (u, v): where a surface is parametrised unevenly that point lies well aside on the
        // surface itself, and the triangle would be split for nothing. Slivers have no plane to speak of.
        const gp_Vec across = sliver ? gp_Vec() : facet / facet.Magnitude();
        for (const double* w : kSamples)
        {
            double u = 0, v = 0, x = 0, y = 0, z = 0;
            for (int k = 0; k < 3; ++k)
            {
                const Index corner = T.v[k];
                u += w[k] * uv[2 * corner];
                v += w[k] * uv[2 * corner + 1];
                x += w[k] * onSurface[corner].X();
                y += w[k] * onSurface[corner].Y();
                z += w[k] * onSurface[corner].Z();
            }
            const gp_Vec off(gp_Pnt(x, y, z), _surface.Value(u, v));
            const double distance2 = sliver ? off.SquareMagnitude() : off.Dot(across) * off.Dot(across);
            if (distance2 > _deflection2)
                return true;
        }
        return false;
    }

    void freeze(int t)
    {
        if (size_t(t) >= _frozen.size())
            _frozen.resize(triangles.size(), 0);
        _frozen[size_t(t)] = 1;
    }

    void touch(int t)
    {
        if (size_t(t) >= _stamp.size())
            _stamp.resize(size_t(t) + 1, 0);
        if (_stamp[size_t(t)] != _round)
        {
            _stamp[size_t(t)] = _round;
            _touched.push_back(t);
        }
    }

    // Splits side i of t at vertex m into (v[i], m, o), kept in t, and (m, v[i + 1], o), returned;
    // the two halves of side i get the pieces left and right and no neighbours yet.
    int splitOne(int t, int i, Index m, int left, int right)
    {
        const Triangle old = triangles[size_t(t)];
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        const int added = int(triangles.size());
        triangles[size_t(t)] = Triangle{{old.v[i], m, old.v[k]}, {-1, added, old.n[k]}, {left, -1, old.b[k]}};
        triangles.push_back(Triangle{{m, old.v[j], old.v[k]}, {-1, old.n[j], t}, {right, old.b[j], -1}});
        if (old.n[j] >= 0)
            for (int& n : triangles[size_t(old.n[j])].n)
                if (n == t)
                    n = added;
        // Pieces follow their sides.
        if (old.b[k] >= 0)
            pieceOwner[size_t(old.b[k])] = t;
        if (old.b[j] >= 0)
            pieceOwner[size_t(old.b[j])] = added;
        if (left >= 0)
            pieceOwner[size_t(left)] = t;
        if (right >= 0)
            pieceOwner[size_t(right)] = added;
        touch(t);
        touch(added);
        return added;
    }

    // The boundary side i of t split at the edge parameter at.
    // False, with the side made whole for good, where the edge's curve on the face does not lead
    // between the side's ends (curves and polygon parameters that disagree, in damaged files).
    bool splitBoundary(int t, int i, double at)
    {
        Triangle& T = triangles[size_t(t)];
        const int p = T.b[i];
        const Piece piece = pieces[size_t(p)];
        const FaceEdge& edge = edges[size_t(piece.edge)];
        const gp_Pnt2d where = edge.pcurve->Value(at);
        const Index a = T.v[i], c = T.v[(i + 1) % 3];
        const double half2 = 0.25 * length2(a, c);
        const double du = _su * (where.X() - 0.5 * (uv[2 * a] + uv[2 * c])),
                     dv = _sv * (where.Y() - 0.5 * (uv[2 * a + 1] + uv[2 * c + 1]));
        if (!(du * du + dv * dv < 0.5 * half2))
        {
            T.b[i] = -1;
            pieceOwner[size_t(p)] = -1;
            return false;
        }
        const Index m = addVertex(where.X(), where.Y(), edge.curve ? edge.curve->Value(at) : edge.pole);
        pieces[size_t(p)].t1 = at;
        pieces.push_back(Piece{piece.edge, at, piece.t1});
        pieceOwner.push_back(-1);
        splitOne(t, i, m, p, int(pieces.size() - 1));
        edgeSplits.emplace_back(edge.id, at);
        return true;
    }

    // Interior side i of t, side j of its neighbour n, split at their (u, v) middle.
    void splitPair(int t, int i, int n, int j)
    {
        const Index a = triangles[size_t(t)].v[i], c = triangles[size_t(t)].v[(i + 1) % 3];
        const double u = 0.5 * (uv[2 * a] + uv[2 * c]), v = 0.5 * (uv[2 * a + 1] + uv[2 * c + 1]);
        const Index m = addVertex(u, v, _surface.Value(u, v));
        const int t2 = splitOne(t, i, m, -1, -1);
        const int n2 = splitOne(n, j, m, -1, -1);
        // t keeps a; of n's halves the one with a faces it.
        const bool nHasA =
            triangles[size_t(n)].v[0] == a || triangles[size_t(n)].v[1] == a || triangles[size_t(n)].v[2] == a;
        const int withA = nHasA ? n : n2, withC = nHasA ? n2 : n;
        triangles[size_t(t)].n[0] = withA;
        triangles[size_t(withA)].n[0] = t;
        triangles[size_t(t2)].n[0] = withC;
        triangles[size_t(withC)].n[0] = t2;
    }

    // Bisects t at its longest side, first splitting the neighbours whose longest sides lead
    // there, so that the mesh stays conforming.
    void bisect(int t)
    {
        std::vector<int> path{t};
        for (size_t steps = 0; !path.empty(); ++steps)
        {
            // Near a singular point the longest-side path can keep meeting the new triangles it
            // made: the triangles on it are left as they are.
            if (steps > 10000)
            {
                for (const int on : path)
                    freeze(on);
                return;
            }
            const int x = path.back();
            const int i = longest(x);
            if (i < 0)
            {
                freeze(x);
                path.pop_back();
                continue;
            }
            const Triangle& X = triangles[size_t(x)];
            const int n = X.n[i];
            if (n < 0)
            {
                const Piece& piece = pieces[size_t(X.b[i])];
                if (splitBoundary(x, i, 0.5 * (piece.t0 + piece.t1)))
                    path.pop_back();
                continue;
            }
            const Index a = X.v[i], b = X.v[(i + 1) % 3];
            int j = 0;
            while (j < 2 && pairKey(triangles[size_t(n)].v[j], triangles[size_t(n)].v[(j + 1) % 3]) != pairKey(a, b))
                ++j;
            const int k = longest(n);
            if (k < 0)
            {
                freeze(x);
                path.pop_back();
            }
            else if (k == j)
            {
                splitPair(x, i, n, j);
                path.pop_back();
            }
            else
                path.push_back(n);
        }
    }
};

double Refiner::loadNodes(const Handle(Poly_Triangulation) & mesh, const gp_Trsf& transform)
{
    Bnd_Box box;
    for (int i = 1; i <= mesh->NbNodes(); ++i)
    {
        const gp_Pnt2d at = mesh->UVNode(i);
        addVertex(at.X(), at.Y(), mesh->Node(i).Transformed(transform));
        box.Add(points.back());
    }
    return box.IsVoid() ? 1.0 : std::max(std::sqrt(box.SquareExtent()), 1e-300);
}

// The scales of u and v: about how many sides a unit of each needs, by the deflection (a bend
// of radius r takes sides of sqrt(8 r deflection)) or by the angle (r angle), whichever asks
// more, and at least one across the face. Sides are split across the bends first.
void Refiner::setScales(const Handle(Poly_Triangulation) & mesh, double extent)
{
    std::vector<double> scalesU, scalesV;
    for (int i = 1; i <= mesh->NbNodes(); ++i)
    {
        const gp_Pnt2d at = mesh->UVNode(i);
        gp_Pnt p;
        gp_Vec du, dv, duu, dvv, duv;
        _surface.D2(at.X(), at.Y(), p, du, dv, duu, dvv, duv);
        const gp_Vec& n = normals[size_t(i - 1)];
        auto scale = [&](const gp_Vec& d1, const gp_Vec& d2)
        {
            const double bend = std::fabs(d2.Dot(n)), length = d1.Magnitude(); // bend = length^2 / r
            const double sides =
                std::max(std::sqrt(bend / (8 * _deflection)), bend / std::max(length * _angle, 1e-300));
            return sides * sides + length * length / (extent * extent);
        };
        scalesU.push_back(scale(du, duu));
        scalesV.push_back(scale(dv, dvv));
    }
    // The median: a sharp bend in a corner of a face would else set how the whole face is split.
    auto median = [](std::vector<double>& values)
    {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    const double su = median(scalesU), sv = median(scalesV);
    if (su > 0 && sv > 0)
    {
        _su = std::sqrt(su);
        _sv = std::sqrt(sv);
    }
}

void Refiner::loadTriangles(const Handle(Poly_Triangulation) & mesh, SideMap& sides)
{
    int turn = 0;
    for (int i = 1; i <= mesh->NbTriangles(); ++i)
    {
        int a, b, c;
        mesh->Triangle(i).Get(a, b, c);
        const int t = int(triangles.size());
        triangles.push_back(Triangle{{Index(a - 1), Index(b - 1), Index(c - 1)}, {-1, -1, -1}, {-1, -1, -1}});
        const gp_Pnt2d pa = mesh->UVNode(a), pb = mesh->UVNode(b), pc = mesh->UVNode(c);
        const double area = (pb.X() - pa.X()) * (pc.Y() - pa.Y()) - (pb.Y() - pa.Y()) * (pc.X() - pa.X());
        turn += area > 0 ? 1 : area < 0 ? -1 : 0;
        for (int k = 0; k < 3; ++k)
        {
            const auto found =
                sides.emplace(pairKey(triangles.back().v[k], triangles.back().v[(k + 1) % 3]), std::make_pair(t, k));
            if (!found.second)
            {
                const std::pair<int, int> other = found.first->second;
                triangles[size_t(t)].n[k] = other.first;
                triangles[size_t(other.first)].n[other.second] = t;
            }
        }
    }
    _uvSign = turn < 0 ? -1 : 1;
}

// Points on edges are taken from the edge curves and vertices, which the neighbouring faces
// evaluate alike.
void Refiner::loadEdge(const TopoDS_Face& face, const TopoDS_Edge& edge, const Handle(Poly_Triangulation) & mesh,
                       const TopLoc_Location& location, const TopTools_IndexedMapOfShape& modelEdges,
                       const SideMap& sides)
{
    const Handle(Poly_PolygonOnTriangulation) polygon = BRep_Tool::PolygonOnTriangulation(edge, mesh, location);
    if (polygon.IsNull() || polygon->NbNodes() < 2)
        return;
    TopoDS_Vertex first, last;
    TopExp::Vertices(edge, first, last);
    const bool degenerate = BRep_Tool::Degenerated(edge);
    double from = 0, to = 0;
    FaceEdge faceEdge{modelEdges.FindIndex(edge), BRep_Tool::CurveOnSurface(edge, face, from, to), nullptr,
                      first.IsNull() ? gp_Pnt() : BRep_Tool::Pnt(first)};
    if (polygon->HasParameters() && BRep_Tool::IsClosed(edge, face))
    {
        // A seam has a curve on each side of the (u, v) box: the one through the polygon's nodes.
        const Handle(Geom2d_Curve) other = BRep_Tool::CurveOnSurface(TopoDS::Edge(edge.Reversed()), face, from, to);
        const gp_Pnt2d node = mesh->UVNode(polygon->Node(1));
        const double t = polygon->Parameter(1);
        if (!other.IsNull() && (faceEdge.pcurve.IsNull() ||
                                other->Value(t).SquareDistance(node) < faceEdge.pcurve->Value(t).SquareDistance(node)))
            faceEdge.pcurve = other;
    }
    // Sides on a degenerate edge are split too (in (u, v) they are as long as any): else
    // bisection next to a pole makes ever thinner triangles.
    const bool split = !faceEdge.pcurve.IsNull() && polygon->HasParameters() && faceEdge.id > 0 &&
                       (degenerate ? !first.IsNull() : BRep_Tool::IsGeometric(edge));
    if (split && !degenerate)
        faceEdge.curve = std::make_unique<BRepAdaptor_Curve>(edge);
    for (int k = 1; k <= polygon->NbNodes(); ++k)
    {
        const Index node = Index(polygon->Node(k) - 1);
        const bool end = k == 1 || k == polygon->NbNodes();
        if ((degenerate || end) && !first.IsNull() && !last.IsNull())
        {
            const gp_Pnt p0 = BRep_Tool::Pnt(first), p1 = BRep_Tool::Pnt(last);
            points[node] = p0.SquareDistance(points[node]) <= p1.SquareDistance(points[node]) ? p0 : p1;
        }
        else if (faceEdge.curve)
            points[node] = faceEdge.curve->Value(polygon->Parameter(k));
    }
    const int edgeIndex = split ? int(edges.size()) : -1;
    if (split)
        edges.push_back(std::move(faceEdge));
    for (int k = 1; split && k < polygon->NbNodes(); ++k)
    {
        const Index a = Index(polygon->Node(k) - 1), b = Index(polygon->Node(k + 1) - 1);
        const auto found = sides.find(pairKey(a, b));
        if (found == sides.end())
            continue;
        Triangle& t = triangles[size_t(found->second.first)];
        const int i = found->second.second;
        if (t.n[i] >= 0)
            continue;
        // A seam's side is met once from each of its curves: the first stands.
        if (t.b[i] >= 0)
            continue;
        const bool along = t.v[i] == a;
        t.b[i] = int(pieces.size());
        pieces.push_back(
            Piece{edgeIndex, polygon->Parameter(along ? k : k + 1), polygon->Parameter(along ? k + 1 : k)});
        pieceOwner.push_back(found->second.first);
    }
}

bool Refiner::load(const TopoDS_Face& face, const TopTools_IndexedMapOfShape& modelEdges)
{
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull() || !mesh->HasUVNodes() || mesh->NbTriangles() == 0)
        return false;
    const gp_Trsf transform = location.Transformation();
    const double extent = loadNodes(mesh, transform);
    setScales(mesh, extent);
    SideMap sides; // to (triangle, side)
    loadTriangles(mesh, sides);
    for (TopExp_Explorer it(face, TopAbs_EDGE); it.More(); it.Next())
        loadEdge(face, TopoDS::Edge(it.Current()), mesh, location, modelEdges, sides);
    return true;
}

bool Refiner::refine(std::atomic<size_t>& made, size_t limit, std::vector<int> active)
{
    _stamp.resize(triangles.size(), 0);
    std::vector<char> split;
    while (!active.empty())
    {
        split.assign(active.size(), 0);
        auto check = [&](size_t from, size_t to)
        {
            for (size_t k = from; k < to; ++k)
                split[k] = needsSplit(active[k]);
        };
        if (active.size() < 512)
            check(0, active.size());
        else
            tbb::parallel_for(tbb::blocked_range<size_t>(0, active.size(), 256),
                              [&](const tbb::blocked_range<size_t>& r) { check(r.begin(), r.end()); });
        ++_round;
        _touched.clear();
        const size_t before = triangles.size();
        for (size_t k = 0; k < active.size(); ++k)
            if (split[k] && _stamp[size_t(active[k])] != _round)
                bisect(active[k]);
        if (made.fetch_add(triangles.size() - before) + triangles.size() - before > limit)
            return false;
        active.swap(_touched);
    }
    return true;
}

std::vector<int> Refiner::follow(const std::map<int, std::vector<double>>& splits)
{
    ++_round;
    _touched.clear();
    for (size_t p = 0; p < pieces.size(); ++p)
    {
        const auto found = splits.find(edges[size_t(pieces[p].edge)].id);
        if (found == splits.end())
            continue;
        const std::vector<double>& at = found->second;
        for (;;)
        {
            const double lo = std::min(pieces[p].t0, pieces[p].t1), hi = std::max(pieces[p].t0, pieces[p].t1);
            // The split nearest the middle first, as the face that made them went.
            auto inside = std::upper_bound(at.begin(), at.end(), lo);
            double best = 0;
            bool any = false;
            for (; inside != at.end() && *inside < hi; ++inside)
                if (!any || std::fabs(*inside - 0.5 * (lo + hi)) < std::fabs(best - 0.5 * (lo + hi)))
                {
                    best = *inside;
                    any = true;
                }
            if (!any)
                break;
            // A piece given up (its curve did not lead between its ends) has no side any more.
            const int t = pieceOwner[p];
            if (t < 0)
                break;
            int i = 0;
            while (i < 3 && triangles[size_t(t)].b[i] != int(p))
                ++i;
            if (i == 3 || !splitBoundary(t, i, best))
                break;
        }
    }
    return _touched;
}

void Refiner::output(bool reversed, oxCadTessellator::Face& out) const
{
    out.uv = uv;
    out.xyz.resize(3 * points.size());
    for (size_t i = 0; i < points.size(); ++i)
        for (int k = 0; k < 3; ++k)
            out.xyz[3 * i + size_t(k)] = points[i].Coord(k + 1);
    out.triangles.reserve(3 * triangles.size());
    for (const Triangle& t : triangles)
    {
        // Split sides along a pole leave triangles with two corners at the pole: they cover nothing.
        const Index* v = t.v;
        if (points[v[0]].IsEqual(points[v[1]], 0) || points[v[1]].IsEqual(points[v[2]], 0) ||
            points[v[2]].IsEqual(points[v[0]], 0))
            continue;
        out.triangles.insert(out.triangles.end(), {v[0], reversed ? v[2] : v[1], reversed ? v[1] : v[2]});
    }
}
} // namespace

oxCadTessellator::oxCadTessellator(const oxCadModel::Impl& model, double coarseDeflection, double coarseAngle)
    : _model(model)
{
    // A triangulation the shape brought along (B-rep files may hold one) would set the base.
    BRepTools::Clean(model.shape);
    IMeshTools_Parameters parameters;
    parameters.Deflection = coarseDeflection;
    parameters.Angle = coarseAngle;
    parameters.InParallel = true;
    BRepMesh_IncrementalMesh mesher(model.shape, parameters);
    for (int f = 1; f <= model.faces.Extent(); ++f)
    {
        TopLoc_Location location;
        const Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(TopoDS::Face(model.faces(f)), location);
        _baseTriangles += t.IsNull() ? 0 : size_t(t->NbTriangles());
    }
}

bool oxCadTessellator::tessellate(double deflection, double angle, std::vector<Face>& faces, size_t& triangles,
                                  size_t triangleLimit) const
{
    const size_t count = size_t(_model.faces.Extent());
    std::vector<std::unique_ptr<Refiner>> refiners(count);
    std::atomic<size_t> made(_baseTriangles);
    std::atomic<bool> within(true);
    tbb::parallel_for(size_t(0), count,
                      [&](size_t f)
                      {
                          auto refiner = std::make_unique<Refiner>(*_model.surfaces[f], deflection, angle);
                          if (!refiner->load(TopoDS::Face(_model.faces(int(f + 1))), _model.edges))
                              return;
                          std::vector<int> all(refiner->triangles.size());
                          for (size_t t = 0; t < all.size(); ++t)
                              all[t] = int(t);
                          if (within && !refiner->refine(made, triangleLimit, std::move(all)))
                              within = false;
                          refiners[f] = std::move(refiner);
                      });
    // Every split of an edge, by any of its faces, is made on all of them; the triangles that
    // changed are refined again, which may split edges anew. The last pass only closes the faces.
    std::map<int, std::vector<double>> splits;
    size_t known = 0;
    for (int pass = 0; within; ++pass)
    {
        size_t total = 0;
        for (const auto& refiner : refiners)
            if (refiner)
                for (const auto& split : refiner->edgeSplits)
                    splits[split.first].push_back(split.second);
        for (auto& edge : splits)
        {
            std::sort(edge.second.begin(), edge.second.end());
            edge.second.erase(std::unique(edge.second.begin(), edge.second.end()), edge.second.end());
            total += edge.second.size();
        }
        if (total == known)
            break;
        known = total;
        tbb::parallel_for(size_t(0), refiners.size(),
                          [&](size_t f)
                          {
                              if (!refiners[f])
                                  return;
                              std::vector<int> changed = refiners[f]->follow(splits);
                              if (pass < 4 && !refiners[f]->refine(made, triangleLimit, std::move(changed)))
                                  within = false;
                          });
    }
    triangles = made;
    if (!within)
        return false;
    faces.assign(count, Face());
    tbb::parallel_for(size_t(0), count,
                      [&](size_t f)
                      {
                          if (refiners[f])
                              refiners[f]->output(_model.reversed[f], faces[f]);
                      });
    triangles = 0;
    for (const Face& face : faces)
        triangles += face.triangles.size() / 3;
    return true;
}
