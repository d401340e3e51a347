#include "moduletestsupport.h"

#include <functional>
#include <map>

typedef oxSurfaceAnalysisModel M;

namespace
{
// One record property as the host's user interface sees it.
struct Property
{
    osg::UInt32 fieldId;
    QVariant value; // something other than the default
    char refresh;   // 'U' uniforms, 'R' shader rebuild
    const char* signal;
    std::function<void(M*, const QVariant&)> set;
    std::function<QVariant(M*)> get;
};

#define PROPERTY(Name, Field, Type, Value, Refresh, Signal)                                                            \
    {                                                                                                                  \
#Name, Property                                                                                                \
        {                                                                                                              \
            Record::Field##FieldId, QVariant::fromValue<Type>(Value), Refresh, SIGNAL(Signal),                         \
                [](M* m, const QVariant& v) { m->set##Name(v.value<Type>()); },                                        \
                [](M* m) { return QVariant::fromValue<Type>(m->get##Name()); }                                         \
        }                                                                                                              \
    }

const std::map<QString, Property>& recordProperties()
{
    static const std::map<QString, Property> table = {
        PROPERTY(IsoLineCount, Isolines, unsigned int, 7u, 'U', isoLineCountChanged(uint)),
        PROPERTY(BaseColor, BaseColor, osg::Vec3f, osg::Vec3f(0.2f, 0.3f, 0.4f), 'U', baseColorChanged(osg::Vec3f)),
        PROPERTY(GlossyColor, GlossyColor, osg::Vec3f, osg::Vec3f(0.5f, 0.f, 1.f), 'U', glossyColorChanged(osg::Vec3f)),
        PROPERTY(StripeColor, StripeColor, osg::Vec3f, osg::Vec3f(1.f, 0.f, 0.f), 'U', stripeColorChanged(osg::Vec3f)),
        PROPERTY(PhongExponent, PhongExponent, float, 64.f, 'U', phongExponentChanged(float)),
        PROPERTY(StripeThickness, StripeThickness, float, 0.25f, 'U', stripeThicknessChanged(float)),
        PROPERTY(StripeSharpness, StripeSharpness, float, 0.75f, 'U', stripeSharpnessChanged(float)),
        PROPERTY(LightLinesDistance, LightLinesDistance, float, 2.5f, 'U', lightLinesDistanceChanged(float)),
        PROPERTY(LightLinesLength, LightLinesLength, float, 50.f, 'U', lightLinesLengthChanged(float)),
        PROPERTY(LimitedLightLinesLength, IsLightLinesLengthLimited, bool, true, 'R',
                 limitedLightLinesLengthChanged(bool)),
        PROPERTY(ShadingMode, ShadingMode, unsigned int, 2u, 'R', shadingModeChanged(uint)),
        PROPERTY(ReflectionMode, ReflectionMode, unsigned int, 1u, 'R', reflectionModeChanged(uint)),
        PROPERTY(AnalysisMode, AnalysisMode, unsigned int, 2u, 'R', analysisModeChanged(uint)),
        PROPERTY(LineMode, LineMode, unsigned int, 1u, 'R', lineModeChanged(uint)),
        PROPERTY(LightPlaneVisibility, LightPlaneVisible, bool, false, 'U', lightPlaneVisibilityChanged(bool)),
        PROPERTY(LightSphereVisibility, LightSphereVisible, bool, false, 'U', lightSphereVisibilityChanged(bool)),
        PROPERTY(LightDirectionVisibility, LightDirectionVisible, bool, true, 'U',
                 lightDirectionVisibilityChanged(bool)),
        PROPERTY(UseViewVector, UseViewVector, bool, true, 'R', useViewVectorChanged(bool)),
        PROPERTY(CurvatureMode, CurvatureEvaluationType, unsigned int, 1u, 'U', curvatureModeChanged(uint)),
        PROPERTY(CurvatureDrawScale, CurvatureDrawScale, float, 0.5f, 'U', curvatureDrawScaleChanged(float)),
        PROPERTY(UseRadiusLimit, CurvatureUseRadiusLimit, bool, true, 'U', useRadiusLimitChanged(bool)),
        PROPERTY(RadiusLimit, CurvatureRadiusLimit, float, 2.f, 'U', radiusLimitChanged(float)),
        PROPERTY(UseBands, CurvatureUseBands, bool, true, 'U', useBandsChanged(bool)),
        PROPERTY(LightPlaneOrigin, LightPlaneOrigin, osg::Vec3f, osg::Vec3f(1.f, 2.f, 3.f), 'U',
                 lightPlaneOriginChanged(osg::Vec3f)),
    };
    return table;
}

QVariant fieldValue(osg::UInt32 fieldId)
{
    osg::Field* field = record()->getField(fieldId);
    if (auto* f = dynamic_cast<osg::SField<unsigned int>*>(field))
        return QVariant::fromValue(f->getValue());
    if (auto* f = dynamic_cast<osg::SField<float>*>(field))
        return QVariant::fromValue(f->getValue());
    if (auto* f = dynamic_cast<osg::SField<bool>*>(field))
        return QVariant::fromValue(f->getValue());
    if (auto* f = dynamic_cast<osg::SField<osg::Vec3f>*>(field))
        return QVariant::fromValue(f->getValue());
    return QVariant();
}

struct Counters
{
    int rebuilds, uniforms, renders;
};

Counters counters(const ModuleHost& host)
{
    return {host.widget->shaderRebuildCount(), host.widget->uniformRefreshCount(), oxController::renderRequestCount()};
}
} // namespace

class tst_Properties : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<osg::Vec3f>("osg::Vec3f");
        host.reset(new ModuleHost);
    }
    void init() { host->reset(); }
    void cleanupTestCase() { host.reset(); }

    void setterRecordsOneEditAndApplies_data() { recordRows(); }
    void setterRecordsOneEditAndApplies();
    void undoAndRedoRunTheSlotOnceWithTheRestoredValue_data() { recordRows(); }
    void undoAndRedoRunTheSlotOnceWithTheRestoredValue();
    void equalValueStillRecordsAndSignals_data() { recordRows(); }
    void equalValueStillRecordsAndSignals();
    void withoutRecordNothingHappens_data() { recordRows(); }
    void withoutRecordNothingHappens();
    void withoutRenderWidgetTheRenderIsStillRequested();
    void switchSetters_data();
    void switchSetters();
    void simpleModeEditOnlySignals();
    void sliderSeriesMergesIntoOneStep();
    void differentPropertiesNeverMerge();
    void replacedRecordLeavesOldEditsHarmless();
    void isoLineCountReachesOnlyTheVisualOfItsMode();
    void analysisModeDisarmsPickOutsideCurvature();
    void analysisModeDrivesTheLegend_data();
    void analysisModeDrivesTheLegend();

private:
    void recordRows()
    {
        QTest::addColumn<QString>("name");
        for (const auto& entry : recordProperties())
            QTest::newRow(qPrintable(entry.first)) << entry.first;
    }
    std::unique_ptr<ModuleHost> host;
};

void tst_Properties::setterRecordsOneEditAndApplies()
{
    QFETCH(QString, name);
    const Property& p = recordProperties().at(name);
    QSignalSpy spy(host->model, p.signal);
    const Counters before = counters(*host);
    const int edits = oxUndoStack::get(0).count();

    p.set(host->model, p.value);

    QCOMPARE(oxUndoStack::get(0).count(), edits + 1);
    QCOMPARE(fieldValue(p.fieldId), p.value);
    QCOMPARE(p.get(host->model), p.value);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0), p.value);
    const Counters after = counters(*host);
    QCOMPARE(after.rebuilds - before.rebuilds, p.refresh == 'R' ? 1 : 0);
    if (p.refresh == 'U')
        QVERIFY(after.uniforms > before.uniforms);
    QVERIFY(after.renders > before.renders);
    QCOMPARE(oxUndoStack::get(0).text(oxUndoStack::get(0).count() - 1).isEmpty(), false);
}

void tst_Properties::undoAndRedoRunTheSlotOnceWithTheRestoredValue()
{
    QFETCH(QString, name);
    const Property& p = recordProperties().at(name);
    const QVariant old = fieldValue(p.fieldId);
    p.set(host->model, p.value);
    QSignalSpy spy(host->model, p.signal);

    oxUndoStack::get(0).undo();
    QCOMPARE(fieldValue(p.fieldId), old);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0), old);

    oxUndoStack::get(0).redo();
    QCOMPARE(fieldValue(p.fieldId), p.value);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0), p.value);
}

void tst_Properties::equalValueStillRecordsAndSignals()
{
    QFETCH(QString, name);
    const Property& p = recordProperties().at(name);
    const QVariant current = fieldValue(p.fieldId);
    QSignalSpy spy(host->model, p.signal);
    const int edits = oxUndoStack::get(0).count();
    p.set(host->model, current);
    QCOMPARE(oxUndoStack::get(0).count(), edits + 1);
    QCOMPARE(spy.count(), 1);
}

void tst_Properties::withoutRecordNothingHappens()
{
    QFETCH(QString, name);
    const Property& p = recordProperties().at(name);
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    QSignalSpy spy(host->model, p.signal);
    const Counters before = counters(*host);
    const int edits = oxUndoStack::get(0).count();
    p.set(host->model, p.value);
    QCOMPARE(oxUndoStack::get(0).count(), edits);
    QCOMPARE(spy.count(), 0);
    const Counters after = counters(*host);
    QCOMPARE(after.rebuilds, before.rebuilds);
    QCOMPARE(after.uniforms, before.uniforms);
    QCOMPARE(after.renders, before.renders);
}

void tst_Properties::withoutRenderWidgetTheRenderIsStillRequested()
{
    oxOSGWidget::setMGLW(nullptr);
    const int renders = oxController::renderRequestCount();
    host->model->setStripeThickness(0.3f);
    host->model->setShadingMode(0);
    QCOMPARE(oxController::renderRequestCount(), renders + 2);
}

void tst_Properties::switchSetters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("signal");
    QTest::newRow("AnalysisActive") << "AnalysisActive" << QByteArray(SIGNAL(analysisActiveChanged(bool)));
    QTest::newRow("UiVisibility") << "UiVisibility" << QByteArray(SIGNAL(uiVisibilityChanged(bool)));
    QTest::newRow("CurvatureLegendOverlayVisibility")
        << "CurvatureLegendOverlayVisibility" << QByteArray(SIGNAL(curvatureLegendOverlayVisibilityChanged(bool)));
    QTest::newRow("UseRaytracingDownscale")
        << "UseRaytracingDownscale" << QByteArray(SIGNAL(useRaytracingDownscaleChanged(bool)));
    QTest::newRow("PickNormal") << "PickNormal" << QByteArray(SIGNAL(pickNormalChanged(bool)));
}

void tst_Properties::switchSetters()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, signal);
    M* m = host->model;
    const std::map<QString, std::pair<std::function<void(bool)>, std::function<bool()>>> switches = {
        {"AnalysisActive", {[m](bool v) { m->setAnalysisActive(v); }, [m] { return m->getAnalysisActive(); }}},
        {"UiVisibility", {[m](bool v) { m->setUiVisibility(v); }, [m] { return m->getUiVisibility(); }}},
        {"CurvatureLegendOverlayVisibility",
         {[m](bool v) { m->setCurvatureLegendOverlayVisibility(v); },
          [m] { return m->getCurvatureLegendOverlayVisibility(); }}},
        {"UseRaytracingDownscale",
         {[m](bool v) { m->setUseRaytracingDownscale(v); }, [m] { return m->getUseRaytracingDownscale(); }}},
        {"PickNormal", {[m](bool v) { m->setPickNormal(v); }, [m] { return m->getPickNormal(); }}},
    };
    const auto& sw = switches.at(name);
    // The analysis must run for the pick tool to answer.
    if (name == "PickNormal")
        m->setAnalysisActive(true);

    QSignalSpy spy(m, signal.constData());
    const int edits = oxUndoStack::get(0).count();
    sw.first(true);
    QVERIFY(sw.second());
    QCOMPARE(oxUndoStack::get(0).count(), edits + 1);
    QCOMPARE(oxUndoStack::get(0).text(edits), name);
    QVERIFY(spy.count() >= 1);
    QCOMPARE(spy.last().at(0).toBool(), true);

    oxUndoStack::get(0).undo();
    QVERIFY(!sw.second());
    QCOMPARE(spy.last().at(0).toBool(), false);
}

void tst_Properties::simpleModeEditOnlySignals()
{
    QSignalSpy spy(host->model, SIGNAL(simpleModeChanged(bool)));
    const int quality = oxOSGWidget::getRenderQuality();
    host->model->setSimpleMode(true);
    QVERIFY(host->model->getSimpleMode());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    oxUndoStack::get(0).undo();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    QCOMPARE(oxOSGWidget::getRenderQuality(), quality);
}

void tst_Properties::sliderSeriesMergesIntoOneStep()
{
    useFrozenClock();
    QSignalSpy spy(host->model, SIGNAL(stripeThicknessChanged(float)));
    const int edits = oxUndoStack::get(0).count();
    for (float t : {0.2f, 0.3f, 0.4f, 0.5f})
        host->model->setStripeThickness(t);
    QCOMPARE(oxUndoStack::get(0).count(), edits + 1);
    QCOMPARE(host->model->getStripeThickness(), 0.5f);
    spy.clear();
    oxUndoStack::get(0).undo();
    QCOMPARE(host->model->getStripeThickness(), 0.1f);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toFloat(), 0.1f);
    // A click seconds later is a step of its own.
    useSteppingClock();
    oxUndoStack::get(0).redo();
    host->model->setStripeThickness(0.6f);
    QCOMPARE(oxUndoStack::get(0).count(), edits + 2);
}

void tst_Properties::differentPropertiesNeverMerge()
{
    useFrozenClock();
    const int edits = oxUndoStack::get(0).count();
    host->model->setStripeThickness(0.2f);
    host->model->setStripeSharpness(0.2f);
    host->model->setAnalysisActive(true);
    host->model->setUseRaytracingDownscale(true);
    QCOMPARE(oxUndoStack::get(0).count(), edits + 4);
}

void tst_Properties::replacedRecordLeavesOldEditsHarmless()
{
    host->model->setIsoLineCount(5);
    osg::SurfaceAnalysisAttachmentPtr fresh = oxRaytracingManager::getRaytracingUtils()->replaceAttachment();
    const unsigned int freshCount = fresh->getIsolines();
    QSignalSpy spy(host->model, SIGNAL(isoLineCountChanged(uint)));
    oxUndoStack::get(0).undo();
    QCOMPARE(fresh->getIsolines(), freshCount);
    QCOMPARE(spy.count(), 1); // the slot still runs, with the value the edit held
    QCOMPARE(spy.at(0).at(0).toUInt(), 16u);
}

void tst_Properties::isoLineCountReachesOnlyTheVisualOfItsMode()
{
    M* m = host->model;
    const osg::UInt32 planeLines = Access::lightPlane().getLineCount();
    const osg::UInt32 rings = Access::lightSphere().getLineCount();
    m->setIsoLineCount(12); // isophotes
    QCOMPARE(Access::lightPlane().getLineCount(), planeLines);
    QCOMPARE(Access::lightSphere().getLineCount(), rings);
    m->setAnalysisMode(1);
    m->setReflectionMode(1);
    m->setIsoLineCount(13);
    QCOMPARE(Access::lightPlane().getLineCount(), 13u);
    QCOMPARE(Access::lightSphere().getLineCount(), rings);
    m->setReflectionMode(0);
    m->setIsoLineCount(14);
    QCOMPARE(Access::lightPlane().getLineCount(), 13u);
    QCOMPARE(Access::lightSphere().getLineCount(), 14u);
}

void tst_Properties::analysisModeDisarmsPickOutsideCurvature()
{
    M* m = host->model;
    m->setAnalysisActive(true);
    m->setAnalysisMode(3);
    m->setPickNormal(true);
    QVERIFY(contextAdded(&Access::normalPickContext()));
    m->setAnalysisMode(3);
    QVERIFY(m->getPickNormal());

    QSignalSpy pick(m, SIGNAL(pickNormalChanged(bool)));
    QSignalSpy mode(m, SIGNAL(analysisModeChanged(uint)));
    QList<QString> order;
    connect(m, &M::pickNormalChanged, this, [&order] { order << "pick"; });
    connect(m, &M::analysisModeChanged, this, [&order] { order << "mode"; });
    m->setAnalysisMode(1);
    QVERIFY(!m->getPickNormal());
    QVERIFY(!contextAdded(&Access::normalPickContext()));
    QCOMPARE(order, (QList<QString>{"pick", "mode"}));
    disconnect(m, nullptr, this, nullptr);
}

void tst_Properties::analysisModeDrivesTheLegend_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("wish");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<bool>("shown");
    QTest::newRow("curvature, active, wished") << true << true << 3u << true;
    QTest::newRow("isophotes") << true << true << 0u << false;
    QTest::newRow("not wished") << true << false << 3u << false;
    QTest::newRow("analysis off") << false << true << 3u << false;
}

void tst_Properties::analysisModeDrivesTheLegend()
{
    QFETCH(bool, active);
    QFETCH(bool, wish);
    QFETCH(uint, mode);
    QFETCH(bool, shown);
    host->model->setAnalysisActive(active);
    host->model->setCurvatureLegendOverlayVisibility(wish);
    host->model->setAnalysisMode(mode);
    QCOMPARE(oxOSGWidget::getCurvatureLegendOverlayVisible(), shown);
}

QTEST_MAIN(tst_Properties)
#include "tst_properties.moc"
