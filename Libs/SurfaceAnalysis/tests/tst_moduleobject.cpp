#include "moduletestsupport.h"
#include "oxKernel.h"
#include "oxScenegraph.h"

#include <QMetaMethod>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

class tst_ModuleObject : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { host.reset(new ModuleHost); }
    void init() { host->reset(); }
    void cleanupTestCase() { host.reset(); }

    void metaObjectListsSignalsThenSlots();
    void oneInstance();
    void callbacksRegisteredOnceEach();
    void visualsHangUnderInternalRoot();
    void stateAfterDefaultLoad();
    void modePredicates_data();
    void modePredicates();
    void gettersReadZeroWithoutRecord();
    void noRaytracerMeansNoRecord();

private:
    std::unique_ptr<ModuleHost> host;
};

void tst_ModuleObject::metaObjectListsSignalsThenSlots()
{
    const QStringList signalNames = {"analysisActiveChanged(bool)",
                                     "simpleModeChanged(bool)",
                                     "lightDirectionChanged(osg::Vec3f)",
                                     "lightPlaneOriginChanged(osg::Vec3f)",
                                     "lightPlaneRotationChanged(osg::Vec3f)",
                                     "lightSphereRotationChanged(osg::Vec3f)",
                                     "isoLineCountChanged(uint)",
                                     "baseColorChanged(osg::Vec3f)",
                                     "glossyColorChanged(osg::Vec3f)",
                                     "stripeColorChanged(osg::Vec3f)",
                                     "phongExponentChanged(float)",
                                     "stripeThicknessChanged(float)",
                                     "stripeSharpnessChanged(float)",
                                     "lightLinesDistanceChanged(float)",
                                     "lightLinesLengthChanged(float)",
                                     "limitedLightLinesLengthChanged(bool)",
                                     "shadingModeChanged(uint)",
                                     "reflectionModeChanged(uint)",
                                     "analysisModeChanged(uint)",
                                     "lineModeChanged(uint)",
                                     "lightPlaneVisibilityChanged(bool)",
                                     "lightSphereVisibilityChanged(bool)",
                                     "lightDirectionVisibilityChanged(bool)",
                                     "uiVisibilityChanged(bool)",
                                     "pickNormalChanged(bool)",
                                     "useViewVectorChanged(bool)",
                                     "curvatureModeChanged(uint)",
                                     "curvatureDrawScaleChanged(float)",
                                     "curvatureLegendOverlayVisibilityChanged(bool)",
                                     "useRadiusLimitChanged(bool)",
                                     "radiusLimitChanged(float)",
                                     "useBandsChanged(bool)",
                                     "useRaytracingDownscaleChanged(bool)"};
    const QStringList slotNames = {"enableSurfaceMode()",
                                   "initServiceConnections()",
                                   "analysisActiveCommand(bool)",
                                   "lightDirectionCommand(osg::Vec3f)",
                                   "lightPlaneOriginCommand(osg::Vec3f)",
                                   "lightPlaneRotationCommand()",
                                   "lightSphereRotationCommand()",
                                   "isoLineCountCommand(uint)",
                                   "baseColorCommand(osg::Vec3f)",
                                   "glossyColorCommand(osg::Vec3f)",
                                   "stripeColorCommand(osg::Vec3f)",
                                   "phongExponentCommand(float)",
                                   "stripeThicknessCommand(float)",
                                   "stripeSharpnessCommand(float)",
                                   "lightLinesDistanceCommand(float)",
                                   "lightLinesLengthCommand(float)",
                                   "limitedLightLinesLengthCommand(bool)",
                                   "shadingModeCommand(uint)",
                                   "reflectionModeCommand(uint)",
                                   "analysisModeCommand(uint)",
                                   "lineModeCommand(uint)",
                                   "lightPlaneVisibilityCommand(bool)",
                                   "lightSphereVisibilityCommand(bool)",
                                   "lightDirectionVisibilityCommand(bool)",
                                   "uiVisibilityCommand(bool)",
                                   "pickNormalCommand(bool)",
                                   "useViewVectorCommand(bool)",
                                   "curvatureModeCommand(uint)",
                                   "curvatureDrawScaleCommand(float)",
                                   "curvatureLegendOverlayVisibilityCommand(bool)",
                                   "useRadiusLimitCommand(bool)",
                                   "radiusLimitCommand(float)",
                                   "useBandsCommand(bool)",
                                   "useRaytracingDownscaleCommand(bool)"};
    const QMetaObject& mo = oxSurfaceAnalysisModel::staticMetaObject;
    QCOMPARE(mo.methodCount() - mo.methodOffset(), 67);
    QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);
    QCOMPARE(mo.enumeratorCount() - mo.enumeratorOffset(), 0);
    for (int i = 0; i < 67; ++i)
    {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        const bool isSignal = i < 33;
        QCOMPARE(QString(m.methodSignature()), isSignal ? signalNames[i] : slotNames[i - 33]);
        QCOMPARE(m.methodType(), isSignal ? QMetaMethod::Signal : QMetaMethod::Slot);
        QCOMPARE(m.access(), isSignal ? QMetaMethod::Public : QMetaMethod::Private);
    }
    QCOMPARE(QString(mo.className()), QString("oxSurfaceAnalysisModel"));
}

void tst_ModuleObject::oneInstance()
{
    QCOMPARE(oxSurfaceAnalysisModel::the(), oxSurfaceAnalysisModel::the());
    QCOMPARE(oxKernel::modules().size(), size_t(1));
}

void tst_ModuleObject::callbacksRegisteredOnceEach()
{
    for (const char* name : {"showSurfaceAnalysisModule", "toggleSurfaceAnalysisActivationButton", "toggleSimpleMode",
                             "currentAnimTimeChanged", "evaluatedAnimationObjects", "frameChangedCurveEditor",
                             "frameChangedClipMaker", "changedNavigator", "updateFOV"})
        QVERIFY2(oxController::callbackCount(name) == 1, name);
    // Only the analysis application has the downscale button.
    QCOMPARE(oxController::callbackCount("updateRaytracingDownscaleButton"), 0);
    QCOMPARE(oxController::callbackNames().size(), size_t(9));
}

void tst_ModuleObject::visualsHangUnderInternalRoot()
{
    osg::NodePtr root = oxScenegraph::getInternalRoot();
    QVERIFY(root->findChild(Access::lightPlane().getTransformNode()) >= 0);
    QVERIFY(root->findChild(Access::lightSphere().getTransformNode()) >= 0);
    QVERIFY(root->findChild(Access::lightDirectionHandle().getTransformNode()) >= 0);
    QVERIFY(root->findChild(Access::lightPlane().getTransformNode()) <
            root->findChild(Access::lightSphere().getTransformNode()));
}

void tst_ModuleObject::stateAfterDefaultLoad()
{
    oxSurfaceAnalysisModel* m = host->model;
    QVERIFY(!m->getAnalysisActive());
    QCOMPARE(m->getSimpleMode(), oxController::isSimpleMode());
    QVERIFY(!m->getUiVisibility());
    QVERIFY(!m->getPickNormal());
    QVERIFY(!m->getCurvatureLegendOverlayVisibility());
    QVERIFY(!m->getUseRaytracingDownscale());
    QCOMPARE(m->getLightDirection(), osg::Vec3f(1, 1, 1));
    QVERIFY(record()->getLinearLightDirection().equals(osg::Vec3f(0.57735f, 0.57735f, 0.57735f), 1e-5f));
    QCOMPARE(m->getIsoLineCount(), 16u);
    QCOMPARE(m->getCurvatureMode(), 3u);
    QVERIFY(!Access::lightPlane().isVisible());
    QVERIFY(!Access::lightSphere().isVisible());
    QVERIFY(!Access::lightDirectionHandle().isVisible());
}

void tst_ModuleObject::modePredicates_data()
{
    QTest::addColumn<uint>("analysisMode");
    QTest::addColumn<uint>("reflectionMode");
    QTest::addColumn<bool>("isophotes");
    QTest::addColumn<bool>("parallel");
    QTest::addColumn<bool>("spherical");
    QTest::newRow("isophotes") << 0u << 1u << true << false << false;
    QTest::newRow("reflection lines, parallel") << 1u << 1u << false << true << false;
    QTest::newRow("highlight lines, parallel") << 2u << 1u << false << true << false;
    QTest::newRow("reflection lines, spherical") << 1u << 0u << false << false << true;
    QTest::newRow("curvature ignores reflection") << 3u << 1u << false << false << false;
    QTest::newRow("unknown reflection mode") << 1u << 2u << false << false << false;
    QTest::newRow("unknown analysis mode is a reflection") << 7u << 0u << false << false << true;
}

void tst_ModuleObject::modePredicates()
{
    QFETCH(uint, analysisMode);
    QFETCH(uint, reflectionMode);
    QFETCH(bool, isophotes);
    QFETCH(bool, parallel);
    QFETCH(bool, spherical);
    record()->setAnalysisMode(analysisMode);
    record()->setReflectionMode(reflectionMode);
    QCOMPARE(Access::isophotesModeActive(), isophotes);
    QCOMPARE(Access::parallelLinearLightsModeActive(), parallel);
    QCOMPARE(Access::sphericalLightsModeActive(), spherical);
}

void tst_ModuleObject::gettersReadZeroWithoutRecord()
{
    oxSurfaceAnalysisModel* m = host->model;
    m->setAnalysisActive(true);
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    QCOMPARE(m->getIsoLineCount(), 0u);
    QCOMPARE(m->getStripeThickness(), 0.f);
    QCOMPARE(m->getBaseColor(), osg::Vec3f());
    QCOMPARE(m->getLightPlaneRotation(), osg::Vec3f());
    QVERIFY(!m->getLightPlaneVisibility());
    QVERIFY(!Access::isophotesModeActive());
    // Module-side state reads as it is.
    QVERIFY(m->getAnalysisActive());
    QCOMPARE(m->getLightDirection(), osg::Vec3f(1, 1, 1));
}

void tst_ModuleObject::noRaytracerMeansNoRecord()
{
    oxRaytracingManager::removeRaytracingUtils();
    QVERIFY(record() == osg::NullFC);
    QCOMPARE(host->model->getShadingMode(), 0u);
    const int edits = oxUndoStack::get(0).count();
    host->model->setShadingMode(2);
    QCOMPARE(oxUndoStack::get(0).count(), edits);
}

// Runs after the module object is destroyed: it must leave the scene and the controller clean.
static void checkCleanShutdown()
{
    const bool clean = oxScenegraph::getInternalRoot()->getNChildren() == 0 && oxController::callbackNames().empty();
    if (!clean)
    {
        std::fprintf(stderr, "FAIL: module destruction left nodes or callbacks behind\n");
        _exit(1);
    }
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Touch the host registries first, so they outlive the module and the exit check.
    oxScenegraph::getInternalRoot();
    oxController::callbackNames();
    std::atexit(checkCleanShutdown);
    tst_ModuleObject test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_moduleobject.moc"
