// CAD files into the raytracer's scene: OCCT-made solids written as STEP, IGES and B-rep and read
// back with their exact normals and curvatures, sewing, edge continuity, and bad files refused.
#include "testsupport.h"
#include "OSGGeometry.h"
#include "oxCadAssembly.h"
#include "oxCadImporter.h"
#include "oxMeshFileWriter.h"
#include "oxMeshImporter.h"
#include "oxModelImporter.h"
#include "oxProbe.h"
#include "oxRenderScene.h"
#include "oxSampleSurfaces.h"

#include <BRepPrimAPI_MakeSphere.hxx>
#include <STEPControl_Writer.hxx>

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace
{
struct Loaded
{
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
};

// Writes the sample as the suffix says and reads it back.
bool roundTrip(const QTemporaryDir& dir, const QString& sample, const QString& suffix, Loaded& out,
               const oxCadOptions& options = oxCadOptions())
{
    const std::string path = dir.filePath(sample + "." + suffix).toStdString();
    std::string error;
    if (oxCadImporter::writeSample(sample.toStdString(), path, error) &&
        oxCadImporter::load(path, options, out.mesh, out.cad, error))
        return true;
    qWarning("%s", error.c_str());
    return false;
}

bool near(double value, double expected, double scale, double relative = 1e-6)
{
    return std::fabs(value - expected) <= relative * scale;
}

} // namespace

class tst_CadImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void exactCurvaturesMatchTheAnalyticSolids_data();
    void exactCurvaturesMatchTheAnalyticSolids();
    void perPixelEvaluationAgreesWithTheVertices();
    void looseIgesFacesAreSewn();
    void partsOfAnAssemblyAreSewnEachAsAlone();
    void fileUnitsAreKept();
    void joinsAreClassified();
    void badFileIsRefusedNamingIt_data();
    void badFileIsRefusedNamingIt();
    void loadNodeAttachesTheExactData();
    void farSphereIsProbedOnItsSurface_data();
    void farSphereIsProbedOnItsSurface();

private:
    QTemporaryDir dir;
};

void tst_CadImport::initTestCase()
{
    QVERIFY(dir.isValid());
}

void tst_CadImport::exactCurvaturesMatchTheAnalyticSolids_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("suffix");
    for (const char* sample : {"sphere", "cylinder", "torus"})
        for (const char* suffix : {"step", "IGS", "brep"})
            QTest::newRow(qPrintable(QString("%1.%2").arg(sample, suffix))) << sample << suffix;
}

void tst_CadImport::exactCurvaturesMatchTheAnalyticSolids()
{
    QFETCH(QString, sample);
    QFETCH(QString, suffix);
    Loaded loaded;
    QVERIFY(roundTrip(dir, sample, suffix, loaded));
    const oxRenderMesh& mesh = loaded.mesh;
    const oxPrincipalCurvatures& k = loaded.cad->curvatures;
    QVERIFY(mesh.triangleCount() > 100);
    QVERIFY(k.exact);
    QCOMPARE(k.kMax.size(), mesh.vertexCount());
    QCOMPARE(loaded.cad->uv.size(), 2 * mesh.vertexCount());
    for (size_t i = 0; i < mesh.vertexCount(); ++i)
    {
        const osg::Pnt3f& p = mesh.positions[i];
        const osg::Vec3f& n = mesh.normals[i];
        double kMax = 0, kMin = 0, scale = 1;
        osg::Vec3f outward;
        if (sample == "sphere")
        {
            kMax = kMin = scale = 1 / 10.0;
            outward = osg::Vec3f(p[0], p[1], p[2]);
        }
        else if (sample == "cylinder")
        {
            scale = 1 / 5.0;
            const bool side = std::fabs(n[2]) < 0.5f;
            kMax = side ? 1 / 5.0 : 0;
            outward = side ? osg::Vec3f(p[0], p[1], 0) : osg::Vec3f(0, 0, p[2] - 10);
        }
        else
        {
            // Radii 20 and 5 about z: 1/r around the tube, cos(phi) / (R + r cos(phi)) along it.
            const double rho = std::hypot(double(p[0]), double(p[1])), cosPhi = (rho - 20) / 5;
            kMax = 1 / 5.0;
            kMin = cosPhi / (20 + 5 * cosPhi);
            scale = 1 / 5.0;
            outward = osg::Vec3f(p[0], p[1], p[2]) - osg::Vec3f(p[0], p[1], 0) * float(20 / rho);
        }
        outward.normalize();
        QVERIFY2(n.dot(outward) > 0.99999f, qPrintable(QString("vertex %1: normal not outward").arg(i)));
        QVERIFY2(near(k.kMax[i], kMax, scale) && near(k.kMin[i], kMin, scale),
                 qPrintable(QString("vertex %1: %2, %3 instead of %4, %5")
                                .arg(i)
                                .arg(k.kMax[i])
                                .arg(k.kMin[i])
                                .arg(kMax)
                                .arg(kMin)));
        // Principal directions: unit, tangent and crossing at right angles (none on flat caps).
        if (kMax != 0 || kMin != 0)
        {
            QVERIFY(std::fabs(k.dirMax[i].length() - 1) < 1e-5f && std::fabs(k.dirMax[i].dot(n)) < 1e-5f);
            QVERIFY(std::fabs(k.dirMax[i].dot(k.dirMin[i])) < 1e-5f);
        }
    }
    // Triangles wind counter-clockwise about the outward normals.
    for (size_t t = 0; t < mesh.triangleCount(); ++t)
    {
        const osg::UInt32 a = mesh.indices[3 * t], b = mesh.indices[3 * t + 1], c = mesh.indices[3 * t + 2];
        const osg::Vec3f face = (mesh.positions[b] - mesh.positions[a]).cross(mesh.positions[c] - mesh.positions[a]);
        QVERIFY(face.dot(mesh.normals[a] + mesh.normals[b] + mesh.normals[c]) >= 0.f);
    }
}

void tst_CadImport::perPixelEvaluationAgreesWithTheVertices()
{
    Loaded loaded;
    QVERIFY(roundTrip(dir, "torus", "brep", loaded));
    const oxCadMesh& cad = *loaded.cad;
    for (size_t i = 0; i < loaded.mesh.vertexCount(); i += 7)
    {
        float n[3], kMax, kMin;
        QVERIFY(cad.model->curvatureAt(cad.vertexFace[i], cad.uv[2 * i], cad.uv[2 * i + 1], n, kMax, kMin));
        QVERIFY(osg::Vec3f(n[0], n[1], n[2]).equals(loaded.mesh.normals[i], 1e-5f));
        QVERIFY(near(kMax, cad.curvatures.kMax[i], 0.2) && near(kMin, cad.curvatures.kMin[i], 0.2));
    }
    QVERIFY(!cad.model->normalAt(cad.model->faceCount(), 0, 0, nullptr));
}

void tst_CadImport::looseIgesFacesAreSewn()
{
    // OCCT writes IGES faces as separate trimmed surfaces; read back, they share their edges again.
    Loaded loaded;
    QVERIFY(roundTrip(dir, "filletedbox", "igs", loaded));
    const oxCadModel& model = *loaded.cad->model;
    QCOMPARE(model.faceCount(), size_t(10));
    QCOMPARE(model.freeEdgeCount(), size_t(0));
    QCOMPARE(model.sharedEdgeCount(), size_t(24));
}

void tst_CadImport::fileUnitsAreKept()
{
    // The sphere of radius 10 in a file whose lengths are metres: 10 metres, not 10 000 mm.
    const QString path = dir.filePath("metres.step");
    std::string error;
    QVERIFY(oxCadImporter::writeSample("sphere", path.toStdString(), error));
    QByteArray text = readTestFile(path);
    QVERIFY(text.contains("SI_UNIT(.MILLI.,.METRE.)"));
    text.replace("SI_UNIT(.MILLI.,.METRE.)", "SI_UNIT($,.METRE.)");
    QVERIFY(!writeTestFile(dir, "metres.step", text).isEmpty());
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    QVERIFY2(oxCadImporter::load(path.toStdString(), oxCadOptions(), mesh, cad, error), error.c_str());
    osg::Pnt3f min, max;
    QVERIFY(mesh.bounds(min, max));
    QVERIFY2(std::fabs(max[2] - 10.f) < 1e-3f && std::fabs(min[2] + 10.f) < 1e-3f, qPrintable(QString::number(max[2])));
}

void tst_CadImport::partsOfAnAssemblyAreSewnEachAsAlone()
{
    // Six copies of a panel of loose faces, apart: sewn apart, each as the panel alone.
    const std::string part = dir.filePath("panel-part.brep").toStdString();
    const std::string assembly = dir.filePath("panels.step").toStdString();
    std::string error;
    QVERIFY2(oxCadImporter::writeSample("panel", part, error, 2, 3, 6), error.c_str());
    QVERIFY2(oxCadAssembly::writeGrid(part, assembly, 3, 2, error), error.c_str());
    Loaded one, six;
    QVERIFY2(oxCadImporter::load(part, oxCadOptions(), one.mesh, one.cad, error), error.c_str());
    QVERIFY2(oxCadImporter::load(assembly, oxCadOptions(), six.mesh, six.cad, error), error.c_str());
    const oxCadModel& alone = *one.cad->model;
    QCOMPARE(alone.sharedEdgeCount(), size_t(7));
    QCOMPARE(six.cad->model->faceCount(), 6 * alone.faceCount());
    QCOMPARE(six.cad->model->sharedEdgeCount(), 6 * alone.sharedEdgeCount());
    QCOMPARE(six.cad->model->freeEdgeCount(), 6 * alone.freeEdgeCount());
}

void tst_CadImport::joinsAreClassified()
{
    Loaded loaded;
    QVERIFY(roundTrip(dir, "joins", "step", loaded));
    const oxCadModel& model = *loaded.cad->model;
    QCOMPARE(model.faceCount(), size_t(6));
    const std::vector<oxEdgeContinuity> edges = model.continuity(oxContinuityTolerances());
    QCOMPARE(edges.size(), size_t(3));
    // The strips from the top: G0 (a 30 degree kink), G1 (flat meets radius 10), G2.
    std::vector<oxEdgeContinuity> byY = edges;
    std::sort(byY.begin(), byY.end(),
              [](const oxEdgeContinuity& a, const oxEdgeContinuity& b) { return a.polyline[0][1] > b.polyline[0][1]; });
    QCOMPARE(byY[0].continuity, oxEdgeContinuity::G0);
    QVERIFY2(std::fabs(byY[0].g1 - 30) < 1e-3, qPrintable(QString::number(byY[0].g1)));
    QCOMPARE(byY[1].continuity, oxEdgeContinuity::G1);
    QVERIFY(byY[1].g1 < 1e-3);
    QVERIFY(std::fabs(byY[1].g2 - 1) < 1e-6 && std::fabs(byY[1].g2abs - 0.1) < 1e-6);
    QCOMPARE(byY[2].continuity, oxEdgeContinuity::G2);
    QVERIFY(byY[2].g1 < 1e-3 && byY[2].g2abs < 1e-6);
    for (const oxEdgeContinuity& e : edges)
    {
        QVERIFY(e.g0 < 1e-6);
        QVERIFY(std::fabs(e.length - 20) < 1e-6);
        QVERIFY(e.faces[0] != e.faces[1]);
    }
    // Tighter tolerances move the classes down; a gap above the G0 tolerance is open.
    oxContinuityTolerances strict;
    strict.g0 = 0;
    strict.g1 = 0.5;
    QCOMPARE(model.continuity(strict)[0].continuity, edges[0].g0 > 0 ? oxEdgeContinuity::Open : edges[0].continuity);
}

void tst_CadImport::badFileIsRefusedNamingIt_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("cause");
    QFile step(dir.filePath("whole.step"));
    std::string error;
    QVERIFY(oxCadImporter::writeSample("filletedbox", step.fileName().toStdString(), error));
    QVERIFY(step.open(QIODevice::ReadOnly));
    const QByteArray whole = step.readAll();
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) % 251));
    QTest::newRow("missing") << "absent.step" << QByteArray() << "no such file";
    QTest::newRow("empty") << "empty.stp" << QByteArray("") << "the file is empty";
    QTest::newRow("directory") << "folder.step" << QByteArray() << "it is a directory";
    QTest::newRow("truncated STEP") << "cut.step" << whole.left(whole.size() / 2) << "";
    QTest::newRow("garbage STEP") << "noise.step" << garbage << "";
    QTest::newRow("garbage IGES") << "noise.iges" << garbage << "";
    QTest::newRow("garbage B-rep") << "noise.brep" << garbage << "not an Open CASCADE B-rep file";
    QTest::newRow("STEP without faces")
        << "point.step"
        << QByteArray(
               "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('a point'),'2;1');\nFILE_NAME('p','',(''),(''),'','','');\n"
               "FILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\nENDSEC;\nDATA;\n#1=CARTESIAN_POINT('',(0.,0.,0.));\n"
               "ENDSEC;\nEND-ISO-10303-21;\n")
        << "";
    // A single line (entity 110) is all this IGES file holds.
    QByteArray iges;
    auto line = [&iges](const QByteArray& text, char section, int number)
    { iges += text.leftJustified(72, ' ') + section + QByteArray::number(number).rightJustified(7, ' ') + "\n"; };
    line("curves only", 'S', 1);
    line("1H,,1H;,,,,,,32,38,6,308,15,,1.,2,2HMM,1,0.01,15H20260101.000000,1E-06,100.,,,11,0,;", 'G', 1);
    line("     110       1       0       0       0       0       0       000000000", 'D', 1);
    line("     110       0       0       1       0                               0", 'D', 2);
    line("110,0.,0.,0.,10.,0.,0.;", 'P', 1);
    iges += QByteArray("S      1G      1D      2P      1").leftJustified(72, ' ') + "T      1\n";
    QTest::newRow("IGES of curves only") << "curves.igs" << iges << "no faces";
}

void tst_CadImport::badFileIsRefusedNamingIt()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, cause);
    QString path = dir.filePath(name);
    if (name == "folder.step")
        QVERIFY(QDir(dir.path()).mkpath(name));
    else if (name != "absent.step")
        QVERIFY(!writeTestFile(dir, name, content).isEmpty());

    oxRenderMesh mesh;
    mesh.name = "kept";
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    QVERIFY(!oxCadImporter::load(path.toStdString(), oxCadOptions(), mesh, cad, error));
    QCOMPARE(QString::fromStdString(mesh.name), QString("kept"));
    QVERIFY(!cad);
    const QString message = QString::fromStdString(error);
    QVERIFY2(message.startsWith("cannot read CAD file \"" + path + "\": "), qPrintable(message));
    QVERIFY2(message.contains(cause), qPrintable(message));

    // The mesh entry points refuse it the same way.
    std::vector<oxRenderMesh> meshes;
    QVERIFY(!oxModelImporter::load(path.toStdString(), meshes, error));
    QVERIFY(meshes.empty());
    QVERIFY(oxModelImporter::loadNode(path.toStdString(), error) == osg::NullFC);
    QCOMPARE(QString::fromStdString(error), message);
}

void tst_CadImport::loadNodeAttachesTheExactData()
{
    const QString path = dir.filePath("Node.STP");
    std::string error;
    QVERIFY(oxCadImporter::writeSample("cylinder", path.toStdString(), error));
    QVERIFY(oxModelImporter::isSupported(path.toStdString()));
    const osg::NodePtr node = oxModelImporter::loadNode(path.toStdString(), error);
    QVERIFY2(node != osg::NullFC, error.c_str());
    QCOMPARE(QString::fromStdString(node->getName()), QString("Node.STP"));
    const osg::GeometryPtr geometry = osg::GeometryPtr::dcast(node->getCore());
    QVERIFY(geometry != osg::NullFC);
    const std::shared_ptr<const oxCadMesh> cad = oxCadMesh::of(*geometry);
    QVERIFY(cad);
    QCOMPARE(cad->model->faceCount(), size_t(3));
    QCOMPARE(cad->vertexFace.size(), size_t(geometry->getPositions()->size()));
    QCOMPARE(QString::fromStdString(cad->source), path);
}

void tst_CadImport::farSphereIsProbedOnItsSurface_data()
{
    QTest::addColumn<bool>("cad"); // a STEP sphere, else a triangulated one as binary STL
    QTest::addColumn<double>("radius");
    QTest::addColumn<double>("tolerance"); // of the point's distance from the centre, relative
    QTest::newRow("STEP, radius 10") << true << 10.0 << 1e-5;
    QTest::newRow("STEP, radius 1e14") << true << 1e14 << 1e-5;
    QTest::newRow("STL, radius 1") << false << 1.0 << 5e-3;
    QTest::newRow("STL, radius 1e12") << false << 1e12 << 5e-3;
}

// A ray down onto the top of a sphere centred at the origin meets it at (0, 0, radius), the
// normal up and both curvatures 1 / radius, whatever the radius the importer takes.
void tst_CadImport::farSphereIsProbedOnItsSurface()
{
    QFETCH(bool, cad);
    QFETCH(double, radius);
    QFETCH(double, tolerance);
    QTemporaryDir dir;
    const std::string path = dir.filePath(cad ? "sphere.step" : "sphere.stl").toStdString();
    if (cad)
    {
        STEPControl_Writer writer;
        QCOMPARE(writer.Transfer(BRepPrimAPI_MakeSphere(radius).Shape(), STEPControl_AsIs), IFSelect_RetDone);
        QCOMPARE(writer.Write(path.c_str()), IFSelect_RetDone);
    }
    else
    {
        oxRenderMesh sphere = oxSampleSurfaces::sphere(1.f, 48);
        for (osg::Pnt3f& p : sphere.positions)
            p = osg::Pnt3f(p[0] * float(radius), p[1] * float(radius), p[2] * float(radius));
        QVERIFY(oxMeshFileWriter::writeStl(sphere, path));
    }
    oxMeshImporter::File file;
    std::string error;
    QVERIFY2(oxModelImporter::read(path, file, error), error.c_str());
    std::vector<std::shared_ptr<const oxRenderMesh>> meshes;
    for (const oxRenderMesh& mesh : file.meshes)
        meshes.push_back(std::make_shared<oxRenderMesh>(mesh));
    oxRenderScene scene;
    scene.setMeshes(meshes, {file.cad});
    // Off the pole, where the triangles are as large as any.
    const float r = float(radius);
    oxProbe probe;
    QVERIFY(oxProbe::trace(scene, osg::Pnt3f(0.1f * r, 0.2f * r, 3 * r), osg::Vec3f(0, 0, -1), probe));
    const double x = probe.point[0], y = probe.point[1], z = probe.point[2];
    QVERIFY2(std::fabs(std::sqrt(x * x + y * y + z * z) / radius - 1) < tolerance,
             qPrintable(QString("(%1, %2, %3)").arg(x).arg(y).arg(z)));
    QVERIFY2(probe.normal.equals(osg::Vec3f(0.1f, 0.2f, std::sqrt(0.95f)), 0.01f),
             qPrintable(QString("(%1, %2, %3)").arg(probe.normal[0]).arg(probe.normal[1]).arg(probe.normal[2])));
    QVERIFY2(std::fabs(probe.k1 * radius - 1) < 0.05 && std::fabs(probe.k2 * radius - 1) < 0.05,
             qPrintable(QString("%1 %2").arg(probe.k1 * radius).arg(probe.k2 * radius)));
}

QTEST_APPLESS_MAIN(tst_CadImport)
#include "tst_cadimport.moc"
