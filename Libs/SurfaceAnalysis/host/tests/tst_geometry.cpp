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
typedef QVector<int> Ints;
const float NaN = std::numeric_limits<float>::quiet_NaN();
const float Inf = std::numeric_limits<float>::infinity();

Ints trianglesOf(const GeometryPtr& geo)
{
    Ints result;
    geo->forEachTriangle([&](UInt32 a, UInt32 b, UInt32 c) { result << int(a) << int(b) << int(c); });
    return result;
}

// `vertices` positions, one run per type; empty lengths or indices are left out.
GeometryPtr runsGeometry(int vertices, const Ints& types, const Ints& lengths, const Ints& indices)
{
    GeometryPtr geo = Geometry::create();
    geo->setPositions(GeoPositions3f::create());
    for (int i = 0; i < vertices; ++i)
        geo->getPositions()->push_back(Pnt3f(float(i), 0.f, 0.f));
    geo->setTypes(GeoPTypesUI8::create());
    for (int type : types)
        geo->getTypes()->push_back(UInt8(type));
    if (!lengths.isEmpty())
        geo->setLengths(GeoPLengthsUI32::create());
    for (int n : lengths)
        geo->getLengths()->push_back(UInt32(n));
    if (!indices.isEmpty())
        geo->setIndices(GeoIndicesUI32::create());
    for (int i : indices)
        geo->getIndices()->push_back(UInt32(i));
    return geo;
}

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
    return makeConeGeo(a, b, UInt16(n), true, shape == "cone");
}

void bounds(const GeometryPtr& geo, Vec3f& lo, Vec3f& hi)
{
    lo = Vec3f(Inf, Inf, Inf);
    hi = -lo;
    for (const Pnt3f& p : geo->getPositions()->getField())
        for (int k = 0; k < 3; ++k)
        {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
}
} // namespace

class tst_Geometry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsDecodeToTriangles_data();
    void runsDecodeToTriangles();
    void builders_data();
    void builders();
    void planeCodesPlaceTheRectangle_data();
    void planeCodesPlaceTheRectangle();
    void shapesStandOnTheYAxis();
    void geometryDiesWithItsNode();
};

void tst_Geometry::runsDecodeToTriangles_data()
{
    QTest::addColumn<int>("vertices");
    QTest::addColumn<Ints>("types");
    QTest::addColumn<Ints>("lengths");
    QTest::addColumn<Ints>("indices");
    QTest::addColumn<Ints>("expected");

    QTest::newRow("triangles, partial one dropped")
        << 7 << Ints{GL_TRIANGLES_} << Ints{7} << Ints{} << Ints{0, 1, 2, 3, 4, 5};
    QTest::newRow("strip keeps the winding")
        << 5 << Ints{GL_TRIANGLE_STRIP_} << Ints{5} << Ints{} << Ints{0, 1, 2, 2, 1, 3, 2, 3, 4};
    QTest::newRow("fan") << 5 << Ints{GL_TRIANGLE_FAN_} << Ints{5} << Ints{} << Ints{0, 1, 2, 0, 2, 3, 0, 3, 4};
    QTest::newRow("polygon") << 4 << Ints{GL_POLYGON_} << Ints{4} << Ints{} << Ints{0, 1, 2, 0, 2, 3};
    QTest::newRow("quads") << 8 << Ints{GL_QUADS_} << Ints{8} << Ints{} << Ints{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
    QTest::newRow("quad strip") << 6 << Ints{GL_QUAD_STRIP_} << Ints{6} << Ints{}
                                << Ints{0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4};
    QTest::newRow("points and lines consume vertices")
        << 9 << Ints{GL_POINTS_, GL_LINES_, GL_LINE_STRIP_, GL_LINE_LOOP_, GL_TRIANGLES_} << Ints{1, 2, 1, 2, 3}
        << Ints{} << Ints{6, 7, 8};
    QTest::newRow("indexed runs") << 4 << Ints{GL_TRIANGLES_, GL_TRIANGLE_FAN_} << Ints{3, 4}
                                  << Ints{3, 2, 1, 0, 1, 2, 3} << Ints{3, 2, 1, 0, 1, 2, 0, 2, 3};
    QTest::newRow("no lengths: one run") << 4 << Ints{GL_TRIANGLE_STRIP_} << Ints{} << Ints{} << Ints{0, 1, 2, 2, 1, 3};
    QTest::newRow("index past the positions")
        << 3 << Ints{GL_TRIANGLES_} << Ints{6} << Ints{0, 1, 9, 0, 1, 2} << Ints{0, 1, 2};
    QTest::newRow("length past the vertices")
        << 4 << Ints{GL_TRIANGLE_FAN_, GL_TRIANGLES_} << Ints{100, 3} << Ints{} << Ints{0, 1, 2, 0, 2, 3};
    QTest::newRow("more types than lengths")
        << 6 << Ints{GL_TRIANGLES_, GL_TRIANGLES_} << Ints{3} << Ints{} << Ints{0, 1, 2};
}

void tst_Geometry::runsDecodeToTriangles()
{
    QFETCH(int, vertices);
    QFETCH(Ints, types);
    QFETCH(Ints, lengths);
    QFETCH(Ints, indices);
    QFETCH(Ints, expected);
    QCOMPARE(trianglesOf(runsGeometry(vertices, types, lengths, indices)), expected);
}

void tst_Geometry::builders_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<float>("a");
    QTest::addColumn<float>("b");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("triangles");
    QTest::addColumn<float>("extent"); // largest |coordinate|
    QTest::addColumn<bool>("solid");   // no degenerate triangles, so the winding can be checked

    QTest::newRow("plane 10 x 10") << "plane" << 4.f << 3.f << 10 << 200 << 2.f << true;
    QTest::newRow("icosahedron") << "sphere" << 2.f << 0.f << 0 << 20 << 1.7013016f << true;
    QTest::newRow("sphere depth 6") << "sphere" << 10.f << 0.f << 6 << 81920 << 10.f << true;
    QTest::newRow("cylinder with caps") << "cylinder" << 1.5f << 0.08f << 32 << 128 << 0.75f << true;
    QTest::newRow("open cylinder") << "tube" << 1.5f << 0.08f << 32 << 64 << 0.75f << true;
    QTest::newRow("cone with bottom") << "cone" << 0.7f << 0.25f << 32 << 64 << 0.35f << true;
    QTest::newRow("cone side only") << "coneSide" << 0.7f << 0.25f << 32 << 32 << 0.35f << true;
    QTest::newRow("fewer than 3 sides") << "cylinder" << 2.f << 1.f << 1 << 12 << 1.f << true;
    // Odd sizes shape the positions only: the topology stays, the positions stay finite.
    QTest::newRow("plane negative width") << "plane" << -6.f << 4.f << 2 << 8 << 3.f << true;
    QTest::newRow("plane NaN width") << "plane" << NaN << 4.f << 2 << 8 << 2.f << false;
    QTest::newRow("plane infinite") << "plane" << Inf << -Inf << 2 << 8 << 0.f << false;
    QTest::newRow("plane no subdivisions") << "plane" << 6.f << 4.f << 0 << 2 << 3.f << true;
    QTest::newRow("plane subdivisions capped") << "plane" << 1.f << 1.f << 65535 << 2 * 1024 * 1024 << 0.5f << false;
    QTest::newRow("sphere negative radius") << "sphere" << -2.f << 0.f << 1 << 80 << 2.f << true;
    QTest::newRow("sphere NaN radius") << "sphere" << NaN << 0.f << 1 << 80 << 0.f << false;
    QTest::newRow("sphere depth capped") << "sphere" << 1.f << 0.f << 9 << 20 * 65536 << 1.f << false;
    QTest::newRow("cylinder NaN height") << "cylinder" << NaN << 1.f << 8 << 32 << 1.f << false;
    QTest::newRow("cylinder negative radius") << "cylinder" << 2.f << -1.f << 8 << 32 << 1.f << true;
    QTest::newRow("cone zero") << "cone" << 0.f << 0.f << 8 << 16 << 0.f << false;
    QTest::newRow("cone infinite radius") << "cone" << 1.f << Inf << 8 << 16 << 0.5f << false;
}

void tst_Geometry::builders()
{
    QFETCH(QString, shape);
    QFETCH(float, a);
    QFETCH(float, b);
    QFETCH(int, n);
    QFETCH(int, triangles);
    QFETCH(float, extent);
    QFETCH(bool, solid);

    const GeometryPtr geo = build(shape, a, b, n);
    const auto& positions = geo->getPositions()->getField();
    const auto& normals = geo->getNormals()->getField();
    QCOMPARE(normals.size(), positions.size());
    float largest = 0.f;
    for (const Pnt3f& p : positions)
        for (int k = 0; k < 3; ++k)
            largest = std::max(largest, std::isfinite(p[k]) ? std::fabs(p[k]) : Inf);
    QCOMPARE(largest, extent);
    for (const Vec3f& normal : normals)
        QVERIFY2(std::fabs(normal.length() - 1.f) < 1e-5f, "unit normals");

    int count = 0;
    bool facesItsNormals = true;
    geo->forEachTriangle(
        [&](UInt32 i0, UInt32 i1, UInt32 i2)
        {
            ++count;
            // Counter-clockwise seen from outside: the face normal agrees with the vertex normals.
            const Vec3f face = (positions[i1] - positions[i0]).cross(positions[i2] - positions[i0]);
            facesItsNormals = facesItsNormals && (!solid || face.dot(normals[i0] + normals[i1] + normals[i2]) > 0.f);
        });
    QCOMPARE(count, triangles);
    QVERIFY(facesItsNormals);
}

void tst_Geometry::planeCodesPlaceTheRectangle_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<Vec3f>("corner"); // the positive corner; the rectangle is centred
    QTest::addColumn<Vec3f>("normal");

    QTest::newRow("0: normal X") << 0 << Vec3f(0, 3, 2) << Vec3f(1, 0, 0);
    QTest::newRow("1: normal Y") << 1 << Vec3f(2, 0, 3) << Vec3f(0, 1, 0);
    QTest::newRow("2: X-Y plane") << 2 << Vec3f(3, 2, 0) << Vec3f(0, 0, 1);
    QTest::newRow("unknown code is 2") << 7 << Vec3f(3, 2, 0) << Vec3f(0, 0, 1);
}

void tst_Geometry::planeCodesPlaceTheRectangle()
{
    QFETCH(int, code);
    QFETCH(Vec3f, corner);
    QFETCH(Vec3f, normal);

    const GeometryPtr geo = makePlaneGeo(6.f, 4.f, 10, 10, UInt16(code));
    Vec3f lo, hi;
    bounds(geo, lo, hi);
    QVERIFY(hi.equals(corner, 1e-5f) && lo.equals(-corner, 1e-5f));
    for (const Vec3f& n : geo->getNormals()->getField())
        QCOMPARE(n, normal);
}

void tst_Geometry::shapesStandOnTheYAxis()
{
    Vec3f lo, hi;
    bounds(makeConeGeo(0.7f, 0.25f, 32, true, true), lo, hi);
    QVERIFY(hi.equals(Vec3f(0.25f, 0.35f, 0.25f), 1e-6f) && lo.equals(Vec3f(-0.25f, -0.35f, -0.25f), 1e-6f));
    // The tip is at +h/2 and is the only point above the bottom.
    const GeometryPtr side = makeConeGeo(0.7f, 0.25f, 32, true, false);
    for (const Pnt3f& p : side->getPositions()->getField())
        QVERIFY(p[1] < 0.f || p == Pnt3f(0.f, 0.35f, 0.f));

    bounds(makeCylinderGeo(1.5f, 0.08f, 32, true, true, true), lo, hi);
    QVERIFY(hi.equals(Vec3f(0.08f, 0.75f, 0.08f), 1e-6f) && lo.equals(Vec3f(-0.08f, -0.75f, -0.08f), 1e-6f));

    const GeometryPtr sphere = makeSphereGeo(3, 10.f);
    for (const Pnt3f& p : sphere->getPositions()->getField())
        QVERIFY(std::fabs(p.subZero().length() - 10.f) < 1e-4f);
}

void tst_Geometry::geometryDiesWithItsNode()
{
    const UInt32 before = FieldContainerFactory::the()->getNumContainers();
    {
        const NodePtr node = makeCylinder(1, 1, 8, true, true, true);
        QVERIFY(GeometryPtr::dcast(node->getCore()) != NullFC);
    }
    QCOMPARE(FieldContainerFactory::the()->getNumContainers(), before);
}

QTEST_APPLESS_MAIN(tst_Geometry)
#include "tst_geometry.moc"
