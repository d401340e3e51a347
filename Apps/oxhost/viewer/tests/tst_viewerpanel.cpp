// The module's panel in the viewer's dock: it follows the module whoever changes it, disables
// what does not apply, and its dock is the module's interface.
#include "viewertestsupport.h"

class tst_ViewerPanel : public ViewerTestCase
{
    Q_OBJECT

private Q_SLOTS:
    void sliderDragIsOneUndoStep()
    {
        showAnalysis(1, 1);
        useFrozenClock();
        auto* slider = qobject_cast<QSlider*>(window->panel()->findChild<QWidget*>("StripeThickness"));
        QVERIFY(slider && slider->isEnabled());
        slider->setSliderDown(true);
        for (int i = 1; i <= 50; ++i)
            slider->setValue(i);
        slider->setSliderDown(false);
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QCOMPARE(model->getStripeThickness(), 0.5f);
    }

    // Whoever changes a property, the panel shows it at once; controls that do not apply are disabled.
    void panelFollowsTheModule_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("shown");
        QTest::newRow("IsoLineCount") << "IsoLineCount" << QVariant(7u) << QVariant(7);
        QTest::newRow("AnalysisMode") << "AnalysisMode" << QVariant(3u) << QVariant(3);
        QTest::newRow("LineMode") << "LineMode" << QVariant(1u) << QVariant(1);
        QTest::newRow("StripeThickness") << "StripeThickness" << QVariant(0.25f) << QVariant(0.25);
        QTest::newRow("CurvatureMode") << "CurvatureMode" << QVariant(2u) << QVariant(2);
        QTest::newRow("UseBands") << "UseBands" << QVariant(true) << QVariant(true);
        QTest::newRow("ShadingMode") << "ShadingMode" << QVariant(2u) << QVariant(2);
        QTest::newRow("PickNormal") << "PickNormal" << QVariant(true) << QVariant(true);
    }
    // Showing the interface marks the analysis active but leaves the view plain: the box says
    // what the view shows, and one click brings the analysis.
    void analysisBoxSaysWhatTheViewShows()
    {
        QVERIFY(model->getAnalysisActive());
        QCOMPARE(oxOSGWidget::getRenderingMode(-1), 0);
        auto* box = qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>("AnalysisActive"));
        QVERIFY(!box->isChecked());
        box->click();
        QCOMPARE(oxOSGWidget::getRenderingMode(-1), 2);
        QVERIFY(box->isChecked());
        box->click();
        QVERIFY(!model->getAnalysisActive());
        QVERIFY(!box->isChecked());
    }

    void panelFollowsTheModule()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QFETCH(QVariant, shown);
        static const QMap<QString, std::function<void(const QVariant&)>> setters = {
            {"IsoLineCount", [](const QVariant& v) { M::the()->setIsoLineCount(v.toUInt()); }},
            {"AnalysisMode", [](const QVariant& v) { M::the()->setAnalysisMode(v.toUInt()); }},
            {"LineMode", [](const QVariant& v) { M::the()->setLineMode(v.toUInt()); }},
            {"StripeThickness", [](const QVariant& v) { M::the()->setStripeThickness(v.toFloat()); }},
            {"CurvatureMode", [](const QVariant& v) { M::the()->setCurvatureMode(v.toUInt()); }},
            {"UseBands", [](const QVariant& v) { M::the()->setUseBands(v.toBool()); }},
            {"ShadingMode", [](const QVariant& v) { M::the()->setShadingMode(v.toUInt()); }},
            {"PickNormal", [](const QVariant& v) { M::the()->setPickNormal(v.toBool()); }},
        };
        setters[property](value);
        QCOMPARE(panel().value(property), shown);
        oxUndoStack::get(0).undo();
        QVERIFY(panel().value(property) != shown);
    }

    void projectLoadShowsInThePanel()
    {
        oxMessage msg;
        msg.set("Number of Isolines", 9u, true);
        msg.set("Isoline Color", Vec3f(1.f, 0.5f, 0.f), true);
        Access::load(msg);
        const QVariantMap s = panel();
        QCOMPARE(s["IsoLineCount"], QVariant(9));
        QCOMPARE(s["StripeColor"].toList(), (QVariantList{1.0, 0.5, 0.0}));
    }

    void controlsThatDoNotApplyAreDisabled()
    {
        model->setAnalysisMode(3);
        QVariantMap s = panel();
        QVERIFY(!s["StripeThickness.enabled"].toBool());
        QVERIFY(!s["ReflectionMode.enabled"].toBool());
        QVERIFY(s["CurvatureMode.enabled"].toBool());
        QVERIFY(s["StripeThickness.visible"].toBool()); // disabled, not hidden
        model->setAnalysisMode(1);
        s = panel();
        QVERIFY(s["StripeThickness.enabled"].toBool());
        QVERIFY(s["ReflectionMode.enabled"].toBool());
        QVERIFY(!s["CurvatureMode.enabled"].toBool());
    }

    void simpleModeShowsTheBasicControls()
    {
        model->setSimpleMode(true);
        QVariantMap s = panel();
        QVERIFY(s["IsoLineCount.visible"].toBool());
        QVERIFY(!s["StripeSharpness.visible"].toBool());
        QVERIFY(!s["PhongExponent.visible"].toBool());
        model->setSimpleMode(false);
        QVERIFY(panel()["StripeSharpness.visible"].toBool());
    }

    // The dock's visibility is the module's interface visibility; closing or hiding the whole
    // window is not the user hiding the panel.
    void dockVisibilityIsTheModulesInterfaceVisibility()
    {
        window->hide();
        QVERIFY(model->getUiVisibility());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(model->getUiVisibility() && window->panelDock()->isVisible());
        QCOMPARE(oxUndoStack::get(0).count(), 0);
        window->panelDock()->toggleViewAction()->trigger();
        QVERIFY(!window->panelDock()->isVisible());
        QVERIFY(!model->getUiVisibility());
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        model->setUiVisibility(true);
        QVERIFY(window->panelDock()->isVisible());
        oxUndoStack::get(0).undo();
        QVERIFY(!window->panelDock()->isVisible());
    }
};

QTEST_MAIN(tst_ViewerPanel)
#include "tst_viewerpanel.moc"
