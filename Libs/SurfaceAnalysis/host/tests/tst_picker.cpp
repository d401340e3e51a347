#include "OSGSimpleGeometry.h"
#include "osgtestsupport.h"
#include "oxOSGWidgetPicker.h"
#include "oxScenegraph.h"

#include <QtTest>

Q_DECLARE_METATYPE(osg::Pnt3f)

namespace
{
osg::NodePtr named(const osg::NodePtr& node, const char* name)
{
    node->setName(name);
    return node;
}

// One triangle in the XY plane, corners (0,0,0), (1,0,0), (0,1,0) or the reverse winding.
osg::NodePtr makeTriangle(bool reversed, const QList<osg::Vec3f>& normals)
{
    osg::GeoPositions3fPtr positions = osg::GeoPositions3f::create();
    positions->push_back(osg::Pnt3f(0, 0, 0));
    positions->push_back(reversed ? osg::Pnt3f(0, 1, 0) : osg::Pnt3f(1, 0, 0));
    positions->push_back(reversed ? osg::Pnt3f(1, 0, 0) : osg::Pnt3f(0, 1, 0));
    osg::GeoPTypesUI8Ptr types = osg::GeoPTypesUI8::create();
    types->push_back(osg::GL_TRIANGLES_);
    osg::GeometryPtr geometry = osg::Geometry::create();
    geometry->setPositions(positions);
    geometry->setTypes(types);
    if (!normals.isEmpty())
    {
        osg::GeoNormals3fPtr n = osg::GeoNormals3f::create();
        for (const osg::Vec3f& v : normals)
            n->push_back(v);
        geometry->setNormals(n);
    }
    osg::NodePtr node = osg::Node::create();
    node->setCore(geometry);
    return node;
}

osg::Vec3f unit(osg::Vec3f v)
{
    v.normalize();
    return v;
}

QString text(const osg::Vec3f& v)
{
    const auto r = [](float x) { return QString::number(qRound(double(x) * 1e4) / 1e4); };
    return "(" + r(v[0]) + "," + r(v[1]) + "," + r(v[2]) + ")";
}

// Every hit of the last pick, nearest first, as "node point normal"; the getters must refuse
// an index past either end and leave their output alone.
QStringList hits(oxOSGWidgetPicker& picker)
{
    QStringList out;
    const osg::Vec3f untouched(7, 7, 7);
    for (int i = -1; i <= picker.getHitCount(); ++i)
    {
        osg::NodePtr node;
        osg::Vec3f point = untouched, normal = untouched;
        const bool valid = i >= 0 && i < picker.getHitCount();
        if (picker.getHitNode(node, i) != valid || picker.getHitPoint(point, i) != valid ||
            picker.getHitNormal(normal, i) != valid ||
            (!valid && (node != osg::NullFC || point != untouched || normal != untouched)))
            return {QString("index %1 answered wrongly").arg(i)};
        if (valid)
            out << QString::fromStdString(node->getName()) + " " + text(point) + " " + text(normal);
    }
    return out;
}
} // namespace

// Scene: the plane "Hood" (10 x 10, normal +Z, at z = 0) and the sphere "Ball" (radius 1,
// centre (0, 0, 5)) under the model root.
class tst_Picker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void hitsAreOrderedByDistance_data();
    void hitsAreOrderedByDistance();
    void normalComesFromTheGeometry_data();
    void normalComesFromTheGeometry();
    void transformedNodesArePickedInWorldSpace();
    void inactiveNodesAndSubtreesAreSkipped();
    void auxiliaryModeSeesOnlyTheInternalRoot();

private:
    osg::NodePtr m_hood, m_ballTransform, m_ball;
};

void tst_Picker::init()
{
    m_hood = named(osg::makePlane(10, 10, 2, 2), "Hood");
    m_ball = named(osg::makeSphere(3, 1), "Ball");
    m_ballTransform = makeTransformNode(osg::Vec3f(0, 0, 5));
    m_ballTransform->addChild(m_ball);
    oxScenegraph::getRoot()->addChild(m_hood);
    oxScenegraph::getRoot()->addChild(m_ballTransform);
}

void tst_Picker::cleanup()
{
    for (osg::NodePtr root : {oxScenegraph::getRoot(), oxScenegraph::getInternalRoot()})
    {
        root->setActive(true);
        while (root->getNChildren() > 0)
            root->subChild(0u);
    }
    m_hood = m_ballTransform = m_ball = osg::NullFC;
}

void tst_Picker::hitsAreOrderedByDistance_data()
{
    QTest::addColumn<osg::Pnt3f>("origin");
    QTest::addColumn<osg::Vec3f>("direction");
    QTest::addColumn<QStringList>("expected");
    const osg::Vec3f down(0, 0, -1);
    QTest::newRow("ball above hood") << osg::Pnt3f(0, 0, 20) << down
                                     << QStringList{"Ball (0,0,6) (0,0,1)", "Ball (0,0,4) (0,0,-1)",
                                                    "Hood (0,0,0) (0,0,1)"};
    QTest::newRow("hood beside ball") << osg::Pnt3f(3, 3, 20) << down << QStringList{"Hood (3,3,0) (0,0,1)"};
    QTest::newRow("hood from below keeps its normal")
        << osg::Pnt3f(3, 3, -5) << osg::Vec3f(0, 0, 2) << QStringList{"Hood (3,3,0) (0,0,1)"};
    QTest::newRow("slanted ray") << osg::Pnt3f(4, 0, 10) << osg::Vec3f(0, 0.1f, -1)
                                 << QStringList{"Hood (4,1,0) (0,0,1)"};
    // The hood's two triangles share the diagonal through its centre; it counts once.
    QTest::newRow("hood centre on the shared diagonal")
        << osg::Pnt3f(0, 0, -5) << osg::Vec3f(0, 0, 1)
        << QStringList{"Hood (0,0,0) (0,0,1)", "Ball (0,0,4) (0,0,-1)", "Ball (0,0,6) (0,0,1)"};
    QTest::newRow("miss") << osg::Pnt3f(20, 20, 20) << down << QStringList();
    QTest::newRow("zero direction") << osg::Pnt3f(0, 0, 20) << osg::Vec3f() << QStringList();
}

void tst_Picker::hitsAreOrderedByDistance()
{
    QFETCH(osg::Pnt3f, origin);
    QFETCH(osg::Vec3f, direction);
    QFETCH(QStringList, expected);
    oxOSGWidgetPicker picker;
    QCOMPARE(picker.pick(origin, direction), !expected.isEmpty());
    QCOMPARE(hits(picker), expected);
}

void tst_Picker::normalComesFromTheGeometry_data()
{
    QTest::addColumn<bool>("reversed");
    QTest::addColumn<QList<osg::Vec3f>>("normals");
    QTest::addColumn<osg::Vec3f>("scale");
    QTest::addColumn<osg::Vec3f>("expected");
    const osg::Vec3f one(1, 1, 1);
    QTest::newRow("face normal by winding") << false << QList<osg::Vec3f>() << one << osg::Vec3f(0, 0, 1);
    QTest::newRow("reversed winding") << true << QList<osg::Vec3f>() << one << osg::Vec3f(0, 0, -1);
    // Hit at barycentric (0.5, 0.25, 0.25).
    QTest::newRow("vertex normals interpolated")
        << false << QList<osg::Vec3f>{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}} << one << unit(osg::Vec3f(0.25f, 0.25f, 0.5f));
    QTest::newRow("non-uniform scale carries normals by the inverse transpose")
        << false << QList<osg::Vec3f>{{1, 0, 1}, {1, 0, 1}, {1, 0, 1}} << osg::Vec3f(2, 1, 1)
        << unit(osg::Vec3f(0.5f, 0, 1));
    QTest::newRow("cancelling vertex normals fall back to the face")
        << false << QList<osg::Vec3f>{{0, 0, 1}, {0, 0, -1}, {0, 0, -1}} << one << osg::Vec3f(0, 0, 1);
}

void tst_Picker::normalComesFromTheGeometry()
{
    QFETCH(bool, reversed);
    QFETCH(QList<osg::Vec3f>, normals);
    QFETCH(osg::Vec3f, scale);
    QFETCH(osg::Vec3f, expected);
    cleanup();
    osg::NodePtr transform = makeTransformNode(osg::Vec3f(), osg::Vec3f(), scale);
    transform->addChild(makeTriangle(reversed, normals));
    oxScenegraph::getRoot()->addChild(transform);

    oxOSGWidgetPicker picker;
    QVERIFY(picker.pick(osg::Pnt3f(0.25f * scale[0], 0.25f, 5), osg::Vec3f(0, 0, -1)));
    osg::Vec3f normal;
    QVERIFY(picker.getHitNormal(normal, 0));
    QVERIFY2(normal.equals(expected, 1e-5f), qPrintable(text(normal)));
}

void tst_Picker::transformedNodesArePickedInWorldSpace()
{
    // The hood turned to face +X, doubled and moved to x = -3: it spans y and z in [-10, 10].
    oxScenegraph::getRoot()->subChild(m_hood);
    osg::NodePtr transform = makeTransformNode(osg::Vec3f(-3, 0, 0), osg::Vec3f(0, 90, 0), osg::Vec3f(2, 2, 2));
    transform->addChild(m_hood);
    oxScenegraph::getRoot()->addChild(transform);

    oxOSGWidgetPicker picker;
    QVERIFY(picker.pick(osg::Pnt3f(10, 8, -8), osg::Vec3f(-1, 0, 0)));
    QCOMPARE(hits(picker), QStringList{"Hood (-3,8,-8) (1,0,0)"});
}

void tst_Picker::inactiveNodesAndSubtreesAreSkipped()
{
    oxOSGWidgetPicker picker;
    for (const osg::NodePtr& hidden : {m_ball, m_ballTransform})
    {
        hidden->setActive(false);
        QVERIFY(picker.pick(osg::Pnt3f(0, 0, 20), osg::Vec3f(0, 0, -1)));
        QCOMPARE(hits(picker), QStringList{"Hood (0,0,0) (0,0,1)"});
        hidden->setActive(true);
    }
    oxScenegraph::getRoot()->setActive(false);
    QVERIFY(!picker.pick(osg::Pnt3f(0, 0, 20), osg::Vec3f(0, 0, -1)));
}

void tst_Picker::auxiliaryModeSeesOnlyTheInternalRoot()
{
    osg::NodePtr auxTransform = makeTransformNode(osg::Vec3f(0, 0, 10));
    auxTransform->addChild(named(osg::makePlane(2, 2, 1, 1), "Aux"));
    oxScenegraph::getInternalRoot()->addChild(auxTransform);

    oxOSGWidgetPicker picker;
    QVERIFY(picker.pick(osg::Pnt3f(0, 0, 20), osg::Vec3f(0, 0, -1)));
    QCOMPARE(hits(picker).value(0), QString("Ball (0,0,6) (0,0,1)"));

    picker.setDisableRaytracingIntersection(true);
    picker.setPickOnlyAuxiliaryGeometry(true);
    QVERIFY(picker.pick(osg::Pnt3f(0, 0, 20), osg::Vec3f(0, 0, -1)));
    QCOMPARE(hits(picker), QStringList{"Aux (0,0,10) (0,0,1)"});
    // The model beside the auxiliary geometry is out of reach.
    QVERIFY(!picker.pick(osg::Pnt3f(3, 3, 20), osg::Vec3f(0, 0, -1)));
}

QTEST_APPLESS_MAIN(tst_Picker)
#include "tst_picker.moc"
