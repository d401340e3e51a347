#include "moduletestsupport.h"
#include "stderrcapture.h"

#include <QMetaMethod>

#include <cmath>
#include <cstring>
#include <map>

typedef oxSurfaceAnalysisModel M;

namespace
{
// The project section in the order save writes it; field 0 is the module's own light direction.
struct Key
{
    const char* text;
    const std::type_info& type;
    osg::UInt32 field;
};

const std::vector<Key>& projectKeys()
{
    static const std::vector<Key> keys = {
        {"Linear Light Direction", typeid(osg::Vec3f), 0},
        {"Number of Isolines", typeid(unsigned int), Record::IsolinesFieldId},
        {"Isoline thickness", typeid(float), Record::StripeThicknessFieldId},
        {"Isoline sharpness", typeid(float), Record::StripeSharpnessFieldId},
        {"Isoline Color", typeid(osg::Vec3f), Record::StripeColorFieldId},
        {"Diffuse and Simple Color", typeid(osg::Vec3f), Record::BaseColorFieldId},
        {"Glossy Color", typeid(osg::Vec3f), Record::GlossyColorFieldId},
        {"Phong exponent for Blinn-Phong Lighting", typeid(float), Record::PhongExponentFieldId},
        {"Shading Mode", typeid(unsigned int), Record::ShadingModeFieldId},
        {"Analysis Mode", typeid(unsigned int), Record::AnalysisModeFieldId},
        {"Line Mode", typeid(unsigned int), Record::LineModeFieldId},
        {"Reflection mode", typeid(unsigned int), Record::ReflectionModeFieldId},
        {"Use View Vector", typeid(bool), Record::UseViewVectorFieldId},
        {"Point on light plane defining neon tubes", typeid(osg::Vec3f), Record::LightPlaneOriginFieldId},
        {"Light Plane Axis U", typeid(osg::Vec3f), Record::LightPlaneAxisUFieldId},
        {"Light Plane Axis V", typeid(osg::Vec3f), Record::LightPlaneAxisVFieldId},
        {"Light Plane Euler Rotation Angles", typeid(osg::Vec3f), Record::LightPlaneEulerRotationFieldId},
        {"Light sphere euler rotation", typeid(osg::Vec3f), Record::LightSphereEulerRotationFieldId},
        {"Distance of parallel lines on light plane", typeid(float), Record::LightLinesDistanceFieldId},
        {"Length of light lines if limited", typeid(float), Record::LightLinesLengthFieldId},
        {"Light lines length limited", typeid(bool), Record::IsLightLinesLengthLimitedFieldId},
        {"Light plane and manipulator visible", typeid(bool), Record::LightPlaneVisibleFieldId},
        {"Light sphere visible", typeid(bool), Record::LightSphereVisibleFieldId},
        {"Light direction visible", typeid(bool), Record::LightDirectionVisibleFieldId},
    };
    return keys;
}

template <typename T> QByteArray bytes(const T& value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), int(sizeof(T)));
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

QByteArray fieldBytes(osg::UInt32 fieldId)
{
    osg::Field* field = record()->getField(fieldId);
    if (auto* f = dynamic_cast<osg::SField<unsigned int>*>(field))
        return bytes(f->getValue());
    if (auto* f = dynamic_cast<osg::SField<float>*>(field))
        return bytes(f->getValue());
    if (auto* f = dynamic_cast<osg::SField<bool>*>(field))
        return bytes(f->getValue());
    if (auto* f = dynamic_cast<osg::SField<osg::Vec3f>*>(field))
        return bytes(f->getValue());
    return QByteArray();
}

const osg::UInt32 FirstField = Record::LinearLightDirectionFieldId;
const osg::UInt32 LastField = Record::CurvatureRadiusLimitFieldId;

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

void switchEverythingOn(M* m)
{
    m->setAnalysisActive(true);
    m->setUiVisibility(true);
    m->setCurvatureLegendOverlayVisibility(true);
    m->setUseRaytracingDownscale(true);
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

bool nearlyEqual(const osg::Vec3f& a, const osg::Vec3f& b)
{
    return a.equals(b, 1e-5f);
}

QByteArray vecText(const osg::Vec3f& v)
{
    return QByteArray::number(v[0]) + ", " + QByteArray::number(v[1]) + ", " + QByteArray::number(v[2]);
}

// Record values after loading an empty message, except the four derived from the light direction.
const std::map<osg::UInt32, QByteArray>& exactDefaults()
{
    static const std::map<osg::UInt32, QByteArray> table = {
        {Record::IsolinesFieldId, bytes(16u)},
        {Record::ShadingModeFieldId, bytes(1u)},
        {Record::BaseColorFieldId, bytes(osg::Vec3f(1.f, 1.f, 1.f))},
        {Record::StripeThicknessFieldId, bytes(0.1f)},
        {Record::StripeSharpnessFieldId, bytes(0.5f)},
        {Record::StripeColorFieldId, bytes(osg::Vec3f(0.f, 0.f, 0.f))},
        {Record::UseViewVectorFieldId, bytes(false)},
        {Record::AnalysisModeFieldId, bytes(0u)},
        {Record::LineModeFieldId, bytes(0u)},
        {Record::LightPlaneOriginFieldId, bytes(osg::Vec3f(0.f, 0.f, 0.f))},
        {Record::LightPlaneAxisUFieldId, bytes(osg::Vec3f(1.f, 0.f, 0.f))},
        {Record::LightPlaneAxisVFieldId, bytes(osg::Vec3f(0.f, 1.f, 0.f))},
        {Record::LightPlaneEulerRotationFieldId, bytes(osg::Vec3f(0.f, 0.f, 0.f))},
        {Record::ReflectionModeFieldId, bytes(0u)},
        {Record::LightLinesDistanceFieldId, bytes(10.f)},
        {Record::LightLinesLengthFieldId, bytes(1000.f)},
        {Record::IsLightLinesLengthLimitedFieldId, bytes(false)},
        {Record::LightPlaneVisibleFieldId, bytes(true)},
        {Record::LightSphereVisibleFieldId, bytes(true)},
        {Record::LightDirectionVisibleFieldId, bytes(false)},
        {Record::GlossyColorFieldId, bytes(osg::Vec3f(1.f, 1.f, 1.f))},
        {Record::PhongExponentFieldId, bytes(32.f)},
        {Record::CurvatureEvaluationTypeFieldId, bytes(3u)},
        {Record::CurvatureDrawScaleFieldId, bytes(0.05f)},
        {Record::CurvatureUseBandsFieldId, bytes(false)},
        {Record::CurvatureUseRadiusLimitFieldId, bytes(false)},
        {Record::CurvatureRadiusLimitFieldId, bytes(0.5f)},
    };
    return table;
}

// The whole default state: both tables of the project section and the module switches.
void verifyDefaults(M* m)
{
    for (const auto& entry : exactDefaults())
        QVERIFY2(fieldBytes(entry.first) == entry.second, record()->getFieldName(entry.first));
    const osg::Vec3f one(1.f, 1.f, 1.f);
    QCOMPARE(m->getLightDirection(), one);
    const float c = 1.f / std::sqrt(3.f);
    QVERIFY(nearlyEqual(record()->getLinearLightDirection(), osg::Vec3f(c, c, c)));
    const SphereFrame frame = sphereFrameFor(one);
    QCOMPARE(record()->getLightSphereEulerRotation(), frame.euler);
    // The sphere visual re-derives the axes from the rotation, so they come back unit length.
    QVERIFY(nearlyEqual(record()->getLightSphereAxis(), osg::Vec3f(c, c, c)));
    QVERIFY(nearlyEqual(record()->getLightSphereAxisUTangent(), frame.tangent));

    QVERIFY(!m->getAnalysisActive());
    QCOMPARE(m->getSimpleMode(), oxController::isSimpleMode());
    QVERIFY(!m->getUiVisibility());
    QVERIFY(!m->getPickNormal());
    QVERIFY(!m->getCurvatureLegendOverlayVisibility());
    QVERIFY(!m->getUseRaytracingDownscale());
    QVERIFY(!oxOSGWidget::getCurvatureLegendOverlayVisible());
    QCOMPARE(oxOSGWidget::getRaytracingDownscale(), 0);
    QCOMPARE(oxOSGWidget::getRaytracingDownscaleFactor(), 4u);
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

class tst_Persistence : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<osg::Vec3f>("osg::Vec3f");
        host.reset(new ModuleHost);
    }
    void init()
    {
        oxController::setSimpleMode(false);
        host->reset();
    }
    void cleanupTestCase()
    {
        oxController::setSimpleMode(false);
        host.reset();
    }

    void saveWritesTheKeysInTableOrder_data();
    void saveWritesTheKeysInTableOrder();
    void saveThenLoadRestoresEveryValueBitForBit();
    void emptyMessageGivesTheDefaults();
    void setDefaultAfterEdits();
    void wrongTypedKeyFallsBack_data();
    void wrongTypedKeyFallsBack();
    void wrongTypedKeysAreReportedInReadingOrder();
    void lightDirectionIsNormalisedOnlyWhenLongEnough_data();
    void lightDirectionIsNormalisedOnlyWhenLongEnough();
    void sphereFrameFollowsTheLightDirectionWhenMissing_data();
    void sphereFrameFollowsTheLightDirectionWhenMissing();
    void withoutRecordNothingIsWrittenOrSignalled_data();
    void withoutRecordNothingIsWrittenOrSignalled();
    void loadNeverTouchesTheUndoStack();
    void loadAppliesEveryValueInOrder();

private:
    std::unique_ptr<ModuleHost> host;
};

void tst_Persistence::saveWritesTheKeysInTableOrder_data()
{
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < projectKeys().size(); ++i)
        QTest::newRow(projectKeys()[i].text) << int(i);
}

void tst_Persistence::saveWritesTheKeysInTableOrder()
{
    QFETCH(int, index);
    const Key& key = projectKeys()[size_t(index)];
    const osg::Vec3f own(0.3f, -1.7f, 2.9f);
    setOwnLightDirection(own);
    fillRecord();

    oxMessage msg;
    Access::save(msg);
    QCOMPARE(msg.size(), projectKeys().size());
    const auto& entry = msg.values()[size_t(index)];
    QCOMPARE(entry.first, std::string(key.text));
    QCOMPARE(entry.second.type().name(), key.type.name());
    // Key 1 is the module's unnormalised direction, not the record's normalised copy.
    QCOMPARE(bytesOf(entry.second), key.field ? fieldBytes(key.field) : bytes(own));
}

void tst_Persistence::saveThenLoadRestoresEveryValueBitForBit()
{
    M* m = host->model;
    setOwnLightDirection(osg::Vec3f(0.3f, -1.7f, 2.9f));
    fillRecord();
    oxMessage saved;
    Access::save(saved);

    Access::setDefault();
    fillRecord();
    switchEverythingOn(m);
    oxController::setSimpleMode(true);
    Access::load(saved);

    oxMessage again;
    Access::save(again);
    QCOMPARE(again.size(), saved.size());
    for (size_t i = 0; i < saved.size(); ++i)
    {
        QCOMPARE(again.values()[i].first, saved.values()[i].first);
        QVERIFY2(bytesOf(again.values()[i].second) == bytesOf(saved.values()[i].second),
                 saved.values()[i].first.c_str());
    }

    osg::Vec3f direction(0.3f, -1.7f, 2.9f);
    direction.normalize();
    QCOMPARE(record()->getLinearLightDirection(), direction);
    QCOMPARE(record()->getCurvatureEvaluationType(), 3u);
    QCOMPARE(record()->getCurvatureDrawScale(), 0.05f);
    QCOMPARE(record()->getCurvatureUseRadiusLimit(), false);
    QCOMPARE(record()->getCurvatureRadiusLimit(), 0.5f);
    QCOMPARE(record()->getCurvatureUseBands(), false);
    QVERIFY(!m->getAnalysisActive());
    QVERIFY(m->getSimpleMode());
    QVERIFY(!m->getUiVisibility());
    QVERIFY(!m->getCurvatureLegendOverlayVisibility());
    QVERIFY(!m->getUseRaytracingDownscale());
    QCOMPARE(oxOSGWidget::getRenderingMode(-1), 0);
}

void tst_Persistence::emptyMessageGivesTheDefaults()
{
    setOwnLightDirection(osg::Vec3f(0.f, 2.f, 0.f));
    fillRecord();
    switchEverythingOn(host->model);

    StderrCapture err;
    oxMessage empty;
    Access::load(empty);
    QCOMPARE(err.text(), QString());
    verifyDefaults(host->model);
}

void tst_Persistence::setDefaultAfterEdits()
{
    M* m = host->model;
    m->setAnalysisActive(true);
    m->setAnalysisMode(3);
    m->setPickNormal(true);
    QVERIFY(contextAdded(&Access::normalPickContext()));
    m->setIsoLineCount(3);
    m->setCurvatureDrawScale(2.f);
    m->setUseBands(true);
    m->setLightPlaneOrigin(osg::Vec3f(1.f, 2.f, 3.f));
    m->setUseRaytracingDownscale(true);
    const int edits = oxUndoStack::get(0).count();

    Access::setDefault();
    verifyDefaults(m);
    QVERIFY(!contextAdded(&Access::normalPickContext()));
    QCOMPARE(oxUndoStack::get(0).count(), edits);
}

void tst_Persistence::wrongTypedKeyFallsBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("heldType");
    QTest::addColumn<uint>("field"); // 0: the module's own light direction
    QTest::newRow("count as float") << "Number of Isolines"
                                    << "float" << uint(Record::IsolinesFieldId);
    QTest::newRow("thickness as double") << "Isoline thickness"
                                         << "double" << uint(Record::StripeThicknessFieldId);
    QTest::newRow("flag as int") << "Use View Vector"
                                 << "int" << uint(Record::UseViewVectorFieldId);
    QTest::newRow("colour as float") << "Isoline Color"
                                     << "float" << uint(Record::StripeColorFieldId);
    QTest::newRow("mode as bool") << "Shading Mode"
                                  << "bool" << uint(Record::ShadingModeFieldId);
    QTest::newRow("direction as unsigned") << "Linear Light Direction"
                                           << "unsigned" << 0u;
    QTest::newRow("sphere rotation as float") << "Light sphere euler rotation"
                                              << "float" << uint(Record::LightSphereEulerRotationFieldId);
}

void tst_Persistence::wrongTypedKeyFallsBack()
{
    QFETCH(QString, key);
    QFETCH(QString, heldType);
    QFETCH(uint, field);
    M* m = host->model;
    fillRecord();
    oxMessage msg;
    boost::any value;
    if (heldType == "float")
        value = 9.f;
    else if (heldType == "double")
        value = 9.0;
    else if (heldType == "int")
        value = 9;
    else if (heldType == "bool")
        value = true;
    else
        value = 9u;
    msg.set(key.toStdString(), value, true);
    // Another key still loads.
    msg.set("Line Mode", boost::any(2u), true);

    StderrCapture err;
    Access::load(msg);
    const QString printed = err.text();

    const std::type_info& required = field == 0 ? typeid(osg::Vec3f) : record()->getField(field)->getValueType();
    const QString line = QString("getFromMessage : Attribute '%1' has wrong type (is:'%2' != req:'%3')!")
                             .arg(key, value.type().name(), required.name());
    QVERIFY2(printed.startsWith(line + "\n"), qPrintable(printed));
    QCOMPARE(printed.count("has wrong type"), 1);

    QCOMPARE(m->getLineMode(), 2u);
    if (field == 0)
        QCOMPARE(m->getLightDirection(), osg::Vec3f(1.f, 1.f, 1.f));
    else if (field == Record::LightSphereEulerRotationFieldId)
        QCOMPARE(record()->getLightSphereEulerRotation(), sphereFrameFor(osg::Vec3f(1.f, 1.f, 1.f)).euler);
    else
        QCOMPARE(fieldBytes(field), exactDefaults().at(field));
}

void tst_Persistence::wrongTypedKeysAreReportedInReadingOrder()
{
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
    verifyDefaults(host->model);
}

void tst_Persistence::lightDirectionIsNormalisedOnlyWhenLongEnough_data()
{
    QTest::addColumn<osg::Vec3f>("direction");
    QTest::addColumn<osg::Vec3f>("applied");
    QTest::newRow("non-unit") << osg::Vec3f(0.f, 3.f, 4.f) << osg::Vec3f(0.f, 0.6f, 0.8f);
    QTest::newRow("unit") << osg::Vec3f(0.f, 0.f, -1.f) << osg::Vec3f(0.f, 0.f, -1.f);
    QTest::newRow("zero") << osg::Vec3f(0.f, 0.f, 0.f) << osg::Vec3f(0.f, 0.f, 0.f);
    QTest::newRow("below 1e-6") << osg::Vec3f(5e-7f, 0.f, 0.f) << osg::Vec3f(5e-7f, 0.f, 0.f);
}

void tst_Persistence::lightDirectionIsNormalisedOnlyWhenLongEnough()
{
    QFETCH(osg::Vec3f, direction);
    QFETCH(osg::Vec3f, applied);
    M* m = host->model;
    QSignalSpy spy(m, SIGNAL(lightDirectionChanged(osg::Vec3f)));

    setOwnLightDirection(direction);

    QCOMPARE(m->getLightDirection(), direction);
    QVERIFY2(nearlyEqual(record()->getLinearLightDirection(), applied), vecText(record()->getLinearLightDirection()));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(qvariant_cast<osg::Vec3f>(spy.at(0).at(0)), record()->getLinearLightDirection());
    // No division by a vanishing length, and nothing derived from it may become NaN.
    QVERIFY(allFinite(record()->getLinearLightDirection()));
    QVERIFY(allFinite(record()->getLightSphereEulerRotation()));
    QVERIFY(allFinite(record()->getLightSphereAxis()));
    QVERIFY(allFinite(record()->getLightSphereAxisUTangent()));
}

void tst_Persistence::sphereFrameFollowsTheLightDirectionWhenMissing_data()
{
    QTest::addColumn<osg::Vec3f>("direction");
    QTest::newRow("z axis") << osg::Vec3f(0.f, 0.f, 1.f);
    QTest::newRow("z axis, not normalised") << osg::Vec3f(0.f, 0.f, 5.f);
    QTest::newRow("oblique") << osg::Vec3f(-1.f, 2.f, 0.5f);
}

void tst_Persistence::sphereFrameFollowsTheLightDirectionWhenMissing()
{
    QFETCH(osg::Vec3f, direction);
    M* m = host->model;
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

    const SphereFrame frame = sphereFrameFor(direction);
    QVERIFY(seen);
    QCOMPARE(writtenAxis, direction);
    QCOMPARE(writtenTangent, frame.tangent);
    QCOMPARE(record()->getLightSphereEulerRotation(), frame.euler);
    osg::Vec3f unit = direction;
    unit.normalize();
    QVERIFY2(nearlyEqual(record()->getLightSphereAxis(), unit), vecText(record()->getLightSphereAxis()));
    QVERIFY2(nearlyEqual(record()->getLightSphereAxisUTangent(), frame.tangent),
             vecText(record()->getLightSphereAxisUTangent()));
}

void tst_Persistence::withoutRecordNothingIsWrittenOrSignalled_data()
{
    QTest::addColumn<bool>("raytracer");
    QTest::newRow("no record") << true;
    QTest::newRow("no raytracer utilities") << false;
}

void tst_Persistence::withoutRecordNothingIsWrittenOrSignalled()
{
    QFETCH(bool, raytracer);
    M* m = host->model;
    fillRecord();
    oxMessage saved;
    Access::save(saved);
    switchEverythingOn(m);
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
    QCOMPARE(recorder.names, QList<QByteArray>());
    QCOMPARE(oxController::renderRequestCount(), renders);
    // The module's own values are still read and reset.
    QCOMPARE(bytes(m->getLightDirection()), bytesOf(saved.get("Linear Light Direction")));
    QVERIFY(!m->getAnalysisActive());
    QVERIFY(!m->getUiVisibility());
    QVERIFY(!m->getCurvatureLegendOverlayVisibility());
    QVERIFY(!m->getUseRaytracingDownscale());
}

void tst_Persistence::loadNeverTouchesTheUndoStack()
{
    M* m = host->model;
    m->setIsoLineCount(3);
    m->setAnalysisActive(true);
    m->setStripeThickness(0.2f);
    oxUndoStack::get(0).undo();
    fillRecord();
    oxMessage saved;
    Access::save(saved);

    Access::load(saved);
    oxMessage empty;
    Access::load(empty);
    QCOMPARE(oxUndoStack::get(0).count(), 3);
    QCOMPARE(oxUndoStack::get(0).index(), 2);
    QCOMPARE(oxUndoStack::get(0).text(1), QString("AnalysisActive"));
}

void tst_Persistence::loadAppliesEveryValueInOrder()
{
    M* m = host->model;
    setOwnLightDirection(osg::Vec3f(0.f, 3.f, 4.f));
    fillRecord();
    oxMessage saved;
    Access::save(saved);
    Access::setDefault();
    auto value = [&saved](const char* key)
    {
        const boost::any& v = saved.get(key);
        if (const auto* u = boost::any_cast<unsigned int>(&v))
            return QVariant::fromValue(*u);
        if (const auto* f = boost::any_cast<float>(&v))
            return QVariant::fromValue(*f);
        if (const auto* b = boost::any_cast<bool>(&v))
            return QVariant::fromValue(*b);
        return QVariant::fromValue(boost::any_cast<osg::Vec3f>(v));
    };

    osg::Vec3f direction(0.f, 3.f, 4.f);
    direction.normalize();

    SignalRecorder recorder(m);
    Access::load(saved);

    const QList<QPair<QByteArray, QVariant>> expected = {
        {"analysisActiveChanged", false},
        {"simpleModeChanged", false},
        {"lightDirectionChanged", QVariant::fromValue(direction)},
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
        {"curvatureModeChanged", QVariant::fromValue(3u)},
        {"curvatureDrawScaleChanged", QVariant::fromValue(0.05f)},
        {"useRadiusLimitChanged", false},
        {"radiusLimitChanged", QVariant::fromValue(0.5f)},
        {"useBandsChanged", false},
        {"curvatureLegendOverlayVisibilityChanged", false},
        {"useRaytracingDownscaleChanged", false},
    };
    QList<QByteArray> expectedNames;
    for (const auto& e : expected)
        expectedNames << e.first;
    QCOMPARE(recorder.names, expectedNames);
    for (const auto& e : expected)
    {
        const QSignalSpy& spy = *recorder.spies.at(e.first);
        QCOMPARE(spy.count(), 1);
        QVERIFY2(spy.at(0).at(0) == e.second, e.first.constData());
    }
}

QTEST_MAIN(tst_Persistence)
#include "tst_persistence.moc"
