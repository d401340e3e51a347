// The STEP file's validation properties as a check criterion: read with the file, through the
// reader program and the CAD cache, and compared with the geometry read, on the right solid.
#include "testsupport.h"
#include "oxCadImporter.h"
#include "oxCheck.h"

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <STEPConstruct_ValidationProps.hxx>
#include <STEPControl_Writer.hxx>
#include <BRep_Builder.hxx>
#include <Interface_Static.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Ax2.hxx>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
typedef oxCheckCriterion C;

// A box (solid 0) and a cylinder (solid 1), two products; with their validation properties as
// OCCT computes them when props is set.
TopoDS_Shape box()
{
    return BRepPrimAPI_MakeBox(10, 20, 30).Shape();
}

TopoDS_Shape cylinder()
{
    return BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(50, 0, 0), gp::DZ()), 5, 20).Shape();
}

// The roots, each a product, and the properties of the shapes given.
bool writeStep(const QString& path, const std::vector<TopoDS_Shape>& roots, const std::vector<TopoDS_Shape>& props)
{
    STEPControl_Writer writer;
    for (const TopoDS_Shape& s : roots)
        if (writer.Transfer(s, STEPControl_AsIs) != IFSelect_RetDone)
            return false;
    STEPConstruct_ValidationProps tool(writer.WS());
    for (const TopoDS_Shape& s : props)
    {
        GProp_GProps volume, surface;
        BRepGProp::VolumeProperties(s, volume);
        BRepGProp::SurfaceProperties(s, surface);
        if (!(tool.AddVolume(s, volume.Mass()) && tool.AddArea(s, surface.Mass()) &&
              tool.AddCentroid(s, volume.CentreOfMass())))
            return false;
    }
    return writer.Write(QFile::encodeName(path).constData()) == IFSelect_RetDone;
}

bool writeStep(const QString& path, bool props)
{
    const std::vector<TopoDS_Shape> roots = {box(), cylinder()};
    return writeStep(path, roots, props ? roots : std::vector<TopoDS_Shape>());
}

// Two placed copies of the box, one product with its properties: an assembly.
const gp_Vec copyMoves[] = {{0, 100, 0}, {100, 0, 0}};

bool writeCopies(const QString& path)
{
    BRep_Builder builder;
    TopoDS_Compound copies;
    builder.MakeCompound(copies);
    const TopoDS_Shape base = box();
    for (const gp_Vec& move : copyMoves)
    {
        gp_Trsf t;
        t.SetTranslation(move);
        builder.Add(copies, base.Moved(t));
    }
    const int assembly = Interface_Static::IVal("write.step.assembly");
    Interface_Static::SetIVal("write.step.assembly", 1);
    const bool written = writeStep(path, {copies}, {base});
    Interface_Static::SetIVal("write.step.assembly", assembly);
    return written;
}

// The file with each validation property given for its product rather than for the product's
// solid (a shape aspect, as OCCT writes them), as other writers give them.
bool givenForProducts(const QString& path)
{
    QString text = QString::fromLatin1(readTestFile(path));
    int moved = 0;
    QRegularExpressionMatchIterator aspects =
        QRegularExpression(R"(#(\d+) = SHAPE_ASPECT\('[^']*','[^']*',(#\d+),)").globalMatch(text);
    while (aspects.hasNext())
    {
        const QRegularExpressionMatch a = aspects.next();
        const QRegularExpression use(R"(('geometric validation property',\s*'[^']*',\s*)#)" + a.captured(1) + R"(\b)");
        moved += text.count(use);
        text.replace(use, "\\1" + a.captured(2));
    }
    return moved == 6 && writeTestFile(path, text.toLatin1());
}

// The file with the n-th number (from 0) of the pattern's first group scaled or moved by change.
bool editStep(const QString& path, const QString& pattern, int n, double scale, double shift)
{
    QString text = QString::fromLatin1(readTestFile(path));
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    for (int i = 0; i < n && it.hasNext(); ++i)
        it.next();
    if (!it.hasNext())
        return false;
    const QRegularExpressionMatch m = it.next();
    const double value = m.captured(1).toDouble() * scale + shift;
    text.replace(m.capturedStart(1), m.capturedLength(1), QString::number(value, 'f', 6)); // a REAL needs its point
    return writeTestFile(path, text.toLatin1());
}

const char* const volumeText = R"(VOLUME_MEASURE\(\s*([-0-9.Ee+]+)\))";
const char* const areaText = R"(AREA_MEASURE\(\s*([-0-9.Ee+]+)\))";
const char* const centroidZText = R"('centre point',\([^,]+,[^,]+,([-0-9.Ee+]+)\))";

std::vector<const oxCheckFinding*> propsFindings(const oxCheckResult& r)
{
    std::vector<const oxCheckFinding*> found;
    for (const oxCheckFinding& f : r.findings)
        if (f.criterion == C::VALIDATION_PROPS)
            found.push_back(&f);
    return found;
}

std::string messages(const oxCheckResult& r)
{
    std::string out;
    for (const oxCheckFinding& f : r.findings)
        out += f.message + "\n";
    return out;
}
} // namespace

class tst_CheckProps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fileDisagreesOnTheRightSolid_data();
    void fileDisagreesOnTheRightSolid();
    void copiesShareTheirProductsProperties_data();
    void copiesShareTheirProductsProperties();

private:
    // The file loaded as the host loads it (a second time from the cache) and checked with the
    // default profile, and in classA with the class-a one.
    oxCheckResult check(const QString& path, oxCheckResult* classA = nullptr);

    QTemporaryDir dir;
    QTemporaryDir home; // XDG_CACHE_HOME
};

void tst_CheckProps::initTestCase()
{
    QVERIFY(dir.isValid() && home.isValid());

    qputenv("XDG_CACHE_HOME", home.path().toLocal8Bit());
    qunsetenv("OXHOST_NO_CACHE");
    Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream)); // the writer's tables
}

oxCheckResult tst_CheckProps::check(const QString& path, oxCheckResult* classA)
{
    oxCheckResult results[2];
    for (int pass = 0; pass < 2; ++pass)
    {
        oxRenderMesh mesh;
        std::shared_ptr<oxCadMesh> cad;
        std::string error;
        oxCadImporter::Stages stages;
        if (!oxCadImporter::load(path.toStdString(), oxCadOptions(), mesh, cad, error, &stages))
            qFatal("%s", error.c_str());
        if (stages.cached != (pass == 1))
            qFatal("the load of \"%s\" %s the cache", qPrintable(path), pass ? "missed" : "hit");
        results[pass] = oxCheck::run(*cad->model, oxCheckProfile::standard());
        if (classA)
            *classA = oxCheck::run(*cad->model, oxCheckProfile::classA());
    }
    if (messages(results[0]) != messages(results[1]))
        qFatal("the cached load checks otherwise:\n%s---\n%s", messages(results[0]).c_str(),
               messages(results[1]).c_str());
    return results[0];
}

void tst_CheckProps::fileDisagreesOnTheRightSolid_data()
{
    QTest::addColumn<QString>("given");   // the properties: "for solids", "for products" or "" (none)
    QTest::addColumn<QString>("pattern"); // the number edited
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("shift");
    QTest::addColumn<int>("solid"); // that the finding names; -1: none
    QTest::addColumn<QString>("message");
    QTest::newRow("agreeing file") << "for solids"
                                   << "" << 0 << 1.0 << 0.0 << -1 << "";
    QTest::newRow("file without properties") << ""
                                             << "" << 0 << 1.0 << 0.0 << -1 << "";
    QTest::newRow("box's volume 1.24 % too large")
        << "for solids" << volumeText << 0 << 1.0124 << 0.0 << 0
        << "solid 0: volume 6074 mm³ in the file, 6000 mm³ from the geometry: 1.225 % > 0.1 %";
    QTest::newRow("cylinder's area 0.5 % too small")
        << "for solids" << areaText << 1 << 0.995 << 0.0 << 1
        << "solid 1: area 781.5 mm² in the file, 785.4 mm² from the geometry: 0.5025 % > 0.1 %";
    QTest::newRow("cylinder's centroid 0.2 mm off")
        << "for solids" << centroidZText << 1 << 1.0 << 0.2 << 1
        << "solid 1: centroid (50, 0, 10.2) in the file, (50, 0, 10) from the geometry: 0.2 mm apart, 0.8165 %";
    QTest::newRow("product's volume 1.24 % too large")
        << "for products" << volumeText << 0 << 1.0124 << 0.0 << 0 << "solid 0: volume 6074 mm³ in the file";
    QTest::newRow("product's centroid 0.2 mm off")
        << "for products" << centroidZText << 1 << 1.0 << 0.2 << 1 << "solid 1: centroid (50, 0, 10.2) in the file";
    QTest::newRow("a volume within 0.1 %") << "for solids" << volumeText << 0 << 1.0005 << 0.0 << -1 << "";
}

void tst_CheckProps::fileDisagreesOnTheRightSolid()
{
    QFETCH(QString, given);
    QFETCH(QString, pattern);
    QFETCH(int, occurrence);
    QFETCH(double, scale);
    QFETCH(double, shift);
    QFETCH(int, solid);
    QFETCH(QString, message);
    const QString path = dir.filePath(QString(QTest::currentDataTag()).replace(' ', '_') + ".step");
    QVERIFY(writeStep(path, !given.isEmpty()));
    if (given == "for products")
        QVERIFY(givenForProducts(path));
    if (!pattern.isEmpty())
        QVERIFY(editStep(path, pattern, occurrence, scale, shift));
    oxCheckResult classA;
    const oxCheckResult result = check(path, &classA);
    const std::vector<const oxCheckFinding*> found = propsFindings(result), strict = propsFindings(classA);
    QCOMPARE(strict.size(), found.size());
    for (const oxCheckFinding* f : strict)
        QCOMPARE(f->severity, oxCheckSeverity::Error);
    QVERIFY2(found.size() == (solid < 0 ? 0u : 1u), messages(result).c_str());
    if (solid < 0)
        return;
    QCOMPARE(found[0]->entity, std::string("solid"));
    QCOMPARE(int(found[0]->index), solid);
    QVERIFY2(QString::fromStdString(found[0]->message).startsWith(message), found[0]->message.c_str());
    const gp_Pnt centroids[] = {{5, 10, 15}, {50, 0, 10}};
    QVERIFY(centroids[solid].Distance(gp_Pnt(found[0]->location[0], found[0]->location[1], found[0]->location[2])) <
            1e-6);
    QCOMPARE(found[0]->severity, oxCheckSeverity::Warning);
}

void tst_CheckProps::copiesShareTheirProductsProperties_data()
{
    QTest::addColumn<double>("scale"); // of the product's volume in the file
    QTest::newRow("agreeing copies") << 1.0;
    QTest::newRow("a volume 1.24 % too large, on both") << 1.0124;
}

// Each copy is compared with its product's properties, the centroid moved with the copy.
void tst_CheckProps::copiesShareTheirProductsProperties()
{
    QFETCH(double, scale);
    const QString path = dir.filePath(QString("copies-%1.step").arg(scale));
    QVERIFY(writeCopies(path));
    if (scale != 1)
        QVERIFY(editStep(path, volumeText, 0, scale, 0));
    const oxCheckResult result = check(path);
    QVERIFY2(result.findings.size() == (scale == 1 ? 0u : 2u), messages(result).c_str());
    for (size_t i = 0; i < result.findings.size(); ++i)
    {
        const oxCheckFinding& f = result.findings[i];
        QCOMPARE(f.code(), "VALIDATION_PROPS");
        QCOMPARE(f.index, i);
        const gp_Pnt centroid = gp_Pnt(5, 10, 15).Translated(copyMoves[i]);
        QVERIFY2(centroid.Distance(gp_Pnt(f.location[0], f.location[1], f.location[2])) < 1e-6, f.message.c_str());
    }
}

QTEST_GUILESS_MAIN(tst_CheckProps)
#include "tst_checkprops.moc"
