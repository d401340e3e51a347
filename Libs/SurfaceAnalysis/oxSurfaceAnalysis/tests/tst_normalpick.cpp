#include "moduletestsupport.h"

#include "InteractionEvent.h"
#include "OSGSimpleGeometry.h"
#include "oxScenegraph.h"

#include <QScopeGuard>

#include <functional>

typedef oxSurfaceAnalysisModel M;
typedef std::function<void(M*)> Step;
typedef QList<Step> Scenario;
Q_DECLARE_METATYPE(Scenario)
using osg::Vec3f;
using oxk::interaction::InteractionManager;
using oxk::interaction::PointerAction;
Q_DECLARE_METATYPE(PointerAction)

// A pointer ray into the scene built in initTestCase.
struct Ray
{
    osg::Pnt3f origin;
    Vec3f direction;
};
Q_DECLARE_METATYPE(Ray)

using namespace lighttest;

namespace
{
// The hood, tilted by 45 degrees about X, lies in the plane y + z = 5; its normal is (0, 0.7071, 0.7071).
const Ray AtHood{osg::Pnt3f(1, 10, 15), Vec3f(0, -1, -1)};
const Vec3f HoodPoint(1, 0, 5);
// A ball of radius 5 around (20, 0, 0), hit from above.
const Ray AtBall{osg::Pnt3f(22, 1, 30), Vec3f(0, 0, -1)};
// A wall at x = -20 facing -X.
const Ray AtWall{osg::Pnt3f(-10, 1, 2), Vec3f(-1, 0, 0)};
// A floor at y = 40 facing +Z.
const Ray AtFloor{osg::Pnt3f(2, 41, 10), Vec3f(0, 0, -1)};
const Ray Nowhere{osg::Pnt3f(0, 100, 0), Vec3f(0, 1, 0)};

osg::NodePtr placed(const osg::NodePtr& child, const Vec3f& translation, const Vec3f& euler)
{
    osg::Transform3DPtr transform = osg::Transform3D::create();
    transform->setTranslation(translation);
    transform->setRotationAsEuler(euler);
    osg::NodePtr node = osg::Node::create();
    osg::beginEditCP(node, osg::Node::CoreFieldMask | osg::Node::ChildrenFieldMask);
    node->setCore(transform);
    node->addChild(child);
    osg::endEditCP(node, osg::Node::CoreFieldMask | osg::Node::ChildrenFieldMask);
    return node;
}

osg::NodePtr named(const osg::NodePtr& node, const char* name)
{
    node->setName(name);
    return node;
}

void point(const Ray& ray, PointerAction action = PointerAction::Move)
{
    InteractionManager::getInstance()->pointerRay(ray.origin, ray.direction, action);
}

bool click()
{
    return InteractionManager::getInstance()->trigger("trigger");
}

int registrations()
{
    const auto contexts = InteractionManager::getInstance()->getContexts();
    return int(std::count(contexts.begin(), contexts.end(), &Access::normalPickContext()));
}

QString description()
{
    return QString::fromStdString(Access::normalPickTool().getDescription());
}

// Everything a click may aim.
QList<Vec3f> lights()
{
    return {M::the()->getLightDirection(),           record()->getLinearLightDirection(),
            record()->getLightPlaneOrigin(),         record()->getLightPlaneEulerRotation(),
            record()->getLightPlaneAxisU(),          record()->getLightPlaneAxisV(),
            record()->getLightSphereEulerRotation(), record()->getLightSphereAxis(),
            record()->getLightSphereAxisUTangent()};
}
} // namespace

class tst_NormalPick : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void switchingOnArmsThePickOnce();
    void everyPointerEventPicks_data();
    void everyPointerEventPicks();
    void aMissKeepsTheLastHit();
    void clickAimsTheLightOfTheMode_data();
    void clickAimsTheLightOfTheMode();
    void arrowMovesToThePickWhenItsContextIsAllowed_data();
    void arrowMovesToThePickWhenItsContextIsAllowed();
    void clicksThatChangeNothing_data();
    void clicksThatChangeNothing();
    void pickIsLiveExactlyWhileSwitchedOnAndAnalysing_data();
    void pickIsLiveExactlyWhileSwitchedOnAndAnalysing();

private:
    void arm(unsigned int analysisMode = Isophotes, unsigned int reflectionMode = Spherical)
    {
        // Any mode but curvature switches the pick off, so the mode comes first.
        enterMode(analysisMode, reflectionMode);
        host->model->setPickNormal(true);
    }

    osg::NodePtr hood;
    std::vector<osg::NodePtr> scene;
};

void tst_NormalPick::initTestCase()
{
    ModuleTest::initTestCase();
    hood = named(osg::makePlane(10, 10, 1, 1), "Hood");
    scene = {placed(hood, Vec3f(0, 0, 5), Vec3f(-45, 0, 0)),
             placed(named(osg::makeSphere(2, 5), "Ball"), Vec3f(20, 0, 0), Vec3f()),
             placed(named(osg::makePlane(10, 10, 1, 1, osg::PlaneNormalX), "Wall"), Vec3f(-20, 0, 0), Vec3f(0, 0, 180)),
             placed(named(osg::makePlane(10, 10, 1, 1), "Floor"), Vec3f(0, 40, 0), Vec3f())};
    osg::NodePtr root = oxScenegraph::getRoot();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    for (const osg::NodePtr& node : scene)
        root->addChild(node);
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
}

void tst_NormalPick::cleanupTestCase()
{
    osg::NodePtr root = oxScenegraph::getRoot();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    for (const osg::NodePtr& node : scene)
        root->subChild(node);
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    scene.clear();
    hood = osg::NullFC;
    ModuleTest::cleanupTestCase();
}

void tst_NormalPick::switchingOnArmsThePickOnce()
{
    M* m = host->model;
    QSignalSpy spy(m, SIGNAL(pickNormalChanged(bool)));
    // While the analysis is off the switch is set, but nothing is armed or signalled.
    m->setPickNormal(true);
    QVERIFY(m->getPickNormal());
    QCOMPARE(registrations(), 0);
    QCOMPARE(spy.count(), 0);

    m->setAnalysisActive(true);
    QCOMPARE(registrations(), 1);
    QCOMPARE(description(), QString("Pick a surface normal."));
    QCOMPARE(host->widget->cursor().shape(), Qt::CrossCursor);
    m->setPickNormal(true);
    QCOMPARE(registrations(), 1);

    m->setPickNormal(false);
    QCOMPARE(registrations(), 0);
    QCOMPARE(description(), QString());
    QCOMPARE(host->widget->cursor().shape(), Qt::ArrowCursor);
    m->setPickNormal(false);
    // Every call signals its value, but arms or disarms only once.
    QList<bool> values;
    for (const QList<QVariant>& call : spy)
        values << call.at(0).toBool();
    QCOMPARE(values, (QList<bool>{true, true, false, false}));

    // Without a render widget there is no cursor to set; the pick is armed all the same.
    oxOSGWidget::setMGLW(nullptr);
    m->setPickNormal(true);
    QCOMPARE(registrations(), 1);
}

void tst_NormalPick::everyPointerEventPicks_data()
{
    QTest::addColumn<PointerAction>("action");
    QTest::newRow("move") << PointerAction::Move;
    QTest::newRow("press") << PointerAction::Press;
    QTest::newRow("release") << PointerAction::Release;
}

void tst_NormalPick::everyPointerEventPicks()
{
    QFETCH(PointerAction, action);
    arm();
    point(AtHood, action);
    QCOMPARE(description(), QString("Normal on [Hood] 0.00, 0.71, 0.71"));
    QVERIFY(Access::normalPickTool().getPickedNode() == hood);
    VERIFY_NEAR(Access::normalPickTool().getPickedPoint(), HoodPoint);
    VERIFY_NEAR(Access::normalPickTool().getPickedNormal(), normalised(Vec3f(0, 1, 1)));
}

void tst_NormalPick::aMissKeepsTheLastHit()
{
    arm();
    point(AtBall);
    QVERIFY(description().startsWith("Normal on [Ball] "));
    const QString shown = description();
    const Vec3f normal = Access::normalPickTool().getPickedNormal();

    point(Nowhere);
    QCOMPARE(description(), shown);
    QCOMPARE(Access::normalPickTool().getPickedNormal(), normal);
    QVERIFY(click());
    QCOMPARE(host->model->getLightDirection(), normal);

    // The hit also outlives switching the pick off and on.
    host->model->setPickNormal(false);
    host->model->setPickNormal(true);
    QCOMPARE(description(), QString("Pick a surface normal."));
    QCOMPARE(Access::normalPickTool().getPickedNormal(), normal);
}

void tst_NormalPick::clickAimsTheLightOfTheMode_data()
{
    QTest::addColumn<unsigned int>("analysisMode");
    QTest::addColumn<unsigned int>("reflectionMode");
    QTest::addColumn<Ray>("ray");
    QTest::addColumn<QString>("step"); // the undo text; empty when no light changes

    QTest::newRow("isophotes: direction") << Isophotes << Spherical << AtHood << "LightDirection";
    QTest::newRow("isophotes on the ball") << Isophotes << Parallel << AtBall << "LightDirection";
    QTest::newRow("parallel: plane normal and origin") << Reflection << Parallel << AtHood << "normalPickTrigger";
    QTest::newRow("parallel on a floor: no turn") << 2u << Parallel << AtFloor << "normalPickTrigger";
    QTest::newRow("spherical: sphere axis") << Reflection << Spherical << AtBall << "LightSphereRotation";
    QTest::newRow("spherical, opposite normal: no turn") << Reflection << Spherical << AtWall << "LightSphereRotation";
    QTest::newRow("curvature: nothing") << Curvature << Spherical << AtHood << "";
    QTest::newRow("unknown reflection mode: nothing") << Reflection << 2u << AtHood << "";
}

void tst_NormalPick::clickAimsTheLightOfTheMode()
{
    QFETCH(unsigned int, analysisMode);
    QFETCH(unsigned int, reflectionMode);
    QFETCH(Ray, ray);
    QFETCH(QString, step);
    // Start away from every expected value.
    host->model->setLightPlaneRotation(Vec3f(10, 20, 30));
    host->model->setLightPlaneOrigin(Vec3f(-7, -7, -7));
    arm(analysisMode, reflectionMode);
    QCOMPARE(registrations(), 1);
    point(ray);
    const Vec3f n = Access::normalPickTool().getPickedNormal();
    const Vec3f p = Access::normalPickTool().getPickedPoint();
    const QString shown = description();
    QVERIFY(shown.startsWith("Normal on ["));
    const QList<Vec3f> before = lights();
    const int count = oxUndoStack::get(0).count();

    QVERIFY(click());
    QCOMPARE(description(), shown);
    QVERIFY(framesAgreeWithTheirAngles());
    if (step.isEmpty())
    {
        QCOMPARE(oxUndoStack::get(0).count(), count);
        QCOMPARE(lights(), before);
        return;
    }
    QCOMPARE(oxUndoStack::get(0).count(), count + 1);
    QCOMPARE(oxUndoStack::get(0).text(count), step);
    if (step == "LightDirection")
    {
        QCOMPARE(host->model->getLightDirection(), n);
        VERIFY_NEAR(record()->getLinearLightDirection(), normalised(n));
    }
    else if (step == "normalPickTrigger")
    {
        QCOMPARE(record()->getLightPlaneOrigin(), p);
        VERIFY_NEAR(record()->getLightPlaneAxisU().cross(record()->getLightPlaneAxisV()), n);
        if (n == Vec3f(0, 0, 1))
            QCOMPARE(record()->getLightPlaneEulerRotation(), Vec3f());
    }
    else
    {
        if (ray.direction == AtWall.direction)
            QCOMPARE(record()->getLightSphereEulerRotation(), Vec3f());
        else
            VERIFY_NEAR(record()->getLightSphereAxis(), n);
    }

    // One step takes every change back.
    oxUndoStack::get(0).undo();
    QCOMPARE(lights(), before);
}

void tst_NormalPick::arrowMovesToThePickWhenItsContextIsAllowed_data()
{
    QTest::addColumn<bool>("arrowShown");
    QTest::newRow("arrow shown") << true;
    QTest::newRow("arrow hidden") << false;
}

void tst_NormalPick::arrowMovesToThePickWhenItsContextIsAllowed()
{
    QFETCH(bool, arrowShown);
    host->model->setLightDirectionVisibility(arrowShown);
    arm();
    osg::Transform3DPtr arrow = transformCore(Access::lightDirectionHandle().getTransformNode());
    const auto home = qScopeGuard([arrow] { arrow->setTranslation(Vec3f()); });
    const Vec3f before = arrow->getTranslation();
    QVERIFY(before != HoodPoint);
    point(AtHood);
    QVERIFY(click());
    QCOMPARE(arrow->getTranslation(), arrowShown ? Access::normalPickTool().getPickedPoint() : before);
    QCOMPARE(Access::lightDirectionHandle().isVisible(), arrowShown);

    // The position is a viewing aid: undo does not move the arrow back.
    oxUndoStack::get(0).undo();
    QCOMPARE(arrow->getTranslation(), arrowShown ? Access::normalPickTool().getPickedPoint() : before);
}

void tst_NormalPick::clicksThatChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("detached"); // the picked node has left the scene since
    QTest::newRow("capital") << "Trigger" << false;
    QTest::newRow("longer") << "trigger2" << false;
    QTest::newRow("shorter") << "trigge" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("detached node") << "trigger" << true;
}

void tst_NormalPick::clicksThatChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(bool, detached);
    arm();
    point(AtHood);
    osg::NodePtr parent = hood->getParent();
    auto attach = [parent, this](bool attached)
    {
        osg::beginEditCP(parent, osg::Node::ChildrenFieldMask);
        attached ? parent->addChild(hood) : parent->subChild(hood);
        osg::endEditCP(parent, osg::Node::ChildrenFieldMask);
    };
    if (detached)
        attach(false);
    const auto reattach = qScopeGuard([&] { detached ? attach(true) : void(); });
    const QList<Vec3f> before = lights();
    const int count = oxUndoStack::get(0).count();

    // Only "trigger" is taken, and then it changes nothing.
    const oxk::interaction::InteractionEvent event(name.toStdString());
    QCOMPARE(Access::normalPickContext().triggerEvent(InteractionManager::getInstance(), event), detached);
    QCOMPARE(InteractionManager::getInstance()->trigger(name.toStdString()), detached);
    QCOMPARE(oxUndoStack::get(0).count(), count);
    QCOMPARE(lights(), before);
}

void tst_NormalPick::pickIsLiveExactlyWhileSwitchedOnAndAnalysing_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<bool>("live");
    const Step analysisOn = [](M* m) { m->setAnalysisActive(true); };
    const Step analysisOff = [](M* m) { m->setAnalysisActive(false); };
    const Step pickOn = [](M* m) { m->setPickNormal(true); };
    const Step pickOff = [](M* m) { m->setPickNormal(false); };
    const Step undo = [](M*) { oxUndoStack::get(0).undo(); };
    const Step interfaceOn = [](M* m) { m->setUiVisibility(true); };
    const Step interfaceOff = [](M* m) { m->setUiVisibility(false); };
    const Step curvature = [](M* m) { m->setAnalysisMode(Curvature); };
    const Step load = [](M*) { Access::load(*std::make_unique<oxMessage>()); };
    const Step newScene = [](M*) { Access::receivedMessage(*std::make_unique<oxMessage>(16)); };

    QTest::newRow("on") << Scenario{analysisOn, pickOn} << true;
    QTest::newRow("analysis switched off") << Scenario{analysisOn, pickOn, analysisOff} << false;
    QTest::newRow("analysis switched on again") << Scenario{analysisOn, pickOn, analysisOff, analysisOn} << false;
    QTest::newRow("switching on undone") << Scenario{analysisOn, pickOn, undo} << false;
    QTest::newRow("pick switched on while off, then analysis on") << Scenario{pickOn, analysisOn} << true;
    QTest::newRow("analysis on undone") << Scenario{pickOn, analysisOn, undo} << false;
    QTest::newRow("analysis on undone and redone")
        << Scenario{pickOn, analysisOn, undo, [](M*) { oxUndoStack::get(0).redo(); }} << false;
    QTest::newRow("pick off undone") << Scenario{analysisOn, pickOn, pickOff, undo} << true;
    QTest::newRow("project load") << Scenario{analysisOn, pickOn, load} << false;
    QTest::newRow("new scene") << Scenario{analysisOn, pickOn, newScene} << false;
    QTest::newRow("interface hidden") << Scenario{interfaceOn, analysisOn, pickOn, interfaceOff} << false;
    QTest::newRow("interface shown with a pick pending") << Scenario{pickOn, interfaceOn} << true;
    QTest::newRow("mode other than curvature")
        << Scenario{curvature, analysisOn, pickOn, [](M* m) { m->setAnalysisMode(Reflection); }} << false;
    QTest::newRow("curvature keeps it") << Scenario{analysisOn, curvature, pickOn, curvature} << true;
}

void tst_NormalPick::pickIsLiveExactlyWhileSwitchedOnAndAnalysing()
{
    QFETCH(Scenario, scenario);
    QFETCH(bool, live);
    for (int i = 0; i < scenario.size(); ++i)
    {
        scenario[i](host->model);
        const bool wanted = host->model->getPickNormal() && host->model->getAnalysisActive();
        QVERIFY2(registrations() == int(wanted), qPrintable(QString("after step %1").arg(i + 1)));
    }
    QCOMPARE(registrations(), int(live));
    if (!live)
        return;
    // Live means it also works: a click aims the light.
    QCOMPARE(description(), QString("Pick a surface normal."));
    point(AtHood);
    QVERIFY(click());
}

QTEST_MAIN(tst_NormalPick)
#include "tst_normalpick.moc"
