// Distances to a reference, their statistics and export, and the best fit, against answers known
// in closed form.
#include "oxAlignment.h"
#include "oxCadImporter.h"
#include "oxCadShape.h"
#include "oxDeviation.h"
#include "oxDeviationExport.h"
#include "oxRenderScene.h"
#include "oxRenderTestSupport.h"
#include "oxSampleSurfaces.h"

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRepClass3d_SolidClassifier.hxx>
#include <BRepExtrema_DistShapeShape.hxx>
#include <BRepClass_FaceClassifier.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <Bnd_Box.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QVector3D>
#include <QtTest>

#include <cmath>
#include <memory>
#include <numeric>
#include <random>
#include <thread>

namespace
{
void setMesh(oxRenderScene& scene, const oxRenderMesh& mesh)
{
    scene.setMeshes({std::make_shared<oxRenderMesh>(mesh)});
}

// The unit cube [0, 1]^3, wound outward; closed = false leaves its top open.
oxRenderMesh cube(bool closed)
{
    oxRenderMesh mesh;
    for (int i = 0; i < 8; ++i)
        mesh.positions.emplace_back(float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1));
    const osg::UInt32 quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                     {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (int f = 0; f < 6; ++f)
    {
        const osg::UInt32* q = quads[f];
        if (!closed && f == 1)
            continue;
        mesh.indices.insert(mesh.indices.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
    }
    return mesh;
}

double size(const oxRenderMesh& mesh)
{
    osg::Pnt3f min, max;
    mesh.bounds(min, max);
    return double((max - min).length());
}

osg::Matrix turnAndShift(double degrees, const osg::Vec3f& shift, const osg::Vec3f& axis = osg::Vec3f(0.3f, 1.f, 0.2f))
{
    osg::Matrix m;
    m.setTransform(shift, osg::Quaternion(axis, float(degrees * M_PI / 180)), osg::Vec3f(1.f, 1.f, 1.f));
    return m;
}

// b after a.
osg::Matrix then(const osg::Matrix& a, const osg::Matrix& b)
{
    osg::Matrix m = b;
    m.mult(a);
    return m;
}

// The part of v in the span of the unit vectors of basis, as a share of its length.
double inSpan(const osg::Vec3f& v, const QList<QVector3D>& basis)
{
    QVector3D rest(v[0], v[1], v[2]);
    for (const QVector3D& b : basis)
        rest -= QVector3D::dotProduct(rest, b) * b;
    return 1.0 - double(rest.length()) / double(v.length());
}

QList<QVector3D> axes(const QString& which)
{
    QList<QVector3D> out;
    for (const QChar c : which)
        out << (c == 'x' ? QVector3D(1, 0, 0) : c == 'y' ? QVector3D(0, 1, 0) : QVector3D(0, 0, 1));
    return out;
}

// Open CASCADE's point-to-face extrema classify the projection's (u, v) within one period, which
// misses the points of a face wound more than once around a periodic surface (the bottle's
// thread): there the projection is classified at each turn.
bool woundMoreThanOnce(const TopoDS_Face& face)
{
    const Handle(Geom_Surface) surface = BRep_Tool::Surface(face);
    double u0, u1, v0, v1;
    BRepTools::UVBounds(face, u0, u1, v0, v1);
    return surface->IsUPeriodic() && u1 - u0 > surface->UPeriod() * (1 + 1e-9);
}

double acrossTurns(const TopoDS_Face& face, const gp_Pnt& p)
{
    const Handle(Geom_Surface) surface = BRep_Tool::Surface(face);
    double u0, u1, v0, v1;
    BRepTools::UVBounds(face, u0, u1, v0, v1);
    const double period = surface->UPeriod();
    GeomAPI_ProjectPointOnSurf projection(p, surface);
    double best = INFINITY;
    for (int i = 1; i <= projection.NbPoints(); ++i)
    {
        double u, v;
        projection.Parameters(i, u, v);
        for (double turn = u - std::floor((u - u0) / period) * period; turn <= u1; turn += period)
            if (BRepClass_FaceClassifier(face, gp_Pnt2d(turn, v), 1e-7).State() == TopAbs_IN)
                best = std::min(best, projection.Distance(i));
    }
    return best;
}

// 300 of the mesh's vertices, at random, moved along their normals by up to 0.4 % of size.
std::vector<osg::Pnt3f> pointsNearSurface(const oxRenderMesh& mesh, double size, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> vertex(0, mesh.vertexCount() - 1);
    std::uniform_real_distribution<double> amount(-4e-3, 4e-3);
    std::vector<osg::Pnt3f> points;
    for (int i = 0; i < 300; ++i)
    {
        const size_t v = vertex(random);
        const double by = amount(random) * size;
        points.push_back(mesh.positions[v] + mesh.normals[v] * float(by));
    }
    return points;
}

// Open CASCADE's distance to a shape. It measures against the faces whose boxes come within
// reach (our distance and a margin): a face further away cannot hold a closer point, and a
// nearer one it finds fails the case.
struct ExactDistance
{
    std::vector<std::pair<TopoDS_Face, Bnd_Box>> faces;
    std::vector<TopoDS_Face> wound;

    explicit ExactDistance(const TopoDS_Shape& shape)
    {
        for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next())
        {
            Bnd_Box box;
            BRepBndLib::Add(it.Current(), box, false);
            faces.emplace_back(TopoDS::Face(it.Current()), box);
            if (woundMoreThanOnce(faces.back().first))
                wound.push_back(faces.back().first);
        }
    }

    double distance(const gp_Pnt& p, double reach) const
    {
        TopoDS_Compound near;
        BRep_Builder builder;
        builder.MakeCompound(near);
        Bnd_Box at;
        at.Add(p);
        for (const auto& [face, box] : faces)
            if (box.Distance(at) <= reach)
                builder.Add(near, face);
        BRepExtrema_DistShapeShape extrema(BRepBuilderAPI_MakeVertex(p).Vertex(), near);
        double expected = extrema.IsDone() ? extrema.Value() : INFINITY;
        for (const TopoDS_Face& face : wound)
            expected = std::min(expected, acrossTurns(face, p));
        return expected;
    }
};
} // namespace

Q_DECLARE_METATYPE(osg::Matrix)

class tst_deviation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("OX_QUIET", "1"); }

    void sphereAgainstReference_data();
    void sphereAgainstReference();
    void sign_data();
    void sign();
    void realPartsAgainstOpenCascade_data();
    void realPartsAgainstOpenCascade();
    void cancelStopsTheSearch();
    void trimTestsFromManyThreadsAgree_data();
    void trimTestsFromManyThreadsAgree();
    void sideBesideEdges_data();
    void sideBesideEdges();
    void farApart();
    void bestFit_data();
    void bestFit();
    void partlyDeterminedFit_data();
    void partlyDeterminedFit();
    void exportRoundTrip_data();
    void exportRoundTrip();
};

// A sphere of radius 10.1 against one of radius 10: exactly 0.1 everywhere on the CAD sphere;
// on a mesh sphere, 0.1 plus at most the tessellation's deflection.
void tst_deviation::sphereAgainstReference_data()
{
    QTest::addColumn<bool>("cad");
    QTest::newRow("CAD") << true;
    QTest::newRow("mesh") << false;
}

void tst_deviation::sphereAgainstReference()
{
    QFETCH(bool, cad);
    oxRenderScene reference, model;
    std::string error;
    const int segments = 64;
    if (cad)
        QVERIFY2(loadCadSample(reference, "sphere", error), error.c_str());
    else
        setMesh(reference, oxSampleSurfaces::sphere(10.f, segments));
    setMesh(model, oxSampleSurfaces::sphere(10.1f, 47));
    const auto field = oxDeviation::compute(model, reference);
    QVERIFY(field);
    QCOMPARE(field->distance.size(), size_t(1));
    const oxRenderMesh& mesh = model.mesh(0);
    const double deflection = 10 * (1 - std::cos(2 * M_PI / segments));
    double worst = 0;
    for (size_t v = 0; v < mesh.vertexCount(); ++v)
    {
        const osg::Pnt3f& p = mesh.positions[v];
        const double radius = std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]);
        const double d = field->distance[0][v];
        if (cad)
        {
            worst = std::max(worst, std::fabs(d - (radius - 10)));
            QVERIFY2(std::fabs(field->closest[0][v].subZero().length() - 10.f) < 1e-5f, qPrintable(QString::number(v)));
        }
        else
            QVERIFY2(d >= radius - 10 - 1e-5 && d <= radius - 10 + deflection, qPrintable(QString::number(d)));
    }
    QVERIFY2(worst <= 1e-6, qPrintable(QString::number(worst)));
    if (!cad)
        return;
    // Their statistics: 0.1 throughout, within a tolerance above it and outside one below.
    oxDeviationStats s;
    for (const auto& [tolerance, within] : {std::pair(0.2, 1.0), std::pair(0.05, 0.0)})
    {
        QVERIFY2(oxDeviation::stats(model, *field, tolerance, 8, s, error), error.c_str());
        QCOMPARE(s.within, within);
        for (double v : {s.mean, s.rms, s.min, s.max, s.p95})
            QVERIFY2(std::fabs(v - 0.1) < 1e-5, qPrintable(QString::number(v)));
        QVERIFY(s.std < 1e-5);
        QCOMPARE(s.hist.size(), size_t(8));
        QCOMPARE(s.edges.size(), size_t(9));
        QVERIFY(std::fabs(std::accumulate(s.hist.begin(), s.hist.end(), 0.0) - 1) < 1e-9);
    }
    QVERIFY(!oxDeviation::stats(model, *field, 0.2, 0, s, error));
}

// + outside along the reference's outward normal, - inside; an open reference by its face normals.
// Points whose closest point is a corner or an edge shared by several faces too.
void tst_deviation::sign_data()
{
    QTest::addColumn<bool>("closed");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("z");
    QTest::addColumn<float>("expected");
    QTest::newRow("above a face") << true << 0.5f << 0.5f << 1.25f << 0.25f;
    QTest::newRow("below a face, inside") << true << 0.5f << 0.5f << 0.9f << -0.1f;
    QTest::newRow("beyond a corner") << true << 1.5f << 1.5f << 1.5f << float(std::sqrt(0.75));
    QTest::newRow("beyond an edge") << true << 1.3f << 0.5f << 1.4f << 0.5f;
    QTest::newRow("inside near a corner") << true << 0.9f << 0.95f << 0.95f << -0.05f;
    QTest::newRow("at the centre") << true << 0.5f << 0.5f << 0.5f << -0.5f;
    // Closest to the rim, and on the walls' inner side.
    QTest::newRow("open: over the missing top") << false << 0.5f << 0.5f << 2.f << -float(std::sqrt(1.25));
    QTest::newRow("open: inside the box") << false << 0.5f << 0.5f << 0.2f << -0.2f;
    QTest::newRow("open: outside a wall") << false << -0.3f << 0.5f << 0.5f << 0.3f;
    // A file that repeats the corners per face (STL): faces meet at equal positions, not shared vertices.
    QTest::newRow("unwelded: beyond a corner") << true << 1.5f << 1.5f << 1.5f << float(std::sqrt(0.75));
    QTest::newRow("unwelded: inside near a corner") << true << 0.9f << 0.95f << 0.95f << -0.05f;
    // The tip of a needle: beside it, the faces on the far side face away from the point.
    QTest::newRow("spike: beyond the tip, aside") << true << 0.8f << 0.5f << 10.1f << float(std::sqrt(0.1));
}

void tst_deviation::sign()
{
    QFETCH(bool, closed);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, z);
    QFETCH(float, expected);
    oxRenderMesh mesh = cube(closed);
    if (QByteArray(QTest::currentDataTag()).startsWith("unwelded"))
    {
        oxRenderMesh split;
        for (osg::UInt32 index : mesh.indices)
        {
            split.indices.push_back(osg::UInt32(split.positions.size()));
            split.positions.push_back(mesh.positions[index]);
        }
        mesh = split;
    }
    if (QByteArray(QTest::currentDataTag()).startsWith("spike"))
    {
        // A pyramid on the unit square, its tip at height 10.
        mesh = oxRenderMesh();
        mesh.positions = {{0.f, 0.f, 0.f}, {1.f, 0.f, 0.f}, {1.f, 1.f, 0.f}, {0.f, 1.f, 0.f}, {0.5f, 0.5f, 10.f}};
        mesh.indices = {0, 2, 1, 0, 3, 2, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4};
    }
    oxRenderScene reference;
    setMesh(reference, mesh);
    float d = 0;
    osg::Pnt3f at;
    QVERIFY(oxDeviation::closestPoint(reference, osg::Pnt3f(x, y, z), d, at));
    QVERIFY2(std::fabs(d - expected) < 1e-5f, qPrintable(QString::number(d)));
}

// The single-solid parts of Open CASCADE's sample data (Debian's occt-misc), each one's own
// tessellation moved along its normals by known amounts: every distance and side as Open
// CASCADE's own reading has them, also where the closest point is on an edge or a corner or on
// the face next to the triangle the search found. OX_REAL_PARTS, a comma-separated list of part
// names, shortens the list (the sanitizer build does).
void tst_deviation::realPartsAgainstOpenCascade_data()
{
    QTest::addColumn<QString>("path");
    const QString data = "/usr/share/opencascade/data/";
    const QStringList parts = {"occ/bottle.brep",
                               "step/screw.step",
                               "step/linkrods.step",
                               "occ/Pump_Nut.brep",
                               "occ/Pump_TopCover.brep",
                               "occ/solid.brep",
                               "occ/mal_ecrou.brep",
                               "occ/mal_tige.brep",
                               "occ/mal_vis.brep",
                               "occ/wedge_ok.brep",
                               "occ/MODERN_Table_1.brep",
                               "occ/MODERN_MVCooker_1.brep",
                               "occ/MODERN_MVCooker_1_opened.brep",
                               "occ/Top.brep",
                               "occ/Bottom.brep"};
    const QStringList only = qEnvironmentVariable("OX_REAL_PARTS").split(',', Qt::SkipEmptyParts);
    for (const QString& part : parts)
    {
        const QString name = QFileInfo(part).baseName();
        if (!only.isEmpty() && !only.contains(name))
            continue;
        if (QFileInfo::exists(data + part))
            QTest::newRow(qPrintable(name)) << data + part;
        else
            qWarning("%s is not installed (Debian's occt-misc): its row is left out", qPrintable(data + part));
    }
}

void tst_deviation::realPartsAgainstOpenCascade()
{
    QFETCH(QString, path);
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    QVERIFY2(oxCadImporter::load(path.toStdString(), oxCadOptions(), *mesh, cad, error), error.c_str());
    oxRenderScene reference;
    reference.setForPointQueries(true);
    reference.setMeshes({mesh}, {cad});
    const TopoDS_Shape& shape = cad->model->impl().shape;
    const double size = cad->model->size();

    const std::vector<osg::Pnt3f> points = pointsNearSurface(*mesh, size, uint32_t(qHash(path)));
    std::vector<oxClosestPoint> found;
    oxDeviation::closestPoints(reference, points, found);
    QCOMPARE(found.size(), points.size());

    const ExactDistance exact(shape);
    BRepClass3d_SolidClassifier classifier(shape);
    int off = 0, wrongSide = 0;
    double worst = 0;
    QString first;
    for (size_t i = 0; i < points.size(); ++i)
    {
        const gp_Pnt p(points[i][0], points[i][1], points[i][2]);
        const double d = found[i].distance;
        const double expected = exact.distance(p, std::fabs(d) + 1e-3 * size);
        const double error = std::fabs(std::fabs(d) - expected) / size;
        worst = std::max(worst, error);
        QString what;
        if (!(error <= 1e-6))
            what = QString("off by %1 of the size").arg(error);
        // Points closer than this are on the surface for the classifier.
        if (expected > 1e-6 * size)
        {
            classifier.Perform(p, 1e-7 * size);
            const TopAbs_State state = classifier.State();
            const bool inside = state == TopAbs_IN;
            if ((state == TopAbs_IN || state == TopAbs_OUT) && inside != (d < 0))
                what += QString(" on the wrong side (%1)").arg(inside ? "inside" : "outside");
        }
        if (what.isEmpty())
            continue;
        off += !(error <= 1e-6);
        wrongSide += what.contains("side");
        if (first.isEmpty())
            first = QString("(%1, %2, %3) reads %4 against %5: %6")
                        .arg(p.X(), 0, 'g', 9)
                        .arg(p.Y(), 0, 'g', 9)
                        .arg(p.Z(), 0, 'g', 9)
                        .arg(d, 0, 'g', 9)
                        .arg(expected, 0, 'g', 9)
                        .arg(what);
    }
    qInfo("%d of %zu off, %d on the wrong side, worst %.2g of the size", off, points.size(), wrongSide, worst);
    QVERIFY2(off == 0 && wrongSide == 0, qPrintable(first));
}

// A cancel set before the search leaves every point unsearched: the compare and the viewer's
// Cancel rely on the search itself hearing it, however many points it was given.
void tst_deviation::cancelStopsTheSearch()
{
    oxRenderScene scene;
    setMesh(scene, cube(true));
    const std::vector<osg::Pnt3f> points(4096, osg::Pnt3f(0.5f, 0.5f, 2.f));
    std::vector<oxClosestPoint> out;
    for (const bool cancelled : {false, true})
    {
        std::atomic<bool> cancel{cancelled};
        oxDeviation::closestPoints(scene, points, out, {&cancel});
        QCOMPARE(out.size(), points.size());
        QCOMPARE(out.back().distance, cancelled ? 0.f : 1.f);
    }
}

// The trim test of every face, from many threads at once, answers as the face's classifier alone
// did before the face was asked often enough to get its grid of cells: the classifier must not be
// shared unguarded (it crashed, or answered another wire's state), and no cell a boundary curve
// crosses may be taken as wholly inside or outside. OX_REAL_PARTS shortens the list as above.
void tst_deviation::trimTestsFromManyThreadsAgree_data()
{
    QTest::addColumn<QString>("part");
    const QStringList only = qEnvironmentVariable("OX_REAL_PARTS").split(',', Qt::SkipEmptyParts);
    for (const QString part : {"solid", "bottle", "Motor-c", "CrankArm"})
        if (only.isEmpty() || only.contains(part) || part == "solid")
            QTest::newRow(qPrintable(part)) << part;
}

void tst_deviation::trimTestsFromManyThreadsAgree()
{
    QFETCH(QString, part);
    const QString path = "/usr/share/opencascade/data/occ/" + part + ".brep";
    if (!QFileInfo::exists(path))
        QSKIP("Debian's occt-misc is not installed");
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    QVERIFY2(oxCadImporter::load(path.toStdString(), oxCadOptions(), *mesh, cad, error), error.c_str());
    const oxCadModel::Impl& impl = cad->model->impl();
    struct Query
    {
        size_t face;
        double u, v;
        gp_Pnt at;
    };
    std::vector<Query> queries;
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> around(-0.1, 1.1);
    for (size_t face = 0; face < impl.surfaces.size(); ++face)
    {
        double u0, u1, v0, v1;
        BRepTools::UVBounds(TopoDS::Face(impl.faces(int(face) + 1)), u0, u1, v0, v1);
        // Fewer per face than the questions after which a face gets its grid.
        for (int i = 0; i < 250; ++i)
        {
            const double u = u0 + (u1 - u0) * around(random), v = v0 + (v1 - v0) * around(random);
            queries.push_back({face, u, v, impl.surfaces[face]->Value(u, v)});
        }
    }
    std::vector<char> once(queries.size());
    for (size_t q = 0; q < queries.size(); ++q)
        once[q] = impl.insideTrim(queries[q].face, queries[q].u, queries[q].v, queries[q].at);
    std::atomic<int> disagreements{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (size_t k = 0; k < queries.size(); ++k)
                {
                    const size_t q =
                        (k * 7919 + size_t(t) * 131) % queries.size(); // prime to the count: each query once
                    if (char(impl.insideTrim(queries[q].face, queries[q].u, queries[q].v, queries[q].at)) != once[q])
                        ++disagreements;
                }
            });
    for (std::thread& t : threads)
        t.join();
    QCOMPARE(disagreements.load(), 0);
}

// Points outside bottle.brep's thread whose closest point lies on an edge of the faces the
// search finds first: outside, at Open CASCADE's distance. Points inside Motor-c whose nearest
// triangle's face is nearest only at its edge, further than the margin promised: the face
// beyond the margin is nearer.
void tst_deviation::sideBesideEdges_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("z");
    QTest::addColumn<double>("expected");
    QTest::newRow("beside the thread's top") << "bottle" << 7.82807636f << -0.870536566f << 54.0483208f << 0.331652;
    QTest::newRow("beside the thread's start") << "bottle" << 0.593587577f << 7.85259628f << 51.496109f << 0.0513647;
    QTest::newRow("Motor-c: a face past the margin")
        << "Motor-c" << -16.2169418f << 8.57121086f << 4.36121082f << -1.65729;
    QTest::newRow("Motor-c: a face past the margin, by the housing")
        << "Motor-c" << 15.8959227f << 9.7994318f << 4.53883266f << -1.32624;
    // The nearest point of an edge between two of its samples that lie further than its end.
    QTest::newRow("CrankArm: beside a long chord of a boundary edge")
        << "CrankArm" << 164.105331f << 11.2367811f << -125.421844f << 0.118757;
    // Inside one of two solids that touch there: each has the face they share, once each way round.
    QTest::newRow("Motor-c: inside, above a face two solids share")
        << "Motor-c" << 11.4022503f << -21.9405804f << 59.9141388f << -0.914138794;
    QTest::newRow("Motor-c: inside, within a cylinder two solids share")
        << "Motor-c" << 23.6037197f << -8.73406029f << 61.4633217f << -0.832175434;
}

void tst_deviation::sideBesideEdges()
{
    QFETCH(QString, part);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, z);
    QFETCH(double, expected);
    const std::string path = "/usr/share/opencascade/data/occ/" + part.toStdString() + ".brep";
    if (!QFileInfo::exists(QString::fromStdString(path)))
        QSKIP("the part is not installed (Debian's occt-misc)");
    oxRenderScene reference;
    std::string error;
    QVERIFY2(loadCadPart(reference, path, error), error.c_str());
    float d = 0;
    osg::Pnt3f at;
    QVERIFY(oxDeviation::closestPoint(reference, osg::Pnt3f(x, y, z), d, at));
    QVERIFY2(std::fabs(d - expected) <= 1e-6 * reference.cad(0)->model->size(), qPrintable(QString::number(d, 'g', 9)));
}

// Shapes far from each other: large distances, all finite, and no endless search.
void tst_deviation::farApart()
{
    oxRenderScene reference, model;
    setMesh(reference, oxSampleSurfaces::sphere(1.f, 16));
    oxRenderMesh far = oxSampleSurfaces::sphere(1.f, 16);
    far.transform(turnAndShift(0, osg::Vec3f(1e5f, 0.f, 0.f)));
    setMesh(model, far);
    const auto field = oxDeviation::compute(model, reference);
    QVERIFY(field);
    for (float d : field->distance[0])
        QVERIFY2(d > 1e5f - 3 && d < 1e5f + 1, qPrintable(QString::number(d)));
}

// The teapot turned and shifted comes back onto itself: whole, and as a partial scan (half of it,
// with stray points thrown far away).
void tst_deviation::bestFit_data()
{
    QTest::addColumn<bool>("partial");
    QTest::addColumn<double>("accuracy");
    QTest::newRow("whole") << false << 1e-4;
    QTest::newRow("partial scan") << true << 1e-3;
}

void tst_deviation::bestFit()
{
    QFETCH(bool, partial);
    QFETCH(double, accuracy);
    const oxRenderMesh teapot = oxSampleSurfaces::teapot(1.f, 12);
    oxRenderScene reference;
    setMesh(reference, teapot);
    const double extent = size(teapot);
    osg::Pnt3f min, max;
    teapot.bounds(min, max);
    const float middle = 0.5f * (min[0] + max[0]);
    const osg::Matrix move = turnAndShift(5, osg::Vec3f(0.06f, -0.05f, 0.05f) * float(extent));
    std::vector<osg::Pnt3f> original, points;
    std::vector<bool> stray;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spread(-1.f, 1.f);
    for (size_t i = 0; i < teapot.positions.size(); ++i)
    {
        const osg::Pnt3f& p = teapot.positions[i];
        if (partial && p[0] < middle)
            continue;
        osg::Pnt3f q = p;
        if (partial && i % 100 == 0)
            for (int k = 0; k < 3; ++k)
                q[k] += spread(random) * float(3 * extent);
        osg::Pnt3f m;
        move.multMatrixPnt(q, m);
        original.push_back(p);
        points.push_back(m);
        stray.push_back(partial && i % 100 == 0);
    }
    oxAlignment::Result fit;
    std::string error;
    QVERIFY2(oxAlignment::align(points, reference, 50, fit, error), error.c_str());
    QVERIFY(fit.rmsAfter < fit.rmsBefore);
    double worst = 0;
    for (size_t i = 0; i < points.size(); ++i)
        if (!stray[i])
        {
            osg::Pnt3f back;
            fit.matrix.multMatrixPnt(points[i], back);
            worst = std::max(worst, double((back - original[i]).length()));
        }
    QVERIFY2(worst <= accuracy * extent, qPrintable(QString::number(worst / extent)));

    QVERIFY(!oxAlignment::align({}, reference, 50, fit, error));
    QVERIFY(!oxAlignment::align(points, oxRenderScene(), 50, fit, error));
}

// Shapes that fix only some of the motions: the fit corrects those, leaves the rest as they were
// and says which ones it could not fix. The references have exact normals (a flat mesh, CAD
// surfaces), so the free motions are free to rounding.
void tst_deviation::partlyDeterminedFit_data()
{
    QTest::addColumn<QString>("reference"); // a CAD sample, or "plane"
    QTest::addColumn<QString>("model");
    QTest::addColumn<osg::Matrix>("move");       // puts the model off the reference
    QTest::addColumn<osg::Matrix>("correction"); // what the fit must do to it
    QTest::addColumn<bool>("moved");
    QTest::addColumn<QString>("freeTranslations"); // the span of the free translations
    QTest::addColumn<QString>("freeRotations");    // the span of the free rotations' axes
    QTest::addColumn<bool>("throughOrigin");       // every free rotation's axis passes through the origin
    const osg::Vec3f z(0.f, 0.f, 1.f);
    QTest::newRow("plane offset along its normal, slid and turned in it")
        << "plane"
        << "plane" << turnAndShift(10, osg::Vec3f(3.f, -2.f, 0.4f), z) << turnAndShift(0, osg::Vec3f(0.f, 0.f, -0.4f))
        << true << "xy"
        << "z" << false;
    // The tube about y, stood up on the CAD cylinder's axis (z from 0 to 20), then moved.
    const osg::Matrix upright = turnAndShift(90, osg::Vec3f(0.f, 0.f, 10.f), osg::Vec3f(1.f, 0.f, 0.f));
    QTest::newRow("cylinder moved along and around its axis and off it")
        << "cylinder"
        << "tube" << then(upright, turnAndShift(20, osg::Vec3f(0.3f, -0.2f, 1.5f), z))
        << turnAndShift(0, osg::Vec3f(-0.3f, 0.2f, 0.f)) << true << "z"
        << "z" << true;
    QTest::newRow("sphere rotated") << "sphere"
                                    << "sphere" << turnAndShift(30, osg::Vec3f(0.f, 0.f, 0.f)) << osg::Matrix() << false
                                    << ""
                                    << "xyz" << true;
    QTest::newRow("sphere rotated and shifted") << "sphere"
                                                << "sphere" << turnAndShift(30, osg::Vec3f(1.f, 2.f, -1.f))
                                                << turnAndShift(0, osg::Vec3f(-1.f, -2.f, 1.f)) << true << ""
                                                << "xyz" << true;
}

void tst_deviation::partlyDeterminedFit()
{
    QFETCH(QString, reference);
    QFETCH(QString, model);
    QFETCH(osg::Matrix, move);
    QFETCH(osg::Matrix, correction);
    QFETCH(bool, moved);
    QFETCH(QString, freeTranslations);
    QFETCH(QString, freeRotations);
    QFETCH(bool, throughOrigin);
    oxRenderScene target;
    std::string error;
    if (reference == "plane")
        setMesh(target, oxSampleSurfaces::plane(50.f, 4));
    else
        QVERIFY2(loadCadSample(target, reference.toStdString(), error), error.c_str());
    const oxRenderMesh shape = model == "plane"  ? oxSampleSurfaces::plane(20.f, 20)
                               : model == "tube" ? oxSampleSurfaces::cylinder(5.f, 12.f, 64)
                                                 : oxSampleSurfaces::sphere(10.f, 48);
    std::vector<osg::Pnt3f> points(shape.positions.size());
    for (size_t i = 0; i < points.size(); ++i)
        move.multMatrixPnt(shape.positions[i], points[i]);

    oxAlignment::Result fit;
    QVERIFY2(oxAlignment::align(points, target, 50, fit, error), error.c_str());
    QCOMPARE(fit.moved, moved);
    double worst = 0;
    for (const osg::Pnt3f& p : points)
    {
        osg::Pnt3f got, expected;
        fit.matrix.multMatrixPnt(p, got);
        correction.multMatrixPnt(p, expected);
        worst = std::max(worst, double((got - expected).length()));
    }
    QVERIFY2(worst < 1e-4, qPrintable(QString("off the expected correction by %1").arg(worst)));

    const QList<QVector3D> translationSpan = axes(freeTranslations), rotationSpan = axes(freeRotations);
    int translations = 0, rotations = 0;
    for (const oxAlignment::FreeMotion& m : fit.free)
    {
        const QString what = QString("%1 (%2, %3, %4)")
                                 .arg(m.rotation ? "rotation" : "translation")
                                 .arg(m.axis[0])
                                 .arg(m.axis[1])
                                 .arg(m.axis[2]);
        QVERIFY2(inSpan(m.axis, m.rotation ? rotationSpan : translationSpan) > 1 - 1e-4, qPrintable(what));
        (m.rotation ? rotations : translations)++;
        if (m.rotation && throughOrigin)
        {
            // The distance of the origin from the axis.
            const osg::Vec3f p = m.point.subZero();
            QVERIFY2((p - m.axis * p.dot(m.axis)).length() < 1e-3f, qPrintable(what));
        }
        if (m.rotation)
            QVERIFY2(std::fabs(m.pitch) < 1e-3f, qPrintable(what));
    }
    QCOMPARE(translations, translationSpan.size());
    QCOMPARE(rotations, rotationSpan.size());
}

void tst_deviation::exportRoundTrip_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("csv") << "csv";
    QTest::newRow("ply") << "ply";
}

// What the file says is what the field holds, vertex by vertex.
void tst_deviation::exportRoundTrip()
{
    QFETCH(QString, suffix);
    oxRenderScene reference, model;
    setMesh(reference, oxSampleSurfaces::sphere(10.f, 32));
    setMesh(model, oxSampleSurfaces::sphere(11.f, 12));
    const auto field = oxDeviation::compute(model, reference);
    QVERIFY(field);
    QTemporaryDir dir;
    const std::string path = dir.filePath("d." + suffix).toStdString();
    std::string error;
    QVERIFY2(oxDeviationExport::write(model, *field, path, error), error.c_str());
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    const oxRenderMesh& mesh = model.mesh(0);
    std::vector<float> values; // x y z d rx ry rz per vertex
    if (suffix == "csv")
    {
        const QList<QByteArray> lines = data.trimmed().split('\n');
        QCOMPARE(lines.front(), QByteArray("x,y,z,d,rx,ry,rz"));
        for (int i = 1; i < lines.size(); ++i)
            for (const QByteArray& cell : lines[i].split(','))
                values.push_back(cell.toFloat());
    }
    else
    {
        const int end = data.indexOf("end_header\n") + 11;
        QVERIFY(data.left(end).contains("element vertex " + QByteArray::number(int(mesh.vertexCount()))));
        QVERIFY(data.left(end).contains("property float d\n"));
        const char* p = data.constData() + end;
        for (size_t i = 0; i < 7 * mesh.vertexCount(); ++i, p += 4)
            values.push_back(qFromLittleEndian<float>(p));
    }
    QCOMPARE(values.size(), 7 * mesh.vertexCount());
    for (size_t v = 0; v < mesh.vertexCount(); ++v)
    {
        QCOMPARE(values[7 * v + 0], mesh.positions[v][0]);
        QCOMPARE(values[7 * v + 3], field->distance[0][v]);
        QCOMPARE(values[7 * v + 6], field->closest[0][v][2]);
    }
    QVERIFY(!oxDeviationExport::write(model, *field, dir.filePath("d.txt").toStdString(), error));
    QVERIFY(error.find("d.txt") != std::string::npos);
}

QTEST_GUILESS_MAIN(tst_deviation)
#include "tst_deviation.moc"
