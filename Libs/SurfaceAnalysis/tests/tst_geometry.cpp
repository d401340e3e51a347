#include "OSGFieldContainerFactory.h"
#include "OSGGeometry.h"
#include "OSGSimpleGeometry.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <vector>

Q_DECLARE_METATYPE(osg::Vec3f)

using namespace osg;

namespace
{
typedef std::vector<std::vector<UInt32>> Triangles;

Triangles trianglesOf(const GeometryPtr& geo)
{
    Triangles result;
    geo->forEachTriangle([&](UInt32 a, UInt32 b, UInt32 c) { result.push_back({a, b, c}); });
    return result;
}

int triangleCount(const GeometryPtr& geo)
{
    int count = 0;
    geo->forEachTriangle([&](UInt32, UInt32, UInt32) { ++count; });
    return count;
}

// A hand-made geometry of `vertices` positions on a line, with one run per type.
GeometryPtr runsGeometry(UInt32 vertices, const std::vector<UInt8>& types, const std::vector<UInt32>& lengths,
                         const std::vector<UInt32>& indices)
{
    GeometryPtr geo = Geometry::create();
    GeoPositions3fPtr positions = GeoPositions3f::create();
    for (UInt32 i = 0; i < vertices; ++i)
        positions->push_back(Pnt3f(float(i), 0.f, 0.f));
    GeoPTypesUI8Ptr t = GeoPTypesUI8::create();
    for (UInt8 type : types)
        t->push_back(type);
    GeoPLengthsUI32Ptr l;
    if (!lengths.empty())
    {
        l = GeoPLengthsUI32::create();
        for (UInt32 n : lengths)
            l->push_back(n);
    }
    GeoIndicesUI32Ptr ix;
    if (!indices.empty())
    {
        ix = GeoIndicesUI32::create();
        for (UInt32 i : indices)
            ix->push_back(i);
    }
    geo->setPositions(positions);
    geo->setTypes(t);
    geo->setLengths(l);
    geo->setIndices(ix);
    return geo;
}

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float Inf = std::numeric_limits<float>::infinity();

GeometryPtr build(const QString& shape, float a, float b, int n)
{
    if (shape == "plane")
        return makePlaneGeo(a, b, UInt16(n), UInt16(n));
    if (shape == "sphere")
        return makeSphereGeo(UInt16(n), a);
    if (shape == "cylinder")
        return makeCylinderGeo(a, b, UInt16(n), true, true, true);
    if (shape == "tube")
        return makeCylinderGeo(a, b, UInt16(n), true, false, false);
    if (shape == "cone")
        return makeConeGeo(a, b, UInt16(n), true, true);
    return makeConeGeo(a, b, UInt16(n), true, false);
}

struct Bounds
{
    Vec3f lo{Inf, Inf, Inf}, hi{-Inf, -Inf, -Inf};
};

Bounds boundsOf(const GeometryPtr& geo)
{
    Bounds b;
    for (const Pnt3f& p : geo->getPositions()->getField())
        for (int k = 0; k < 3; ++k)
        {
            b.lo[k] = std::min(b.lo[k], p[k]);
            b.hi[k] = std::max(b.hi[k], p[k]);
        }
    return b;
}
} // namespace

Q_DECLARE_METATYPE(Triangles)

class tst_Geometry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsDecodeToTriangles_data();
    void runsDecodeToTriangles();
    void buildersMakeClosedWellWoundMeshes_data();
    void buildersMakeClosedWellWoundMeshes();
    void planeCodesPlaceTheRectangle_data();
    void planeCodesPlaceTheRectangle();
    void shapesStandOnTheYAxis();
    void oddSizesGiveWellFormedGeometry_data();
    void oddSizesGiveWellFormedGeometry();
    void nodeBuildersHoldTheirGeometry();
    void geometryReleasesItsProperties();
};

void tst_Geometry::runsDecodeToTriangles_data()
{
    QTest::addColumn<int>("vertices");
    QTest::addColumn<QVector<int>>("types");
    QTest::addColumn<QVector<int>>("lengths");
    QTest::addColumn<QVector<int>>("indices");
    QTest::addColumn<Triangles>("expected");

    QTest::newRow("triangles, partial last one dropped")
        << 7 << QVector<int>{GL_TRIANGLES_} << QVector<int>{7} << QVector<int>{} << Triangles{{0, 1, 2}, {3, 4, 5}};
    QTest::newRow("strip keeps the winding") << 5 << QVector<int>{GL_TRIANGLE_STRIP_} << QVector<int>{5}
                                             << QVector<int>{} << Triangles{{0, 1, 2}, {2, 1, 3}, {2, 3, 4}};
    QTest::newRow("fan") << 5 << QVector<int>{GL_TRIANGLE_FAN_} << QVector<int>{5} << QVector<int>{}
                         << Triangles{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    QTest::newRow("polygon") << 4 << QVector<int>{GL_POLYGON_} << QVector<int>{4} << QVector<int>{}
                             << Triangles{{0, 1, 2}, {0, 2, 3}};
    QTest::newRow("quads") << 8 << QVector<int>{GL_QUADS_} << QVector<int>{8} << QVector<int>{}
                           << Triangles{{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}};
    QTest::newRow("quad strip") << 6 << QVector<int>{GL_QUAD_STRIP_} << QVector<int>{6} << QVector<int>{}
                                << Triangles{{0, 1, 3}, {0, 3, 2}, {2, 3, 5}, {2, 5, 4}};
    QTest::newRow("lines and points are skipped but consume their vertices")
        << 9 << QVector<int>{GL_POINTS_, GL_LINES_, GL_LINE_STRIP_, GL_LINE_LOOP_, GL_TRIANGLES_}
        << QVector<int>{1, 2, 1, 2, 3} << QVector<int>{} << Triangles{{6, 7, 8}};
    QTest::newRow("indexed runs follow each other")
        << 4 << QVector<int>{GL_TRIANGLES_, GL_TRIANGLE_FAN_} << QVector<int>{3, 4} << QVector<int>{3, 2, 1, 0, 1, 2, 3}
        << Triangles{{3, 2, 1}, {0, 1, 2}, {0, 2, 3}};
    QTest::newRow("no lengths: one run over all vertices")
        << 4 << QVector<int>{GL_TRIANGLE_STRIP_} << QVector<int>{} << QVector<int>{} << Triangles{{0, 1, 2}, {2, 1, 3}};
    QTest::newRow("index past the positions is left out") << 3 << QVector<int>{GL_TRIANGLES_} << QVector<int>{6}
                                                          << QVector<int>{0, 1, 9, 0, 1, 2} << Triangles{{0, 1, 2}};
    QTest::newRow("length past the vertex list is cut")
        << 4 << QVector<int>{GL_TRIANGLE_FAN_, GL_TRIANGLES_} << QVector<int>{100, 3} << QVector<int>{}
        << Triangles{{0, 1, 2}, {0, 2, 3}};
    QTest::newRow("more types than lengths")
        << 6 << QVector<int>{GL_TRIANGLES_, GL_TRIANGLES_} << QVector<int>{3} << QVector<int>{} << Triangles{{0, 1, 2}};
}

void tst_Geometry::runsDecodeToTriangles()
{
    QFETCH(int, vertices);
    QFETCH(QVector<int>, types);
    QFETCH(QVector<int>, lengths);
    QFETCH(QVector<int>, indices);
    QFETCH(Triangles, expected);

    GeometryPtr geo = runsGeometry(UInt32(vertices), std::vector<UInt8>(types.begin(), types.end()),
                                   std::vector<UInt32>(lengths.begin(), lengths.end()),
                                   std::vector<UInt32>(indices.begin(), indices.end()));
    QCOMPARE(trianglesOf(geo), expected);
}

void tst_Geometry::buildersMakeClosedWellWoundMeshes_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<float>("a");
    QTest::addColumn<float>("b");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("triangles");

    QTest::newRow("plane 10 x 10") << "plane" << 4.f << 3.f << 10 << 200;
    QTest::newRow("plane 1 x 1") << "plane" << 4.f << 3.f << 1 << 2;
    QTest::newRow("icosahedron") << "sphere" << 2.f << 0.f << 0 << 20;
    QTest::newRow("sphere depth 2") << "sphere" << 2.f << 0.f << 2 << 320;
    QTest::newRow("sphere depth 6") << "sphere" << 10.f << 0.f << 6 << 81920;
    QTest::newRow("cylinder with caps") << "cylinder" << 1.5f << 0.08f << 32 << 128;
    QTest::newRow("open cylinder") << "tube" << 1.5f << 0.08f << 32 << 64;
    QTest::newRow("cone with bottom") << "cone" << 0.7f << 0.25f << 32 << 64;
    QTest::newRow("cone side only") << "coneSide" << 0.7f << 0.25f << 32 << 32;
    QTest::newRow("fewer than 3 sides") << "cylinder" << 1.f << 1.f << 1 << 12;
}

void tst_Geometry::buildersMakeClosedWellWoundMeshes()
{
    QFETCH(QString, shape);
    QFETCH(float, a);
    QFETCH(float, b);
    QFETCH(int, n);
    QFETCH(int, triangles);

    GeometryPtr geo = build(shape, a, b, n);
    QVERIFY(geo != NullFC);
    const auto& positions = geo->getPositions()->getField();
    const auto& normals = geo->getNormals()->getField();
    QCOMPARE(normals.size(), positions.size());
    for (const Vec3f& normal : normals)
        QVERIFY2(std::fabs(normal.length() - 1.f) < 1e-5f, "normals have unit length");

    const Triangles tris = trianglesOf(geo);
    QCOMPARE(int(tris.size()), triangles);
    // Counter-clockwise seen from outside: the face normal agrees with the vertex normals.
    for (const auto& t : tris)
    {
        const Vec3f face = (positions[t[1]] - positions[t[0]]).cross(positions[t[2]] - positions[t[0]]);
        const Vec3f mean = normals[t[0]] + normals[t[1]] + normals[t[2]];
        QVERIFY2(face.length() > 0.f, "no degenerate triangles");
        QVERIFY2(face.dot(mean) > 0.f, "triangles face their normals");
    }
}

void tst_Geometry::planeCodesPlaceTheRectangle_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<Vec3f>("lo");
    QTest::addColumn<Vec3f>("hi");
    QTest::addColumn<Vec3f>("normal");

    QTest::newRow("0: normal X") << 0 << Vec3f(0, -3, -2) << Vec3f(0, 3, 2) << Vec3f(1, 0, 0);
    QTest::newRow("1: normal Y") << 1 << Vec3f(-2, 0, -3) << Vec3f(2, 0, 3) << Vec3f(0, 1, 0);
    QTest::newRow("2: X-Y plane") << 2 << Vec3f(-3, -2, 0) << Vec3f(3, 2, 0) << Vec3f(0, 0, 1);
    QTest::newRow("unknown code is 2") << 7 << Vec3f(-3, -2, 0) << Vec3f(3, 2, 0) << Vec3f(0, 0, 1);
}

void tst_Geometry::planeCodesPlaceTheRectangle()
{
    QFETCH(int, code);
    QFETCH(Vec3f, lo);
    QFETCH(Vec3f, hi);
    QFETCH(Vec3f, normal);

    GeometryPtr geo = makePlaneGeo(6.f, 4.f, 10, 10, UInt16(code));
    const Bounds bounds = boundsOf(geo);
    QVERIFY2(bounds.lo.equals(lo, 1e-5f) && bounds.hi.equals(hi, 1e-5f), "centred w by h rectangle");
    for (const Vec3f& n : geo->getNormals()->getField())
        QCOMPARE(n, normal);
    QCOMPARE(geo->getPositions()->size(), 121u);
}

void tst_Geometry::shapesStandOnTheYAxis()
{
    // The tip of a cone is at +h/2, its bottom at -h/2.
    const Bounds cone = boundsOf(makeConeGeo(0.7f, 0.25f, 32, true, true));
    QCOMPARE(cone.hi[1], 0.35f);
    QCOMPARE(cone.lo[1], -0.35f);
    QVERIFY(std::fabs(cone.hi[0] - 0.25f) < 1e-6f && std::fabs(cone.lo[2] + 0.25f) < 1e-6f);
    GeometryPtr tip = makeConeGeo(0.7f, 0.25f, 32, true, false);
    for (const Pnt3f& p : tip->getPositions()->getField())
        QVERIFY2(p[1] < 0.f || (p[0] == 0.f && p[2] == 0.f), "only the tip is above the bottom");

    const Bounds cylinder = boundsOf(makeCylinderGeo(1.5f, 0.08f, 32, true, true, true));
    QCOMPARE(cylinder.hi[1], 0.75f);
    QCOMPARE(cylinder.lo[1], -0.75f);

    GeometryPtr sphere = makeSphereGeo(3, 10.f);
    for (const Pnt3f& p : sphere->getPositions()->getField())
        QVERIFY(std::fabs(p.subZero().length() - 10.f) < 1e-4f);
}

void tst_Geometry::oddSizesGiveWellFormedGeometry_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<float>("a");
    QTest::addColumn<float>("b");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("triangles");
    QTest::addColumn<float>("extent"); // largest |coordinate|

    QTest::newRow("plane negative width") << "plane" << -6.f << 4.f << 2 << 8 << 3.f;
    QTest::newRow("plane zero") << "plane" << 0.f << 0.f << 2 << 8 << 0.f;
    QTest::newRow("plane NaN") << "plane" << NaN << 4.f << 2 << 8 << 2.f;
    QTest::newRow("plane infinite") << "plane" << Inf << -Inf << 2 << 8 << 0.f;
    QTest::newRow("plane no subdivisions") << "plane" << 6.f << 4.f << 0 << 2 << 3.f;
    QTest::newRow("plane subdivisions capped") << "plane" << 1.f << 1.f << 65535 << 2 * 1024 * 1024 << 0.5f;
    QTest::newRow("sphere negative radius") << "sphere" << -2.f << 0.f << 1 << 80 << 2.f;
    QTest::newRow("sphere NaN radius") << "sphere" << NaN << 0.f << 1 << 80 << 0.f;
    QTest::newRow("sphere depth capped") << "sphere" << 1.f << 0.f << 9 << 20 * 65536 << 1.f;
    QTest::newRow("cylinder NaN height") << "cylinder" << NaN << 1.f << 8 << 32 << 1.f;
    QTest::newRow("cylinder negative radius") << "cylinder" << 2.f << -1.f << 8 << 32 << 1.f;
    QTest::newRow("cone zero") << "cone" << 0.f << 0.f << 8 << 16 << 0.f;
    QTest::newRow("cone infinite radius") << "cone" << 1.f << Inf << 8 << 16 << 0.5f;
}

// Odd sizes shape the positions only: the mesh keeps its topology and stays finite.
void tst_Geometry::oddSizesGiveWellFormedGeometry()
{
    QFETCH(QString, shape);
    QFETCH(float, a);
    QFETCH(float, b);
    QFETCH(int, n);
    QFETCH(int, triangles);
    QFETCH(float, extent);

    GeometryPtr geo = build(shape, a, b, n);
    QVERIFY(geo != NullFC);
    float largest = 0.f;
    for (const Pnt3f& p : geo->getPositions()->getField())
        for (int k = 0; k < 3; ++k)
            largest = std::max(largest, std::isfinite(p[k]) ? std::fabs(p[k]) : Inf);
    QCOMPARE(largest, extent);
    for (const Vec3f& normal : geo->getNormals()->getField())
        QVERIFY(std::fabs(normal.length() - 1.f) < 1e-5f);
    QCOMPARE(triangleCount(geo), triangles);
}

void tst_Geometry::nodeBuildersHoldTheirGeometry()
{
    const std::vector<NodePtr> nodes = {makePlane(1, 1, 1, 1), makeSphere(0, 1),
                                        makeCylinder(1, 1, 3, true, true, true), makeCone(1, 1, 3, true, true)};
    for (const NodePtr& node : nodes)
    {
        const GeometryPtr geo = GeometryPtr::dcast(node->getCore());
        QVERIFY(geo != NullFC);
        QCOMPARE(geo->getParents().size(), size_t(1));
        QVERIFY(triangleCount(geo) > 0);
    }
}

void tst_Geometry::geometryReleasesItsProperties()
{
    const UInt32 before = FieldContainerFactory::the()->getNumContainers();
    {
        NodePtr node = makeCylinder(1, 1, 8, true, true, true);
        QVERIFY(FieldContainerFactory::the()->getNumContainers() > before);
    }
    QCOMPARE(FieldContainerFactory::the()->getNumContainers(), before);
}

QTEST_APPLESS_MAIN(tst_Geometry)
#include "tst_geometry.moc"
