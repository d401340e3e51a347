#include "OSGSimpleGeometry.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace osg
{
namespace
{
Real32 extent(Real32 size)
{
    return std::isfinite(size) ? std::fabs(size) : 0.f;
}

struct GeoBuffers
{
    GeoPositions3fPtr positions = GeoPositions3f::create();
    GeoNormals3fPtr normals = GeoNormals3f::create();
    GeoIndicesUI32Ptr indices; // null: vertices are used in order
    GeoPTypesUI8Ptr types = GeoPTypesUI8::create();
    GeoPLengthsUI32Ptr lengths = GeoPLengthsUI32::create();

    void addRun(UInt8 type, UInt32 length)
    {
        types->push_back(type);
        lengths->push_back(length);
    }

    GeometryPtr makeGeometry() const
    {
        GeometryPtr geo = Geometry::create();
        beginEditCP(geo);
        {
            geo->setTypes(types);
            geo->setLengths(lengths);
            geo->setPositions(positions);
            geo->setNormals(normals);
            geo->setIndices(indices);
        }
        endEditCP(geo);
        return geo;
    }
};

NodePtr makeNodeFor(const GeometryPtr& geo)
{
    NodePtr node = Node::create();
    beginEditCP(node, Node::CoreFieldMask);
    {
        node->setCore(geo);
    }
    endEditCP(node, Node::CoreFieldMask);
    return node;
}

Vec3f unitAxis(int axis)
{
    Vec3f v;
    v[axis] = 1.f;
    return v;
}
} // namespace

GeometryPtr makePlaneGeo(Real32 xsize, Real32 ysize, UInt16 hor, UInt16 vert, UInt16 orientation)
{
    const int normalAxis = orientation <= PlaneNormalZ ? int(orientation) : int(PlaneNormalZ);
    const Vec3f uAxis = unitAxis((normalAxis + 1) % 3), vAxis = unitAxis((normalAxis + 2) % 3);
    const Vec3f normal = unitAxis(normalAxis);
    const Real32 width = extent(xsize), height = extent(ysize);
    const UInt32 nu = std::clamp<UInt32>(hor, 1, MaxPlaneSubdivisions);
    const UInt32 nv = std::clamp<UInt32>(vert, 1, MaxPlaneSubdivisions);

    GeoBuffers b;
    b.indices = GeoIndicesUI32::create();
    for (UInt32 j = 0; j <= nv; ++j)
        for (UInt32 i = 0; i <= nu; ++i)
        {
            const Real32 u = width * (Real32(i) / nu - 0.5f), v = height * (Real32(j) / nv - 0.5f);
            b.positions->push_back(Pnt3f(uAxis * u + vAxis * v));
            b.normals->push_back(normal);
        }
    // One strip per row, alternating the upper and lower edge, which winds counter-clockwise
    // around the normal.
    for (UInt32 j = 0; j < nv; ++j)
    {
        for (UInt32 i = 0; i <= nu; ++i)
        {
            b.indices->push_back((j + 1) * (nu + 1) + i);
            b.indices->push_back(j * (nu + 1) + i);
        }
        b.addRun(GL_TRIANGLE_STRIP_, 2 * (nu + 1));
    }
    return b.makeGeometry();
}

NodePtr makePlane(Real32 xsize, Real32 ysize, UInt16 hor, UInt16 vert, UInt16 orientation)
{
    return makeNodeFor(makePlaneGeo(xsize, ysize, hor, vert, orientation));
}

GeometryPtr makeSphereGeo(UInt16 depth, Real32 radius)
{
    const Real32 r = extent(radius);
    const Real32 t = Real32((1.0 + std::sqrt(5.0)) / 2.0);
    std::vector<Vec3f> dirs = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                               {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    for (Vec3f& d : dirs)
        d.normalize();
    std::vector<UInt32> tris = {0, 11, 5,  0, 5,  1, 0, 1, 7, 0, 7,  10, 0, 10, 11, 1, 5, 9, 5, 11,
                                4, 11, 10, 2, 10, 7, 6, 7, 1, 8, 3,  9,  4, 3,  4,  2, 3, 2, 6, 3,
                                6, 8,  3,  8, 9,  4, 9, 5, 2, 4, 11, 6,  2, 10, 8,  6, 7, 9, 8, 1};

    // Each pass splits every triangle in four; edge midpoints are shared through the cache.
    const UInt16 passes = std::min(depth, MaxSphereDepth);
    for (UInt16 pass = 0; pass < passes; ++pass)
    {
        std::unordered_map<UInt64, UInt32> midpoints;
        auto midpoint = [&](UInt32 a, UInt32 b)
        {
            const UInt64 key = (UInt64(std::min(a, b)) << 32) | std::max(a, b);
            auto found = midpoints.find(key);
            if (found != midpoints.end())
                return found->second;
            Vec3f m = dirs[a] + dirs[b];
            m.normalize();
            dirs.push_back(m);
            const UInt32 index = UInt32(dirs.size() - 1);
            midpoints.emplace(key, index);
            return index;
        };
        std::vector<UInt32> next;
        next.reserve(tris.size() * 4);
        for (size_t k = 0; k < tris.size(); k += 3)
        {
            const UInt32 a = tris[k], b = tris[k + 1], c = tris[k + 2];
            const UInt32 ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
            next.insert(next.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
        }
        tris.swap(next);
    }

    GeoBuffers b;
    b.indices = GeoIndicesUI32::create();
    b.positions->getField().reserve(UInt32(dirs.size()));
    b.normals->getField().reserve(UInt32(dirs.size()));
    for (const Vec3f& d : dirs)
    {
        b.positions->push_back(Pnt3f(d * r));
        b.normals->push_back(d);
    }
    b.indices->getField().getValues() = tris;
    b.addRun(GL_TRIANGLES_, UInt32(tris.size()));
    return b.makeGeometry();
}

NodePtr makeSphere(UInt16 depth, Real32 radius)
{
    return makeNodeFor(makeSphereGeo(depth, radius));
}

GeometryPtr makeConicalFrustumGeo(Real32 height, Real32 topradius, Real32 botradius, UInt16 sides, bool doSide,
                                  bool doTop, bool doBottom)
{
    const Real32 h = extent(height), rt = extent(topradius), rb = extent(botradius);
    const UInt32 n = std::max<UInt32>(sides, 3);
    const Real32 yTop = h / 2, yBot = -h / 2;
    // Angle 0 points along +Z and grows towards +X, so rims listed by growing angle wind
    // counter-clockwise seen from +Y.
    auto rim = [n](UInt32 i, Real32 r, Real32 y)
    {
        const Real64 a = 2 * Pi * (i % n) / n;
        return Pnt3f(Real32(r * std::sin(a)), y, Real32(r * std::cos(a)));
    };
    // The side normal leans along Y by the slope of the side: (h, rb - rt) in the (radial, y) plane.
    auto sideNormal = [n, h, rt, rb](Real64 i)
    {
        const Real64 a = 2 * Pi * i / n;
        Vec3f normal(Real32(h * std::sin(a)), rb - rt, Real32(h * std::cos(a)));
        if (normal.length() < Eps)
            normal.setValues(Real32(std::sin(a)), 0.f, Real32(std::cos(a)));
        normal.normalize();
        return normal;
    };

    GeoBuffers b;
    if (doSide && rt == 0.f)
    {
        // A cone: one triangle per side, the tip normal taken halfway between the two rim normals.
        for (UInt32 i = 0; i < n; ++i)
        {
            b.positions->push_back(Pnt3f(0.f, yTop, 0.f));
            b.normals->push_back(sideNormal(i + 0.5));
            b.positions->push_back(rim(i, rb, yBot));
            b.normals->push_back(sideNormal(i));
            b.positions->push_back(rim(i + 1, rb, yBot));
            b.normals->push_back(sideNormal(i + 1));
        }
        b.addRun(GL_TRIANGLES_, 3 * n);
    }
    else if (doSide)
    {
        for (UInt32 i = 0; i <= n; ++i)
        {
            b.positions->push_back(rim(i, rt, yTop));
            b.normals->push_back(sideNormal(i));
            b.positions->push_back(rim(i, rb, yBot));
            b.normals->push_back(sideNormal(i));
        }
        b.addRun(GL_TRIANGLE_STRIP_, 2 * (n + 1));
    }
    if (doTop)
    {
        b.positions->push_back(Pnt3f(0.f, yTop, 0.f));
        b.normals->push_back(Vec3f(0.f, 1.f, 0.f));
        for (UInt32 i = 0; i <= n; ++i)
        {
            b.positions->push_back(rim(i, rt, yTop));
            b.normals->push_back(Vec3f(0.f, 1.f, 0.f));
        }
        b.addRun(GL_TRIANGLE_FAN_, n + 2);
    }
    if (doBottom)
    {
        b.positions->push_back(Pnt3f(0.f, yBot, 0.f));
        b.normals->push_back(Vec3f(0.f, -1.f, 0.f));
        for (UInt32 i = n + 1; i-- > 0;)
        {
            b.positions->push_back(rim(i, rb, yBot));
            b.normals->push_back(Vec3f(0.f, -1.f, 0.f));
        }
        b.addRun(GL_TRIANGLE_FAN_, n + 2);
    }
    return b.makeGeometry();
}

NodePtr makeConicalFrustum(Real32 height, Real32 topradius, Real32 botradius, UInt16 sides, bool doSide, bool doTop,
                           bool doBottom)
{
    return makeNodeFor(makeConicalFrustumGeo(height, topradius, botradius, sides, doSide, doTop, doBottom));
}

GeometryPtr makeCylinderGeo(Real32 height, Real32 radius, UInt16 sides, bool doSide, bool doTop, bool doBottom)
{
    return makeConicalFrustumGeo(height, radius, radius, sides, doSide, doTop, doBottom);
}

NodePtr makeCylinder(Real32 height, Real32 radius, UInt16 sides, bool doSide, bool doTop, bool doBottom)
{
    return makeNodeFor(makeCylinderGeo(height, radius, sides, doSide, doTop, doBottom));
}

GeometryPtr makeConeGeo(Real32 height, Real32 botradius, UInt16 sides, bool doSide, bool doBottom)
{
    return makeConicalFrustumGeo(height, 0.f, botradius, sides, doSide, false, doBottom);
}

NodePtr makeCone(Real32 height, Real32 botradius, UInt16 sides, bool doSide, bool doBottom)
{
    return makeNodeFor(makeConeGeo(height, botradius, sides, doSide, doBottom));
}
} // namespace osg
