#include "moduletestsupport.h"
#include "oxKernel.h"
#include "oxScenegraph.h"

#include <QMetaMethod>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

class tst_ModuleObject : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void metaObjectListsSignalsThenSlots();
    void oneInstanceRegistersEachCallbackOnce();
    void visualsHangUnderInternalRoot();
    void modePredicates_data();
    void modePredicates();
    void withoutRecordGettersReadZeroAndSettersRecordNothing_data();
    void withoutRecordGettersReadZeroAndSettersRecordNothing();
};

namespace
{
// The meta-type name a getter's value travels under in signals and slots.
template <typename T> QByteArray typeOf(T (oxSurfaceAnalysisModel::*)() const)
{
    return QMetaType::typeName(qMetaTypeId<T>());
}
typedef QPair<QByteArray, QByteArray> Setting; // name, type
template <typename... S> QList<Setting> listOf(S... settings)
{
    return {settings...};
}
#define SETTING(Name) qMakePair(QByteArray(#Name), typeOf(&oxSurfaceAnalysisModel::get##Name))
} // namespace

void tst_ModuleObject::metaObjectListsSignalsThenSlots()
{
    // The declaration order is itself the promise and follows from nothing else, so it stays a list.
    const QList<Setting> settings =
        listOf(SETTING(AnalysisActive), SETTING(SimpleMode), SETTING(LightDirection), SETTING(LightPlaneOrigin),
               SETTING(LightPlaneRotation), SETTING(LightSphereRotation), SETTING(IsoLineCount), SETTING(BaseColor),
               SETTING(GlossyColor), SETTING(StripeColor), SETTING(PhongExponent), SETTING(StripeThickness),
               SETTING(StripeSharpness), SETTING(LightLinesDistance), SETTING(LightLinesLength),
               SETTING(LimitedLightLinesLength), SETTING(ShadingMode), SETTING(ReflectionMode), SETTING(AnalysisMode),
               SETTING(LineMode), SETTING(LightPlaneVisibility), SETTING(LightSphereVisibility),
               SETTING(LightDirectionVisibility), SETTING(UiVisibility), SETTING(PickNormal), SETTING(UseViewVector),
               SETTING(CurvatureMode), SETTING(CurvatureDrawScale), SETTING(CurvatureLegendOverlayVisibility),
               SETTING(UseRadiusLimit), SETTING(RadiusLimit), SETTING(UseBands), SETTING(UseRaytracingDownscale));
#undef SETTING
    // Each xChanged(T) has its xCommand(T) in the same order, with these exceptions: two setup
    // slots come first, the simple mode has no apply slot, and the rotations re-read the record.
    QStringList signalNames, slotNames = {"enableSurfaceMode()", "initServiceConnections()"};
    for (const auto& setting : settings)
    {
        QByteArray name = setting.first;
        name[0] = char(QChar::toLower(uint(name[0])));
        const QByteArray& type = setting.second;
        QVERIFY2(QByteArrayList({"osg::Vec3f", "uint", "float", "bool"}).contains(type), type.constData());
        signalNames << name + "Changed(" + type + ")";
        if (name.endsWith("Rotation"))
            slotNames << name + "Command()";
        else if (name != "simpleMode")
            slotNames << name + "Command(" + type + ")";
    }
    const QStringList expected = signalNames + slotNames;

    // No method beyond the list.
    const QMetaObject& mo = oxSurfaceAnalysisModel::staticMetaObject;
    QCOMPARE(QString(mo.className()), QString("oxSurfaceAnalysisModel"));
    QCOMPARE(mo.methodCount() - mo.methodOffset(), expected.size());
    QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 0);
    QCOMPARE(mo.enumeratorCount() - mo.enumeratorOffset(), 0);
    for (int i = 0; i < expected.size(); ++i)
    {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        const bool isSignal = i < signalNames.size();
        QCOMPARE(QString(m.methodSignature()), expected[i]);
        QCOMPARE(m.methodType(), isSignal ? QMetaMethod::Signal : QMetaMethod::Slot);
        QCOMPARE(m.access(), isSignal ? QMetaMethod::Public : QMetaMethod::Private);
    }
}

void tst_ModuleObject::oneInstanceRegistersEachCallbackOnce()
{
    QCOMPARE(oxSurfaceAnalysisModel::the(), oxSurfaceAnalysisModel::the());
    QCOMPARE(oxKernel::modules().size(), size_t(1));
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

void tst_ModuleObject::withoutRecordGettersReadZeroAndSettersRecordNothing_data()
{
    QTest::addColumn<bool>("raytracer");
    QTest::newRow("record removed") << true;
    QTest::newRow("no raytracer utilities") << false;
}

void tst_ModuleObject::withoutRecordGettersReadZeroAndSettersRecordNothing()
{
    QFETCH(bool, raytracer);
    oxSurfaceAnalysisModel* m = host->model;
    m->setAnalysisActive(true);
    if (raytracer)
        oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    else
        oxRaytracingManager::removeRaytracingUtils();
    QVERIFY(record() == osg::NullFC);
    QCOMPARE(m->getIsoLineCount(), 0u);
    QCOMPARE(m->getStripeThickness(), 0.f);
    QCOMPARE(m->getBaseColor(), osg::Vec3f());
    QCOMPARE(m->getLightPlaneRotation(), osg::Vec3f());
    QVERIFY(!m->getLightPlaneVisibility());
    QVERIFY(!Access::isophotesModeActive());
    // Module-side state reads as it is.
    QVERIFY(m->getAnalysisActive());
    QCOMPARE(m->getLightDirection(), osg::Vec3f(1, 1, 1));
    const int edits = oxUndoStack::get(0).count();
    m->setShadingMode(2);
    QCOMPARE(oxUndoStack::get(0).count(), edits);
    QCOMPARE(m->getShadingMode(), 0u);
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
