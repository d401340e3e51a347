#include "oxController.h"
#include "oxInternalCameraConnector.h"
#include "oxKernel.h"
#include "oxLog.h"
#include "oxMaterialWidget.h"
#include "oxMessage.h"
#include "oxModuleBase.h"
#include "oxOSGWidget.h"
#include "oxScript.h"

#include "testsupport.h"

#include <QPointer>
#include <QtTest>

#include <functional>
#include <memory>

namespace
{
// What a typed read of a value of the wrong type writes on stderr.
template <class T> QString wrongTypeOutput(const boost::any& stored)
{
    oxMessage msg;
    msg.set("key", stored, true);
    T value{};
    StderrCapture capture;
    return msg.get<T>("key", value) ? QString("read succeeded") : capture.text();
}

class ProbeModule : public oxModuleBase
{
public:
    explicit ProbeModule(uint64_t mask) : oxModuleBase("Probe", "Probe2", mask, nullptr) {}
    bool receivedMessage(oxMessage& msg) override
    {
        received.push_back(msg.id());
        if (onReceive)
            onReceive();
        return true;
    }
    std::vector<uint64_t> received;
    std::function<void()> onReceive;
};

std::vector<std::string> s_calls;
void callbackA(oxMessage& msg)
{
    bool value = false;
    msg.get<bool>("flag", value);
    s_calls.push_back(value ? "A:true" : "A:false");
}
void callbackB(oxMessage&)
{
    s_calls.push_back("B");
}

// Every render value the host's widget keeps, in one comparable line.
QString renderState()
{
    const osg::Pnt3f from = oxOSGWidget::getFrom(-1);
    return QString::asprintf("mode=%d quality=%d downscale=%d factor=%u legend=%d fov=%g from=(%g,%g,%g)",
                             oxOSGWidget::getRenderingMode(-1), oxOSGWidget::getRenderQuality(),
                             oxOSGWidget::getRaytracingDownscale(), oxOSGWidget::getRaytracingDownscaleFactor(),
                             int(oxOSGWidget::getCurvatureLegendOverlayVisible()), double(oxOSGWidget::getFov(-1)),
                             double(from[0]), double(from[1]), double(from[2]));
}
} // namespace

class tst_HostKernel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void typedReadTakesOnlyTheExactType();
    void messageReachesModulesWhoseMaskContainsId_data();
    void messageReachesModulesWhoseMaskContainsId();
    void moduleDestroyedDuringDeliveryIsSkipped();
    void callbacksAreRaisedByExactNameAndFunction();
    void mainWidgetIsRegisteredByHostAndLeavesOnDestruction();
    void newFieldOfViewIsAnnouncedOnceAndResetRestoresDefaults();
    void scriptWithoutInterpreterFailsWithLogLine();
    void materialWidgetIsObservableAndCollectable();
    void renderRequestsReachTheViewsListener();
};

void tst_HostKernel::init()
{
    oxLog::clear();
    s_calls.clear();
}

void tst_HostKernel::typedReadTakesOnlyTheExactType()
{
    oxMessage msg;
    msg.set("key", osg::Vec3f(1.f, 2.f, 3.f), true);
    osg::Vec3f v;
    QVERIFY(msg.get<osg::Vec3f>("key", v) && v == osg::Vec3f(1.f, 2.f, 3.f));
    msg.set("key", 7u, true);
    unsigned int u = 0;
    QVERIFY(msg.get<unsigned int>("key", u) && u == 7u);

    // Missing: silent, destination untouched.
    oxMessage empty;
    bool b = true;
    {
        StderrCapture capture;
        QVERIFY(!empty.get<bool>("key", b));
        QVERIFY(empty.get("key").empty());
        QCOMPARE(capture.text(), QString());
    }
    QCOMPARE(b, true);

    // Wrong type: a line naming both types, then a backtrace of one frame per line, each with its address.
    const struct
    {
        QString output;
        const char* held;
        const char* required;
    } cases[] = {
        {wrongTypeOutput<bool>(7), typeid(int).name(), typeid(bool).name()},
        {wrongTypeOutput<unsigned int>(7), typeid(int).name(), typeid(unsigned int).name()},
        {wrongTypeOutput<float>(0.5), typeid(double).name(), typeid(float).name()},
        {wrongTypeOutput<osg::Vec3f>(0.5f), typeid(float).name(), typeid(osg::Vec3f).name()},
    };
    for (const auto& c : cases)
    {
        const QString line = QString::asprintf(
            "oxMessage::get : Attribute 'key' has wrong type (is:'%s' != req:'%s')!\n", c.held, c.required);
        QVERIFY2(c.output.startsWith(line), qPrintable(c.output));
        QVERIFY2(c.output.mid(line.size()).contains("[0x"), qPrintable(c.output));
    }
}

void tst_HostKernel::messageReachesModulesWhoseMaskContainsId_data()
{
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QString>("receivers");

    // Modules: analyzer 0xA010, newScene 0x10, project 0x2000, deaf 0.
    QTest::newRow("new scene") << quint64(16) << "analyzer newScene";
    QTest::newRow("project") << quint64(8192) << "analyzer project";
    QTest::newRow("32768") << quint64(32768) << "analyzer";
    QTest::newRow("unhandled id") << quint64(4) << "";
    QTest::newRow("two ids, contained") << quint64(0x2010) << "analyzer";
    QTest::newRow("two ids, half contained") << quint64(0x4010) << "";
    QTest::newRow("id 0") << quint64(0) << "";
}

void tst_HostKernel::messageReachesModulesWhoseMaskContainsId()
{
    QFETCH(quint64, id);
    QFETCH(QString, receivers);

    const size_t before = oxKernel::modules().size();
    ProbeModule analyzer(0xA010), newScene(0x10), project(0x2000), deaf(0);
    QCOMPARE(oxKernel::modules().size(), before + 4);

    oxMessage msg(id);
    const int delivered = oxKernel::sendMessage(msg);

    QStringList got;
    const std::pair<ProbeModule*, QString> probes[] = {
        {&analyzer, "analyzer"}, {&newScene, "newScene"}, {&project, "project"}, {&deaf, "deaf"}};
    for (const auto& probe : probes)
        if (!probe.first->received.empty())
        {
            QCOMPARE(probe.first->received, std::vector<uint64_t>{id});
            got << probe.second;
        }
    QCOMPARE(got.join(' '), receivers);
    QCOMPARE(delivered, got.size());
}

void tst_HostKernel::moduleDestroyedDuringDeliveryIsSkipped()
{
    ProbeModule first(0x10);
    auto victim = std::make_unique<ProbeModule>(0x10);
    first.onReceive = [&victim] { victim.reset(); };

    oxMessage msg(16);
    QCOMPARE(oxKernel::sendMessage(msg), 1);
    QCOMPARE(oxModuleBase("Plain", "Plain2", 0x10, nullptr).receivedMessage(msg), false);
}

void tst_HostKernel::callbacksAreRaisedByExactNameAndFunction()
{
    const auto namesBefore = oxController::callbackNames();
    oxController::addCB("cbOne", callbackA);
    oxController::addCB("cbTwo", callbackA);
    oxController::addCB("cbOne", callbackB);

    auto names = oxController::callbackNames();
    names.erase(names.begin(), names.begin() + namesBefore.size());
    QCOMPARE(names, (std::vector<std::string>{"cbOne", "cbTwo", "cbOne"}));

    oxMessage msg;
    msg.set("flag", true, true);
    QCOMPARE(oxController::raiseCB("cbOne", msg), 2);
    QCOMPARE(s_calls, (std::vector<std::string>{"A:true", "B"}));
    QCOMPARE(oxController::raiseCB("nobody", msg), 0);

    // Only the exact pair goes; a pair never added is reported.
    oxController::subCB("cbOne", callbackA);
    QCOMPARE(oxController::callbackCount("cbOne"), 1);
    QCOMPARE(oxController::callbackCount("cbTwo"), 1);
    oxLog::setEcho(false);
    oxController::subCB("cbTwo", callbackB);
    oxLog::setEcho(true);
    QCOMPARE(oxLog::lines(),
             std::vector<std::string>{"oxController::subCB: no callback 'cbTwo' is registered with this function"});

    oxController::subCB("cbTwo", callbackA);
    oxController::subCB("cbOne", callbackB);
    QCOMPARE(oxController::callbackNames(), namesBefore);
}

void tst_HostKernel::mainWidgetIsRegisteredByHostAndLeavesOnDestruction()
{
    QCOMPARE(oxOSGWidget::getMGLW(-1), static_cast<oxOSGWidget*>(nullptr));
    auto widget = std::make_unique<oxOSGWidget>();
    QVERIFY(widget->getUberCamera() != osg::NullFC);
    QCOMPARE(oxOSGWidget::getMGLW(-1), static_cast<oxOSGWidget*>(nullptr));

    oxOSGWidget::setMGLW(widget.get());
    QCOMPARE(oxOSGWidget::getMGLW(-1), widget.get());
    // Another widget dying does not unregister the main one.
    delete new oxOSGWidget;
    QCOMPARE(oxOSGWidget::getMGLW(-1), widget.get());

    widget.reset();
    QCOMPARE(oxOSGWidget::getMGLW(-1), static_cast<oxOSGWidget*>(nullptr));
}

void tst_HostKernel::newFieldOfViewIsAnnouncedOnceAndResetRestoresDefaults()
{
    oxOSGWidget::resetRenderState();
    const QString defaults("mode=0 quality=4 downscale=0 factor=1 legend=0 fov=45 from=(0,0,100)");
    QCOMPARE(renderState(), defaults);
    {
        oxInternalCameraConnector connector;
        oxInternalCameraConnector::setInstance(&connector);
        QSignalSpy spy(&connector, &oxInternalCameraConnector::fovChanged);
        oxOSGWidget::setCamera(osg::Pnt3f(5.f, 0.f, 50.f), 45.f);
        QCOMPARE(spy.count(), 0);
        oxOSGWidget::setCamera(osg::Pnt3f(5.f, 0.f, 50.f), 60.f);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(1).toFloat(), 60.f);
    }
    QCOMPARE(oxInternalCameraConnector::getInstance(), static_cast<oxInternalCameraConnector*>(nullptr));
    // Without a connector the camera still moves.
    oxOSGWidget::setCamera(osg::Pnt3f(1.f, 2.f, 3.f), 30.f);
    oxOSGWidget::setRenderingMode(2, -1);
    oxOSGWidget::setRenderQuality(16);
    oxOSGWidget::enableRaytracingDownscale(1);
    oxOSGWidget::setRaytracingDownscaleFactor(4);
    oxOSGWidget::setCurvatureLegendOverlayVisible(true);
    QCOMPARE(renderState(), QString("mode=2 quality=16 downscale=1 factor=4 legend=1 fov=30 from=(1,2,3)"));
    oxOSGWidget::resetRenderState();
    QCOMPARE(renderState(), defaults);
}

void tst_HostKernel::scriptWithoutInterpreterFailsWithLogLine()
{
    oxLog::setEcho(false);
    QCOMPARE(oxScript::run("import sys"), false);
    oxLog::setEcho(true);
    QCOMPARE(oxLog::lines(), std::vector<std::string>{
                                 "oxScript::run: the Python interpreter is not running, cannot run \"import sys\""});
}

void tst_HostKernel::materialWidgetIsObservableAndCollectable()
{
    const int before = oxMaterialWidget::constructionCount();
    QPointer<oxMaterialWidget> loose =
        new oxMaterialWidget(nullptr, "MaterialEditorRender", Qt::WindowFlags(), false, 128, 128);
    QWidget owner;
    QPointer<oxMaterialWidget> owned = new oxMaterialWidget(&owner, "Owned", Qt::WindowFlags(), true, 64, 32);
    QCOMPARE(oxMaterialWidget::constructionCount(), before + 2);

    QCOMPARE(oxMaterialWidget::deleteUnparented(), 1);
    QVERIFY(loose.isNull());
    QVERIFY(!owned.isNull());
}

// A host with a window draws on every render request; the request still counts.
void tst_HostKernel::renderRequestsReachTheViewsListener()
{
    static std::vector<bool> heard;
    heard.clear();
    oxController::resetCounters();
    oxController::updateRender(false);
    oxController::setRenderListener([](bool force) { heard.push_back(force); });
    oxController::updateRender(true);
    oxController::updateRender(false);
    oxController::setRenderListener(nullptr);
    oxController::updateRender(true);
    QCOMPARE(heard, (std::vector<bool>{true, false}));
    QCOMPARE(oxController::renderRequestCount(), 4);
}

QTEST_MAIN(tst_HostKernel)
#include "tst_hostkernel.moc"
