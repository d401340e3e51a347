// The host analyses' settings model: each of its properties edited, undone, redone, signalled,
// in the record frames copy, saved and loaded; refused values change nothing. tst_hostscript has the draft and
// the module's analysis taking turns.
#include "hostanalysisaccess.h"

#include "oxFileIO.h"
#include "oxKernel.h"
#include "oxMessage.h"
#include "oxRenderer.h"
#include "oxUndoCommand.h"
#include "oxUndoStack.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <QtTest>

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(osg::Vec3f)

namespace
{
typedef oxHostAnalysisModel M;

QVariant vec(double x, double y, double z)
{
    return QVariantList{x, y, z};
}

bool close(const QVariant& a, const QVariant& b)
{
    if (a.type() == QVariant::List)
    {
        const QVariantList l = a.toList(), r = b.toList();
        for (int i = 0; i < 3; ++i)
            if (std::fabs(l.value(i).toDouble() - r.value(i).toDouble()) > 1e-6)
                return false;
        return l.size() == r.size();
    }
    // A text such as a path is no number, though QVariant reads every text as 0.
    if (a.type() == QVariant::String || b.type() == QVariant::String)
        return a == b;
    return a == b || (a.canConvert<double>() && std::fabs(a.toDouble() - b.toDouble()) < 1e-6 &&
                      a.type() != QVariant::Bool && b.type() != QVariant::Bool);
}

QMetaMethod signalOf(const QString& name)
{
    const QMetaObject& mo = M::staticMetaObject;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        if (mo.method(i).methodType() == QMetaMethod::Signal && mo.method(i).name() == name + "Changed")
            return mo.method(i);
    return QMetaMethod();
}

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();
} // namespace

class tst_HostAnalysisModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void everyRowHasATestRow();
    void propertyIsOneUndoableEditSignalledAndRecorded_data();
    void propertyIsOneUndoableEditSignalledAndRecorded();
    void refusedValueChangesNothing_data();
    void refusedValueChangesNothing();
    void numberRowsKeepTheirDomain_data();
    void numberRowsKeepTheirDomain();
    void directionsOfAnyLengthAreKept_data();
    void directionsOfAnyLengthAreKept();
    void projectRoundTripAndNewScene();
    void wrongTypedKeysFallBackToTheirDefaults();
    void sliderDragIsOneUndoStep();
    void colouringAnalysesTakeTurns_data();
    void colouringAnalysesTakeTurns();
    void deviationNeedsAReference();
    void withoutAReferenceTheDeviationStaysOff();

private:
    void newScene();
};

void tst_HostAnalysisModel::initTestCase()
{
    qRegisterMetaType<osg::Vec3f>();
    M::the();
    // The deviation can only come on against a reference.
    oxRenderer::the().setReference({referenceTriangle()});
}

void tst_HostAnalysisModel::newScene()
{
    oxUndoStack::get(0).clear();
    oxMessage msg(oxKernel::NewSceneMessage);
    oxKernel::sendMessage(msg);
}

void tst_HostAnalysisModel::init()
{
    oxUndoCommand::setClock({});
    oxUndoStack::setMergeWindow(500);
    newScene();
}

namespace
{
// Every property with a value other than its default and what the model keeps of it.
struct Row
{
    const char* name;
    QVariant value, kept;
};
const std::vector<Row>& rows()
{
    static const std::vector<Row> table = {
        {"DraftActive", true, true},
        {"DraftDirection", vec(0, 3, 4), vec(0, 0.6, 0.8)},
        {"DraftAngle", 3.0, 3.0},
        {"DraftRamp", true, true},
        {"CombActive", true, true},
        {"CombEdges", false, false},
        {"CombSections", 5u, 5u},
        {"CombSectionNormal", vec(0, -2, 0), vec(0, -1, 0)},
        {"CombSamples", 2u, 2u},
        {"CombScale", 0.25, 0.25},
        {"DeviationActive", true, true},
        {"DeviationTolerance", 0.05, 0.05},
        {"DeviationRange", 0.5, 0.5},
        {"CompareActive", true, true},
        {"StripesActive", true, true},
        {"StripesAxis", 1u, 1u},
        {"StripesVector", vec(2, 0, 0), vec(1, 0, 0)},
        {"StripesCount", 12u, 12u},
        {"StripesDistance", 2.5, 2.5},
        {"StripesWidth", 0.25, 0.25},
        {"StripesSharpness", 0.5, 0.5},
        {"StripesLocked", true, true},
        {"StripesView", vec(0, 0, -5), vec(0, 0, -1)},
        {"EnvironmentActive", true, true},
        {"EnvironmentMap", 2u, 2u},
        {"EnvironmentImage", QString("/studio/hall \u00e9.png"), QString("/studio/hall \u00e9.png")},
        {"EnvironmentTurn", -90.0, -90.0},
        {"EnvironmentBlend", 0.5, 0.5},
        {"EnvironmentFollowsView", true, true},
        {"ColourMap", 2u, 2u},
        {"ColourMapReversed", true, true},
        {"ColourMapSteps", 8u, 8u},
        {"ColoursLit", false, false},
        {"CurvatureLogScale", true, true},
        {"CurvatureRangeLow", -0.5, -0.5},
        {"CurvatureRangeHigh", 2.0, 2.0},
    };
    return table;
}
} // namespace

void tst_HostAnalysisModel::everyRowHasATestRow()
{
    QStringList tested;
    for (const Row& row : rows())
        tested << row.name;
    tested.sort();
    QCOMPARE(tested, accessors().keys());
    for (const Row& row : rows())
        QVERIFY2(M::projectKey(row.name), row.name);
    QCOMPARE(M::projectKeyCount(), int(rows().size()));
}

void tst_HostAnalysisModel::propertyIsOneUndoableEditSignalledAndRecorded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("kept");
    for (const Row& row : rows())
        QTest::newRow(row.name) << QString(row.name) << row.value << row.kept;
}

void tst_HostAnalysisModel::propertyIsOneUndoableEditSignalledAndRecorded()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(QVariant, kept);
    const HostAccess& a = accessors()[name];
    const QVariant before = a.get();
    QVERIFY(!close(before, kept));
    QSignalSpy spy(M::the(), QByteArray("2") + signalOf(name).methodSignature());
    QVERIFY(spy.isValid());

    std::string error;
    QVERIFY(a.set(value, &error));
    QVERIFY(error.empty());
    QVERIFY2(close(a.get(), kept), qPrintable(a.get().toString()));
    QVERIFY(close(a.record(), kept));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(oxUndoStack::get(0).count(), 1);
    QCOMPARE(oxUndoStack::get(0).text(0), "Set " + name);

    oxUndoStack::get(0).undo();
    QVERIFY(close(a.get(), before));
    QVERIFY(close(a.record(), before));
    QCOMPARE(spy.count(), 2);
    oxUndoStack::get(0).redo();
    QVERIFY(close(a.get(), kept));
    QCOMPARE(spy.count(), 3);
}

void tst_HostAnalysisModel::refusedValueChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("message");
    // One row per kind of sentence; every number row's domain ends are numberRowsKeepTheirDomain's.
    const QString dir = "must be a direction, not the zero vector", finite = "must have finite components";
    QTest::newRow("zero pull") << "DraftDirection" << vec(0, 0, 0) << dir;
    QTest::newRow("NaN pull") << "DraftDirection" << vec(NaN, 0, 1) << finite;
    QTest::newRow("zero section normal") << "CombSectionNormal" << vec(0, 0, 0) << dir;
    QTest::newRow("right angle") << "DraftAngle" << QVariant(90.0) << "must be at least 0 and less than 90, not 90";
    QTest::newRow("NaN angle") << "DraftAngle" << QVariant(NaN) << "must be a finite number";
    QTest::newRow("negative scale") << "CombScale" << QVariant(-1.0) << "must be at least 0, not -1";
    QTest::newRow("zero tolerance") << "DeviationTolerance" << QVariant(0.0) << "must be greater than 0, not 0";
    QTest::newRow("infinite range") << "DeviationRange" << QVariant(Inf) << "must be a finite number, not inf";
}

void tst_HostAnalysisModel::refusedValueChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(QString, message);
    const HostAccess& a = accessors()[name];
    const QVariant before = a.get();
    QSignalSpy spy(M::the(), QByteArray("2") + signalOf(name).methodSignature());
    std::string error;
    QVERIFY(!a.set(value, &error));
    const QString text = QString::fromStdString(error);
    QVERIFY2(text.startsWith("the value of " + name + " " + message), qPrintable(text));
    QVERIFY(close(a.get(), before));
    QVERIFY(close(a.record(), before));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(oxUndoStack::get(0).count(), 0);
}

namespace
{
// Values just beyond and just within each end of a number row's domain, and the largest its type
// holds; whether each lies in the domain is said here, not asked of it, but for the largest.
template <class T> void addProbes(const char* name, const oxSettingDomain& d)
{
    constexpr bool whole = std::is_same_v<T, unsigned int>;
    if constexpr (whole || std::is_same_v<T, float>)
    {
        const double largest = whole ? double(UINT_MAX) : double(FLT_MAX);
        auto up = [](double v) { return whole ? v + 1 : double(std::nextafter(float(v), HUGE_VALF)); };
        auto down = [](double v) { return whole ? v - 1 : double(std::nextafter(float(v), -HUGE_VALF)); };
        auto add = [name](const char* what, double v, bool inside)
        {
            const QVariant value = whole ? QVariant(uint(v)) : QVariant(v);
            QTest::newRow(qPrintable(QString("%1 %2").arg(name, what))) << QString(name) << value << inside;
        };
        const double below = d.minOpen ? d.min : down(d.min);
        if (below >= (whole ? 0.0 : -largest))
            add("below min", below, false);
        add("at min", d.minOpen ? up(d.min) : d.min, true);
        add("at max", d.maxOpen ? down(d.max) : d.max, true);
        const double above = d.maxOpen ? d.max : up(d.max);
        if (above <= largest)
            add("above max", above, false);
        add("huge", largest, d.contains(largest));
    }
}
} // namespace

// Every number row through the setter and through a project: what the setter refuses, the project
// loads as the default; a row added later is probed here too.
void tst_HostAnalysisModel::numberRowsKeepTheirDomain_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("inside");
#define PROBES(Name, Type, ...) addProbes<Type>(#Name, oxHostAnalysisRows::Name.domain);
    OX_HOST_ANALYSIS_PROPERTIES(PROBES)
#undef PROBES
}

void tst_HostAnalysisModel::numberRowsKeepTheirDomain()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(bool, inside);
    const HostAccess& a = accessors()[name];
    const QVariant defaultValue = a.get();
    QSignalSpy spy(M::the(), QByteArray("2") + signalOf(name).methodSignature());
    std::string error;
    QCOMPARE(a.set(value, &error), inside);
    QCOMPARE(a.get(), inside ? value : defaultValue); // exactly: the probes lie a float's step apart
    if (!inside)
    {
        // Refused, it changes nothing: no signal, no undo step.
        QVERIFY2(QString::fromStdString(error).startsWith("the value of " + name + " must be "), error.c_str());
        QCOMPARE(spy.count(), 0);
        QCOMPARE(oxUndoStack::get(0).count(), 0);
    }

    newScene();
    oxMessage project;
    project.set(M::projectKey(qPrintable(name)), a.stored(value), true);
    M::the()->load(project);
    QCOMPARE(a.get(), inside ? value : defaultValue);
    QCOMPARE(a.record(), a.get());
}

// A direction is any finite vector but zero, however long or short: normalised in double, its
// squared length neither overflows nor vanishes.
void tst_HostAnalysisModel::directionsOfAnyLengthAreKept_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("kept");
    const double r = 1 / std::sqrt(3.0);
    QTest::newRow("long pull") << "DraftDirection" << vec(1e38, 1e38, 1e38) << vec(r, r, r);
    QTest::newRow("longest normal") << "CombSectionNormal" << vec(0, -FLT_MAX, 0) << vec(0, -1, 0);
    QTest::newRow("short pull") << "DraftDirection" << vec(1e-30, 0, 0) << vec(1, 0, 0);
    QTest::newRow("shortest normal") << "CombSectionNormal" << vec(0, 0, 1.4e-45) << vec(0, 0, 1);
}

void tst_HostAnalysisModel::directionsOfAnyLengthAreKept()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(QVariant, kept);
    const HostAccess& a = accessors()[name];
    std::string error;
    QVERIFY2(a.set(value, &error), error.c_str());
    QVERIFY2(close(a.get(), kept), qPrintable(a.get().toString()));
    newScene();
    oxMessage project;
    project.set(M::projectKey(qPrintable(name)), a.stored(value), true);
    M::the()->load(project);
    QVERIFY2(close(a.get(), kept), qPrintable(a.get().toString()));
}

// Saved under keys of their own, loaded back without an undo step; a new scene and a project
// without the keys give the defaults.
void tst_HostAnalysisModel::projectRoundTripAndNewScene()
{
    for (const Row& row : rows())
        QVERIFY(accessors()[row.name].set(row.value, nullptr));
    // Each switch that colours, set on, switched the one before it off: only the last is on.
    auto colours = [](const Row& row) { return oxHostAnalysisRows::find(row.name)->role == oxSettingRole::Colours; };
    QString lastColouring;
    for (const Row& row : rows())
        if (colours(row))
            lastColouring = row.name;
    for (const Row& row : rows())
        if (colours(row))
            QCOMPARE(accessors()[row.name].get(), QVariant(row.name == lastColouring));
    QMap<QString, QVariant> saved;
    for (const Row& row : rows())
        saved[row.name] = accessors()[row.name].get();
    oxMessage project;
    M::the()->save(project);
    QCOMPARE(int(project.size()), int(rows().size()));

    newScene();
    const oxHostAnalysisSettings defaults;
    QCOMPARE(M::the()->getDraftAngle(), defaults.DraftAngle);
    QCOMPARE(M::the()->getCombSamples(), defaults.CombSamples);

    M::the()->load(project);
    for (const Row& row : rows())
        QVERIFY2(close(accessors()[row.name].get(), saved[row.name]), row.name);
    for (const Row& row : rows())
        if (!colours(row) || row.name == lastColouring)
            QVERIFY2(close(accessors()[row.name].get(), row.kept), row.name);
    QCOMPARE(oxUndoStack::get(0).count(), 0);

    // Through the kernel, as oxHost.loadProject runs it.
    oxMessage& shared = oxFileIO::getProject();
    shared.clear();
    shared.set("_loading", true, true);
    oxMessage msg(oxKernel::ProjectMessage);
    oxKernel::sendMessage(msg);
    QCOMPARE(M::the()->getDraftAngle(), defaults.DraftAngle);
    QCOMPARE(M::the()->getDraftDirection(), defaults.DraftDirection);
    shared.clear();
}

void tst_HostAnalysisModel::wrongTypedKeysFallBackToTheirDefaults()
{
    oxMessage project;
    project.set(M::projectKey("DraftAngle"), boost::any(3u), true);                      // unsigned for a float
    project.set(M::projectKey("CombSamples"), boost::any(8.f), true);                    // float for an unsigned
    project.set(M::projectKey("DraftDirection"), boost::any(osg::Vec3f(0, 0, 0)), true); // refused by the setter
    project.set(M::projectKey("CombSectionNormal"), boost::any(osg::Vec3f(0, 2, 0)), true);
    project.set(M::projectKey("CombSections"), boost::any(7u), true);
    M::the()->load(project);
    const oxHostAnalysisSettings defaults;
    QCOMPARE(M::the()->getDraftAngle(), defaults.DraftAngle);
    QCOMPARE(M::the()->getCombSamples(), defaults.CombSamples);
    QCOMPARE(M::the()->getDraftDirection(), defaults.DraftDirection);
    QCOMPARE(M::the()->getCombSectionNormal(), osg::Vec3f(0, 1, 0));
    QCOMPARE(M::the()->getCombSections(), 7u);
}

void tst_HostAnalysisModel::sliderDragIsOneUndoStep()
{
    quint64 clock = 1000;
    oxUndoCommand::setClock([&clock] { return clock; });
    for (float angle : {2.f, 3.f, 4.f, 5.f})
    {
        QVERIFY(M::the()->setDraftAngle(angle));
        clock += 100;
    }
    QVERIFY(M::the()->setCombScale(2.f)); // another setting: a step of its own
    QCOMPARE(oxUndoStack::get(0).count(), 2);
    clock += 1000;
    QVERIFY(M::the()->setDraftAngle(7.f)); // after a pause: a new step
    QCOMPARE(oxUndoStack::get(0).count(), 3);
    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    oxUndoStack::get(0).undo();
    QCOMPARE(M::the()->getDraftAngle(), 1.f);
}

// Every row whose role is Colours takes turns with each other such row and with the module's
// analysis: switching one on is one step that switches the other off, and its undo brings it back.
void tst_HostAnalysisModel::colouringAnalysesTakeTurns_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second"); // empty: the module's analysis
    QStringList switches;
    for (int i = 0; i < oxHostAnalysisRows::count(); ++i)
        if (oxHostAnalysisRows::at(i).role == oxSettingRole::Colours)
            switches << oxHostAnalysisRows::at(i).name;
    QVERIFY(switches.contains("DraftActive") && switches.contains("DeviationActive"));
    for (const QString& first : switches)
    {
        for (const QString& second : switches)
            if (second != first)
                QTest::newRow(qPrintable(first + " then " + second)) << first << second;
        QTest::newRow(qPrintable(first + " then the module")) << first << QString();
    }
}

void tst_HostAnalysisModel::colouringAnalysesTakeTurns()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    oxUndoStack::setMergeWindow(-1);
    QVERIFY(accessors()[first].set(true, nullptr));
    if (second.isEmpty())
        M::the()->moduleAnalysisSwitchedOn();
    else
        QVERIFY(accessors()[second].set(true, nullptr));
    QCOMPARE(accessors()[first].get(), QVariant(false));
    QCOMPARE(accessors()[first].record(), QVariant(false));
    QCOMPARE(oxUndoStack::get(0).count(), 2);
    oxUndoStack::get(0).undo();
    QCOMPARE(accessors()[first].get(), QVariant(true));
    if (!second.isEmpty())
        QCOMPARE(accessors()[second].get(), QVariant(false));
}

void tst_HostAnalysisModel::deviationNeedsAReference()
{
    oxRenderer::the().setReference({});
    QSignalSpy spy(M::the(), &M::DeviationActiveChanged);
    std::string error;
    QVERIFY(!M::the()->setDeviationActive(true, &error));
    QCOMPARE(QString::fromStdString(error),
             "cannot switch DeviationActive on: no reference is loaded; oxHost.loadReference(path) loads one");
    QVERIFY(!M::the()->getDeviationActive());
    QCOMPARE(spy.count(), 0);
    QCOMPARE(oxUndoStack::get(0).count(), 0);
    // Off needs none, and a project may hold the default tolerance of 0.
    QVERIFY(M::the()->setDeviationActive(false));
    oxMessage project;
    project.set(M::projectKey("DeviationTolerance"), boost::any(0.f), true);
    M::the()->load(project);
    QCOMPARE(M::the()->getDeviationTolerance(), 0.f);
    initTestCase();
}

// The reference is not in the project, and dropping it is no undo step: a project that has the
// deviation on loads it off without one, and no undo step puts it back on.
void tst_HostAnalysisModel::withoutAReferenceTheDeviationStaysOff()
{
    oxMessage project;
    project.set(M::projectKey("DeviationActive"), boost::any(true), true);
    M::the()->load(project);
    QVERIFY(M::the()->getDeviationActive());
    oxRenderer::the().setReference({});
    M::the()->load(project);
    QVERIFY(!M::the()->getDeviationActive());
    QVERIFY(!M::the()->settings().DeviationActive);
    initTestCase();

    oxUndoStack::setMergeWindow(-1);
    QVERIFY(M::the()->setDraftActive(true));
    QVERIFY(M::the()->setDeviationActive(true));
    oxRenderer::the().setReference({});
    M::the()->referenceDropped();
    QVERIFY(!M::the()->getDeviationActive());
    QVERIFY(!M::the()->settings().DeviationActive);
    QCOMPARE(oxUndoStack::get(0).count(), 2);
    oxUndoStack::get(0).undo(); // the deviation's step, which took the draft off
    QVERIFY(M::the()->getDraftActive());
    oxUndoStack::get(0).redo();
    QVERIFY(!M::the()->getDeviationActive());
    QVERIFY(!M::the()->getDraftActive());
    initTestCase();
}

QTEST_GUILESS_MAIN(tst_HostAnalysisModel)
#include "tst_hostanalysismodel.moc"
