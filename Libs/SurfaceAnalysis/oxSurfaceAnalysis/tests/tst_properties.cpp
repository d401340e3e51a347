#include "moduletestsupport.h"
#include "oxSurfaceAnalysisSettings.h"

#include <functional>
#include <map>

typedef oxSurfaceAnalysisModel M;

namespace
{
// One property as the host's user interface sees it; switches have no field and no refresh.
struct Property
{
    osg::UInt32 fieldId;
    QVariant value; // something other than the default
    char refresh;   // 'U' uniforms, 'R' shader rebuild
    const char* signal;
    void set(M* m, const QVariant& v) const;
    QVariant get(M* m) const;
    QString name;
};

#define ENTRY(Name, FieldId, Type, Value, Refresh, Signal)                                                             \
    {                                                                                                                  \
#Name, Property                                                                                                \
        {                                                                                                              \
            FieldId, QVariant::fromValue<Type>(Value), Refresh, SIGNAL(Signal), #Name                                  \
        }                                                                                                              \
    }
#define PROPERTY(Name, Field, Type, Value, Refresh, Signal)                                                            \
    ENTRY(Name, Record::Field##FieldId, Type, Value, Refresh, Signal)
#define SWITCH(Name, Signal) ENTRY(Name, 0, bool, true, 0, Signal)

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

const std::map<QString, Property>& switches()
{
    static const std::map<QString, Property> table = {
        SWITCH(AnalysisActive, analysisActiveChanged(bool)),
        SWITCH(SimpleMode, simpleModeChanged(bool)),
        SWITCH(UiVisibility, uiVisibilityChanged(bool)),
        SWITCH(CurvatureLegendOverlayVisibility, curvatureLegendOverlayVisibilityChanged(bool)),
        SWITCH(UseRaytracingDownscale, useRaytracingDownscaleChanged(bool)),
        SWITCH(PickNormal, pickNormalChanged(bool)),
    };
    return table;
}

// Every property's getter and setter, by name, from the module's property table.
struct Accessors
{
    std::function<void(M*, const QVariant&)> set;
    std::function<QVariant(M*)> get;
};

const std::map<QString, Accessors>& accessors()
{
#define ACCESSORS(Kind, Name, Type, Field, command)                                                                    \
    {#Name,                                                                                                            \
     {[](M* m, const QVariant& v) { m->set##Name(v.value<Type>()); },                                                  \
      [](M* m) { return QVariant::fromValue<Type>(m->get##Name()); }}},
    static const std::map<QString, Accessors> table = {OX_SA_PROPERTIES(ACCESSORS)};
#undef ACCESSORS
    return table;
}

void Property::set(M* m, const QVariant& v) const
{
    accessors().at(name).set(m, v);
}

QVariant Property::get(M* m) const
{
    return accessors().at(name).get(m);
}

// The first argument of every emission so far.
QVariantList arguments(const QSignalSpy& spy)
{
    QVariantList values;
    for (const QList<QVariant>& emission : spy)
        values << emission.at(0);
    return values;
}

// What a getter reads each time a signal arrives.
class GetterAtSignal : public QObject
{
    Q_OBJECT

public:
    GetterAtSignal(M* m, const char* signal, std::function<QVariant()> get) : m_get(std::move(get))
    {
        connect(m, signal, this, SLOT(read()));
    }
    QVariantList seen;

private Q_SLOTS:
    void read() { seen << m_get(); }

private:
    std::function<QVariant()> m_get;
};

// Shader rebuilds, uniform refreshes, render requests.
QList<int> counters(const ModuleHost& host)
{
    return {host.widget->shaderRebuildCount(), host.widget->uniformRefreshCount(), oxController::renderRequestCount()};
}
} // namespace

class tst_Properties : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void everyGeneratedSetterAndSwitchHasARow();
    void recordSetterIsOneUndoableEdit_data() { rows(recordProperties()); }
    void recordSetterIsOneUndoableEdit();
    void switchSetterIsOneUndoableEdit_data() { rows(switches()); }
    void switchSetterIsOneUndoableEdit();
    void onlyASliderSeriesMerges();
    void leavingCurvatureDisarmsThePickBeforeSignallingTheMode();

private:
    static void rows(const std::map<QString, Property>& table)
    {
        QTest::addColumn<QString>("name");
        for (const auto& entry : table)
            QTest::newRow(qPrintable(entry.first)) << entry.first;
    }
};

// The property table's rows with a generated setter (Record, Uniform) are exactly those of
// recordProperties(), its Switch rows those of switches(): a new row needs its test row.
void tst_Properties::everyGeneratedSetterAndSwitchHasARow()
{
    QStringList generated, switchRows;
#define GENERATED(Name, ...) generated << #Name;
#define ROW(Kind, Name, ...)                                                                                           \
    OX_SA_SETTER_##Kind(GENERATED, Name, __VA_ARGS__) if (QByteArray(#Kind) == "Switch") switchRows << #Name;
    OX_SA_PROPERTIES(ROW)
#undef ROW
#undef GENERATED
    auto names = [](const std::map<QString, Property>& table)
    {
        QStringList names;
        for (const auto& entry : table)
            names << entry.first;
        return names;
    };
    generated.sort();
    switchRows.sort();
    QCOMPARE(names(recordProperties()), generated);
    QCOMPARE(names(switches()), switchRows);
}

// Set, undo, redo and set the same value again (the last without a render widget): four edits of
// the field, each running the slot once with the value it holds. Without a record nothing happens.
void tst_Properties::recordSetterIsOneUndoableEdit()
{
    QFETCH(QString, name);
    const Property& p = recordProperties().at(name);
    oxUndoStack& stack = oxUndoStack::get(0);
    const QVariant old = fieldValue(p.fieldId);
    QSignalSpy spy(host->model, p.signal);
    const QList<int> before = counters(*host);

    p.set(host->model, p.value);
    QCOMPARE(stack.count(), 1);
    QVERIFY(!stack.text(0).isEmpty());
    QCOMPARE(fieldValue(p.fieldId), p.value);
    QCOMPARE(p.get(host->model), p.value);
    const QList<int> after = counters(*host);
    QCOMPARE(after[0] - before[0], p.refresh == 'R' ? 1 : 0);
    if (p.refresh == 'U')
        QVERIFY(after[1] > before[1]);
    QVERIFY(after[2] > before[2]);

    stack.undo();
    QCOMPARE(fieldValue(p.fieldId), old);
    stack.redo();
    QCOMPARE(fieldValue(p.fieldId), p.value);
    oxOSGWidget::setMGLW(nullptr);
    const int renders = oxController::renderRequestCount();
    p.set(host->model, p.value);
    QCOMPARE(stack.count(), 2);
    QCOMPARE(arguments(spy), (QVariantList{p.value, old, p.value, p.value}));
    QCOMPARE(oxController::renderRequestCount(), renders + 1);

    oxOSGWidget::setMGLW(host->widget.get());
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    const QList<int> detached = counters(*host);
    p.set(host->model, old);
    QCOMPARE(stack.count(), 2);
    QCOMPARE(spy.count(), 4);
    QCOMPARE(counters(*host), detached);
}

void tst_Properties::switchSetterIsOneUndoableEdit()
{
    QFETCH(QString, name);
    const Property& p = switches().at(name);
    M* m = host->model;
    // The analysis must run for the pick tool to answer.
    if (name == "PickNormal")
        m->setAnalysisActive(true);
    const int quality = oxOSGWidget::getRenderQuality();
    QSignalSpy spy(m, p.signal);
    // The switch is written before its command runs, also on undo.
    GetterAtSignal now(m, p.signal, [&] { return p.get(m); });
    const int edits = oxUndoStack::get(0).count();

    p.set(m, true);
    QVERIFY(p.get(m).toBool());
    QCOMPARE(oxUndoStack::get(0).count(), edits + 1);
    QCOMPARE(oxUndoStack::get(0).text(edits), name);
    QVERIFY(spy.count() >= 1);
    QCOMPARE(spy.last().at(0).toBool(), true);
    // Only switching the analysis on takes over the renderer's quality.
    if (name != "AnalysisActive")
        QCOMPARE(oxOSGWidget::getRenderQuality(), quality);

    oxUndoStack::get(0).undo();
    QVERIFY(!p.get(m).toBool());
    QCOMPARE(spy.last().at(0).toBool(), false);
    QCOMPARE(now.seen, arguments(spy));
}

// A series of one slider at the same instant is one step; a later click, another property or
// a switch is a step of its own.
void tst_Properties::onlyASliderSeriesMerges()
{
    useFrozenClock();
    QSignalSpy spy(host->model, SIGNAL(stripeThicknessChanged(float)));
    for (float t : {0.2f, 0.3f, 0.4f, 0.5f})
        host->model->setStripeThickness(t);
    QCOMPARE(oxUndoStack::get(0).count(), 1);
    QCOMPARE(host->model->getStripeThickness(), 0.5f);
    spy.clear();
    oxUndoStack::get(0).undo();
    QCOMPARE(host->model->getStripeThickness(), 0.1f);
    QCOMPARE(arguments(spy), (QVariantList{0.1f}));

    useSteppingClock();
    oxUndoStack::get(0).redo();
    host->model->setStripeThickness(0.6f);
    QCOMPARE(oxUndoStack::get(0).count(), 2);
    useFrozenClock();
    host->model->setStripeSharpness(0.2f);
    host->model->setAnalysisActive(true);
    host->model->setUseRaytracingDownscale(true);
    QCOMPARE(oxUndoStack::get(0).count(), 5);
}

// Whether the pick stays armed per mode is in tst_normalpick; here the order of the signals.
void tst_Properties::leavingCurvatureDisarmsThePickBeforeSignallingTheMode()
{
    M* m = host->model;
    m->setAnalysisActive(true);
    m->setAnalysisMode(3);
    m->setPickNormal(true);
    QList<QString> order;
    QObject watcher; // the connections end with it
    connect(m, &M::pickNormalChanged, &watcher, [&order] { order << "pick"; });
    connect(m, &M::analysisModeChanged, &watcher, [&order] { order << "mode"; });
    m->setAnalysisMode(1);
    QVERIFY(!m->getPickNormal());
    QCOMPARE(order, (QList<QString>{"pick", "mode"}));
}

QTEST_MAIN(tst_Properties)
#include "tst_properties.moc"
