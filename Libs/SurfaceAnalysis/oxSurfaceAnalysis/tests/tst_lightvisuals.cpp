#include "OSGBlendChunk.h"
#include "OSGDepthChunk.h"
#include "OSGFieldContainerFactory.h"
#include "OSGGeometry.h"
#include "OSGLineChunk.h"
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

// Every position of the geometries below node, in the coordinates of node's parent.
std::vector<Pnt3f> pointsBelow(const NodePtr& node, Matrix m = Matrix())
{
    node->getCore()->accumulateMatrix(m);
    std::vector<Pnt3f> points;
    if (const GeometryPtr geo = geometryOf(node))
        for (const Pnt3f& p : geo->getPositions()->getField())
        {
            points.emplace_back();
            m.multMatrixPnt(p, points.back());
        }
    for (UInt32 i = 0; i < node->getNChildren(); ++i)
    {
        const std::vector<Pnt3f> more = pointsBelow(node->getChild(i), m);
        points.insert(points.end(), more.begin(), more.end());
    }
    return points;
}

void bounds(const std::vector<Pnt3f>& points, Vec3f& lo, Vec3f& hi)
{
    lo = Vec3f(Inf, Inf, Inf);
    hi = -lo;
    for (const Pnt3f& p : points)
        for (int k = 0; k < 3; ++k)
        {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
}

// A material in one comparable line.
QString describe(const MaterialPtr& material)
{
    const SimpleMaterialPtr m = SimpleMaterialPtr::dcast(material);
    if (m == NullFC)
        return "not a SimpleMaterial";
    auto colour = [](const Color3f& c) { return QString("%1 %2 %3").arg(c[0]).arg(c[1]).arg(c[2]); };
    QStringList chunks;
    for (const StateChunkPtr& chunk : m->getChunks())
        if (DepthChunkPtr d = DepthChunkPtr::dcast(chunk))
            chunks << QString("depth(readOnly %1, enabled %2)").arg(d->getReadOnly()).arg(d->getEnable());
        else if (LineChunkPtr l = LineChunkPtr::dcast(chunk))
            chunks << QString("line(%1, smooth %2)").arg(l->getWidth()).arg(l->getSmooth());
        else if (BlendChunkPtr b = BlendChunkPtr::dcast(chunk))
            chunks << QString("blend(%1, %2)").arg(b->getSrcFactor()).arg(b->getDestFactor());
    return QString("%1 / %2 / %3 / shininess %4 / transparency %5 / sort %6 / lit %7 / %8")
        .arg(colour(m->getDiffuse()), colour(m->getAmbient()), colour(m->getSpecular()))
        .arg(m->getShininess())
        .arg(m->getTransparency())
        .arg(m->getSortKey())
        .arg(m->getLit())
        .arg(chunks.join(", "));
}

template <class Visual> void checkVisibilityAndParent()
{
    Visual visual;
    const NodePtr node = visual.getTransformNode();
    QVERIFY(coreOf(node) != NullFC);
    QVERIFY(!visual.isVisible() && !node->getActive());

    const UInt64 edits = node->getChangeCount();
    visual.setVisible(true);
    visual.setVisible(true);
    QVERIFY(visual.isVisible() && node->getActive());
    QCOMPARE(node->getChangeCount(), edits + 1);
    QCOMPARE(node->getLastChangedMask(), Node::TravMaskFieldMask);

    NodePtr first = Node::create(), second = Node::create();
    visual.setParent(first);
    visual.setParent(second);
    QVERIFY(first->getNChildren() == 0 && node->getParent() == second);
    visual.setParent(NullFC);
    QVERIFY(second->getNChildren() == 0 && node->getParent() == NullFC);
}

// drawn() tells how many lines or rings the visual shows.
template <class Visual> void checkRebuildPolicy(Visual& visual, const std::function<int()>& drawn)
{
    QCOMPARE(drawn(), 10);
    visual.setLineCount(3, false);
    visual.applyChanges(true);
    QVERIFY2(drawn() == 10 && visual.isDirty(), "a hidden visual keeps its geometry");
    visual.setVisible(true);
    visual.applyChanges(false);
    QVERIFY(drawn() == 3 && !visual.isDirty());
    visual.setVisible(false);
    visual.setLineCount(4, true);
    QVERIFY2(drawn() == 4 && !visual.isDirty(), "an immediate rebuild does not wait for visibility");
}
} // namespace

class tst_LightVisuals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { oxOSGWidget::resetRenderState(); }
    void cleanup()
    {
        delete _widget; // unregisters itself as the main widget
        _widget = nullptr;
        QVERIFY(oxOSGWidget::getMGLW(-1) == nullptr);
    }
    void visualsStartHiddenMoveBetweenParentsAndLeaveNothingBehind();
    void visualsRebuildWhenAskedOrShown();
    void materials_data();
    void materials();
    void planeLinesAndSize_data();
    void planeLinesAndSize();
    void planePlacementWithinToleranceIsNoEdit();
    void sphereRingAngles_data();
    void sphereRingAngles();
    void handleDirectionTurnsOnlyTheArrow();
    void handleArrowLiesAlongX();
    void scale_data();
    void scale();
    void scaleIsRewrittenOnlyWhenWhatItReadsChanges();

private:
    oxOSGWidget* _widget = nullptr;
};

void tst_LightVisuals::visualsStartHiddenMoveBetweenParentsAndLeaveNothingBehind()
{
    const UInt32 before = FieldContainerFactory::the()->getNumContainers();
    checkVisibilityAndParent<oxSALightPlane>();
    checkVisibilityAndParent<oxSALightSphere>();
    checkVisibilityAndParent<oxSALightDirectionHandle>();
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
    }
    QCOMPARE(FieldContainerFactory::the()->getNumContainers(), before);
}

void tst_LightVisuals::visualsRebuildWhenAskedOrShown()
{
    oxSALightPlane plane;
    checkRebuildPolicy(plane, [&] { return int(plane.getLinesGeometry()->getPositions()->size() / 2); });
    oxSALightSphere sphere;
    checkRebuildPolicy(sphere, [&] { return int(sphere.getRingsNode()->getNChildren()) - 1; });
}

void tst_LightVisuals::materials_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("expected");

    const QString grey = "0.8 0.8 0.8 / 0.24 0.24 0.24 / 0.8 0.8 0.8 / shininess 10 / transparency %1 / sort 64015 / "
                         "lit 0 / depth(readOnly 1, enabled 1)";
    const QString lines = "0.957 0.522 0.09 / 0.957 0.522 0.09 / 0 0 0 / shininess 10 / transparency 0.3 / "
                          "sort 64018 / lit 0 / line(%1, smooth 1), blend(770, 771), depth(readOnly 1, enabled 1)";
    QTest::newRow("plane") << "plane" << grey.arg(0.5);
    QTest::newRow("plane lines") << "lines" << lines.arg(1);
    QTest::newRow("sphere") << "sphere" << grey.arg(0.75);
    QTest::newRow("ring") << "ring" << lines.arg(1);
    QTest::newRow("sphere axis") << "axis" << lines.arg(2.5);
    const QString arrow = "0.957 0.522 0.09 / 0.957 0.522 0.09 / 0.957 0.522 0.09 / shininess 10 / "
                          "transparency 0.5 / sort 64015 / lit 0 / depth(readOnly 1, enabled 0)";
    for (int part = 0; part < 3; ++part)
        QTest::newRow(qPrintable(QString("arrow part %1").arg(part))) << QString("arrow%1").arg(part) << arrow;
}

void tst_LightVisuals::materials()
{
    QFETCH(QString, part);
    QFETCH(QString, expected);

    oxSALightPlane plane;
    oxSALightSphere sphere;
    oxSALightDirectionHandle handle;
    const NodePtr rings = sphere.getRingsNode();
    const std::map<QString, std::pair<GeometryPtr, MaterialPtr>> parts = {
        {"plane", {plane.getPlaneGeometry(), plane.getPlaneMaterial()}},
        {"lines", {plane.getLinesGeometry(), plane.getLinesMaterial()}},
        {"sphere", {geometryOf(sphere.getSphereNode()), MaterialPtr()}},
        {"ring", {geometryOf(rings->getChild(0)->getChild(0)), sphere.getRingsMaterial()}},
        {"axis", {geometryOf(rings->getChild(rings->getNChildren() - 1)->getChild(0)), sphere.getAxisMaterial()}},
        {"arrow0", {geometryOf(handle.getArrowNode()->getChild(0)->getChild(0)), handle.getMaterial()}},
        {"arrow1", {geometryOf(handle.getArrowNode()->getChild(1)->getChild(0)), handle.getMaterial()}},
        {"arrow2", {geometryOf(handle.getArrowNode()->getChild(2)->getChild(0)), handle.getMaterial()}}};
    const auto& [geometry, owned] = parts.at(part);
    QVERIFY(owned == NullFC || geometry->getMaterial() == owned);
    QCOMPARE(describe(geometry->getMaterial()), expected);
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

    const int max = int(oxSALightPlane::MaxLines);
    QTest::newRow("10 lines, unlimited") << 10u << 10.f << false << 5.f << 10 << -45.f << 1e6f << 90.f << 1e6f;
    QTest::newRow("1 line through the origin") << 1u << 10.f << false << 5.f << 1 << 0.f << 1e6f << 0.f << 1e6f;
    QTest::newRow("0 lines, plane one step wide") << 0u << 10.f << false << 5.f << 0 << 0.f << 0.f << 10.f << 1e6f;
    QTest::newRow("distance 0: lines coincide") << 10u << 0.f << false << 5.f << 10 << 0.f << 1e6f << 0.f << 1e6f;
    QTest::newRow("limited length") << 10u << 10.f << true << 50.f << 10 << -45.f << 50.f << 90.f << 50.f;
    QTest::newRow("limited length 0") << 3u << 10.f << true << 0.f << 3 << -10.f << 0.f << 20.f << 0.f;
    QTest::newRow("negative length") << 3u << 10.f << true << -50.f << 3 << -10.f << -50.f << 20.f << 50.f;
    QTest::newRow("negative distance") << 3u << -10.f << false << 5.f << 3 << 10.f << 1e6f << 20.f << 1e6f;
    QTest::newRow("largest count, drawn capped")
        << 4294967295u << 1.f << false << 5.f << max << -2047.5f << 1e6f << 4095.f << 1e6f;
    QTest::newRow("count above 2^31") << 3000000000u << 2.f << true << 10.f << max << -4095.f << 10.f << 8190.f << 10.f;
    QTest::newRow("NaN distance, no lines") << 10u << NaN << false << 5.f << 0 << 0.f << 0.f << 0.f << 1e6f;
    QTest::newRow("infinite length, no lines") << 10u << 10.f << true << Inf << 0 << 0.f << 0.f << 90.f << 0.f;
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

    const GeometryPtr geo = plane.getLinesGeometry();
    QVERIFY(plane.getLinesNode()->getCore() == geo);
    QCOMPARE(geo->getTypes()->size(), 1u);
    QCOMPARE(geo->getTypes()->getValue(0), UInt8(GL_LINES_));
    QCOMPARE(geo->getLengths()->getValue(0), UInt32(2 * lines));
    QCOMPARE(int(geo->getIndices()->size()), 2 * lines);
    for (int i = 0; i < 2 * lines; ++i)
    {
        const Pnt3f p = geo->getPositions()->getValue(geo->getIndices()->getValue(UInt32(i)));
        const float x = firstX + float(i / 2) * distance, y = (i % 2 ? 0.5f : -0.5f) * lineLength;
        QVERIFY2(near(p[0], x) && near(p[1], y) && p[2] == 0.f, qPrintable(QString("end %1 at %2").arg(i).arg(p[0])));
    }

    QVERIFY(plane.getPlaneNode()->getCore() == plane.getPlaneGeometry());
    Vec3f lo, hi;
    bounds(pointsBelow(plane.getPlaneNode()), lo, hi);
    QVERIFY2(near(hi[0], planeWidth / 2) && near(lo[0], -planeWidth / 2),
             qPrintable(QString("width %1").arg(hi[0] - lo[0])));
    QVERIFY(near(hi[1], planeHeight / 2) && near(lo[1], -planeHeight / 2) && lo[2] == 0.f && hi[2] == 0.f);
    const NodePtr node = plane.getTransformNode();
    QVERIFY(node->getChild(0) == plane.getPlaneNode() && node->getChild(1) == plane.getLinesNode());
}

void tst_LightVisuals::planePlacementWithinToleranceIsNoEdit()
{
    oxSALightPlane plane;
    const Transform3DPtr core = coreOf(plane.getTransformNode());
    plane.setTransform(Vec3f(1, 2, 3), Vec3f(10, 20, 30));
    QVERIFY(core->getTranslation() == Vec3f(1, 2, 3) && core->getEulerRotation() == Vec3f(10, 20, 30));

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
    QTest::addColumn<QVector<float>>("angles"); // the first rings; the count decides how many rings there are

    QTest::newRow("0 rings: the axis alone") << 0u << QVector<float>{};
    QTest::newRow("5 rings from a quarter turn") << 5u << QVector<float>{90, 162, 234, 306, 378};
    QTest::newRow("6 rings from 0") << 6u << QVector<float>{0, 60, 120, 180, 240, 300};
    QTest::newRow("8 rings from half a step") << 8u << QVector<float>{22.5f, 67.5f, 112.5f, 157.5f, 202.5f};
    QTest::newRow("10 rings") << 10u << QVector<float>{0, 36, 72, 108, 144, 180, 216, 252, 288, 324};
    QTest::newRow("largest count, drawn capped") << 4294967295u << QVector<float>{360.f / 8192, 3 * 360.f / 8192};
}

void tst_LightVisuals::sphereRingAngles()
{
    QFETCH(uint, count);
    QFETCH(QVector<float>, angles);

    oxSALightSphere sphere;
    sphere.setLineCount(count, true);
    QCOMPARE(sphere.getLineCount(), count);
    const NodePtr rings = sphere.getRingsNode();
    QCOMPARE(rings->getNChildren(), std::min(count, oxSALightSphere::MaxRings) + 1);
    for (int i = 0; i < angles.size(); ++i)
    {
        const NodePtr turn = rings->getChild(UInt32(i));
        QVERIFY2(coreOf(turn)->getEulerRotation().equals(Vec3f(angles[i], 0, 0), 1e-3f),
                 qPrintable(QString::number(i)));
        QVERIFY(near(geometryOf(turn->getChild(0))->getPositions()->getValue(0).subZero().length(), 10.f));
    }
    const NodePtr axis = rings->getChild(rings->getNChildren() - 1);
    QCOMPARE(coreOf(axis)->getEulerRotation(), Vec3f(0, 0, 90));
    Vec3f lo, hi;
    bounds(pointsBelow(axis), lo, hi);
    QVERIFY2(lo.equals(Vec3f(-10, 0, 0), 1e-5f) && hi.equals(Vec3f(10, 0, 0), 1e-5f), "axis line along X");
    QVERIFY(sphere.getTransformNode()->getChild(0) == rings);
    QVERIFY(sphere.getTransformNode()->getChild(1) == sphere.getSphereNode());
}

// Only the rotation is the light; where the user left the arrow stays. The rotation for each
// direction is in tst_lightframe.
void tst_LightVisuals::handleDirectionTurnsOnlyTheArrow()
{
    oxSALightDirectionHandle handle;
    const Transform3DPtr core = coreOf(handle.getTransformNode());
    core->setTranslation(Vec3f(4, 5, 6));
    handle.setDirection(Vec3f(0.6f, 0.8f, 0));
    handle.setDirection(Vec3f(0, 1, 0));
    QVERIFY(handle.getRotation().equals(Quaternion(0, 0, H, H), 1e-5f));
    QCOMPARE(core->getLastChangedMask(), Transform3D::RotationFieldMask);
    QCOMPARE(core->getTranslation(), Vec3f(4, 5, 6));
}

// Shaft from -0.75 to 0.75, heads pointing outwards with their tips at ±1.45.
void tst_LightVisuals::handleArrowLiesAlongX()
{
    oxSALightDirectionHandle handle;
    const NodePtr arrow = handle.getArrowNode();
    QVERIFY(handle.getTransformNode()->getChild(0) == arrow);
    QCOMPARE(arrow->getNChildren(), 3u);
    const float expected[3][3] = {{-0.75f, 0.75f, 0.08f}, {-1.45f, -0.75f, 0.25f}, {0.75f, 1.45f, 0.25f}};
    for (UInt32 i = 0; i < 3; ++i)
    {
        const std::vector<Pnt3f> points = pointsBelow(arrow->getChild(i));
        Vec3f lo, hi;
        bounds(points, lo, hi);
        const float r = expected[i][2] + 1e-5f;
        QVERIFY(near(lo[0], expected[i][0]) && near(hi[0], expected[i][1]));
        QVERIFY(hi[1] <= r && lo[1] >= -r && hi[2] <= r && lo[2] >= -r);
        for (const Pnt3f& p : points)
            QVERIFY2(std::fabs(p[0]) < 1.4f || std::hypot(p[1], p[2]) < 1e-5f, "the ends are the tips");
    }
}

void tst_LightVisuals::scale_data()
{
    QTest::addColumn<QString>("camera");
    QTest::addColumn<Vec3f>("from");
    QTest::addColumn<float>("referenceLength");
    QTest::addColumn<float>("nearDiagonal");
    QTest::addColumn<Vec3f>("arrowAt");
    QTest::addColumn<float>("sphereScale");
    QTest::addColumn<float>("arrowScale");

    // Field of view 45 throughout. Perspective: min(length × 0.049, |p| × fov / 200) for the sphere,
    // min(length × 0.025, |t - p| × fov / 600) for the arrow; the length is 100 without a widget.
    // Orthographic: the near-plane diagonal / 20 instead of the distance.
    const Vec3f far(0, 0, 100), close(0, 6, 8), origin; // |close| = 10
    QTest::newRow("no widget, capped") << "none" << far << 0.f << 0.f << origin << 4.9f << 2.5f;
    QTest::newRow("no widget, near") << "none" << close << 0.f << 0.f << origin << 2.25f << 0.75f;
    QTest::newRow("arrow moved near the camera")
        << "none" << Vec3f(0, 0, 10) << 0.f << 0.f << Vec3f(0, 0, 5) << 2.25f << 0.375f;
    QTest::newRow("perspective") << "perspective" << close << 100.f << 0.f << origin << 2.25f << 0.75f;
    QTest::newRow("small scene") << "perspective" << far << 20.f << 0.f << origin << 0.98f << 0.5f;
    QTest::newRow("orthographic") << "orthographic" << far << 100.f << 30.f << origin << 1.5f << 1.5f;
    QTest::newRow("orthographic, capped") << "orthographic" << far << 100.f << 200.f << origin << 4.9f << 2.5f;
}

void tst_LightVisuals::scale()
{
    QFETCH(QString, camera);
    QFETCH(Vec3f, from);
    QFETCH(float, referenceLength);
    QFETCH(float, nearDiagonal);
    QFETCH(Vec3f, arrowAt);
    QFETCH(float, sphereScale);
    QFETCH(float, arrowScale);

    if (camera != "none")
    {
        _widget = new oxOSGWidget;
        oxOSGWidget::setMGLW(_widget);
        _widget->getUberCamera()->setOrthographic(camera == "orthographic");
        _widget->getUberCamera()->setReferenceLength(referenceLength);
        _widget->getUberCamera()->setNearPlaneDiagonal(nearDiagonal);
    }
    oxOSGWidget::setCamera(Pnt3f(from), 45.f);

    oxSALightSphere sphere;
    oxSALightDirectionHandle handle;
    coreOf(handle.getTransformNode())->setTranslation(arrowAt);
    sphere.updateScale();
    handle.updateScale();
    const Vec3f s = coreOf(sphere.getTransformNode())->getScale(), a = coreOf(handle.getTransformNode())->getScale();
    QVERIFY2(s.equals(Vec3f(sphereScale, sphereScale, sphereScale), 1e-5f), qPrintable(QString("sphere %1").arg(s[0])));
    QVERIFY2(a.equals(Vec3f(arrowScale, arrowScale, arrowScale), 1e-5f), qPrintable(QString("arrow %1").arg(a[0])));
}

// The camera, the field of view, the projection and its lengths, and for the arrow its own
// position; nothing else rewrites the scale.
void tst_LightVisuals::scaleIsRewrittenOnlyWhenWhatItReadsChanges()
{
    _widget = new oxOSGWidget;
    oxOSGWidget::setMGLW(_widget);
    const osg::UberCameraPtr camera = _widget->getUberCamera();
    camera->setReferenceLength(100.f);
    camera->setNearPlaneDiagonal(1.f);
    oxOSGWidget::setCamera(Pnt3f(0, 0, 50), 45.f);
    oxSALightSphere sphere;
    oxSALightDirectionHandle handle;
    const Transform3DPtr sphereCore = coreOf(sphere.getTransformNode());
    const Transform3DPtr handleCore = coreOf(handle.getTransformNode());
    const UInt64 sphereStart = sphereCore->getChangeCount(), handleStart = handleCore->getChangeCount();

    struct Step
    {
        const char* what;
        std::function<void()> change;
        float sphere, arrow;
        int sphereEdits, arrowEdits; // since the start
    };
    const Step steps[] = {
        {"perspective", [] {}, 4.9f, 2.5f, 1, 1},
        {"unchanged camera", [] {}, 4.9f, 2.5f, 1, 1},
        {"camera moved within 1e-6", [] { oxOSGWidget::setCamera(Pnt3f(5e-7f, 0, 50), 45.f); }, 4.9f, 2.5f, 1, 1},
        {"new field of view", [] { oxOSGWidget::setCamera(Pnt3f(0, 0, 50), 30.f); }, 4.9f, 2.5f, 2, 2},
        {"arrow moved", [&] { handleCore->setTranslation(Vec3f(0, 0, 40)); }, 4.9f, 0.5f, 2, 3},
        {"to orthographic", [&] { camera->setOrthographic(true); }, 0.05f, 0.05f, 3, 4},
        {"near-plane diagonal", [&] { camera->setNearPlaneDiagonal(40.f); }, 2.f, 2.f, 4, 5},
        {"smaller reference length", [&] { camera->setReferenceLength(20.f); }, 0.98f, 0.5f, 5, 6},
        {"larger reference length", [&] { camera->setReferenceLength(100.f); }, 2.f, 2.f, 6, 7},
        {"back to perspective", [&] { camera->setOrthographic(false); }, 4.9f, 0.5f, 7, 8},
    };
    for (const Step& step : steps)
    {
        step.change();
        sphere.updateScale();
        handle.updateScale();
        const float s = sphereCore->getScale()[0], a = handleCore->getScale()[0];
        const int sphereEdits = int(sphereCore->getChangeCount() - sphereStart);
        const int arrowEdits = int(handleCore->getChangeCount() - handleStart);
        QVERIFY2(near(s, step.sphere) && near(a, step.arrow) && sphereEdits == step.sphereEdits &&
                     arrowEdits == step.arrowEdits,
                 qPrintable(QString("%1: sphere %2 (%3 edits), arrow %4 (%5 edits)")
                                .arg(step.what)
                                .arg(s)
                                .arg(sphereEdits)
                                .arg(a)
                                .arg(arrowEdits)));
    }
}

QTEST_MAIN(tst_LightVisuals)
#include "tst_lightvisuals.moc"
