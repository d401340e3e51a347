#include "OSGBlendChunk.h"
#include "OSGDepthChunk.h"
#include "OSGFieldContainerFactory.h"
#include "OSGLineChunk.h"
#include "OSGGeometry.h"
#include "OSGSimpleMaterial.h"
#include "OSGTransform3D.h"
#include "oxOSGWidget.h"
#include "oxSALightDirectionHandle.h"
#include "oxSALightPlane.h"
#include "oxSALightSphere.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>

Q_DECLARE_METATYPE(osg::Vec3f)
Q_DECLARE_METATYPE(osg::Quaternion)

using namespace osg;

namespace
{
const float NaN = std::numeric_limits<float>::quiet_NaN();
const float Inf = std::numeric_limits<float>::infinity();
const float H = std::sqrt(0.5f);

bool near(float a, float b)
{
    return std::fabs(a - b) <= 1e-5f * std::max(1.f, std::fabs(b));
}

Transform3DPtr coreOf(const NodePtr& node)
{
    return Transform3DPtr::dcast(node->getCore());
}

GeometryPtr geometryOf(const NodePtr& node)
{
    return GeometryPtr::dcast(node->getCore());
}

// Calls fn for every geometry below node with its matrix relative to node's parent.
void forEachGeometry(const NodePtr& node, Matrix m, const std::function<void(const GeometryPtr&, const Matrix&)>& fn)
{
    if (node->getCore() != NullFC)
        node->getCore()->accumulateMatrix(m);
    if (geometryOf(node) != NullFC)
        fn(geometryOf(node), m);
    for (UInt32 i = 0; i < node->getNChildren(); ++i)
        forEachGeometry(node->getChild(i), m, fn);
}

// Everything a test may want to know about a material, in one comparable line.
QString describe(const MaterialPtr& material)
{
    const SimpleMaterialPtr m = SimpleMaterialPtr::dcast(material);
    if (m == NullFC)
        return "not a SimpleMaterial";
    auto colour = [](const Color3f& c)
    { return QString("%1 %2 %3").arg(c[0], 0, 'g', 4).arg(c[1], 0, 'g', 4).arg(c[2], 0, 'g', 4); };
    QStringList chunks;
    for (const StateChunkPtr& chunk : m->getChunks())
    {
        if (DepthChunkPtr d = DepthChunkPtr::dcast(chunk))
            chunks << QString("depth(readOnly %1, enabled %2)").arg(d->getReadOnly()).arg(d->getEnable());
        else if (LineChunkPtr l = LineChunkPtr::dcast(chunk))
            chunks << QString("line(width %1, smooth %2)").arg(l->getWidth()).arg(l->getSmooth());
        else if (BlendChunkPtr b = BlendChunkPtr::dcast(chunk))
            chunks << QString("blend(%1, %2)").arg(b->getSrcFactor()).arg(b->getDestFactor());
        else
            chunks << chunk->getTypeName();
    }
    return QString("diffuse %1; ambient %2; specular %3; shininess %4; transparency %5; sort %6; lit %7; %8")
        .arg(colour(m->getDiffuse()), colour(m->getAmbient()), colour(m->getSpecular()))
        .arg(m->getShininess())
        .arg(m->getTransparency())
        .arg(m->getSortKey())
        .arg(m->getLit())
        .arg(chunks.join(", "));
}

struct Extent
{
    Vec3f lo{Inf, Inf, Inf}, hi{-Inf, -Inf, -Inf};
    void add(const Pnt3f& p)
    {
        for (int k = 0; k < 3; ++k)
        {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
};
} // namespace

class tst_LightVisuals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void visualsStartHiddenAndMoveBetweenParents();
    void visualsLeaveNothingBehind();
    void materials_data();
    void materials();

    void planeLinesAndSize_data();
    void planeLinesAndSize();
    void planeRebuildsOnlyWhenAskedOrShown();
    void planePlacementWithinToleranceIsNoEdit();

    void sphereRingAngles_data();
    void sphereRingAngles();
    void sphereRebuildsOnlyWhenAskedOrShown();
    void sphereAxesFollowTheRotation();
    void sphereRingCountIsCapped();

    void handleDirection_data();
    void handleDirection();
    void handleArrowLiesAlongX();

    void scale_data();
    void scale();
    void scaleIsCachedWhileNothingMoves();

private:
    oxOSGWidget* _widget = nullptr;
};

void tst_LightVisuals::init()
{
    oxOSGWidget::resetRenderState();
    oxOSGWidget::setMGLW(nullptr);
}

void tst_LightVisuals::cleanup()
{
    oxOSGWidget::setMGLW(nullptr);
    delete _widget;
    _widget = nullptr;
}

namespace
{
template <class Visual> void checkVisibilityAndParent()
{
    Visual visual;
    const NodePtr node = visual.getTransformNode();
    QVERIFY(coreOf(node) != NullFC);
    QVERIFY(!visual.isVisible());
    QVERIFY(!node->getActive());

    const UInt64 edits = node->getChangeCount();
    visual.setVisible(true);
    QVERIFY(visual.isVisible() && node->getActive());
    QCOMPARE(node->getChangeCount(), edits + 1);
    QCOMPARE(node->getLastChangedMask(), Node::TravMaskFieldMask);
    visual.setVisible(true);
    QCOMPARE(node->getChangeCount(), edits + 1);
    visual.setVisible(false);
    QVERIFY(!node->getActive());

    NodePtr first = Node::create(), second = Node::create();
    visual.setParent(first);
    QVERIFY(node->getParent() == first);
    visual.setParent(second);
    QCOMPARE(first->getNChildren(), 0u);
    QVERIFY(node->getParent() == second && second->getNChildren() == 1);
    visual.setParent(NullFC);
    QCOMPARE(second->getNChildren(), 0u);
    QVERIFY(node->getParent() == NullFC);
}
} // namespace

void tst_LightVisuals::visualsStartHiddenAndMoveBetweenParents()
{
    checkVisibilityAndParent<oxSALightPlane>();
    checkVisibilityAndParent<oxSALightSphere>();
    checkVisibilityAndParent<oxSALightDirectionHandle>();
}

void tst_LightVisuals::visualsLeaveNothingBehind()
{
    const UInt32 before = FieldContainerFactory::the()->getNumContainers();
    {
        NodePtr root = Node::create();
        oxSALightPlane plane;
        oxSALightSphere sphere;
        oxSALightDirectionHandle handle;
        plane.setParent(root);
        sphere.setParent(root);
        handle.setParent(root);
        plane.setLineCount(20, true);
        sphere.setLineCount(7, true);
        plane.setParent(NullFC);
        sphere.setParent(NullFC);
        handle.setParent(NullFC);
    }
    QCOMPARE(FieldContainerFactory::the()->getNumContainers(), before);
}

void tst_LightVisuals::materials_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("expected");

    const QString orange = "0.957 0.522 0.09";
    const QString lines = "line(width 1, smooth 1), blend(770, 771), depth(readOnly 1, enabled 1)";
    QTest::newRow("plane") << "plane"
                           << "diffuse 0.8 0.8 0.8; ambient 0.24 0.24 0.24; specular 0.8 0.8 0.8; shininess 10; "
                              "transparency 0.5; sort 64015; lit 0; depth(readOnly 1, enabled 1)";
    QTest::newRow("plane lines") << "lines"
                                 << QString("diffuse %1; ambient %1; specular 0 0 0; shininess 10; transparency 0.3; "
                                            "sort 64018; lit 0; %2")
                                        .arg(orange, lines);
    QTest::newRow("sphere") << "sphere"
                            << "diffuse 0.8 0.8 0.8; ambient 0.24 0.24 0.24; specular 0.8 0.8 0.8; shininess 10; "
                               "transparency 0.75; sort 64015; lit 0; depth(readOnly 1, enabled 1)";
    QTest::newRow("ring") << "ring"
                          << QString("diffuse %1; ambient %1; specular 0 0 0; shininess 10; transparency 0.3; "
                                     "sort 64018; lit 0; %2")
                                 .arg(orange, lines);
    QTest::newRow("sphere axis") << "axis"
                                 << QString("diffuse %1; ambient %1; specular 0 0 0; shininess 10; transparency 0.3; "
                                            "sort 64018; lit 0; line(width 2.5, smooth 1), blend(770, 771), "
                                            "depth(readOnly 1, enabled 1)")
                                        .arg(orange);
    for (int part = 0; part < 3; ++part)
        QTest::newRow(qPrintable(QString("arrow part %1").arg(part)))
            << QString("arrow%1").arg(part)
            << QString("diffuse %1; ambient %1; specular %1; shininess 10; transparency 0.5; sort 64015; lit 0; "
                       "depth(readOnly 1, enabled 0)")
                   .arg(orange);
}

void tst_LightVisuals::materials()
{
    QFETCH(QString, part);
    QFETCH(QString, expected);

    oxSALightPlane plane;
    oxSALightSphere sphere;
    oxSALightDirectionHandle handle;
    const NodePtr rings = sphere.getRingsNode();
    MaterialPtr material;
    if (part == "plane")
    {
        material = plane.getPlaneGeometry()->getMaterial();
        QVERIFY(material == plane.getPlaneMaterial());
    }
    else if (part == "lines")
    {
        material = plane.getLinesGeometry()->getMaterial();
        QVERIFY(material == plane.getLinesMaterial());
    }
    else if (part == "sphere")
        material = geometryOf(sphere.getSphereNode())->getMaterial();
    else if (part == "ring")
    {
        material = geometryOf(rings->getChild(0)->getChild(0))->getMaterial();
        QVERIFY(material == sphere.getRingsMaterial());
    }
    else if (part == "axis")
    {
        material = geometryOf(rings->getChild(rings->getNChildren() - 1)->getChild(0))->getMaterial();
        QVERIFY(material == sphere.getAxisMaterial());
    }
    else
    {
        const UInt32 index = part.right(1).toUInt();
        material = geometryOf(handle.getArrowNode()->getChild(index)->getChild(0))->getMaterial();
        QVERIFY(material == handle.getMaterial());
    }
    QCOMPARE(describe(material), expected);
}

void tst_LightVisuals::planeLinesAndSize_data()
{
    QTest::addColumn<uint>("count");
    QTest::addColumn<float>("distance");
    QTest::addColumn<bool>("limited");
    QTest::addColumn<float>("length");
    QTest::addColumn<int>("lines");
    QTest::addColumn<float>("firstX");
    QTest::addColumn<float>("lineLength");
    QTest::addColumn<float>("planeWidth");
    QTest::addColumn<float>("planeHeight");

    QTest::newRow("10 lines, unlimited") << 10u << 10.f << false << 100.f << 10 << -45.f << 1e6f << 90.f << 1e6f;
    QTest::newRow("1 line through the origin") << 1u << 10.f << false << 100.f << 1 << 0.f << 1e6f << 0.f << 1e6f;
    QTest::newRow("0 lines: plane as wide as one step")
        << 0u << 10.f << false << 100.f << 0 << 0.f << 1e6f << 10.f << 1e6f;
    QTest::newRow("distance 0: lines on top of each other")
        << 10u << 0.f << false << 100.f << 10 << 0.f << 1e6f << 0.f << 1e6f;
    QTest::newRow("limited length") << 10u << 10.f << true << 50.f << 10 << -45.f << 50.f << 90.f << 50.f;
    QTest::newRow("limited length 0") << 3u << 10.f << true << 0.f << 3 << -10.f << 0.f << 20.f << 0.f;
    QTest::newRow("negative length") << 3u << 10.f << true << -50.f << 3 << -10.f << -50.f << 20.f << 50.f;
    QTest::newRow("negative distance") << 3u << -10.f << false << 100.f << 3 << 10.f << 1e6f << 20.f << 1e6f;
    QTest::newRow("largest count is drawn capped")
        << 4294967295u << 1.f << false << 100.f << int(oxSALightPlane::MaxLines) << -2047.5f << 1e6f << 4095.f << 1e6f;
    QTest::newRow("count above 2^31") << 3000000000u << 2.f << true << 10.f << int(oxSALightPlane::MaxLines) << -4095.f
                                      << 10.f << 8190.f << 10.f;
    QTest::newRow("NaN distance draws no lines") << 10u << NaN << false << 100.f << 0 << 0.f << 0.f << 0.f << 1e6f;
    QTest::newRow("infinite length draws no lines") << 10u << 10.f << true << Inf << 0 << 0.f << 0.f << 90.f << 0.f;
}

void tst_LightVisuals::planeLinesAndSize()
{
    QFETCH(uint, count);
    QFETCH(float, distance);
    QFETCH(bool, limited);
    QFETCH(float, length);
    QFETCH(int, lines);
    QFETCH(float, firstX);
    QFETCH(float, lineLength);
    QFETCH(float, planeWidth);
    QFETCH(float, planeHeight);

    oxSALightPlane plane;
    plane.setLineCount(count, true);
    plane.setLineDistance(distance, true);
    plane.setLineLengthLimited(limited, true);
    plane.setLineLength(length, true);
    QCOMPARE(plane.getLineCount(), count);
    QVERIFY(!plane.isDirty());

    const GeometryPtr geo = plane.getLinesGeometry();
    QVERIFY(plane.getLinesNode()->getCore() == geo);
    QCOMPARE(geo->getTypes()->size(), 1u);
    QCOMPARE(geo->getTypes()->getValue(0), UInt8(GL_LINES_));
    QCOMPARE(geo->getLengths()->getValue(0), UInt32(2 * lines));
    QCOMPARE(int(geo->getPositions()->size()), 2 * lines);
    QCOMPARE(int(geo->getIndices()->size()), 2 * lines);
    for (int i = 0; i < lines; ++i)
    {
        const float x = firstX + float(i) * distance;
        const Pnt3f a = geo->getPositions()->getValue(geo->getIndices()->getValue(2 * i));
        const Pnt3f b = geo->getPositions()->getValue(geo->getIndices()->getValue(2 * i + 1));
        QVERIFY2(near(a[0], x) && near(b[0], x), qPrintable(QString("line %1 at x %2").arg(i).arg(a[0])));
        QVERIFY(near(a[1], -lineLength / 2) && near(b[1], lineLength / 2) && a[2] == 0.f && b[2] == 0.f);
    }

    const GeometryPtr planeGeo = plane.getPlaneGeometry();
    QVERIFY(plane.getPlaneNode()->getCore() == planeGeo);
    Extent extent;
    for (const Pnt3f& p : planeGeo->getPositions()->getField())
        extent.add(p);
    QVERIFY2(near(extent.hi[0], planeWidth / 2) && near(extent.lo[0], -planeWidth / 2),
             qPrintable(QString("plane x from %1 to %2").arg(extent.lo[0]).arg(extent.hi[0])));
    QVERIFY(near(extent.hi[1], planeHeight / 2) && near(extent.lo[1], -planeHeight / 2));
    QVERIFY(extent.lo[2] == 0.f && extent.hi[2] == 0.f);

    const NodePtr node = plane.getTransformNode();
    QCOMPARE(node->getNChildren(), 2u);
    QVERIFY(node->getChild(0) == plane.getPlaneNode() && node->getChild(1) == plane.getLinesNode());
}

void tst_LightVisuals::planeRebuildsOnlyWhenAskedOrShown()
{
    oxSALightPlane plane;
    const GeometryPtr initial = plane.getLinesGeometry();
    QCOMPARE(initial->getPositions()->size(), 20u);

    plane.setLineCount(3, false);
    QVERIFY(plane.isDirty());
    QVERIFY(plane.getLinesGeometry() == initial);
    plane.applyChanges(true);
    QVERIFY2(plane.getLinesGeometry() == initial, "a hidden plane is not rebuilt");

    plane.setVisible(true);
    plane.applyChanges(false);
    QVERIFY(!plane.isDirty());
    const GeometryPtr shown = plane.getLinesGeometry();
    QCOMPARE(shown->getPositions()->size(), 6u);
    plane.applyChanges(false);
    QVERIFY(plane.getLinesGeometry() == shown);
    plane.applyChanges(true);
    QVERIFY(plane.getLinesGeometry() != shown);

    plane.setVisible(false);
    plane.setLineDistance(5.f, true);
    QVERIFY(!plane.isDirty());
    QCOMPARE(plane.getLinesGeometry()->getPositions()->getValue(0)[0], -5.f);
}

void tst_LightVisuals::planePlacementWithinToleranceIsNoEdit()
{
    oxSALightPlane plane;
    const Transform3DPtr core = coreOf(plane.getTransformNode());
    plane.setTransform(Vec3f(1, 2, 3), Vec3f(10, 20, 30));
    QCOMPARE(core->getTranslation(), Vec3f(1, 2, 3));
    QCOMPARE(core->getEulerRotation(), Vec3f(10, 20, 30));

    const UInt64 edits = core->getChangeCount();
    plane.setTransform(Vec3f(1 + 1e-7f, 2 - 1e-7f, 3 + 1e-7f), Vec3f(10 + 1e-7f, 20 - 1e-7f, 30 + 1e-7f));
    QCOMPARE(core->getChangeCount(), edits);
    QCOMPARE(core->getTranslation(), Vec3f(1, 2, 3));

    plane.setTransform(Vec3f(1, 2, 3.001f), Vec3f(10, 20, 30));
    QCOMPARE(core->getChangeCount(), edits + 1);
    QCOMPARE(core->getLastChangedMask(), Transform3D::TranslationFieldMask);
    plane.setTransform(Vec3f(1, 2, 3.001f), Vec3f(10, 20.001f, 30));
    QCOMPARE(core->getChangeCount(), edits + 2);
    QCOMPARE(core->getLastChangedMask(), Transform3D::RotationFieldMask);
}

void tst_LightVisuals::sphereRingAngles_data()
{
    QTest::addColumn<uint>("count");
    QTest::addColumn<QVector<float>>("angles");

    QTest::newRow("0 rings: the axis alone") << 0u << QVector<float>{};
    QTest::newRow("5 rings start at a quarter turn") << 5u << QVector<float>{90, 162, 234, 306, 378};
    QTest::newRow("6 rings start at 0") << 6u << QVector<float>{0, 60, 120, 180, 240, 300};
    QTest::newRow("8 rings start half a step in")
        << 8u << QVector<float>{22.5f, 67.5f, 112.5f, 157.5f, 202.5f, 247.5f, 292.5f, 337.5f};
    QTest::newRow("10 rings") << 10u << QVector<float>{0, 36, 72, 108, 144, 180, 216, 252, 288, 324};
}

void tst_LightVisuals::sphereRingAngles()
{
    QFETCH(uint, count);
    QFETCH(QVector<float>, angles);

    oxSALightSphere sphere;
    sphere.setLineCount(count, true);
    const NodePtr rings = sphere.getRingsNode();
    QCOMPARE(int(rings->getNChildren()), angles.size() + 1);
    for (int i = 0; i < angles.size(); ++i)
    {
        const NodePtr turn = rings->getChild(UInt32(i));
        const Vec3f euler = coreOf(turn)->getEulerRotation();
        QVERIFY2(euler.equals(Vec3f(angles[i], 0, 0), 1e-3f),
                 qPrintable(QString("ring %1 at %2").arg(i).arg(euler[0])));
        const GeometryPtr ring = geometryOf(turn->getChild(0));
        QVERIFY(ring != NullFC && ring->getMaterial() == sphere.getRingsMaterial());
        QVERIFY(near(ring->getPositions()->getValue(0).subZero().length(), 10.f));
    }
    const NodePtr axis = rings->getChild(rings->getNChildren() - 1);
    QCOMPARE(coreOf(axis)->getEulerRotation(), Vec3f(0, 0, 90));
    const GeometryPtr line = geometryOf(axis->getChild(0));
    QVERIFY(line != NullFC);
    QCOMPARE(line->getPositions()->getValue(0).dist(line->getPositions()->getValue(1)), 20.f);

    const NodePtr node = sphere.getTransformNode();
    QVERIFY(node->getChild(0) == rings && node->getChild(1) == sphere.getSphereNode());
}

void tst_LightVisuals::sphereRebuildsOnlyWhenAskedOrShown()
{
    oxSALightSphere sphere;
    const NodePtr rings = sphere.getRingsNode();
    QCOMPARE(rings->getNChildren(), 11u);

    sphere.setLineCount(4, false);
    sphere.applyChanges(true);
    QCOMPARE(rings->getNChildren(), 11u);
    sphere.setVisible(true);
    sphere.applyChanges(false);
    QCOMPARE(rings->getNChildren(), 5u);
    QVERIFY(!sphere.isDirty());
    const NodePtr first = rings->getChild(0);
    sphere.applyChanges(false);
    QVERIFY(rings->getChild(0) == first);
    sphere.applyChanges(true);
    QVERIFY(rings->getChild(0) != first);
}

void tst_LightVisuals::sphereAxesFollowTheRotation()
{
    oxSALightSphere sphere;
    Vec3f axis, tangent;
    QVERIFY(sphere.getAxes(axis, tangent));
    QVERIFY(axis.equals(Vec3f(1, 0, 0), 1e-6f) && tangent.equals(Vec3f(0, 0, 1), 1e-6f));

    sphere.setRotation(Vec3f(0, 0, 90));
    QCOMPARE(sphere.getRotation(), Vec3f(0, 0, 90));
    QVERIFY(sphere.getAxes(axis, tangent));
    QVERIFY(axis.equals(Vec3f(0, 1, 0), 1e-6f) && tangent.equals(Vec3f(0, 0, 1), 1e-6f));
    QCOMPARE(coreOf(sphere.getTransformNode())->getLastChangedMask(), Transform3D::RotationFieldMask);
}

void tst_LightVisuals::sphereRingCountIsCapped()
{
    oxSALightSphere sphere;
    sphere.setLineCount(4294967295u, true);
    QCOMPARE(sphere.getLineCount(), 4294967295u);
    QCOMPARE(sphere.getRingsNode()->getNChildren(), oxSALightSphere::MaxRings + 1);
}

void tst_LightVisuals::handleDirection_data()
{
    QTest::addColumn<Vec3f>("direction");
    QTest::addColumn<Quaternion>("rotation");

    QTest::newRow("-X leaves the arrow unrotated") << Vec3f(-1, 0, 0) << Quaternion();
    QTest::newRow("+Y turns a quarter about +Z") << Vec3f(0, 1, 0) << Quaternion(0, 0, H, H);
    QTest::newRow("-Z turns a quarter about +Y") << Vec3f(0, 0, -1) << Quaternion(0, H, 0, H);
}

void tst_LightVisuals::handleDirection()
{
    QFETCH(Vec3f, direction);
    QFETCH(Quaternion, rotation);

    oxSALightDirectionHandle handle;
    const Transform3DPtr core = coreOf(handle.getTransformNode());
    core->setTranslation(Vec3f(4, 5, 6));
    handle.setDirection(Vec3f(0.6f, 0.8f, 0));
    handle.setDirection(direction);
    QVERIFY(handle.getRotation().equals(rotation, 1e-5f));
    QCOMPARE(core->getLastChangedMask(), Transform3D::RotationFieldMask);
    QCOMPARE(core->getTranslation(), Vec3f(4, 5, 6));
}

// Shaft from -0.75 to 0.75, cone tips at ±1.45, heads pointing outwards.
void tst_LightVisuals::handleArrowLiesAlongX()
{
    oxSALightDirectionHandle handle;
    const NodePtr arrow = handle.getArrowNode();
    QCOMPARE(arrow->getNChildren(), 3u);
    QVERIFY(handle.getTransformNode()->getChild(0) == arrow);

    std::vector<Extent> parts;
    float outerRadius = 0.f; // how thick the arrow is at its ends: the tips are points
    for (UInt32 i = 0; i < 3; ++i)
    {
        Extent extent;
        forEachGeometry(arrow->getChild(i), Matrix(),
                        [&](const GeometryPtr& geo, const Matrix& m)
                        {
                            QVERIFY(geo->getMaterial() == handle.getMaterial());
                            for (const Pnt3f& p : geo->getPositions()->getField())
                            {
                                Pnt3f q;
                                m.multMatrixPnt(p, q);
                                extent.add(q);
                                if (std::fabs(q[0]) > 1.4f)
                                    outerRadius = std::max(outerRadius, std::hypot(q[1], q[2]));
                            }
                        });
        parts.push_back(extent);
    }
    QVERIFY2(outerRadius < 1e-5f, "the heads point outwards");
    auto spans = [](const Extent& e, float lo, float hi, float r)
    {
        return std::fabs(e.lo[0] - lo) < 1e-5f && std::fabs(e.hi[0] - hi) < 1e-5f && e.hi[1] <= r + 1e-5f &&
               e.lo[1] >= -r - 1e-5f && e.hi[2] <= r + 1e-5f && e.lo[2] >= -r - 1e-5f;
    };
    QVERIFY2(spans(parts[0], -0.75f, 0.75f, 0.08f), "shaft");
    QVERIFY2(spans(parts[1], -1.45f, -0.75f, 0.25f), "head towards -X");
    QVERIFY2(spans(parts[2], 0.75f, 1.45f, 0.25f), "head towards +X");
}

void tst_LightVisuals::scale_data()
{
    QTest::addColumn<QString>("visual");
    QTest::addColumn<QString>("camera"); // none, perspective, orthographic
    QTest::addColumn<Vec3f>("from");
    QTest::addColumn<float>("fov");
    QTest::addColumn<float>("referenceLength");
    QTest::addColumn<float>("nearDiagonal");
    QTest::addColumn<Vec3f>("arrowAt");
    QTest::addColumn<float>("scale");

    const Vec3f far(0, 0, 100), close(0, 6, 8), origin;
    QTest::newRow("sphere, no widget, capped") << "sphere"
                                               << "none" << far << 45.f << 0.f << 0.f << origin << 4.9f;
    QTest::newRow("sphere, no widget, near") << "sphere"
                                             << "none" << close << 45.f << 0.f << 0.f << origin << 2.25f;
    QTest::newRow("sphere, perspective, near") << "sphere"
                                               << "perspective" << close << 45.f << 100.f << 0.f << origin << 2.25f;
    QTest::newRow("sphere, perspective, small scene") << "sphere"
                                                      << "perspective" << far << 45.f << 20.f << 0.f << origin << 0.98f;
    QTest::newRow("sphere, orthographic") << "sphere"
                                          << "orthographic" << far << 45.f << 100.f << 30.f << origin << 1.5f;
    QTest::newRow("sphere, orthographic, capped") << "sphere"
                                                  << "orthographic" << far << 45.f << 100.f << 200.f << origin << 4.9f;
    QTest::newRow("handle, no widget, capped") << "handle"
                                               << "none" << far << 45.f << 0.f << 0.f << origin << 2.5f;
    QTest::newRow("handle, no widget, near") << "handle"
                                             << "none" << close << 45.f << 0.f << 0.f << origin << 0.75f;
    QTest::newRow("handle moved towards the camera")
        << "handle"
        << "none" << Vec3f(0, 0, 10) << 45.f << 0.f << 0.f << Vec3f(0, 0, 5) << 0.375f;
    QTest::newRow("handle, perspective, small scene") << "handle"
                                                      << "perspective" << far << 45.f << 20.f << 0.f << origin << 0.5f;
    QTest::newRow("handle, orthographic") << "handle"
                                          << "orthographic" << far << 45.f << 100.f << 30.f << origin << 1.5f;
}

void tst_LightVisuals::scale()
{
    QFETCH(QString, visual);
    QFETCH(QString, camera);
    QFETCH(Vec3f, from);
    QFETCH(float, fov);
    QFETCH(float, referenceLength);
    QFETCH(float, nearDiagonal);
    QFETCH(Vec3f, arrowAt);
    QFETCH(float, scale);

    if (camera != "none")
    {
        _widget = new oxOSGWidget;
        oxOSGWidget::setMGLW(_widget);
        const UberCameraPtr cam = _widget->getUberCamera();
        cam->setOrthographic(camera == "orthographic");
        cam->setReferenceLength(referenceLength);
        cam->setNearPlaneDiagonal(nearDiagonal);
    }
    oxOSGWidget::setCamera(Pnt3f(from), fov);

    Vec3f result;
    if (visual == "sphere")
    {
        oxSALightSphere sphere;
        sphere.updateScale();
        result = coreOf(sphere.getTransformNode())->getScale();
    }
    else
    {
        oxSALightDirectionHandle handle;
        coreOf(handle.getTransformNode())->setTranslation(arrowAt);
        handle.updateScale();
        result = coreOf(handle.getTransformNode())->getScale();
    }
    QVERIFY2(result.equals(Vec3f(scale, scale, scale), 1e-5f), qPrintable(QString("scale %1").arg(result[0])));
}

void tst_LightVisuals::scaleIsCachedWhileNothingMoves()
{
    oxSALightSphere sphere;
    oxSALightDirectionHandle handle;
    const Transform3DPtr sphereCore = coreOf(sphere.getTransformNode());
    const Transform3DPtr handleCore = coreOf(handle.getTransformNode());
    const UInt64 sphereEdits = sphereCore->getChangeCount(), handleEdits = handleCore->getChangeCount();

    auto update = [&]
    {
        sphere.updateScale();
        handle.updateScale();
    };
    update();
    update();
    QCOMPARE(sphereCore->getChangeCount(), sphereEdits + 1);
    QCOMPARE(handleCore->getChangeCount(), handleEdits + 1);

    oxOSGWidget::setCamera(Pnt3f(0, 0, 100 + 1e-7f), 45.f);
    update();
    QCOMPARE(sphereCore->getChangeCount(), sphereEdits + 1);

    oxOSGWidget::setCamera(Pnt3f(0, 0, 100), 30.f);
    update();
    QCOMPARE(sphereCore->getChangeCount(), sphereEdits + 2);
    QCOMPARE(handleCore->getChangeCount(), handleEdits + 2);

    // Only the arrow's own position enters its cache; the sphere sits at the origin.
    handleCore->setTranslation(Vec3f(0, 0, 50));
    update();
    QCOMPARE(sphereCore->getChangeCount(), sphereEdits + 2);
    QCOMPARE(handleCore->getChangeCount(), handleEdits + 3);
    QVERIFY(near(handleCore->getScale()[0], 50.f * 30.f / 600.f));
}

QTEST_MAIN(tst_LightVisuals)
#include "tst_lightvisuals.moc"
