#include "moduletestsupport.h"

#include "OSGTransform3D.h"
#include "oxBaseService.h"
#include "oxFileIO.h"
#include "oxInternalCameraConnector.h"
#include "oxKernelServiceFactory.h"
#include "oxSurfaceAnalysisSettings.h"

#include <functional>
#include <iterator>
#include <map>
#include <thread>

typedef oxSurfaceAnalysisModel M;

namespace
{
// Raytracer utilities whose record lookup fails with an exception while armed.
class ThrowingUtils : public oxRaytracingUtilsBase
{
public:
    osg::SurfaceAnalysisAttachmentPtr getSurfaceAnalysisAttachment() override
    {
        if (armed)
            throw 42;
        return oxRaytracingUtilsBase::getSurfaceAnalysisAttachment();
    }
    bool armed = false;
};

// One host request that may move a module switch.
struct SwitchCallback
{
    const char* key;
    const char* undoText;
    std::function<void(M*, bool)> set;
    std::function<bool(M*)> get;
};

const std::map<QString, SwitchCallback>& switchCallbackTable()
{
    static const std::map<QString, SwitchCallback> table = {
        {"showSurfaceAnalysisModule",
         {"visible", "UiVisibility", [](M* m, bool v) { m->setUiVisibility(v); },
          [](M* m) { return m->getUiVisibility(); }}},
        {"toggleSurfaceAnalysisActivationButton",
         {"active", "AnalysisActive", [](M* m, bool v) { m->setAnalysisActive(v); },
          [](M* m) { return m->getAnalysisActive(); }}},
        {"toggleSimpleMode",
         {"simpleMode", "SimpleMode", [](M* m, bool v) { m->setSimpleMode(v); },
          [](M* m) { return m->getSimpleMode(); }}},
    };
    return table;
}

QString wrongTypeLine(const char* prefix, const char* key, const std::type_info& held, const std::type_info& required)
{
    return QString("%1 : Attribute '%2' has wrong type (is:'%3' != req:'%4')!")
        .arg(prefix, key, held.name(), required.name());
}

osg::Vec3f scaleOf(const osg::NodePtr& node)
{
    return osg::Transform3DPtr::dcast(node->getCore())->getScale();
}

// Everything a message could touch, in one comparable text.
QString snapshot(M* m)
{
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    return QString("active %1 ui %2 pick %3 legend %4 downscale %5 simple %6 isolines %7 mode %8 quality %9 "
                   "project %10 raytracing %11 renders %12 edits %13")
        .arg(m->getAnalysisActive())
        .arg(m->getUiVisibility())
        .arg(m->getPickNormal())
        .arg(m->getCurvatureLegendOverlayVisibility())
        .arg(m->getUseRaytracingDownscale())
        .arg(m->getSimpleMode())
        .arg(m->getIsoLineCount())
        .arg(oxOSGWidget::getRenderingMode(-1))
        .arg(oxOSGWidget::getRenderQuality())
        .arg(oxFileIO::getProject().size())
        .arg(utils ? utils->analysisRaytracingCalls() : -1)
        .arg(oxController::renderRequestCount())
        .arg(oxUndoStack::get(0).count());
}
} // namespace

class tst_Messages : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void newSceneResetsEverything();
    void projectLoadAppliesTheProjectAndRebuilds();
    void projectSaveWritesTheSection();
    void messagesWithoutAnEffectChangeNothing_data();
    void messagesWithoutAnEffectChangeNothing();
    void switchCallbacks_data();
    void switchCallbacks();
    void cameraCallbacks_data();
    void cameraCallbacks();
    void fovChangeReachesTheModuleDirectlyOnceServicesInit();
    void exceptionInsideHandlingIsLogged();

private:
    oxBaseService* service = nullptr;
    oxInternalCameraConnector* connector = nullptr;
    int cameraStep = 0;
};

void tst_Messages::initTestCase()
{
    // The host's services exist before the module: construction connects to init().
    service = new oxBaseService;
    oxKernelServiceFactory::the().registerService<oxBaseService>(service);
    connector = new oxInternalCameraConnector;
    oxInternalCameraConnector::setInstance(connector);
    ModuleTest::initTestCase();
}

void tst_Messages::init()
{
    oxController::setSimpleMode(false);
    ModuleTest::init();
    oxFileIO::getProject().clear();
    oxRaytracingManager::getRaytracingUtils()->resetAnalysisRaytracingCalls();
}

void tst_Messages::cleanupTestCase()
{
    ModuleTest::cleanupTestCase();
    delete connector;
    delete service;
}

void tst_Messages::newSceneResetsEverything()
{
    M* m = host->model;
    beginEditCP(record(), osg::AllFieldsMask);
    record()->setAnalysisMode(1);
    record()->setReflectionMode(1);
    record()->setIsolines(5);
    endEditCP(record(), osg::AllFieldsMask);
    m->setUiVisibility(true);
    m->setAnalysisActive(true);
    m->setPickNormal(true);
    Access::lightSphere().setVisible(true);
    Access::lightDirectionHandle().setVisible(true);
    QVERIFY(Access::lightPlane().isVisible());
    const int edits = oxUndoStack::get(0).count();

    oxMessage msg(16);
    QCOMPARE(Access::receivedMessage(msg), false);

    // An empty load resets the switches; outside the analysis application the analysis stays off.
    QCOMPARE(m->getIsoLineCount(), 16u);
    QVERIFY(!m->getAnalysisActive());
    QVERIFY(!Access::lightPlane().isVisible());
    QVERIFY(!Access::lightSphere().isVisible());
    QVERIFY(!Access::lightDirectionHandle().isVisible());
    QVERIFY(!contextAdded(&Access::lightPlaneContext()));
    QVERIFY(!contextAdded(&Access::normalPickContext()));
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 0);
    QCOMPARE(oxRaytracingManager::getRaytracingUtils()->analysisRaytracingCalls(), 0);
    QCOMPARE(oxUndoStack::get(0).count(), edits);
}

void tst_Messages::projectLoadAppliesTheProjectAndRebuilds()
{
    M* m = host->model;
    m->setAnalysisActive(true);
    const int edits = oxUndoStack::get(0).count();
    oxMessage& project = oxFileIO::getProject();
    project.set("_loading", boost::any(true), true);
    project.set("Number of Isolines", boost::any(9u), true);
    project.set("Analysis Mode", boost::any(1u), true);
    project.set("Reflection mode", boost::any(1u), true);
    int rebuilds = host->widget->shaderRebuildCount();

    StderrCapture err;
    oxMessage msg(8192);
    QCOMPARE(Access::receivedMessage(msg), false);
    QCOMPARE(err.text(), QString());
    const int messageRebuilds = host->widget->shaderRebuildCount() - rebuilds;

    QCOMPARE(m->getIsoLineCount(), 9u);
    QCOMPARE(m->getAnalysisMode(), 1u);
    QVERIFY(!m->getAnalysisActive());
    QVERIFY(!contextAdded(&Access::lightPlaneContext()));
    QVERIFY(!Access::lightPlane().isVisible());
    QCOMPARE(oxUndoStack::get(0).count(), edits);
    QCOMPARE(project.size(), size_t(4));

    // The message adds one full rebuild to what the load itself does.
    rebuilds = host->widget->shaderRebuildCount();
    Access::load(project);
    QCOMPARE(messageRebuilds, host->widget->shaderRebuildCount() - rebuilds + 1);
}

void tst_Messages::projectSaveWritesTheSection()
{
    M* m = host->model;
    m->setAnalysisActive(true);
    record()->setIsolines(7);
    oxMessage& project = oxFileIO::getProject();
    project.set("_loading", boost::any(false), true);
    QSignalSpy active(m, SIGNAL(analysisActiveChanged(bool)));
    const int rebuilds = host->widget->shaderRebuildCount();

    oxMessage msg(8192);
    QCOMPARE(Access::receivedMessage(msg), false);

    QCOMPARE(project.size(), std::size(oxSurfaceAnalysisProjectKeys) + 1); // and "_loading"
    QCOMPARE(project.values().front().first, std::string("_loading"));
    QCOMPARE(boost::any_cast<unsigned int>(project.get("Number of Isolines")), 7u);
    QVERIFY(m->getAnalysisActive());
    QCOMPARE(active.count(), 0);
    QCOMPARE(host->widget->shaderRebuildCount(), rebuilds);
    // The message handed to the module is not the project.
    QCOMPARE(msg.size(), size_t(0));
}

void tst_Messages::messagesWithoutAnEffectChangeNothing_data()
{
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QString>("loading"); // how the project holds "_loading"
    QTest::newRow("project without _loading") << quint64(8192) << "missing";
    QTest::newRow("project with _Loading") << quint64(8192) << "case";
    QTest::newRow("project with an unsigned _loading") << quint64(8192) << "unsigned";
    QTest::newRow("32768 outside the analysis application") << quint64(32768) << "true";
    for (quint64 id : {quint64(0), quint64(1), quint64(32), quint64(16384), quint64(0xA010)})
        QTest::newRow(qPrintable(QString("id %1").arg(id))) << id << "true";
}

void tst_Messages::messagesWithoutAnEffectChangeNothing()
{
    QFETCH(quint64, id);
    QFETCH(QString, loading);
    M* m = host->model;
    m->setAnalysisActive(true);
    record()->setIsolines(5);
    oxMessage& project = oxFileIO::getProject();
    project.set("Number of Isolines", boost::any(9u), true);
    if (loading == "true")
        project.set("_loading", boost::any(true), true);
    else if (loading == "case")
        project.set("_Loading", boost::any(true), true);
    else if (loading == "unsigned")
        project.set("_loading", boost::any(1u), true);
    const QString before = snapshot(m);
    QSignalSpy active(m, SIGNAL(analysisActiveChanged(bool)));

    StderrCapture err;
    oxMessage msg(id);
    QCOMPARE(Access::receivedMessage(msg), false);
    const QString printed = err.text();

    QCOMPARE(snapshot(m), before);
    QCOMPARE(active.count(), 0);
    QVERIFY(!oxRaytracingManager::getRaytracingUtils()->getAnalysisRaytracing());
    if (loading != "unsigned")
    {
        QCOMPARE(printed, QString());
        return;
    }
    // The line comes first, then the host's backtrace.
    const QString line = wrongTypeLine("getFromMessage", "_loading", typeid(unsigned int), typeid(bool));
    QVERIFY2(printed.startsWith(line + "\n"), qPrintable(printed));
    QCOMPARE(printed.count("has wrong type"), 1);
}

void tst_Messages::switchCallbacks_data()
{
    QTest::addColumn<QString>("callback");
    QTest::addColumn<bool>("initial");
    QTest::addColumn<QString>("value"); // "equal", "different", "missing", "case", "int"
    QTest::addColumn<QString>("errorPrefix");
    for (const auto& entry : switchCallbackTable())
    {
        const QString& name = entry.first;
        const char* prefix = name == "toggleSimpleMode" ? "oxMessage::get" : "getFromMessage";
        const QByteArray n = name.toUtf8();
        QTest::newRow(n + ": equal, off") << name << false << "equal" << prefix;
        QTest::newRow(n + ": equal, on") << name << true << "equal" << prefix;
        QTest::newRow(n + ": different, off") << name << false << "different" << prefix;
        QTest::newRow(n + ": different, on") << name << true << "different" << prefix;
        QTest::newRow(n + ": missing") << name << false << "missing" << prefix;
        QTest::newRow(n + ": key in another case") << name << false << "case" << prefix;
        QTest::newRow(n + ": wrong type") << name << false << "int" << prefix;
    }
}

void tst_Messages::switchCallbacks()
{
    QFETCH(QString, callback);
    QFETCH(bool, initial);
    QFETCH(QString, value);
    QFETCH(QString, errorPrefix);
    const SwitchCallback& cb = switchCallbackTable().at(callback);
    M* m = host->model;
    cb.set(m, initial);
    oxUndoStack::get(0).clear();

    oxMessage msg;
    QString otherCase = cb.key;
    otherCase[0] = otherCase[0].toUpper();
    if (value == "equal")
        msg.set(cb.key, boost::any(initial), true);
    else if (value == "different")
        msg.set(cb.key, boost::any(!initial), true);
    else if (value == "case")
        msg.set(otherCase.toStdString(), boost::any(!initial), true);
    else if (value == "int")
        msg.set(cb.key, boost::any(int(!initial)), true);

    StderrCapture err;
    QCOMPARE(oxController::raiseCB(callback.toUtf8().constData(), msg), 1);
    const QString printed = err.text();

    const bool changes = value == "different";
    QCOMPARE(cb.get(m), changes ? !initial : initial);
    QCOMPARE(oxUndoStack::get(0).count(), changes ? 1 : 0);
    if (changes)
        QCOMPARE(oxUndoStack::get(0).text(0), QString(cb.undoText));
    if (value == "int")
    {
        const QString line = wrongTypeLine(errorPrefix.toUtf8().constData(), cb.key, typeid(int), typeid(bool));
        QVERIFY2(printed.startsWith(line + "\n"), qPrintable(printed));
        QCOMPARE(printed.count("has wrong type"), 1);
    }
    else
    {
        QCOMPARE(printed, QString());
    }
}

void tst_Messages::cameraCallbacks_data()
{
    QTest::addColumn<QString>("callback");
    for (const char* name : {"currentAnimTimeChanged", "evaluatedAnimationObjects", "frameChangedCurveEditor",
                             "frameChangedClipMaker", "changedNavigator", "updateFOV"})
        QTest::newRow(name) << QString(name);
}

void tst_Messages::cameraCallbacks()
{
    QFETCH(QString, callback);
    // Close enough that the screen-sized visuals are not at their size cap.
    oxOSGWidget::setCamera(osg::Pnt3f(0.f, 0.f, 3.f + ++cameraStep), oxOSGWidget::getFov(-1));
    const int plane = Access::lightPlaneManipulator().updateCount();
    const int direction = Access::lightDirectionManipulator().updateCount();
    const int sphere = Access::lightSphereManipulator().updateCount();
    const osg::Vec3f sphereScale = scaleOf(Access::lightSphere().getTransformNode());
    const osg::Vec3f handleScale = scaleOf(Access::lightDirectionHandle().getTransformNode());

    oxMessage msg;
    QCOMPARE(oxController::raiseCB(callback.toUtf8().constData(), msg), 1);

    QCOMPARE(Access::lightPlaneManipulator().updateCount(), plane + 1);
    QCOMPARE(Access::lightDirectionManipulator().updateCount(), direction + 1);
    QCOMPARE(Access::lightSphereManipulator().updateCount(), sphere + 1);
    QVERIFY(!Access::lightPlaneManipulator().lastUpdateForced());
    QVERIFY(!Access::lightDirectionManipulator().lastUpdateForced());
    QVERIFY(!Access::lightSphereManipulator().lastUpdateForced());
    QVERIFY(scaleOf(Access::lightSphere().getTransformNode()) != sphereScale);
    QVERIFY(scaleOf(Access::lightDirectionHandle().getTransformNode()) != handleScale);
}

void tst_Messages::fovChangeReachesTheModuleDirectlyOnceServicesInit()
{
    // It takes the camera callbacks' way, which updates the three manipulators alike.
    const auto updates = [] { return Access::lightPlaneManipulator().updateCount(); };
    const int before = updates();
    Q_EMIT connector->fovChanged(0u, 30.f);
    QCOMPARE(updates(), before);

    Q_EMIT service->init();
    // Emitted from another thread: only a direct connection has run by the time it is joined.
    std::thread emitter([this] { Q_EMIT connector->fovChanged(0u, 35.f); });
    emitter.join();
    QCOMPARE(updates(), before + 1);

    // The host's own camera change takes the same way.
    oxOSGWidget::setCamera(oxOSGWidget::getFrom(-1), 50.f);
    QCOMPARE(updates(), before + 2);
    QVERIFY(!Access::lightPlaneManipulator().lastUpdateForced());
}

void tst_Messages::exceptionInsideHandlingIsLogged()
{
    auto* utils = new ThrowingUtils;
    oxRaytracingManager::setRaytracingUtils(utils);
    utils->armed = true;
    oxLog::clear();

    oxMessage msg(16);
    const bool result = Access::receivedMessage(msg);
    utils->armed = false;
    oxRaytracingManager::createRaytracingUtils();

    QCOMPARE(result, false);
    const std::vector<std::string> expected = {
        "oxSurfaceAnalysisModel::python_receivedMessage : An unknown exception occurred!"};
    QCOMPARE(oxLog::lines(), expected);
}

QTEST_MAIN(tst_Messages)
#include "tst_messages.moc"
