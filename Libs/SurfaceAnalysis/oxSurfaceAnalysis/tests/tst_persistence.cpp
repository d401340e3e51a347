#include "moduletestsupport.h"

#include <QMetaMethod>

#include <cmath>
#include <map>

typedef oxSurfaceAnalysisModel M;

namespace
{
template <typename T> QByteArray bytes(const T& value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), int(sizeof(T)));
}

// The project section in the order save writes it, with what an empty load gives. Field 0 is the
// module's own light direction; no default where load derives the value from the light direction.
struct Key
{
    const char* text;
    const std::type_info& type;
    osg::UInt32 field;
    QByteArray fallback;
};

const std::vector<Key>& projectKeys()
{
    typedef osg::Vec3f V;
    static const std::vector<Key> keys = {
        {"Linear Light Direction", typeid(V), 0, {}},
        {"Number of Isolines", typeid(unsigned int), Record::IsolinesFieldId, bytes(16u)},
        {"Isoline thickness", typeid(float), Record::StripeThicknessFieldId, bytes(0.1f)},
        {"Isoline sharpness", typeid(float), Record::StripeSharpnessFieldId, bytes(0.5f)},
        {"Isoline Color", typeid(V), Record::StripeColorFieldId, bytes(V())},
        {"Diffuse and Simple Color", typeid(V), Record::BaseColorFieldId, bytes(V(1.f, 1.f, 1.f))},
        {"Glossy Color", typeid(V), Record::GlossyColorFieldId, bytes(V(1.f, 1.f, 1.f))},
        {"Phong exponent for Blinn-Phong Lighting", typeid(float), Record::PhongExponentFieldId, bytes(32.f)},
        {"Shading Mode", typeid(unsigned int), Record::ShadingModeFieldId, bytes(1u)},
        {"Analysis Mode", typeid(unsigned int), Record::AnalysisModeFieldId, bytes(0u)},
        {"Line Mode", typeid(unsigned int), Record::LineModeFieldId, bytes(0u)},
        {"Reflection mode", typeid(unsigned int), Record::ReflectionModeFieldId, bytes(0u)},
        {"Use View Vector", typeid(bool), Record::UseViewVectorFieldId, bytes(false)},
        {"Point on light plane defining neon tubes", typeid(V), Record::LightPlaneOriginFieldId, bytes(V())},
        {"Light Plane Axis U", typeid(V), Record::LightPlaneAxisUFieldId, bytes(V(1.f, 0.f, 0.f))},
        {"Light Plane Axis V", typeid(V), Record::LightPlaneAxisVFieldId, bytes(V(0.f, 1.f, 0.f))},
        {"Light Plane Euler Rotation Angles", typeid(V), Record::LightPlaneEulerRotationFieldId, bytes(V())},
        {"Light sphere euler rotation", typeid(V), Record::LightSphereEulerRotationFieldId, {}},
        {"Distance of parallel lines on light plane", typeid(float), Record::LightLinesDistanceFieldId, bytes(10.f)},
        {"Length of light lines if limited", typeid(float), Record::LightLinesLengthFieldId, bytes(1000.f)},
        {"Light lines length limited", typeid(bool), Record::IsLightLinesLengthLimitedFieldId, bytes(false)},
        {"Light plane and manipulator visible", typeid(bool), Record::LightPlaneVisibleFieldId, bytes(true)},
        {"Light sphere visible", typeid(bool), Record::LightSphereVisibleFieldId, bytes(true)},
        {"Light direction visible", typeid(bool), Record::LightDirectionVisibleFieldId, bytes(false)},
    };
    return keys;
}

// The curvature settings are not saved: every load sets them to these.
const std::map<osg::UInt32, QByteArray>& curvatureDefaults()
{
    static const std::map<osg::UInt32, QByteArray> table = {
        {Record::CurvatureEvaluationTypeFieldId, bytes(3u)}, {Record::CurvatureDrawScaleFieldId, bytes(0.05f)},
        {Record::CurvatureUseBandsFieldId, bytes(false)},    {Record::CurvatureUseRadiusLimitFieldId, bytes(false)},
        {Record::CurvatureRadiusLimitFieldId, bytes(0.5f)},
    };
    return table;
}

QByteArray bytesOf(const boost::any& value)
{
    if (const auto* v = boost::any_cast<unsigned int>(&value))
        return bytes(*v);
    if (const auto* v = boost::any_cast<float>(&value))
        return bytes(*v);
    if (const auto* v = boost::any_cast<bool>(&value))
        return bytes(*v);
    if (const auto* v = boost::any_cast<osg::Vec3f>(&value))
        return bytes(*v);
    return QByteArray();
}

QByteArray bytesOf(const QVariant& value)
{
    return QByteArray(static_cast<const char*>(value.constData()), QMetaType::sizeOf(value.userType()));
}

QByteArray fieldBytes(osg::UInt32 fieldId)
{
    return bytesOf(fieldValue(fieldId));
}

const osg::UInt32 FirstField = Record::LinearLightDirectionFieldId;
const osg::UInt32 LastField = Record::NextFieldId - 1;

// Every record field away from its default, with values that do not round-trip through text.
void fillRecord()
{
    beginEditCP(record(), osg::AllFieldsMask);
    for (osg::UInt32 id = FirstField; id <= LastField; ++id)
    {
        osg::Field* field = record()->getField(id);
        const float x = float(id);
        if (auto* f = dynamic_cast<osg::SField<unsigned int>*>(field))
            f->setValue(id + 100);
        else if (auto* f = dynamic_cast<osg::SField<float>*>(field))
            f->setValue(x / 7.f);
        else if (auto* f = dynamic_cast<osg::SField<bool>*>(field))
            f->setValue(!f->getValue());
        else if (auto* f = dynamic_cast<osg::SField<osg::Vec3f>*>(field))
            f->setValue(osg::Vec3f(x / 3.f, -x / 11.f, x * 1.1f));
    }
    // Like every writer, keep the plane axes those of the plane's rotation: load derives them.
    osg::Vec3f u, v;
    M::getLightPlaneAxesFromEuler(record()->getLightPlaneEulerRotation(), u, v);
    record()->setLightPlaneAxisU(u);
    record()->setLightPlaneAxisV(v);
    endEditCP(record(), osg::AllFieldsMask);
}

// The module's own light direction is set the way a project sets it.
void setOwnLightDirection(const osg::Vec3f& direction)
{
    oxMessage msg;
    msg.set("Linear Light Direction", boost::any(direction), true);
    Access::load(msg);
}

// The rotation that turns (1, 0, 0) onto axis, and the frame load derives from it.
struct SphereFrame
{
    osg::Vec3f euler, tangent;
};

SphereFrame sphereFrameFor(const osg::Vec3f& axis)
{
    SphereFrame frame;
    const osg::Quaternion q = M::getOrientationFromAxis(osg::Vec3f(1.f, 0.f, 0.f), axis, frame.euler);
    const float x = q.x(), y = q.y(), z = q.z(), w = q.w();
    frame.tangent = osg::Vec3f(2 * (x * z + w * y), 2 * (y * z - w * x), w * w - x * x - y * y + z * z);
    return frame;
}

bool allFinite(const osg::Vec3f& v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The whole default state: the project section, the curvature settings and the module switches.
void verifyDefaults(M* m)
{
    for (const Key& key : projectKeys())
        QVERIFY2(key.fallback.isEmpty() || fieldBytes(key.field) == key.fallback, key.text);
    for (const auto& entry : curvatureDefaults())
        QVERIFY2(fieldBytes(entry.first) == entry.second, record()->getFieldName(entry.first));
    const osg::Vec3f one(1.f, 1.f, 1.f);
    QCOMPARE(m->getLightDirection(), one);
    const float c = 1.f / std::sqrt(3.f);
    VERIFY_NEAR(record()->getLinearLightDirection(), osg::Vec3f(c, c, c));
    const SphereFrame frame = sphereFrameFor(one);
    QCOMPARE(record()->getLightSphereEulerRotation(), frame.euler);
    // The sphere visual re-derives the axes from the rotation, so they come back unit length.
    VERIFY_NEAR(record()->getLightSphereAxis(), osg::Vec3f(c, c, c));
    VERIFY_NEAR(record()->getLightSphereAxisUTangent(), frame.tangent);

    QVERIFY(!m->getAnalysisActive());
    QCOMPARE(m->getSimpleMode(), oxController::isSimpleMode());
    QVERIFY(!m->getUiVisibility());
    QVERIFY(!m->getPickNormal());
    QVERIFY(!contextAdded(&Access::normalPickContext()));
    QVERIFY(!m->getCurvatureLegendOverlayVisibility());
    QVERIFY(!m->getUseRaytracingDownscale());
    QVERIFY(!oxOSGWidget::getCurvatureLegendOverlayVisible());
    QCOMPARE(oxOSGWidget::getRaytracingDownscale(), 0);
    QCOMPARE(oxOSGWidget::getRaytracingDownscaleFactor(), 4u);
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 0);
    QVERIFY(!Access::lightPlane().isVisible());
    QVERIFY(!Access::lightSphere().isVisible());
    QVERIFY(!Access::lightDirectionHandle().isVisible());
}

// Every value and switch away from its default, the pick armed, and the host in simple mode.
void moveEverythingAway(M* m)
{
    oxController::setSimpleMode(true);
    setOwnLightDirection(osg::Vec3f(0.f, 2.f, 0.f));
    fillRecord();
    m->setAnalysisActive(true);
    m->setPickNormal(true);
    m->setUiVisibility(true);
    m->setCurvatureLegendOverlayVisibility(true);
    m->setUseRaytracingDownscale(true);
    QVERIFY(contextAdded(&Access::normalPickContext()));
}
} // namespace

// Every change signal of the module, in the order they arrive, with their arguments.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    explicit SignalRecorder(QObject* source)
    {
        const QMetaObject* mo = source->metaObject();
        const QMetaMethod hit = metaObject()->method(metaObject()->indexOfSlot("hit()"));
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
        {
            const QMetaMethod signal = mo->method(i);
            if (signal.methodType() != QMetaMethod::Signal)
                continue;
            connect(source, signal, this, hit);
            spies[signal.name()] = std::make_unique<QSignalSpy>(source, signal);
        }
    }

    QList<QByteArray> names;
    std::map<QByteArray, std::unique_ptr<QSignalSpy>> spies;

public Q_SLOTS:
    void hit() { names << sender()->metaObject()->method(senderSignalIndex()).name(); }
};

class tst_Persistence : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        oxController::setSimpleMode(false);
        ModuleTest::init();
    }

    void saveWritesTheKeysAndLoadRestoresThemBitForBit();
    void emptyLoadGivesTheDefaultsAndKeepsTheUndoStack_data();
    void emptyLoadGivesTheDefaultsAndKeepsTheUndoStack();
    void wrongTypedKeysFallBackAndAreReportedInReadingOrder();
    void lightDirectionAloneSetsDirectionAndSphereFrame_data();
    void lightDirectionAloneSetsDirectionAndSphereFrame();
    void withoutRecordNothingIsWrittenAndTheAnalysisEnds_data();
    void withoutRecordNothingIsWrittenAndTheAnalysisEnds();
    void loadAppliesEveryValueInOrder();
};

void tst_Persistence::saveWritesTheKeysAndLoadRestoresThemBitForBit()
{
    const osg::Vec3f own(0.3f, -1.7f, 2.9f);
    setOwnLightDirection(own);
    fillRecord();
    oxMessage saved;
    Access::save(saved);
    QCOMPARE(saved.size(), projectKeys().size());
    for (size_t i = 0; i < saved.size(); ++i)
    {
        const Key& key = projectKeys()[i];
        const auto& entry = saved.values()[i];
        QCOMPARE(entry.first, std::string(key.text));
        QVERIFY2(entry.second.type() == key.type, key.text);
        // Key 1 is the module's unnormalised direction, not the record's normalised copy.
        QVERIFY2(bytesOf(entry.second) == (key.field ? fieldBytes(key.field) : bytes(own)), key.text);
    }

    Access::setDefault();
    Access::load(saved);
    oxMessage again;
    Access::save(again);
    QCOMPARE(again.size(), saved.size());
    for (size_t i = 0; i < saved.size(); ++i)
        QVERIFY2(bytesOf(again.values()[i].second) == bytesOf(saved.values()[i].second), projectKeys()[i].text);
}

void tst_Persistence::emptyLoadGivesTheDefaultsAndKeepsTheUndoStack_data()
{
    QTest::addColumn<bool>("viaSetDefault");
    QTest::newRow("load of an empty message") << false;
    QTest::newRow("setDefault") << true;
}

void tst_Persistence::emptyLoadGivesTheDefaultsAndKeepsTheUndoStack()
{
    QFETCH(bool, viaSetDefault);
    M* m = host->model;
    moveEverythingAway(m);
    m->setIsoLineCount(3);
    oxUndoStack::get(0).undo();
    const int edits = oxUndoStack::get(0).count();
    const int index = oxUndoStack::get(0).index();

    StderrCapture err;
    oxMessage empty;
    viaSetDefault ? Access::setDefault() : Access::load(empty);
    QCOMPARE(err.text(), QString());
    verifyDefaults(m);
    QCOMPARE(oxUndoStack::get(0).count(), edits);
    QCOMPARE(oxUndoStack::get(0).index(), index);
}

void tst_Persistence::wrongTypedKeysFallBackAndAreReportedInReadingOrder()
{
    moveEverythingAway(host->model);
    oxMessage msg;
    for (const Key& key : projectKeys())
        msg.set(key.text, boost::any(short(1)), true);

    StderrCapture err;
    Access::load(msg);
    const QStringList lines = err.linesWith("has wrong type");

    // Key numbers of the project table, in the order load reads them.
    const int order[] = {1, 18, 2, 3, 4, 11, 13, 6, 7, 8, 5, 14, 15, 16, 17, 19, 20, 21, 22, 23, 24, 9, 10, 12};
    QStringList expected;
    for (int number : order)
    {
        const Key& key = projectKeys()[size_t(number - 1)];
        expected << QString("getFromMessage : Attribute '%1' has wrong type (is:'%2' != req:'%3')!")
                        .arg(key.text, typeid(short).name(), key.type.name());
    }
    QCOMPARE(lines, expected);
    // Each falls back to its default, not to the value held before.
    verifyDefaults(host->model);
}

void tst_Persistence::lightDirectionAloneSetsDirectionAndSphereFrame_data()
{
    QTest::addColumn<osg::Vec3f>("direction");
    QTest::addColumn<osg::Vec3f>("applied"); // the record's copy
    QTest::newRow("non-unit") << osg::Vec3f(0.f, 3.f, 4.f) << osg::Vec3f(0.f, 0.6f, 0.8f);
    QTest::newRow("unit") << osg::Vec3f(0.f, 0.f, -1.f) << osg::Vec3f(0.f, 0.f, -1.f);
    QTest::newRow("z axis, not normalised") << osg::Vec3f(0.f, 0.f, 5.f) << osg::Vec3f(0.f, 0.f, 1.f);
    QTest::newRow("oblique") << osg::Vec3f(-2.f, 4.f, 4.f) << osg::Vec3f(-1.f / 3.f, 2.f / 3.f, 2.f / 3.f);
    // Too short to normalise: taken as it is.
    QTest::newRow("zero") << osg::Vec3f(0.f, 0.f, 0.f) << osg::Vec3f(0.f, 0.f, 0.f);
    QTest::newRow("below 1e-6") << osg::Vec3f(5e-7f, 0.f, 0.f) << osg::Vec3f(5e-7f, 0.f, 0.f);
}

// A project without a sphere rotation (an older one) aims the sphere axis along the light direction.
void tst_Persistence::lightDirectionAloneSetsDirectionAndSphereFrame()
{
    QFETCH(osg::Vec3f, direction);
    QFETCH(osg::Vec3f, applied);
    M* m = host->model;
    QSignalSpy spy(m, SIGNAL(lightDirectionChanged(osg::Vec3f)));
    // What load wrote, before the sphere visual re-derives the axes from the rotation.
    osg::Vec3f writtenAxis, writtenTangent;
    bool seen = false;
    QObject context;
    connect(m, &M::analysisActiveChanged, &context,
            [&]
            {
                if (seen)
                    return;
                seen = true;
                writtenAxis = record()->getLightSphereAxis();
                writtenTangent = record()->getLightSphereAxisUTangent();
            });

    setOwnLightDirection(direction);

    QCOMPARE(m->getLightDirection(), direction);
    VERIFY_NEAR(record()->getLinearLightDirection(), applied);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(qvariant_cast<osg::Vec3f>(spy.at(0).at(0)), record()->getLinearLightDirection());
    // No division by a vanishing length, and nothing derived from it may become NaN.
    for (const osg::Vec3f& v : {record()->getLinearLightDirection(), record()->getLightSphereEulerRotation(),
                                record()->getLightSphereAxis(), record()->getLightSphereAxisUTangent()})
        QVERIFY(allFinite(v));

    const SphereFrame frame = sphereFrameFor(direction);
    QVERIFY(seen);
    QCOMPARE(writtenAxis, direction);
    QCOMPARE(writtenTangent, frame.tangent);
    QCOMPARE(record()->getLightSphereEulerRotation(), frame.euler);
    if (applied.length() < 0.5f)
        return;
    VERIFY_NEAR(record()->getLightSphereAxis(), applied);
    VERIFY_NEAR(record()->getLightSphereAxisUTangent(), frame.tangent);
}

void tst_Persistence::withoutRecordNothingIsWrittenAndTheAnalysisEnds_data()
{
    QTest::addColumn<bool>("raytracer");
    QTest::addColumn<bool>("analysisOn");
    QTest::newRow("no record, analysis on") << true << true;
    QTest::newRow("no record, analysis off") << true << false;
    QTest::newRow("no raytracer utilities, analysis on") << false << true;
    QTest::newRow("no raytracer utilities, analysis off") << false << false;
}

void tst_Persistence::withoutRecordNothingIsWrittenAndTheAnalysisEnds()
{
    QFETCH(bool, raytracer);
    QFETCH(bool, analysisOn);
    M* m = host->model;
    fillRecord();
    oxMessage saved;
    Access::save(saved);
    // A curvature analysis with its legend and the pick wanted, running or switched off.
    moveEverythingAway(m);
    m->setAnalysisMode(3);
    if (!analysisOn)
    {
        m->setAnalysisActive(false);
        m->setPickNormal(true);
    }
    QCOMPARE(oxOSGWidget::getCurvatureLegendOverlayVisible(), analysisOn);
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), analysisOn ? 2 : 0);
    if (raytracer)
        oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    else
        oxRaytracingManager::removeRaytracingUtils();

    oxMessage msg;
    Access::save(msg);
    QCOMPARE(msg.size(), size_t(0));

    SignalRecorder recorder(m);
    const int renders = oxController::renderRequestCount();
    Access::load(saved);
    // Switched off as the AnalysisActive edit does it: one render request, one signal.
    QCOMPARE(recorder.names, QList<QByteArray>{"analysisActiveChanged"});
    QCOMPARE(bytesOf(recorder.spies.at("analysisActiveChanged")->at(0).at(0)), bytes(false));
    QCOMPARE(oxController::renderRequestCount(), renders + 1);
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 0);
    QCOMPARE(oxOSGWidget::getRenderQuality(), 8);
    QVERIFY(!oxOSGWidget::getCurvatureLegendOverlayVisible());
    // The module's own values are still read and reset.
    QCOMPARE(bytes(m->getLightDirection()), bytesOf(saved.get("Linear Light Direction")));
    QVERIFY(!m->getAnalysisActive());
    QVERIFY(!m->getUiVisibility());
    QVERIFY(!m->getCurvatureLegendOverlayVisibility());
    QVERIFY(!m->getUseRaytracingDownscale());
    // Nothing the analysis registered may keep taking drags and clicks.
    QVERIFY(!m->getPickNormal());
    QVERIFY(!contextAdded(&Access::normalPickContext()));
    QVERIFY(!contextAdded(&Access::lightPlaneContext()));
    QVERIFY(!contextAdded(&Access::lightSphereContext()));
    QVERIFY(!contextAdded(&Access::lightDirectionContext()));
}

void tst_Persistence::loadAppliesEveryValueInOrder()
{
    M* m = host->model;
    setOwnLightDirection(osg::Vec3f(0.f, 3.f, 4.f));
    fillRecord();
    oxMessage saved;
    Access::save(saved);
    Access::setDefault();
    auto value = [&saved](const char* key) { return bytesOf(saved.get(key)); };

    SignalRecorder recorder(m);
    Access::load(saved);

    const QList<QPair<QByteArray, QByteArray>> expected = {
        {"analysisActiveChanged", bytes(false)},
        {"simpleModeChanged", bytes(false)},
        {"lightDirectionChanged", bytes(record()->getLinearLightDirection())},
        {"lightPlaneOriginChanged", value("Point on light plane defining neon tubes")},
        {"lightPlaneRotationChanged", value("Light Plane Euler Rotation Angles")},
        {"lightSphereRotationChanged", value("Light sphere euler rotation")},
        {"isoLineCountChanged", value("Number of Isolines")},
        {"baseColorChanged", value("Diffuse and Simple Color")},
        {"glossyColorChanged", value("Glossy Color")},
        {"stripeColorChanged", value("Isoline Color")},
        {"phongExponentChanged", value("Phong exponent for Blinn-Phong Lighting")},
        {"stripeThicknessChanged", value("Isoline thickness")},
        {"stripeSharpnessChanged", value("Isoline sharpness")},
        {"lightLinesDistanceChanged", value("Distance of parallel lines on light plane")},
        {"lightLinesLengthChanged", value("Length of light lines if limited")},
        {"limitedLightLinesLengthChanged", value("Light lines length limited")},
        {"shadingModeChanged", value("Shading Mode")},
        {"reflectionModeChanged", value("Reflection mode")},
        {"analysisModeChanged", value("Analysis Mode")},
        {"lineModeChanged", value("Line Mode")},
        {"lightPlaneVisibilityChanged", value("Light plane and manipulator visible")},
        {"lightSphereVisibilityChanged", value("Light sphere visible")},
        {"lightDirectionVisibilityChanged", value("Light direction visible")},
        {"useViewVectorChanged", value("Use View Vector")},
        {"curvatureModeChanged", bytes(3u)},
        {"curvatureDrawScaleChanged", bytes(0.05f)},
        {"useRadiusLimitChanged", bytes(false)},
        {"radiusLimitChanged", bytes(0.5f)},
        {"useBandsChanged", bytes(false)},
        {"curvatureLegendOverlayVisibilityChanged", bytes(false)},
        {"useRaytracingDownscaleChanged", bytes(false)},
    };
    QList<QByteArray> expectedNames;
    for (const auto& e : expected)
        expectedNames << e.first;
    QCOMPARE(recorder.names, expectedNames);
    for (const auto& e : expected)
        QVERIFY2(bytesOf(recorder.spies.at(e.first)->at(0).at(0)) == e.second, e.first.constData());
}

QTEST_MAIN(tst_Persistence)
#include "tst_persistence.moc"
