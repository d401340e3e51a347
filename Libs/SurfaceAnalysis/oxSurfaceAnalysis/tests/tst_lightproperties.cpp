#include "moduletestsupport.h"

#include "oxFieldBaseUndoCommand.h"

#include <QScopeGuard>

#include <cmath>

typedef oxSurfaceAnalysisModel M;
using osg::Vec3f;

using namespace lighttest;

namespace
{
// Which visuals a mode and the switches show ('P'lane, 'S'phere, 'D'irection).
struct Shown
{
    const char* name;
    unsigned int analysisMode, reflectionMode;
    bool active, plane, sphere, direction;
    const char* shown;
};
const Shown ShownTable[] = {
    {"isophotes", Isophotes, Spherical, true, true, true, true, "D"},
    {"isophotes, arrow hidden", Isophotes, Parallel, true, true, true, false, ""},
    {"parallel lines", Reflection, Parallel, true, true, true, true, "P"},
    {"parallel lines in reflection mode 2", 2, Parallel, true, true, false, false, "P"},
    {"parallel lines, plane hidden", Reflection, Parallel, true, false, true, true, ""},
    {"spherical", Reflection, Spherical, true, true, true, true, "S"},
    {"spherical, sphere hidden", Reflection, Spherical, true, true, false, true, ""},
    {"unknown reflection mode", Reflection, 2, true, true, true, true, ""},
    {"curvature", Curvature, Spherical, true, true, true, true, ""},
    {"analysis off", Reflection, Parallel, false, true, true, true, ""},
};
} // namespace

class tst_LightProperties : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void directionEditKeepsOwnCopyAndNormalisesTheRecord_data();
    void directionEditKeepsOwnCopyAndNormalisesTheRecord();
    void rotationEditIsOneCompositeStep_data();
    void rotationEditIsOneCompositeStep();
    void placementEditsMoveTheVisuals();
    void hidingALightRemovesItsContextInTheSameStep_data() { addLightRows(); }
    void hidingALightRemovesItsContextInTheSameStep();
    void setToVectorAimsTheLightOfTheMode_data();
    void setToVectorAimsTheLightOfTheMode();
    void sphereUpdateAndDefaultLoadReDeriveTheAxes();
    void visualsFollowModeAndSwitches_data();
    void visualsFollowModeAndSwitches();
    void lineCountReachesOnlyTheVisualOfItsModeCapped_data();
    void lineCountReachesOnlyTheVisualOfItsModeCapped();
};

void tst_LightProperties::directionEditKeepsOwnCopyAndNormalisesTheRecord_data()
{
    QTest::addColumn<bool>("withRecord"); // the direction is the module's own: it needs no record
    QTest::addColumn<Vec3f>("direction");
    QTest::addColumn<Vec3f>("stored");
    QTest::newRow("unit") << true << Vec3f(0, 1, 0) << Vec3f(0, 1, 0);
    QTest::newRow("non-unit") << true << Vec3f(0, 3, 4) << Vec3f(0, 0.6f, 0.8f);
    QTest::newRow("tiny, left as it is") << true << Vec3f(0, 5e-7f, 0) << Vec3f(0, 5e-7f, 0);
    QTest::newRow("zero") << true << Vec3f() << Vec3f();
    QTest::newRow("without record") << false << Vec3f(0, 2, 0) << Vec3f();
}

void tst_LightProperties::directionEditKeepsOwnCopyAndNormalisesTheRecord()
{
    QFETCH(bool, withRecord);
    QFETCH(Vec3f, direction);
    QFETCH(Vec3f, stored);
    const Vec3f ownBefore = host->model->getLightDirection();
    const Vec3f recordBefore = record()->getLinearLightDirection();
    if (!withRecord)
        oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    QSignalSpy spy(host->model, SIGNAL(lightDirectionChanged(osg::Vec3f)));

    host->model->setLightDirection(direction);
    QCOMPARE(oxUndoStack::get(0).count(), 1);
    QCOMPARE(oxUndoStack::get(0).text(0), QString("LightDirection"));
    QCOMPARE(host->model->getLightDirection(), direction);
    if (withRecord)
        VERIFY_NEAR(record()->getLinearLightDirection(), stored);
    QCOMPARE(spy.last().at(0).value<Vec3f>(), direction);

    oxUndoStack::get(0).undo();
    QCOMPARE(host->model->getLightDirection(), ownBefore);
    if (withRecord)
        QCOMPARE(record()->getLinearLightDirection(), recordBefore);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.last().at(0).value<Vec3f>(), ownBefore);

    oxUndoStack::get(0).redo();
    QCOMPARE(host->model->getLightDirection(), direction);
    if (withRecord)
        VERIFY_NEAR(record()->getLinearLightDirection(), stored);
    QCOMPARE(spy.last().at(0).value<Vec3f>(), direction);
}

void tst_LightProperties::rotationEditIsOneCompositeStep_data()
{
    QTest::addColumn<QString>("light");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<osg::UInt32>>("fields");
    QTest::newRow("plane") << "plane"
                           << "LightPlaneRotation"
                           << QList<osg::UInt32>{Record::LightPlaneAxisUFieldId, Record::LightPlaneAxisVFieldId,
                                                 Record::LightPlaneEulerRotationFieldId};
    QTest::newRow("sphere") << "sphere"
                            << "LightSphereRotation"
                            << QList<osg::UInt32>{Record::LightSphereAxisFieldId,
                                                  Record::LightSphereAxisUTangentFieldId,
                                                  Record::LightSphereEulerRotationFieldId};
}

void tst_LightProperties::rotationEditIsOneCompositeStep()
{
    QFETCH(QString, light);
    QFETCH(QString, text);
    QFETCH(QList<osg::UInt32>, fields);
    const Light& l = lightNamed(light);
    const Vec3f euler(30, 45, 60);
    const auto rotate = [&](const Vec3f& e)
    { light == "sphere" ? host->model->setLightSphereRotation(e) : host->model->setLightPlaneRotation(e); };
    const QList<Vec3f> before = l.state();
    QSignalSpy spy(host->model, l.liveSignal);
    // The slot runs once all three fields are written.
    QList<bool> consistentInSlot;
    QObject watcher; // the connection ends with it
    connect(host->model, l.liveSignal, &watcher, [&] { consistentInSlot << framesAgreeWithTheirAngles(); });
    QList<osg::UInt32> written;
    const int hook = oxFieldBaseUndoCommand::addNotifyHook([&](osg::UInt32, osg::UInt32 fieldId, osg::BitVector)
                                                           { written << fieldId; });
    const auto unhook = qScopeGuard([hook] { oxFieldBaseUndoCommand::removeNotifyHook(hook); });

    rotate(euler);
    QCOMPARE(oxUndoStack::get(0).count(), 1);
    QCOMPARE(oxUndoStack::get(0).text(0), text);
    QCOMPARE(written, fields);
    QCOMPARE(l.state()[0], euler);
    QVERIFY(framesAgreeWithTheirAngles());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<Vec3f>(), euler);

    written.clear();
    oxUndoStack::get(0).undo();
    QCOMPARE(written, (QList<osg::UInt32>{fields[2], fields[1], fields[0]}));
    QCOMPARE(l.state(), before);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).value<Vec3f>(), before[0]);

    oxUndoStack::get(0).redo();
    QCOMPARE(l.state()[0], euler);
    QVERIFY(framesAgreeWithTheirAngles());
    QCOMPARE(consistentInSlot, (QList<bool>{true, true, true}));
    disconnect(host->model, nullptr, &watcher, nullptr);

    // A record removed under the edit: the slot still runs and signals what there is to read.
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    oxUndoStack::get(0).undo();
    QCOMPARE(spy.count(), 4);
    QCOMPARE(spy.at(3).at(0).value<Vec3f>(), Vec3f());
    // Without a record a rotation is no edit at all.
    rotate(Vec3f(1, 2, 3));
    QCOMPARE(oxUndoStack::get(0).count(), 1);
    QCOMPARE(spy.count(), 4);
}

// The placement is applied to the visuals also while they are hidden.
void tst_LightProperties::placementEditsMoveTheVisuals()
{
    QVERIFY(!Access::lightPlane().isVisible());
    host->model->setLightPlaneOrigin(Vec3f(1, 2, 3));
    host->model->setLightPlaneRotation(Vec3f(10, 20, 30));
    host->model->setLightSphereRotation(Vec3f(40, 50, 60));
    host->model->setLightDirection(Vec3f(0, 0, 3));

    QCOMPARE(transformCore(Access::lightPlane().getTransformNode())->getTranslation(), Vec3f(1, 2, 3));
    QCOMPARE(transformCore(Access::lightPlane().getTransformNode())->getEulerRotation(), Vec3f(10, 20, 30));
    QCOMPARE(Access::lightSphere().getRotation(), Vec3f(40, 50, 60));
    const osg::Quaternion arrow = Access::lightDirectionHandle().getRotation();
    VERIFY_NEAR(Vec3f(arrow.x(), arrow.y(), arrow.z()), Vec3f(0, -std::sqrt(0.5f), 0));

    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    QCOMPARE(transformCore(Access::lightPlane().getTransformNode())->getEulerRotation(), Vec3f());
}

void tst_LightProperties::hidingALightRemovesItsContextInTheSameStep()
{
    QFETCH(QString, light);
    const Light& l = lightNamed(light);
    M* m = host->model;
    arm(l);
    QVERIFY(contextAdded(&l.context()));
    QVERIFY(l.visible());

    // By the time the signal arrives the light has left the view and the interaction.
    QList<QPair<bool, bool>> seen; // (value, shown and live)
    QObject watcher;
    connect(m, l.visibilityChanged, &watcher,
            [&](bool value) { seen << qMakePair(value, contextAdded(&l.context()) && l.visible()); });
    const int steps = oxUndoStack::get(0).count();
    (m->*l.setVisibility)(false);
    QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
    QVERIFY(!contextAdded(&l.context()));
    QVERIFY(!l.visible());

    oxUndoStack::get(0).undo();
    QVERIFY(contextAdded(&l.context()));
    QVERIFY(l.visible());
    QCOMPARE(seen, (QList<QPair<bool, bool>>{{false, false}, {true, true}}));
}

void tst_LightProperties::setToVectorAimsTheLightOfTheMode_data()
{
    QTest::addColumn<bool>("withRecord");
    QTest::addColumn<unsigned int>("analysisMode");
    QTest::addColumn<unsigned int>("reflectionMode");
    QTest::addColumn<Vec3f>("v");
    QTest::addColumn<QString>("step"); // the undo text, empty when nothing is recorded
    QTest::newRow("isophotes aim the direction") << true << Isophotes << Parallel << Vec3f(0, 0, 2) << "LightDirection";
    QTest::newRow("isophotes, no record") << false << Isophotes << Parallel << Vec3f(0, 1, 0) << "";
    QTest::newRow("spherical aims the sphere axis")
        << true << Reflection << Spherical << Vec3f(0, 3, 0) << "LightSphereRotation";
    QTest::newRow("spherical along +X is no turn")
        << true << 2u << Spherical << Vec3f(1, 0, 0) << "LightSphereRotation";
    QTest::newRow("parallel lines are not aimed") << true << Reflection << Parallel << Vec3f(0, 1, 0) << "";
    QTest::newRow("other reflection modes neither") << true << Reflection << 2u << Vec3f(0, 1, 0) << "";
    QTest::newRow("curvature has no light") << true << Curvature << Spherical << Vec3f(0, 1, 0) << "";
}

void tst_LightProperties::setToVectorAimsTheLightOfTheMode()
{
    QFETCH(bool, withRecord);
    QFETCH(unsigned int, analysisMode);
    QFETCH(unsigned int, reflectionMode);
    QFETCH(Vec3f, v);
    QFETCH(QString, step);
    enterMode(analysisMode, reflectionMode, false);
    const int steps = oxUndoStack::get(0).count();
    const Vec3f direction = host->model->getLightDirection();
    const QList<Vec3f> sphere = lightNamed("sphere").state();
    if (!withRecord)
        oxRaytracingManager::getRaytracingUtils()->removeAttachment();

    host->model->setToVector(v);

    if (step.isEmpty())
    {
        QCOMPARE(oxUndoStack::get(0).count(), steps);
        QCOMPARE(host->model->getLightDirection(), direction);
        QVERIFY(!withRecord || lightNamed("sphere").state() == sphere);
        return;
    }
    QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
    QCOMPARE(oxUndoStack::get(0).text(steps), step);
    if (step == "LightDirection")
    {
        QCOMPARE(host->model->getLightDirection(), v);
        QCOMPARE(lightNamed("sphere").state(), sphere);
        return;
    }
    QCOMPARE(host->model->getLightDirection(), direction);
    VERIFY_NEAR(record()->getLightSphereAxis(), normalised(v));
    if (v == Vec3f(1, 0, 0))
        QCOMPARE(record()->getLightSphereEulerRotation(), Vec3f());
    QVERIFY(framesAgreeWithTheirAngles());
}

// Stale axes in the record are replaced by those of the angles.
void tst_LightProperties::sphereUpdateAndDefaultLoadReDeriveTheAxes()
{
    record()->setLightSphereAxis(Vec3f(9, 9, 9));
    host->model->setLightSphereVisibility(true);
    QVERIFY(framesAgreeWithTheirAngles());

    record()->setLightSphereAxis(Vec3f(9, 9, 9));
    record()->setLightPlaneAxisU(Vec3f(9, 9, 9));
    Access::setDefault();
    QVERIFY(framesAgreeWithTheirAngles());
}

void tst_LightProperties::visualsFollowModeAndSwitches_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("activateFirst");
    for (int row = 0; row < int(sizeof ShownTable / sizeof ShownTable[0]); ++row)
        for (bool first : {true, false})
            QTest::addRow("%s, %s", ShownTable[row].name, first ? "switched on first" : "switched on last")
                << row << first;
}

void tst_LightProperties::visualsFollowModeAndSwitches()
{
    QFETCH(int, row);
    QFETCH(bool, activateFirst);
    const Shown& r = ShownTable[row];
    const QString shown = r.shown;
    M* m = host->model;
    if (activateFirst)
        m->setAnalysisActive(r.active);
    m->setLightPlaneVisibility(r.plane);
    m->setLightSphereVisibility(r.sphere);
    m->setLightDirectionVisibility(r.direction);
    m->setReflectionMode(r.reflectionMode);
    m->setAnalysisMode(r.analysisMode);
    if (!activateFirst)
        m->setAnalysisActive(r.active);

    QCOMPARE(Access::lightPlane().isVisible(), shown.contains('P'));
    QCOMPARE(contextAdded(&Access::lightPlaneContext()), shown.contains('P'));
    QCOMPARE(Access::lightSphere().isVisible(), shown.contains('S'));
    QCOMPARE(contextAdded(&Access::lightSphereContext()), shown.contains('S'));
    QCOMPARE(Access::lightDirectionHandle().isVisible(), shown.contains('D'));
    QCOMPARE(contextAdded(&Access::lightDirectionContext()), shown.contains('D'));
}

void tst_LightProperties::lineCountReachesOnlyTheVisualOfItsModeCapped_data()
{
    QTest::addColumn<unsigned int>("analysisMode");
    QTest::addColumn<unsigned int>("reflectionMode");
    QTest::addColumn<QString>("visual"); // the one that draws the isolines
    QTest::newRow("isophotes: neither") << Isophotes << Spherical << "";
    QTest::newRow("parallel lines: the plane") << Reflection << Parallel << "plane";
    QTest::newRow("spherical lights: the sphere") << Reflection << Spherical << "sphere";
}

// A script's -1 arrives as 2^32 - 1: the record keeps it, the visual of the mode draws its maximum.
void tst_LightProperties::lineCountReachesOnlyTheVisualOfItsModeCapped()
{
    QFETCH(unsigned int, analysisMode);
    QFETCH(unsigned int, reflectionMode);
    QFETCH(QString, visual);
    enterMode(analysisMode, reflectionMode);
    // Each visual's count, and what the visual of the mode draws.
    const auto lines = [&visual]
    {
        const osg::UInt32 drawn = visual == "plane"
                                      ? Access::lightPlane().getLinesGeometry()->getPositions()->size() / 2
                                  : visual == "sphere" ? Access::lightSphere().getRingsNode()->getNChildren() - 1
                                                       : 0;
        return QList<osg::UInt32>{Access::lightPlane().getLineCount(), Access::lightSphere().getLineCount(), drawn};
    };
    const QList<osg::UInt32> before = lines();
    QList<osg::UInt32> capped = before;
    if (!visual.isEmpty())
    {
        capped[visual == "plane" ? 0 : 1] = 4294967295u;
        capped[2] = visual == "plane" ? oxSALightPlane::MaxLines : oxSALightSphere::MaxRings;
    }
    QSignalSpy spy(host->model, SIGNAL(isoLineCountChanged(uint)));

    host->model->setIsoLineCount(4294967295u);
    QCOMPARE(record()->getIsolines(), 4294967295u);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toUInt(), 4294967295u);
    QCOMPARE(lines(), capped);

    // A later refresh of the visuals, as after a load, keeps the cap.
    host->model->setLightSphereVisibility(true);
    host->model->setStripeColor(Vec3f(1, 0, 0));
    QCOMPARE(lines(), capped);

    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    QCOMPARE(record()->getIsolines(), 16u);
    QCOMPARE(lines(), before);
}

QTEST_MAIN(tst_LightProperties)
#include "tst_lightproperties.moc"
