#include "OSGGeometry.h"
#include "osgtestsupport.h"
#include "oxGeoFactory.h"
#include "oxNodeUtils.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace osg;

namespace
{
GeometryPtr geometryOf(const NodePtr& node)
{
    return GeometryPtr::dcast(node->getCore());
}
} // namespace

class tst_OpenSGUtils : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ringIsACircleThroughTheXAxis_data();
    void ringIsACircleThroughTheXAxis();
    void lineLiesAlongYAndTurnsOntoX();
    void transformQueries();
};

void tst_OpenSGUtils::ringIsACircleThroughTheXAxis_data()
{
    QTest::addColumn<float>("radius");
    QTest::addColumn<int>("segments");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<float>("expectedRadius");
    QTest::addColumn<int>("points");

    QTest::newRow("ring of the sphere") << 10.f << 36 << true << 10.f << 36;
    QTest::newRow("open arc") << 2.f << 8 << false << 2.f << 8;
    QTest::newRow("negative radius") << -3.f << 12 << true << 3.f << 12;
    QTest::newRow("NaN radius") << std::numeric_limits<float>::quiet_NaN() << 12 << true << 0.f << 12;
    QTest::newRow("too few segments") << 1.f << -5 << true << 1.f << oxGeoFactory::MinSegments;
    QTest::newRow("too many segments") << 1.f << (1 << 30) << true << 1.f << oxGeoFactory::MaxSegments;
}

// The light sphere turns its rings about X, so each ring must stay a great circle through +X.
void tst_OpenSGUtils::ringIsACircleThroughTheXAxis()
{
    QFETCH(float, radius);
    QFETCH(int, segments);
    QFETCH(bool, closed);
    QFETCH(float, expectedRadius);
    QFETCH(int, points);

    const GeometryPtr ring = geometryOf(oxGeoFactory::makeLineTorus(radius, segments, closed));
    QCOMPARE(int(ring->getPositions()->size()), points);
    QCOMPARE(ring->getTypes()->getValue(0), closed ? GL_LINE_LOOP_ : UInt8(GL_LINE_STRIP_));
    QCOMPARE(ring->getLengths()->getValue(0), UInt32(points));
    for (float angle : {0.f, 36.f, 162.f})
    {
        const Matrix m = makeTransformNode(Vec3f(), Vec3f(angle, 0, 0))->getToWorld();
        for (const Pnt3f& p : ring->getPositions()->getField())
        {
            Pnt3f q;
            m.multMatrixPnt(p, q);
            QVERIFY(std::fabs(q.subZero().length() - expectedRadius) < 1e-4f);
        }
    }
    QCOMPARE(ring->getPositions()->getValue(0), Pnt3f(expectedRadius, 0, 0));
}

void tst_OpenSGUtils::lineLiesAlongYAndTurnsOntoX()
{
    const GeometryPtr line = geometryOf(oxGeoFactory::makeLine(20.f));
    QCOMPARE(line->getTypes()->getValue(0), UInt8(GL_LINES_));
    QCOMPARE(line->getPositions()->getValue(0), Pnt3f(0, -10, 0));
    QCOMPARE(line->getPositions()->getValue(1), Pnt3f(0, 10, 0));

    const Matrix m = makeTransformNode(Vec3f(), Vec3f(0, 0, 90))->getToWorld();
    Pnt3f end;
    m.multMatrixPnt(line->getPositions()->getValue(0), end);
    QVERIFY(end.subZero().equals(Vec3f(10, 0, 0), 1e-5f));

    const GeometryPtr odd = geometryOf(oxGeoFactory::makeLine(std::numeric_limits<float>::infinity()));
    QCOMPARE(odd->getPositions()->getValue(1), Pnt3f(0, 0, 0));
}

void tst_OpenSGUtils::transformQueries()
{
    NodePtr parent = makeTransformNode(Vec3f(1, 2, 3), Vec3f(0, 0, 90));
    NodePtr child = makeTransformNode(Vec3f(5, 0, 0), Vec3f(10, 20, 30));
    child->setName("handle");
    parent->addChild(child);

    float x = 0, y = 0, z = 0;
    QVERIFY(oxNodeUtils::getTransformNodeTranslation(child, x, y, z, false, -1));
    QCOMPARE(Vec3f(x, y, z), Vec3f(5, 0, 0));
    // In world space the parent's quarter turn about Z carries +X onto +Y.
    QVERIFY(oxNodeUtils::getTransformNodeTranslation(child, x, y, z, true, -1));
    QVERIFY(Vec3f(x, y, z).equals(Vec3f(1, 7, 3), 1e-5f));
    QVERIFY(oxNodeUtils::getTransformNodeRotation(child, x, y, z, -1));
    QCOMPARE(Vec3f(x, y, z), Vec3f(10, 20, 30));
    QCOMPARE(oxNodeUtils::getName(child), std::string("handle"));

    NodePtr plain = Node::create();
    plain->setCore(Geometry::create());
    for (const NodePtr& node : {plain, NodePtr()})
    {
        x = y = z = 7;
        QVERIFY(!oxNodeUtils::getTransformNodeTranslation(node, x, y, z, true, -1));
        QVERIFY(!oxNodeUtils::getTransformNodeRotation(node, x, y, z, -1));
        QCOMPARE(Vec3f(x, y, z), Vec3f(7, 7, 7));
    }
    QCOMPARE(oxNodeUtils::getName(NodePtr()), std::string());
}

QTEST_APPLESS_MAIN(tst_OpenSGUtils)
#include "tst_opensgutils.moc"
