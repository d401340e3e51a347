// The fourteen script functions, end to end: run by the embedded interpreter after the host's
// start-up levels, with the host's Vec3f conversions (the oxHost module) in place.
#include "scripttestsupport.h"

#include "moduletestsupport.h"
#include "oxHostScript.h"
#include "oxScript.h"

namespace
{
QString text(const osg::Vec3f& v)
{
    return QString("(%1, %2, %3)").arg(double(v[0])).arg(double(v[1])).arg(double(v[2]));
}

// The properties the script functions reach, as the module's getters report them.
QString read(const QString& property)
{
    oxSurfaceAnalysisModel* m = oxSurfaceAnalysisModel::the();
    const auto flag = [](bool b) { return QString(b ? "true" : "false"); };
    if (property == "AnalysisActive")
        return flag(m->getAnalysisActive());
    if (property == "AnalysisMode")
        return QString::number(m->getAnalysisMode());
    if (property == "LightDirectionVisibility")
        return flag(m->getLightDirectionVisibility());
    if (property == "LightDirection")
        return text(m->getLightDirection());
    if (property == "PickNormal")
        return flag(m->getPickNormal());
    if (property == "UseViewVector")
        return flag(m->getUseViewVector());
    if (property == "LineMode")
        return QString::number(m->getLineMode());
    if (property == "IsoLineCount")
        return QString::number(m->getIsoLineCount());
    if (property == "StripeColor")
        return text(m->getStripeColor());
    if (property == "ShadingMode")
        return QString::number(m->getShadingMode());
    if (property == "BaseColor")
        return text(m->getBaseColor());
    return "unknown property " + property;
}

// Everything a refused call must leave alone.
QString observableState()
{
    QStringList state;
    for (const char* p : {"AnalysisActive", "AnalysisMode", "LightDirectionVisibility", "LightDirection", "PickNormal",
                          "UseViewVector", "LineMode", "IsoLineCount", "StripeColor", "ShadingMode", "BaseColor"})
        state << read(p);
    state << QString::number(record()->getChangeCount()) << QString::number(oxUndoStack::get(0).count());
    return state.join(' ');
}

// The fourteen, by name.
QStringList functions()
{
    return QString("enableSurfaceAnalysis setSurfaceAnalysisMode setSurfaceAnalysisShowDirection "
                   "setSurfaceAnalysisDirection setSurfaceAnalysisSetToXAxis setSurfaceAnalysisSetToYAxis "
                   "setSurfaceAnalysisSetToZAxis setSurfaceAnalysisPickNormal setSurfaceAnalysisUseCamVec "
                   "setSurfaceAnalysisLineType setSurfaceAnalysisLineCount setSurfaceAnalysisLineColor "
                   "setSurfaceAnalysisSurfaceLightingMode setSurfaceAnalysisSurfaceBaseColor")
        .split(' ');
}
} // namespace

class tst_ScriptModule : public ModuleTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void functionsAreBuiltInAndStarImported();
    void docstringsWithoutSignatures_data();
    void docstringsWithoutSignatures();
    void callIsOneUndoableEdit_data();
    void callIsOneUndoableEdit();
    void badArgumentsTouchNothing_data();
    void badArgumentsTouchNothing();
    void axisInCurvatureModeRecordsNothing();
    void withoutRecordOnlySwitchesAreEdited();
};

void tst_ScriptModule::initTestCase()
{
    ModuleTest::initTestCase();
    oxHostScript::install();
    QVERIFY(oxScript::initialize());
}

void tst_ScriptModule::cleanupTestCase()
{
    QVERIFY(oxScript::finalize());
    ModuleTest::cleanupTestCase();
}

void tst_ScriptModule::functionsAreBuiltInAndStarImported()
{
    QCOMPARE(runPython("import sys"), QString());
    QCOMPARE(evalPython("'oxSurfaceAnalysis' in sys.builtin_module_names"), QString("True"));
    QStringList names = functions();
    QCOMPARE(names.size(), 14);
    for (const QString& f : names)
        QCOMPARE(evalPython(QString("%1 is oxSurfaceAnalysis.%1").arg(f)), QString("True"));
    names.sort();
    QCOMPARE(evalPython("sorted(n for n in dir(oxSurfaceAnalysis) if not n.startswith('_'))"),
             "['" + names.join("', '") + "']");
    QCOMPARE(evalPython("oxSurfaceAnalysis.__doc__"), QString("None"));
}

void tst_ScriptModule::docstringsWithoutSignatures_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& f : functions())
        QTest::newRow(qPrintable(f)) << f;
}

// The texts are the module's to choose; what matters is that Boost.Python adds no signature.
void tst_ScriptModule::docstringsWithoutSignatures()
{
    QFETCH(QString, name);
    // Boost.Python puts one line break before every docstring; the text after it is ours alone.
    QString doc = evalPython(name + ".__doc__");
    QVERIFY2(doc.startsWith("\n") && doc.size() > 10, qPrintable(doc));
    QVERIFY2(!doc.contains("signature") && !doc.contains(name + "("), qPrintable(doc));
    // help() shows the header pydoc makes for every built-in function, then the docstring alone.
    QVERIFY(runPython("import pydoc") == QString());
    doc.remove(0, 1);
    while (doc.endsWith('\n'))
        doc.chop(1);
    QCOMPARE(evalPython("pydoc.plaintext.document(" + name + ")"),
             name + "(...)\n    " + doc.replace("\n", "\n    ") + "\n");
}

void tst_ScriptModule::callIsOneUndoableEdit_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");
    const char* const rows[][3] = {
        // clang-format off
        {"enableSurfaceAnalysis(True)",                          "AnalysisActive",           "true"},
        {"setSurfaceAnalysisMode(3)",                            "AnalysisMode",             "3"},
        {"setSurfaceAnalysisShowDirection(True)",                "LightDirectionVisibility", "true"},
        {"setSurfaceAnalysisDirection(oxHost.Vec3f(0, 3, 4))",   "LightDirection",           "(0, 3, 4)"},
        {"setSurfaceAnalysisSetToXAxis()",                       "LightDirection",           "(1, 0, 0)"},
        {"setSurfaceAnalysisSetToYAxis()",                       "LightDirection",           "(0, 1, 0)"},
        {"setSurfaceAnalysisSetToZAxis()",                       "LightDirection",           "(0, 0, 1)"},
        {"setSurfaceAnalysisPickNormal(True)",                   "PickNormal",               "true"},
        {"setSurfaceAnalysisUseCamVec(True)",                    "UseViewVector",            "true"},
        {"setSurfaceAnalysisLineType(1)",                        "LineMode",                 "1"},
        {"setSurfaceAnalysisLineCount(7)",                       "IsoLineCount",             "7"},
        {"oxSurfaceAnalysis.setSurfaceAnalysisLineCount(9)",     "IsoLineCount",             "9"},
        {"setSurfaceAnalysisLineColor((0.5, 0.25, 1))",          "StripeColor",              "(0.5, 0.25, 1)"},
        {"setSurfaceAnalysisSurfaceLightingMode(2)",             "ShadingMode",              "2"},
        {"setSurfaceAnalysisSurfaceBaseColor([0.25, 0.5, 0.75])", "BaseColor",               "(0.25, 0.5, 0.75)"},
        // A negative int arrives as a large unsigned.
        {"setSurfaceAnalysisMode(-1)",                           "AnalysisMode",             "4294967295"},
        {"setSurfaceAnalysisLineType(-1)",                       "LineMode",                 "4294967295"},
        {"setSurfaceAnalysisLineCount(-1)",                      "IsoLineCount",             "4294967295"},
        {"setSurfaceAnalysisSurfaceLightingMode(-1)",            "ShadingMode",              "4294967295"},
        // clang-format on
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[0]) << QString(row[1]) << QString(row[2]);
}

void tst_ScriptModule::callIsOneUndoableEdit()
{
    QFETCH(QString, call);
    QFETCH(QString, property);
    QFETCH(QString, value);

    const QString before = read(property);
    const int edits = oxUndoStack::get(0).count();
    QCOMPARE(runPython(call), QString());
    QCOMPARE(read(property), value);
    QCOMPARE(oxUndoStack::get(0).count(), edits + 1);
    oxUndoStack::get(0).undo();
    QCOMPARE(read(property), before);
}

void tst_ScriptModule::badArgumentsTouchNothing_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("missing argument") << "enableSurfaceAnalysis()";
    QTest::newRow("by keyword") << "enableSurfaceAnalysis(state=True)";
    QTest::newRow("one too many") << "setSurfaceAnalysisLineCount(3, 4)";
    QTest::newRow("argument for none") << "setSurfaceAnalysisSetToXAxis(1)";
    QTest::newRow("text for int") << "setSurfaceAnalysisLineCount('7')";
    QTest::newRow("float for int") << "setSurfaceAnalysisMode(1.5)";
    QTest::newRow("text for Vec3f") << "setSurfaceAnalysisLineColor('abc')";
    QTest::newRow("two numbers") << "setSurfaceAnalysisLineColor((1, 2))";
    QTest::newRow("four numbers") << "setSurfaceAnalysisSurfaceBaseColor([1, 2, 3, 4])";
    QTest::newRow("texts in a triple") << "setSurfaceAnalysisDirection(('1', '2', '3'))";
    QTest::newRow("None for Vec3f") << "setSurfaceAnalysisDirection(None)";
    QTest::newRow("beyond float range") << "setSurfaceAnalysisSurfaceBaseColor((1e39, 0, 0))";
}

void tst_ScriptModule::badArgumentsTouchNothing()
{
    QFETCH(QString, call);
    const QString before = observableState();
    QCOMPARE(runPython(call), QString("ArgumentError"));
    QCOMPARE(observableState(), before);
}

void tst_ScriptModule::axisInCurvatureModeRecordsNothing()
{
    QCOMPARE(runPython("setSurfaceAnalysisMode(3)"), QString());
    const QString before = observableState();
    QCOMPARE(runPython("setSurfaceAnalysisSetToZAxis()"), QString());
    QCOMPARE(observableState(), before);
}

void tst_ScriptModule::withoutRecordOnlySwitchesAreEdited()
{
    oxRaytracingManager::getRaytracingUtils()->removeAttachment();
    QCOMPARE(runPython("setSurfaceAnalysisLineCount(3); setSurfaceAnalysisSetToYAxis(); "
                       "setSurfaceAnalysisLineColor((1, 0, 0))"),
             QString());
    QCOMPARE(oxUndoStack::get(0).count(), 0);
    QCOMPARE(runPython("enableSurfaceAnalysis(True); setSurfaceAnalysisPickNormal(True)"), QString());
    QCOMPARE(oxUndoStack::get(0).count(), 2);
    QCOMPARE(read("AnalysisActive"), QString("true"));
}

QTEST_MAIN(tst_ScriptModule)
#include "tst_scriptmodule.moc"
