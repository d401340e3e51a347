// The reference host's script module oxHost, driven in-process as a user's script drives it:
// the host's commands and the surface analysis panel's functions.
#include "scripttestsupport.h"

#include "hostanalysisaccess.h"
#include "moduletestsupport.h"
#include "oxBaseService.h"
#include "oxFileIO.h"
#include "oxHostAnalysisModel.h"
#include "oxHostScene.h"
#include "oxHostRooms.h"
#include "oxHostScript.h"
#include "oxInternalCameraConnector.h"
#include "oxRenderer.h"
#include "oxKernelServiceFactory.h"
#include "oxScript.h"
#include "oxSurfaceAnalysisPanel.h"
#include "oxSurfaceAnalysisSettings.h"

#include <QTemporaryDir>

namespace
{
// Every property in the order oxHost.properties() gives, with a value other than its default.
// clang-format off
const char* const Properties[][2] = {
    {"AnalysisActive", "True"}, {"SimpleMode", "True"}, {"LightDirection", "(0.0, 0.0, 1.0)"},
    {"LightPlaneOrigin", "(1.0, 2.0, 3.0)"}, {"LightPlaneRotation", "(0.0, 0.0, 90.0)"},
    {"LightSphereRotation", "(0.0, 90.0, 0.0)"},
    {"IsoLineCount", "7"}, {"BaseColor", "(0.25, 0.5, 0.75)"}, {"GlossyColor", "(0.5, 0.5, 0.25)"},
    {"StripeColor", "(1.0, 0.0, 0.0)"}, {"PhongExponent", "8.0"}, {"StripeThickness", "0.25"},
    {"StripeSharpness", "0.75"}, {"LightLinesDistance", "2.5"}, {"LightLinesLength", "50.0"},
    {"LimitedLightLinesLength", "True"}, {"ShadingMode", "2"}, {"ReflectionMode", "1"},
    {"AnalysisMode", "2"}, {"LineMode", "1"}, {"LightPlaneVisibility", "False"},
    {"LightSphereVisibility", "False"}, {"LightDirectionVisibility", "True"}, {"UiVisibility", "True"},
    {"PickNormal", "True"}, {"UseViewVector", "True"}, {"CurvatureMode", "1"},
    {"CurvatureDrawScale", "0.5"}, {"CurvatureLegendOverlayVisibility", "True"}, {"UseRadiusLimit", "True"},
    {"RadiusLimit", "0.125"}, {"UseBands", "True"}, {"UseRaytracingDownscale", "True"},
};
// clang-format on

QString propertyNames()
{
    QStringList names;
    for (const auto& p : Properties)
        names << p[0];
    return names.join(", ");
}

// The last message a probe callback received.
oxMessage s_probed;
int s_probeCalls = 0;
void probe(oxMessage& msg)
{
    s_probed = msg;
    ++s_probeCalls;
}

// What a failed command must leave alone: the record, the module's and the host analyses' properties, the
// project and the history.
QString hostState()
{
    return evalPython("(oxHost.settings(), [oxHost.get(n) for n in oxHost.properties()], oxHost.projectValues(), "
                      "[oxHost.get(n) for n in oxHost.analysisProperties()], oxHost.undoCount(), oxHost.signals())");
}
} // namespace

class tst_HostScript : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void propertyIsOneUndoableEditWithItsSignal_data();
    void propertyIsOneUndoableEditWithItsSignal();
    void propertyErrorsChangeNothing_data();
    void propertyErrorsChangeNothing();
    void projectSurvivesNewScene();
    void brokenProjectChangesNothing();
    void callbackValuesAreConverted();
    void cameraNavigationReachesTheModule();
    void raytracerCanComeAndGo();
    void lightPlaneDragIsOneUndoStep();
    void pickAndClickAimTheLight();
    void hostAnalysisPropertyIsScriptedAndSaved_data();
    void hostAnalysisPropertyIsScriptedAndSaved();
    void draftAndModuleAnalysisTakeTurns();
    void longDirectionsAreDirections_data();
    void longDirectionsAreDirections();
    void projectValueOutsideItsDomainLoadsTheDefault();
    void deviationGoesOffWithTheReference();

private:
    oxInternalCameraConnector connector;
    oxBaseService service;
    QTemporaryDir dir;
};

void tst_HostScript::initTestCase()
{
    // As oxhost starts: services first, so the module connects to them, then the script start-up.
    oxInternalCameraConnector::setInstance(&connector);
    oxKernelServiceFactory::the().registerService<oxBaseService>(&service);
    ModuleTest::initTestCase();
    Q_EMIT service.init();
    oxHostScript::install();
    oxHostRooms::install();
    oxhostPanelAttach();
    QVERIFY(oxScript::initialize());
    oxhostPanelCreate();
    oxController::addCB("probe", &probe);
}

void tst_HostScript::init()
{
    ModuleTest::init();
    oxHostScene::clear();
    oxFileIO::getProject().clear();
    QCOMPARE(runPython("oxHost.signals()"), QString());
}

void tst_HostScript::cleanupTestCase()
{
    oxController::subCB("probe", &probe);
    oxhostPanelDetach();
    QVERIFY(oxScript::finalize());
    ModuleTest::cleanupTestCase();
}

void tst_HostScript::propertyIsOneUndoableEditWithItsSignal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    for (const auto& p : Properties)
        QTest::newRow(p[0]) << QString(p[0]) << QString(p[1]);
}

void tst_HostScript::propertyIsOneUndoableEditWithItsSignal()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    const QString signal = name.left(1).toLower() + name.mid(1) + "Changed";

    // With the analysis on, as a user sees the panel; the pick switch emits only then.
    QCOMPARE(runPython("oxHost.set('AnalysisActive', True); oxHost.signals()"), QString());
    const QString before = evalPython("oxHost.get('" + name + "')");
    const int edits = oxUndoStack::get(0).count();

    QCOMPARE(runPython("oxHost.set('" + name + "', " + value + ")"), QString());
    QCOMPARE(evalPython("oxHost.get('" + name + "')"), value);
    QCOMPARE(oxUndoStack::get(0).count(), edits + 1);
    QCOMPARE(evalPython("dict(oxHost.signals()).get('" + signal + "')"), value);

    QCOMPARE(runPython("oxHost.undo()"), QString());
    QCOMPARE(evalPython("oxHost.get('" + name + "')"), before);
}

void tst_HostScript::propertyErrorsChangeNothing_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown name") << "oxHost.set('Isolines', 3)"
                                  << "ValueError"
                                  << "unknown property \"Isolines\"; the properties are: " + propertyNames();
    const char* const rows[][4] = {
        {"unknown name read", "oxHost.get('isoLineCount')", "ValueError", "unknown property \"isoLineCount\""},
        {"negative count", "oxHost.set('IsoLineCount', -1)", "OverflowError",
         "the value of IsoLineCount must be from 0 to 4294967295"},
        {"float for count", "oxHost.set('IsoLineCount', 1.5)", "TypeError",
         "the value of IsoLineCount must be a whole number"},
        {"int for switch", "oxHost.set('AnalysisActive', 1)", "TypeError",
         "the value of AnalysisActive must be True or False"},
        {"pair for colour", "oxHost.set('BaseColor', (1, 2))", "TypeError",
         "the value of BaseColor must be a Vec3f or a sequence of three numbers"},
        {"text for float", "oxHost.set('StripeThickness', 'x')", "TypeError",
         "the value of StripeThickness must be a number"},
        {"beyond float", "oxHost.set('StripeThickness', 1e39)", "OverflowError",
         "the value of StripeThickness is beyond the range of a 32-bit float"},
        {"project value", "oxHost.setProjectValue('k', 'text')", "TypeError",
         "the value of key \"k\" must be a bool, an int, a float or three numbers"},
        // The host analyses' reasons are tst_hostanalysismodel's; here they arrive as Python exceptions.
        {"NaN scale", "oxHost.set('CombScale', float('nan'))", "ValueError",
         "the value of CombScale must be a finite number"},
        {"int for a host switch", "oxHost.set('DraftActive', 1)", "TypeError",
         "the value of DraftActive must be True or False"},
        {"negative section count", "oxHost.set('CombSections', -2)", "ValueError",
         "the value of CombSections must be from 0 to 1000, not -2"},
        {"count beyond 32 bits", "oxHost.set('CombSections', 2**40)", "ValueError",
         "the value of CombSections must be from 0 to 1000, not 1099511627776"},
        {"all dark", "oxHost.set('StripesWidth', 1)", "ValueError",
         "the value of StripesWidth must be greater than 0 and less than 1, not 1"},
        {"zero axis vector", "oxHost.set('StripesVector', (0, 0, 0))", "ValueError",
         "the value of StripesVector must be a direction"},
        {"angle beyond floats", "oxHost.set('DraftAngle', 1e39)", "ValueError",
         "the value of DraftAngle must be at least 0 and less than 90, not 1e+39"},
        {"unknown name of either", "oxHost.get('Draft')", "ValueError",
         "unknown property \"Draft\"; the properties are: "},
        {"unknown colour map", "oxHost.set('ColourMap', 'jet')", "ValueError",
         "the value of ColourMap must be a colour map's name (classic, viridis, cividis, coolwarm) or its number "
         "from 0 to 3, not \"jet\""},
        {"colour map beyond the maps", "oxHost.set('ColourMap', 4)", "ValueError",
         "the value of ColourMap must be from 0 to 3, not 4"},
        {"deviation without reference", "oxHost.set('DeviationActive', True)", "RuntimeError",
         "cannot switch DeviationActive on: no reference is loaded; oxHost.loadReference(path) loads one"},
        // The script functions' arguments: refused with their domain before anything else is looked
        // at; draftStats takes the angles the setting takes.
        {"too many bins", "oxHost.deviationStats(10001)", "ValueError", "bins must be from 1 to 10000, not 10001"},
        {"right angle for the statistics", "oxHost.draftStats(angle=90)", "ValueError",
         "angle must be at least 0 and less than 90, not 90"},
        {"ray beyond floats", "oxHost.probeRay((0, 0, 9), (1e39, 0, 0))", "OverflowError",
         "direction[0] is beyond the range of a 32-bit float"},
        {"comb samples", "oxHost.sectionComb((0, 0, 0), (0, 0, 1), samples=100001)", "ValueError",
         "sectionComb: samples must be from 2 to 100000, not 100001"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
}

void tst_HostScript::propertyErrorsChangeNothing()
{
    QFETCH(QString, code);
    QFETCH(QString, error);
    QFETCH(QString, message);

    QCOMPARE(evalPython("', '.join(oxHost.properties())"), propertyNames());
    const QString before = hostState();
    QString text;
    QCOMPARE(runPython(code, &text), error);
    QVERIFY2(text.startsWith(message), qPrintable(text));
    QCOMPARE(hostState(), before);
    // The unknown name's message lists the module's properties and the host analyses'.
    if (code.startsWith("oxHost.get('Draft')"))
        QVERIFY2(text.contains(propertyNames() + "; the host analysis properties are: DraftActive, DraftDirection, "
                                                 "DraftAngle, DraftRamp, CombActive, CombEdges, CombSections, "
                                                 "CombSectionNormal, CombSamples, CombScale"),
                 qPrintable(text));
}

void tst_HostScript::projectSurvivesNewScene()
{
    const QString path = dir.filePath("hood.json");
    QCOMPARE(runPython("oxHost.set('IsoLineCount', 5); oxHost.set('StripeThickness', 0.3); "
                       "oxHost.set('LightPlaneOrigin', (0.1, -0.2, 1e-7)); oxHost.set('AnalysisActive', True); "
                       "oxHost.setProjectValue('Other Module', (1, 2, 3)); oxHost.setProjectValue('Gone', True); "
                       "oxHost.setProjectValue('Gone', None); saved = oxHost.get('LightPlaneOrigin'); "
                       "oldRecord = oxHost.recordId(); oxHost.saveProject('" +
                       path + "')"),
             QString());

    QCOMPARE(runPython("oxHost.newScene()"), QString());
    QVERIFY(evalPython("oxHost.recordId()") != evalPython("oldRecord"));
    QCOMPARE(evalPython("(oxHost.get('IsoLineCount'), oxHost.projectValues(), oxHost.undoCount())"),
             QString("(16, {}, 0)"));

    QCOMPARE(runPython("oxHost.set('IsoLineCount', 9); oxHost.loadProject('" + path + "')"), QString());
    QCOMPARE(oxSurfaceAnalysisModel::the()->getStripeThickness(), 0.3f);
    QCOMPARE(evalPython("(oxHost.get('IsoLineCount'), oxHost.get('LightPlaneOrigin') == saved, "
                        "oxHost.get('AnalysisActive'), oxHost.undoCount())"),
             QString("(5, True, False, 0)"));
    QCOMPARE(evalPython("(oxHost.projectValues()['Other Module'], 'Gone' in oxHost.projectValues(), "
                        "'_loading' in oxHost.projectValues(), len(oxHost.projectValues()))"),
             QString("((1.0, 2.0, 3.0), False, False, %1)")
                 .arg(std::size(oxSurfaceAnalysisProjectKeys) + oxHostAnalysisModel::projectKeyCount() + 1));
}

// The reasons a file is refused are tst_projectfile's; here the refusal reaches the script intact.
void tst_HostScript::brokenProjectChangesNothing()
{
    const QString path = dir.filePath("broken.json");
    QVERIFY(writeTestFile(path, "{\"values\": {\"Number of Isolines\": "));
    QCOMPARE(runPython("oxHost.set('IsoLineCount', 9); oxHost.setProjectValue('Mine', 1); oxHost.signals()"),
             QString());
    const QString before = hostState();
    QString message;
    QCOMPARE(runPython("oxHost.loadProject('" + path + "')", &message), QString("RuntimeError"));
    QCOMPARE(message, "cannot read project \"" + path + "\": line 1, column 35: the file ends where a value should be");
    QCOMPARE(hostState(), before);
}

void tst_HostScript::callbackValuesAreConverted()
{
    s_probeCalls = 0;
    QCOMPARE(evalPython("oxHost.raiseCallback('probe', {'b': True, 'u': 4294967295, 'f': 0.5, 'v': [1, 2, 3]})"),
             QString("1"));
    QCOMPARE(boost::any_cast<bool>(s_probed.get("b")), true);
    QCOMPARE(boost::any_cast<unsigned int>(s_probed.get("u")), 4294967295u);
    QCOMPARE(boost::any_cast<float>(s_probed.get("f")), 0.5f);
    QVERIFY(boost::any_cast<osg::Vec3f>(s_probed.get("v")) == osg::Vec3f(1.f, 2.f, 3.f));

    QCOMPARE(runPython("oxHost.raiseCallback('probe', {'u': -1})"), QString("OverflowError"));
    QCOMPARE(runPython("oxHost.raiseCallback('probe', {'s': 'text'})"), QString("TypeError"));
    QCOMPARE(s_probeCalls, 1);

    // The module's own callbacks, as the host raises them.
    QCOMPARE(evalPython("oxHost.raiseCallback('toggleSurfaceAnalysisActivationButton', {'active': True})"),
             QString("1"));
    QCOMPARE(evalPython("(oxHost.get('AnalysisActive'), oxHost.undoCount())"), QString("(True, 1)"));
}

void tst_HostScript::cameraNavigationReachesTheModule()
{
    QSignalSpy fov(&connector, &oxInternalCameraConnector::fovChanged);
    const int updates = Access::lightPlaneManipulator().updateCount();

    QCOMPARE(runPython("oxHost.setCamera((0, 0, 50), 30)"), QString());
    QCOMPARE(fov.count(), 1);
    QCOMPARE(fov.at(0).at(1).toFloat(), 30.f);
    // Once for the field of view, once for the navigator callback.
    QCOMPARE(Access::lightPlaneManipulator().updateCount(), updates + 2);

    QCOMPARE(runPython("oxHost.setCamera((0, 0, 80), 30, orthographic=True)"), QString());
    QCOMPARE(fov.count(), 1);
    QCOMPARE(Access::lightPlaneManipulator().updateCount(), updates + 3);
    QVERIFY(oxOSGWidget::getMGLW(-1)->getUberCamera()->isOrthographic());

    QCOMPARE(runPython("oxHost.setRenderingMode(5); oxHost.setRenderQuality(3)"), QString());
    QCOMPARE(evalPython("sorted(oxHost.renderState().items())"),
             QString("[('analysisRaytracing', False), ('curvatureLegend', False), ('raytracingDownscale', 0), "
                     "('raytracingDownscaleFactor', 4), ('renderQuality', 3), ('renderRequests', 0), "
                     "('renderingMode', 5), ('shaderRebuilds', %1), ('uniformRefreshes', %2)]")
                 .arg(host->widget->shaderRebuildCount())
                 .arg(host->widget->uniformRefreshCount()));
    oxOSGWidget::setCamera(osg::Pnt3f(0.f, 0.f, 100.f), 45.f);
}

void tst_HostScript::raytracerCanComeAndGo()
{
    QCOMPARE(runPython("oxHost.setRaytracer(False)"), QString());
    QCOMPARE(evalPython("(oxHost.settings(), oxHost.recordId(), oxHost.renderState()['analysisRaytracing'])"),
             QString("(None, None, None)"));
    QCOMPARE(runPython("oxHost.set('IsoLineCount', 3)"), QString());
    QCOMPARE(evalPython("(oxHost.get('IsoLineCount'), oxHost.undoCount())"), QString("(0, 0)"));

    QCOMPARE(runPython("oxHost.setRaytracer(True)"), QString());
    // Every field of the record from id 3 on.
    const int fields =
        osg::SurfaceAnalysisAttachment::NextFieldId - osg::SurfaceAnalysisAttachment::LinearLightDirectionFieldId;
    QCOMPARE(evalPython("(len(oxHost.settings()), oxHost.settings()['Isolines'])"), QString("(%1, 16)").arg(fields));
    QCOMPARE(runPython("oxHost.setRaytracer(True, record=False)"), QString());
    QCOMPARE(evalPython("oxHost.settings()"), QString("None"));
    QCOMPARE(runPython("oxHost.setRaytracer(True)"), QString());
}

void tst_HostScript::lightPlaneDragIsOneUndoStep()
{
    QString message;
    QCOMPARE(runPython("oxHost.drag('lightPlane', [])", &message), QString("RuntimeError"));
    QVERIFY2(message.startsWith("cannot drag lightPlane: its manipulator is not shown"), qPrintable(message));
    QCOMPARE(runPython("oxHost.drag('sun', [])"), QString("ValueError"));

    QCOMPARE(runPython("oxHost.set('AnalysisMode', 1); oxHost.set('ReflectionMode', 1); "
                       "oxHost.set('AnalysisActive', True); oxHost.set('IsoLineCount', 5)"),
             QString());
    QCOMPARE(evalPython("(oxHost.contexts(), oxHost.visuals()['lightPlane']['visible'], "
                        "oxHost.visuals()['lightPlane']['lineCount'])"),
             QString("(['lightPlane'], True, 5)"));
    const int edits = oxUndoStack::get(0).count();
    QCOMPARE(evalPython("oxHost.drag('lightPlane', [((0, 0, 1), (0, 0, 0)), ((0, 0, 2), (10, 0, 0))])"),
             QString("True"));
    QCOMPARE(oxUndoStack::get(0).count(), edits + 1);
    QCOMPARE(evalPython("(oxHost.get('LightPlaneOrigin'), oxHost.get('LightPlaneRotation'), "
                        "oxHost.visuals()['lightPlane']['translation'])"),
             QString("((0.0, 0.0, 2.0), (10.0, 0.0, 0.0), (0.0, 0.0, 2.0))"));
    QCOMPARE(runPython("oxHost.undo()"), QString());
    QCOMPARE(evalPython("oxHost.get('LightPlaneOrigin')"), QString("(0.0, 0.0, 0.0)"));

    // The sphere takes over in the other reflection mode.
    QCOMPARE(runPython("oxHost.set('ReflectionMode', 0); oxHost.set('IsoLineCount', 3)"), QString());
    QCOMPARE(evalPython("(oxHost.visuals()['lightSphere']['visible'], oxHost.visuals()['lightSphere']['ringCount'], "
                        "oxHost.visuals()['lightPlane']['visible'])"),
             QString("(True, 3, False)"));
    QCOMPARE(evalPython("sorted(oxHost.visuals()['lightDirection'])"),
             QString("['euler', 'quaternion', 'scale', 'translation', 'visible']"));
}

void tst_HostScript::pickAndClickAimTheLight()
{
    // A plane through the origin whose normal is (0, 0.6, 0.8).
    QCOMPARE(runPython("oxHost.addMesh('slope', [(-5, -4, 3), (5, -4, 3), (5, 4, -3), (-5, 4, -3)], "
                       "[(0, 1, 2), (0, 2, 3)])"),
             QString());
    QCOMPARE(evalPython("oxHost.pickAt((0, 0, 10), (0, 0, 1))"), QString("None"));
    QCOMPARE(evalPython("oxHost.pickAt((0, 0, 10), (0, 0, -1))"),
             QString("('slope', (0.0, 0.0, 0.0), (0.0, 0.6000000238418579, 0.800000011920929))"));

    QCOMPARE(runPython("enableSurfaceAnalysis(True); setSurfaceAnalysisPickNormal(True)"), QString());
    QCOMPARE(evalPython("oxHost.contexts()"), QString("['normalPick']"));
    QCOMPARE(runPython("oxHost.pickAt((1, 1, 10), (0, 0, -1))"), QString());
    QCOMPARE(evalPython("oxHost.click()"), QString("True"));
    QCOMPARE(evalPython("oxHost.get('LightDirection')"), QString("(0.0, 0.6000000238418579, 0.800000011920929)"));
    QCOMPARE(evalPython("oxHost.undoText(oxHost.undoCount() - 1)"), QString("LightDirection"));

    QCOMPARE(runPython("oxHost.addMesh('bad', [(0, 0, 0)], [(0, 0, 1)])"), QString("ValueError"));
    QCOMPARE(evalPython("oxHost.meshes()"), QString("['slope']"));
}

// A host analysis property of each kind through oxHost.get and oxHost.set: one undo step, and back
// from a saved project after a new scene has reset it. oxHost's properties are made from the
// settings table row by row; every row's own edit, undo and project key are tst_hostanalysismodel's.
void tst_HostScript::hostAnalysisPropertyIsScriptedAndSaved_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("kept");
    const char* const rows[][3] = {
        {"DraftActive", "True", "True"},
        {"DraftDirection", "(0, 3, 4)", "(0.0, 0.6, 0.8)"},
        {"DraftAngle", "3", "3.0"},
        {"DraftRamp", "True", "True"},
        {"CombSections", "12", "12"},
        {"CombSectionNormal", "oxHost.Vec3f(0, 0, -5)", "(0.0, 0.0, -1.0)"},
        {"CombScale", "0.5", "0.5"},
        {"ColourMap by number", "1", "1"},
        {"ColourMap by name", "'Cividis'", "2"},
        {"CurvatureRangeLow", "-0.25", "-0.25"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[0]).section(' ', 0, 0) << QString(row[1]) << QString(row[2]);
}

void tst_HostScript::hostAnalysisPropertyIsScriptedAndSaved()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, kept);
    const QString path = dir.filePath("host.json");
    const QString read = "r(oxHost.get('" + name + "'))";
    QCOMPARE(runPython("oxHost.newScene()\n"
                       "def r(v):\n"
                       "    return tuple(round(c, 6) for c in v) if isinstance(v, tuple) else v"),
             QString());
    QCOMPARE(evalPython("'" + name + "' in oxHost.analysisProperties() and '" + name + "' not in oxHost.properties()"),
             QString("True"));
    const QString before = evalPython(read);

    QCOMPARE(runPython("oxHost.set('" + name + "', " + value + ")"), QString());
    QCOMPARE(evalPython(read), kept);
    QCOMPARE(evalPython("(oxHost.undoCount(), oxHost.undoText(0))"), "(1, 'Set " + name + "')");
    QCOMPARE(runPython("oxHost.undo()"), QString());
    QCOMPARE(evalPython(read), before);
    QCOMPARE(runPython("oxHost.redo(); oxHost.saveProject('" + path + "'); oxHost.newScene()"), QString());
    QCOMPARE(evalPython(read), before);
    QCOMPARE(runPython("oxHost.loadProject('" + path + "')"), QString());
    QCOMPARE(evalPython("(" + read + ", oxHost.undoCount())"), "(" + kept + ", 0)");
}

// The draft and the module's analysis colour the surface in turn, whichever is switched on and
// however; through oxHost.set and showAnalysis each switch with its consequence is one step.
void tst_HostScript::draftAndModuleAnalysisTakeTurns()
{
    const QString both = "(oxHost.get('DraftActive'), oxHost.get('AnalysisActive'))";
    QCOMPARE(runPython("oxHost.newScene(); oxHost.setMergeWindow(-1); oxHost.set('AnalysisActive', True)"), QString());
    QCOMPARE(runPython("oxHost.set('DraftActive', True)"), QString());
    QCOMPARE(evalPython(both + " + (oxHost.undoCount(),)"), QString("(True, False, 2)"));
    QCOMPARE(runPython("oxHost.undo()"), QString());
    QCOMPARE(evalPython(both), QString("(False, True)"));
    QCOMPARE(runPython("oxHost.redo()"), QString());
    QCOMPARE(evalPython(both), QString("(True, False)"));

    QCOMPARE(runPython("oxHost.set('AnalysisActive', True)"), QString());
    QCOMPARE(evalPython(both + " + (oxHost.undoCount(),)"), QString("(False, True, 3)"));
    QCOMPARE(runPython("oxHost.undo()"), QString());
    QCOMPARE(evalPython(both), QString("(True, False)"));

    // The module's own script function: the draft still goes off (a step of its own).
    QCOMPARE(runPython("import oxSurfaceAnalysis; oxSurfaceAnalysis.enableSurfaceAnalysis(True)"), QString());
    QCOMPARE(evalPython(both), QString("(False, True)"));
    QCOMPARE(runPython("oxHost.undo(); oxHost.undo()"), QString());
    QCOMPARE(evalPython(both), QString("(True, False)"));

    // Two steps are left before it; showAnalysis drops the two undone ones and adds its one.
    QCOMPARE(runPython("oxHost.showAnalysis('isophotes')"), QString());
    QCOMPARE(evalPython(both + " + (oxHost.undoCount(),)"), QString("(False, True, 3)"));
    QCOMPARE(runPython("oxHost.undo()"), QString());
    QCOMPARE(evalPython(both), QString("(True, False)"));
    QCOMPARE(runPython("oxHost.setMergeWindow(500)"), QString());
}

namespace
{
// A ball of radius 3 about the origin, outward facing, as the model.
const char* const AddBall = R"(oxHost.newScene()
import math
def ball(n=24, m=12, r=3.0):
    v = [(r * math.sin(math.pi * j / m) * math.cos(2 * math.pi * i / n),
          r * math.sin(math.pi * j / m) * math.sin(2 * math.pi * i / n), r * math.cos(math.pi * j / m))
         for j in range(m + 1) for i in range(n)]
    t = []
    for j in range(m):
        for i in range(n):
            a, b = j * n + i, j * n + (i + 1) % n
            t += [(a, a + n, b), (b, a + n, b + n)]
    return v, t
oxHost.addMesh('ball', *ball())
def r(v):
    return tuple(round(c, 5) for c in v) if isinstance(v, tuple) else round(v, 5)
)";

void addReference()
{
    oxRenderer::the().setReference({referenceTriangle()});
}
} // namespace

// A direction however long is a direction, wherever one is taken: its squared length overflows
// a float from about 1.8e19, so each normalises in double.
void tst_HostScript::longDirectionsAreDirections_data()
{
    QTest::addColumn<QString>("expression"); // %1: the direction
    QTest::newRow("pull direction") << "(oxHost.set('DraftDirection', %1), r(oxHost.get('DraftDirection')))";
    QTest::newRow("section normal") << "(oxHost.set('CombSectionNormal', %1), r(oxHost.get('CombSectionNormal')))";
    QTest::newRow("draft statistics") << "r(oxHost.draftStats(direction=%1)['positive'])";
    QTest::newRow("probe ray") << "r(oxHost.probeRay((-9, -9, -9), %1)['point'])";
    QTest::newRow("section combs") << "len(oxHost.sectionComb((0, 0, 0), %1))";
}

void tst_HostScript::longDirectionsAreDirections()
{
    QFETCH(QString, expression);
    QCOMPARE(runPython(AddBall), QString());
    const QString unit = evalPython(expression.arg("(1, 1, 1)"));
    QVERIFY2(!unit.startsWith("<raised"), qPrintable(unit));
    QCOMPARE(evalPython(expression.arg("(1e38, 1e38, 1e38)")), unit);
    QCOMPARE(evalPython(expression.arg("oxHost.Vec3f(3e38, 3e38, 3e38)")), unit);
    QCOMPARE(evalPython(expression.arg("(1e-30, 1e-30, 1e-30)")), unit);
    QString message;
    QCOMPARE(runPython(expression.arg("(0, 0, 0)"), &message), QString("ValueError"));
    QVERIFY2(message.endsWith("must be a direction, not the zero vector"), qPrintable(message));
}

// A section count typed into a project file beyond what the setter takes: the render it asked for
// would have grown without bound; it loads as the default, with a warning naming key and value.
void tst_HostScript::projectValueOutsideItsDomainLoadsTheDefault()
{
    const QString path = dir.filePath("sections.json");
    QVERIFY(writeTestFile(path, R"({"format": "oxhost project", "version": 1, "values": {
        "Host Combs Section Count": {"type": "unsigned", "value": 4294967295},
        "Host Combs Samples": {"type": "unsigned", "value": 7},
        "Host Draft Minimum Angle": {"type": "float", "value": 90}}})"));
    StderrCapture capture;
    QCOMPARE(runPython("oxHost.newScene(); oxHost.loadProject(r'" + path + "')"), QString());
    const QString warnings = capture.text();
    QCOMPARE(evalPython("[oxHost.get(n) for n in ('CombSections', 'CombSamples', 'DraftAngle')]"),
             QString("[0, 7, 1.0]"));
    QVERIFY2(warnings.contains("key 'Host Combs Section Count': the value of CombSections must be from 0 to 1000, not "
                               "4294967295; it loads as its default 0"),
             qPrintable(warnings));
    QVERIFY2(warnings.contains("key 'Host Draft Minimum Angle': the value of DraftAngle must be at least 0 and less "
                               "than 90, not 90; it loads as its default 1"),
             qPrintable(warnings));
}

// The deviation cannot stay on without its reference: clearing it switches the deviation off, so
// it is saved off, and no undo or project load brings it back on without one.
void tst_HostScript::deviationGoesOffWithTheReference()
{
    const QString path = dir.filePath("deviation.json");
    const QString on = "oxHost.get('DeviationActive')";
    addReference();
    QCOMPARE(runPython("oxHost.newScene(); oxHost.setMergeWindow(-1); oxHost.set('DeviationActive', True)"), QString());
    QCOMPARE(runPython("oxHost.saveProject(r'" + path + "')"), QString());
    QCOMPARE(runPython("oxHost.clearReference()"), QString());
    QCOMPARE(evalPython("(" + on + ", oxHost.undoCount())"), QString("(False, 1)"));
    QCOMPARE(runPython("oxHost.undo(); oxHost.redo()"), QString());
    QCOMPARE(evalPython(on), QString("False"));
    QCOMPARE(runPython("oxHost.saveProject(r'" + path + ".cleared')"), QString());
    QCOMPARE(evalPython("oxHost.projectValues()['Host Deviation Active']"), QString("False"));

    StderrCapture capture;
    QCOMPARE(runPython("oxHost.loadProject(r'" + path + "')"), QString());
    const QString warnings = capture.text();
    QCOMPARE(evalPython(on), QString("False"));
    QVERIFY2(warnings.contains("key 'Host Deviation Active': cannot switch DeviationActive on: no reference is loaded; "
                               "it loads as off"),
             qPrintable(warnings));
    addReference();
    QCOMPARE(runPython("oxHost.loadProject(r'" + path + "')"), QString());
    QCOMPARE(evalPython(on), QString("True"));
    QCOMPARE(runPython("oxHost.setMergeWindow(500); oxHost.newScene()"), QString());
    oxRenderer::the().setReference({});
}

QTEST_MAIN(tst_HostScript)
#include "tst_hostscript.moc"
