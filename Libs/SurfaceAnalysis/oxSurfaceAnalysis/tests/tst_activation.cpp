#include "moduletestsupport.h"

typedef oxSurfaceAnalysisModel M;

namespace
{
void invoke(M* m, const char* slot, bool value)
{
    QVERIFY(QMetaObject::invokeMethod(m, slot, Qt::DirectConnection, Q_ARG(bool, value)));
}

// The switch signals in the order they arrive, as "name argument/switch when signalled".
struct SwitchSignals : QObject
{
    explicit SwitchSignals(M* m)
    {
        auto add = [this](const char* name, bool on, bool now)
        { seen << QString("%1 %2/%3").arg(name).arg(on).arg(now); };
        connect(m, &M::pickNormalChanged, this, [=](bool on) { add("pick", on, m->getPickNormal()); });
        connect(m, &M::analysisActiveChanged, this, [=](bool on) { add("active", on, m->getAnalysisActive()); });
        connect(m, &M::uiVisibilityChanged, this, [=](bool on) { add("ui", on, m->getUiVisibility()); });
    }
    QStringList seen;
};
} // namespace

class tst_Activation : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void switchingOffTakesBackOnlyOwnRenderSettings_data();
    void switchingOffTakesBackOnlyOwnRenderSettings();
    void curvatureLegendRulePerCaller_data();
    void curvatureLegendRulePerCaller();
    void showingTheUiMovesTheSwitchButNotTheRenderer();
    void hidingTheUiWhileOnClearsTheInteraction();
    void raytracingDownscaleAlwaysUsesFactorFour();
};

void tst_Activation::switchingOffTakesBackOnlyOwnRenderSettings_data()
{
    QTest::addColumn<int>("hostQuality"); // what the host switches to while on; 0: nothing
    QTest::addColumn<int>("hostMode");    // -1: nothing
    QTest::addColumn<int>("qualityAfter");
    QTest::addColumn<int>("modeAfter");
    QTest::addColumn<bool>("widget");
    QTest::addColumn<bool>("hasRecord");
    // The host starts in mode 0 with quality 4; the 4 is not restored.
    QTest::newRow("left as switched on") << 0 << -1 << 8 << 0 << true << true;
    QTest::newRow("quality 2 becomes 8") << 2 << -1 << 8 << 0 << true << true;
    QTest::newRow("quality 16 stays") << 16 << -1 << 16 << 0 << true << true;
    QTest::newRow("mode 1 stays") << 0 << 1 << 8 << 1 << true << true;
    QTest::newRow("mode 3 and quality 2") << 2 << 3 << 8 << 3 << true << true;
    // The render settings are the host's, not the widget's or the record's.
    QTest::newRow("no render widget") << 0 << -1 << 8 << 0 << false << true;
    QTest::newRow("no record") << 0 << -1 << 8 << 0 << true << false;
    QTest::newRow("neither") << 0 << -1 << 8 << 0 << false << false;
}

void tst_Activation::switchingOffTakesBackOnlyOwnRenderSettings()
{
    QFETCH(int, hostQuality);
    QFETCH(int, hostMode);
    QFETCH(int, qualityAfter);
    QFETCH(int, modeAfter);
    QFETCH(bool, widget);
    QFETCH(bool, hasRecord);
    M* m = host->model;
    if (!widget)
        oxOSGWidget::setMGLW(nullptr);
    if (!hasRecord)
        oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    QSignalSpy spy(m, SIGNAL(analysisActiveChanged(bool)));
    const int rebuilds = host->widget->shaderRebuildCount();

    m->setAnalysisActive(true);
    QCOMPARE(oxOSGWidget::getRenderQuality(), 8);
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 2);
    QCOMPARE(host->widget->shaderRebuildCount(), rebuilds + int(widget));
    QCOMPARE(oxController::renderRequestCount(), 1);
    // Neither needs the widget or the record either.
    m->setUiVisibility(true);
    m->setCurvatureLegendOverlayVisibility(true);

    if (hostQuality)
        oxOSGWidget::setRenderQuality(hostQuality);
    if (hostMode >= 0)
        oxOSGWidget::setRenderingMode(hostMode, -1);
    oxOSGWidget::setCurvatureLegendOverlayVisible(true);
    const int renders = oxController::renderRequestCount();

    m->setAnalysisActive(false);
    QCOMPARE(oxOSGWidget::getRenderQuality(), qualityAfter);
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), modeAfter);
    QVERIFY(!oxOSGWidget::getCurvatureLegendOverlayVisible());
    QCOMPARE(oxController::renderRequestCount(), renders + 1);
    QCOMPARE(host->widget->shaderRebuildCount(), rebuilds + 2 * int(widget));
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(spy.at(2).at(0).toBool(), false);
}

void tst_Activation::curvatureLegendRulePerCaller_data()
{
    QTest::addColumn<QString>("caller");
    QTest::addColumn<bool>("activeBefore");
    QTest::addColumn<bool>("storedWish");
    QTest::addColumn<bool>("argument"); // for the legend command only
    QTest::addColumn<uint>("analysisMode");
    QTest::addColumn<bool>("hasRecord");
    QTest::addColumn<bool>("shown");

    QTest::newRow("switch on: wished curvature") << "active" << false << true << false << 3u << true << true;
    QTest::newRow("switch on: not wished") << "active" << false << false << false << 3u << true << false;
    QTest::newRow("switch on: isophotes") << "active" << false << true << false << 0u << true << false;
    QTest::newRow("switch on: no record") << "active" << false << true << false << 3u << false << false;

    QTest::newRow("show ui while on: wished") << "ui" << true << true << false << 3u << true << true;
    QTest::newRow("show ui while on: not wished") << "ui" << true << false << false << 3u << true << false;
    // The rule reads the switch before the slot writes it.
    QTest::newRow("show ui while off") << "ui" << false << true << false << 3u << true << false;

    QTest::newRow("legend: argument shows, stored wish off") << "legend" << true << false << true << 3u << true << true;
    QTest::newRow("legend: argument hides, stored wish on") << "legend" << true << true << false << 3u << true << false;
    QTest::newRow("legend: isophotes") << "legend" << true << false << true << 0u << true << false;
    QTest::newRow("legend: analysis off") << "legend" << false << false << true << 3u << true << false;

    // A mode change applies the rule with the new mode, from the other mode.
    QTest::newRow("mode: to isophotes") << "mode" << true << true << false << 0u << true << false;
    QTest::newRow("mode: to curvature, wished") << "mode" << true << true << false << 3u << true << true;
    QTest::newRow("mode: to curvature, not wished") << "mode" << true << false << false << 3u << true << false;
    QTest::newRow("mode: to curvature, analysis off") << "mode" << false << true << false << 3u << true << false;
}

void tst_Activation::curvatureLegendRulePerCaller()
{
    QFETCH(QString, caller);
    QFETCH(bool, activeBefore);
    QFETCH(bool, storedWish);
    QFETCH(bool, argument);
    QFETCH(uint, analysisMode);
    QFETCH(bool, hasRecord);
    QFETCH(bool, shown);
    M* m = host->model;

    record()->setAnalysisMode(caller != "mode" ? analysisMode : analysisMode == 3 ? 0 : 3);
    if (activeBefore)
        m->setAnalysisActive(true);
    m->setCurvatureLegendOverlayVisibility(storedWish);
    if (!hasRecord)
        oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    // The opposite of what is expected, so that only a caller that sets the overlay passes.
    oxOSGWidget::setCurvatureLegendOverlayVisible(!shown);
    QSignalSpy legend(m, SIGNAL(curvatureLegendOverlayVisibilityChanged(bool)));

    if (caller == "active")
        m->setAnalysisActive(true);
    else if (caller == "ui")
        m->setUiVisibility(true);
    else if (caller == "mode")
        m->setAnalysisMode(analysisMode);
    else
        invoke(m, "curvatureLegendOverlayVisibilityCommand", argument);

    QCOMPARE(oxOSGWidget::getCurvatureLegendOverlayVisible(), shown);
    QCOMPARE(m->getCurvatureLegendOverlayVisibility(), storedWish);
    if (caller == "legend")
    {
        // The signal carries the wish, not the overlay's state.
        QCOMPARE(legend.count(), 1);
        QCOMPARE(legend.at(0).at(0).toBool(), argument);
    }
    else
    {
        QCOMPARE(legend.count(), 0);
    }
}

void tst_Activation::showingTheUiMovesTheSwitchButNotTheRenderer()
{
    M* m = host->model;
    SwitchSignals order(m);
    const int rebuilds = host->widget->shaderRebuildCount();

    m->setUiVisibility(true);
    QVERIFY(m->getUiVisibility());
    QVERIFY(m->getAnalysisActive());
    QCOMPARE(order.seen, (QStringList{"active 1/1", "ui 1/1"}));
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 0);
    QCOMPARE(oxOSGWidget::getRenderQuality(), 4);
    QCOMPARE(oxController::renderRequestCount(), 0);
    QCOMPARE(host->widget->shaderRebuildCount(), rebuilds + 1);
    QCOMPARE(oxUndoStack::get(0).count(), 1);
    QCOMPARE(oxUndoStack::get(0).text(0), QString("UiVisibility"));
}

void tst_Activation::hidingTheUiWhileOnClearsTheInteraction()
{
    M* m = host->model;
    // The plane is shown by default; its context is allowed with parallel lines.
    lighttest::enterMode(lighttest::Reflection, lighttest::Parallel);
    m->setPickNormal(true);
    m->setCurvatureLegendOverlayVisibility(true);
    oxOSGWidget::setCurvatureLegendOverlayVisible(true);
    QVERIFY(contextAdded(&Access::lightPlaneContext()));
    QVERIFY(Access::lightPlane().isVisible());
    QVERIFY(contextAdded(&Access::normalPickContext()));

    SwitchSignals order(m);
    const int renders = oxController::renderRequestCount();

    m->setUiVisibility(false);
    QVERIFY(!m->getAnalysisActive());
    QVERIFY(!m->getPickNormal());
    QCOMPARE(order.seen, (QStringList{"pick 0/0", "active 0/0", "ui 0/0"}));
    QVERIFY(!oxOSGWidget::getCurvatureLegendOverlayVisible());
    QVERIFY(!contextAdded(&Access::lightPlaneContext()));
    QVERIFY(!Access::lightPlane().isVisible());
    QVERIFY(!contextAdded(&Access::normalPickContext()));
    // The renderer stays in the analysis mode; only the interaction is gone.
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 2);
    QCOMPARE(oxOSGWidget::getRenderQuality(), 8);
    QCOMPARE(oxController::renderRequestCount(), renders);
}

void tst_Activation::raytracingDownscaleAlwaysUsesFactorFour()
{
    M* m = host->model;
    oxOSGWidget::setRaytracingDownscaleFactor(1);
    QSignalSpy spy(m, SIGNAL(useRaytracingDownscaleChanged(bool)));

    m->setUseRaytracingDownscale(true);
    QCOMPARE(oxOSGWidget::getRaytracingDownscale(), 1);
    QCOMPARE(oxOSGWidget::getRaytracingDownscaleFactor(), 4u);

    // Switching off (here by undo) sets the factor again too.
    oxOSGWidget::setRaytracingDownscaleFactor(2);
    oxUndoStack::get(0).undo();
    QVERIFY(!m->getUseRaytracingDownscale());
    QCOMPARE(oxOSGWidget::getRaytracingDownscale(), 0);
    QCOMPARE(oxOSGWidget::getRaytracingDownscaleFactor(), 4u);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(oxController::renderRequestCount(), 0);
}

QTEST_MAIN(tst_Activation)
#include "tst_activation.moc"
