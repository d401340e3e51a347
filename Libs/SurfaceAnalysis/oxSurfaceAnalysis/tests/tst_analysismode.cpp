// The host's analysis application mode is fixed per process, so it has an executable of its own.

#include "moduletestsupport.h"

#include "oxMaterialWidget.h"
#include "oxScenegraph.h"

#include <QMainWindow>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

typedef oxSurfaceAnalysisModel M;

class tst_AnalysisMode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    // Runs first: it waits for the surface mode timer that construction started.
    void surfaceModeAboutOneSecondAfterStart();
    void downscaleButtonOnlySignals_data();
    void downscaleButtonOnlySignals();
    void messagesEnableAnalysisRaytracing_data();
    void messagesEnableAnalysisRaytracing();

private:
    std::unique_ptr<ModuleHost> host;
    QWidget* windowParent = nullptr;
    QMainWindow* mainWindow = nullptr;
    osg::NodePtr environment;
    osg::UInt64 environmentEdits = 0;
    std::unique_ptr<QSignalSpy> activeSpy, uiSpy;
};

void tst_AnalysisMode::initTestCase()
{
    oxController::setAnalysisMode(true);
    windowParent = new QWidget;
    windowParent->resize(640, 480);
    mainWindow = new QMainWindow(windowParent);
    mainWindow->resize(600, 400);
    oxController::setMainWindow(mainWindow);
    environment = osg::Node::create();
    environment->setActive(true);
    environmentEdits = environment->getChangeCount();
    oxScenegraph::setEnvironmentGeometrySwitch(environment);

    host.reset(new ModuleHost);
    oxUndoStack::get(0).clear();
    activeSpy.reset(new QSignalSpy(host->model, SIGNAL(analysisActiveChanged(bool))));
    uiSpy.reset(new QSignalSpy(host->model, SIGNAL(uiVisibilityChanged(bool))));
    // Nothing happens before the event loop runs the timer.
    QVERIFY(!host->model->getAnalysisActive());
    QVERIFY(!host->model->getUiVisibility());
    QCOMPARE(oxMaterialWidget::constructionCount(), 0);
}

void tst_AnalysisMode::cleanupTestCase()
{
    activeSpy.reset();
    uiSpy.reset();
    host.reset();
    oxScenegraph::setEnvironmentGeometrySwitch(osg::NullFC);
    environment = osg::NullFC;
    delete windowParent;
    oxMaterialWidget::deleteUnparented();
}

void tst_AnalysisMode::surfaceModeAboutOneSecondAfterStart()
{
    const std::vector<std::string> names = oxController::callbackNames();
    QCOMPARE(names.size(), size_t(10));
    QCOMPARE(names.front(), std::string("updateRaytracingDownscaleButton"));

    QTRY_VERIFY_WITH_TIMEOUT(host->model->getAnalysisActive(), 5000);
    M* m = host->model;
    QVERIFY(m->getUiVisibility());
    QCOMPARE(oxOSGWidget::getRenderQuality(), 8);
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 2);
    QVERIFY(!environment->getActive());
    QVERIFY(environment->getChangeCount() > environmentEdits);
    QCOMPARE(windowParent->size(), QSize(1280, 800));
    QCOMPARE(mainWindow->size(), QSize(600, 400));
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    QVERIFY(utils->getAnalysisRaytracing());
    QCOMPARE(utils->analysisRaytracingCalls(), 1);
    QCOMPARE(oxUndoStack::get(0).count(), 0);

    // uiVisibilityCommand(true), then analysisActiveCommand(true).
    QCOMPARE(activeSpy->count(), 2);
    QCOMPARE(uiSpy->count(), 1);
    QCOMPARE(uiSpy->at(0).at(0).toBool(), true);

    QCOMPARE(oxMaterialWidget::constructionCount(), 1);
    QList<oxMaterialWidget*> previews;
    for (QWidget* widget : QApplication::allWidgets())
        if (oxMaterialWidget* preview = qobject_cast<oxMaterialWidget*>(widget))
            previews << preview;
    QCOMPARE(previews.size(), 1);
    oxMaterialWidget* preview = previews.front();
    QCOMPARE(preview->objectName(), QString("MaterialEditorRender"));
    QVERIFY(!preview->parent());
    QCOMPARE(preview->size(), QSize(128, 128));
    QCOMPARE(preview->flag(), false);
    QCOMPARE(preview->prepareRenderCount(), 1);
    QVERIFY(!preview->isVisible());
}

void tst_AnalysisMode::downscaleButtonOnlySignals_data()
{
    QTest::addColumn<QString>("state"); // "true", "false", "missing", "int"
    QTest::addColumn<int>("signalCount");
    QTest::newRow("state true") << "true" << 1;
    QTest::newRow("state false") << "false" << 1;
    QTest::newRow("no state") << "missing" << 0;
    QTest::newRow("state of another type") << "int" << 0;
}

void tst_AnalysisMode::downscaleButtonOnlySignals()
{
    QFETCH(QString, state);
    QFETCH(int, signalCount);
    host->reset();
    M* m = host->model;
    oxMessage msg;
    if (state == "true" || state == "false")
        msg.set("state", boost::any(state == "true"), true);
    else if (state == "int")
        msg.set("state", boost::any(1), true);
    const int downscale = oxOSGWidget::getRaytracingDownscale();
    oxOSGWidget::setRaytracingDownscaleFactor(1);
    QSignalSpy spy(m, SIGNAL(useRaytracingDownscaleChanged(bool)));

    StderrCapture err;
    QCOMPARE(oxController::raiseCB("updateRaytracingDownscaleButton", msg), 1);
    const QStringList errors = err.linesWith("has wrong type");

    QCOMPARE(spy.count(), signalCount);
    if (signalCount)
        QCOMPARE(spy.at(0).at(0).toBool(), state == "true");
    QVERIFY(!m->getUseRaytracingDownscale());
    QCOMPARE(oxOSGWidget::getRaytracingDownscale(), downscale);
    QCOMPARE(oxOSGWidget::getRaytracingDownscaleFactor(), 1u);
    QCOMPARE(oxUndoStack::get(0).count(), 0);
    if (state == "int")
        QCOMPARE(errors, QStringList(QString("getFromMessage : Attribute 'state' has wrong type (is:'%1' != req:'%2')!")
                                         .arg(typeid(int).name(), typeid(bool).name())));
    else
        QVERIFY(errors.isEmpty());
}

void tst_AnalysisMode::messagesEnableAnalysisRaytracing_data()
{
    QTest::addColumn<quint64>("id");
    QTest::addColumn<bool>("analysis"); // whether the message also switches the analysis on
    QTest::newRow("new scene") << quint64(16) << true;
    QTest::newRow("raytracer") << quint64(32768) << false;
}

void tst_AnalysisMode::messagesEnableAnalysisRaytracing()
{
    QFETCH(quint64, id);
    QFETCH(bool, analysis);
    host->reset();
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 0);
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    utils->setAnalysisRaytracing(false);
    utils->resetAnalysisRaytracingCalls();
    record()->setIsolines(5);

    oxMessage msg(id);
    QCOMPARE(Access::receivedMessage(msg), false);
    QCOMPARE(utils->analysisRaytracingCalls(), 1);
    QVERIFY(utils->getAnalysisRaytracing());
    QCOMPARE(host->model->getAnalysisActive(), analysis);
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), analysis ? 2 : 0);
    QCOMPARE(oxOSGWidget::getRenderQuality(), analysis ? 8 : 4);
    QCOMPARE(host->model->getIsoLineCount(), analysis ? 16u : 5u);
    QCOMPARE(oxUndoStack::get(0).count(), 0);

    // Without a raytracer there is nothing to enable, and nothing may fail.
    oxRaytracingManager::removeRaytracingUtils();
    QCOMPARE(Access::receivedMessage(msg), false);
    oxRaytracingManager::createRaytracingUtils();
}

// Runs after the module object is destroyed, still in the analysis application mode: the
// downscale button callback must go with the other nine.
static void checkCallbacksRemoved()
{
    if (!oxController::callbackNames().empty())
    {
        std::fprintf(stderr, "FAIL: module destruction left callbacks registered\n");
        _exit(1);
    }
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Touch the controller first, so that it outlives the module and the exit check.
    oxController::callbackNames();
    std::atexit(checkCallbacksRemoved);
    tst_AnalysisMode test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_analysismode.moc"
