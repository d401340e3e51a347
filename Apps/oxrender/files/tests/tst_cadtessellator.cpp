// CAD faces triangulated by refinement on their exact surfaces: every triangle stays within the
// linear and angular deflections of its surface and turned as the surface, and faces meet without
// cracks, on the CAD samples and on a dense B-spline face with a hole.
#include "oxCadImporter.h"
#include "oxCadShape.h"

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepTools.hxx>
#include <GeomAPI_PointsToBSplineSurface.hxx>
#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <Geom_BSplineSurface.hxx>
#include <TColgp_Array2OfPnt.hxx>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace
{
// A wavy B-spline sheet of about spans x spans bicubic spans, 100 x 100, with a round hole.
bool writeDenseFace(const std::string& path, int spans)
{
    TColgp_Array2OfPnt points(1, spans + 3, 1, spans + 3);
    for (int i = 1; i <= spans + 3; ++i)
        for (int j = 1; j <= spans + 3; ++j)
        {
            const double x = 100.0 * (i - 1) / (spans + 2), y = 100.0 * (j - 1) / (spans + 2);
            points(i, j) = gp_Pnt(x, y, 3 * std::sin(x / 7) * std::cos(y / 5) + 0.02 * x * y / 10);
        }
    const Handle(Geom_BSplineSurface) surface = GeomAPI_PointsToBSplineSurface(points, 3, 3, GeomAbs_C2, 1e-3);
    const TopoDS_Shape sheet = BRepBuilderAPI_MakeFace(surface, 1e-6);
    const TopoDS_Shape drill = BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(40, 55, -20), gp::DZ()), 15, 40);
    BRepAlgoAPI_Cut cut(sheet, drill);
    return cut.IsDone() && BRepTools::Write(cut.Shape(), path.c_str());
}

using Position = std::tuple<float, float, float>;
using Side = std::pair<Position, Position>;

Position position(const oxRenderMesh& mesh, osg::UInt32 i)
{
    const osg::Pnt3f& p = mesh.positions[i];
    return Position(p[0], p[1], p[2]);
}

Side side(const oxRenderMesh& mesh, osg::UInt32 a, osg::UInt32 b)
{
    const Position pa = position(mesh, a), pb = position(mesh, b);
    return pa < pb ? Side(pa, pb) : Side(pb, pa);
}

double distanceToSegment(const osg::Pnt3f& p, const osg::Pnt3f& a, const osg::Pnt3f& b)
{
    const osg::Vec3f ab = b - a;
    const float t = ab.squareLength() > 0 ? std::clamp((p - a).dot(ab) / ab.squareLength(), 0.f, 1.f) : 0.f;
    return double((p - (a + ab * t)).length());
}

// The sides where two faces meet but their triangles do not: by its end points' positions, each
// side is counted over all faces; where two faces meet, the side of one is the side of the other,
// so every side is used twice. Open models have sides used once along their free edges, never
// along an edge two faces share.
int cracks(const oxRenderMesh& mesh, const oxCadMesh& cad, double deflection, bool closed)
{
    std::map<Side, int> uses;
    for (size_t t = 0; t < mesh.indices.size(); t += 3)
        for (size_t k = 0; k < 3; ++k)
            ++uses[side(mesh, mesh.indices[t + k], mesh.indices[t + (k + 1) % 3])];
    std::vector<oxEdgeContinuity> shared = cad.model->continuity(oxContinuityTolerances(), 64);
    int cracks = 0;
    for (const auto& use : uses)
    {
        if (use.second == 2)
            continue;
        if (closed || use.second > 2)
        {
            ++cracks;
            continue;
        }
        const osg::Pnt3f a(std::get<0>(use.first.first), std::get<1>(use.first.first), std::get<2>(use.first.first)),
            b(std::get<0>(use.first.second), std::get<1>(use.first.second), std::get<2>(use.first.second));
        // On a shared edge when both ends and the middle are (the edge is drawn as a fine polyline).
        const osg::Pnt3f middle = a + (b - a) * 0.5f;
        auto onEdge = [&](const oxEdgeContinuity& edge, const osg::Pnt3f& p)
        {
            for (size_t i = 1; i < edge.polyline.size(); ++i)
                if (distanceToSegment(p, edge.polyline[i - 1], edge.polyline[i]) < 2 * deflection)
                    return true;
            return false;
        };
        for (const oxEdgeContinuity& edge : shared)
            if (onEdge(edge, a) && onEdge(edge, b) && onEdge(edge, middle))
            {
                ++cracks;
                break;
            }
    }
    return cracks;
}
} // namespace

class tst_CadTessellator : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    // Loads the row's model; absolute: its deflection in model units.
    bool load(oxRenderMesh& mesh, std::shared_ptr<oxCadMesh>& cad, double& absolute);

private Q_SLOTS:
    void trianglesStayWithinTheDeflectionAndMeet_data();
    void trianglesStayWithinTheDeflectionAndMeet();
    void realPartsStayLean_data();
    void realPartsStayLean();
};

namespace
{
void columns()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<double>("deflection");
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("closed");
}
} // namespace

bool tst_CadTessellator::load(oxRenderMesh& mesh, std::shared_ptr<oxCadMesh>& cad, double& absolute)
{
    QFETCH(QString, model);
    QFETCH(double, deflection);
    std::string error;
    bool written;
    std::string path;
    if (model.startsWith('/'))
    {
        path = model.toStdString();
        written = true;
    }
    else if (model == "dense")
    {
        path = dir.filePath("dense.brep").toStdString();
        written = writeDenseFace(path, 60);
    }
    else
    {
        path = dir.filePath(model + ".step").toStdString();
        written = oxCadImporter::writeSample(model.toStdString(), path, error);
    }
    QFETCH(double, angle);
    oxCadOptions options;
    options.deflection = deflection;
    options.angleDegrees = angle;
    if (!written || !oxCadImporter::load(path, options, mesh, cad, error))
    {
        qWarning("%s: %s", qPrintable(model), error.c_str());
        return false;
    }
    absolute = deflection * cad->model->size();
    return true;
}

void tst_CadTessellator::trianglesStayWithinTheDeflectionAndMeet_data()
{
    columns();
    const double d = oxCadOptions::DefaultDeflection, a = oxCadOptions::DefaultAngle;
    for (const char* solid : {"sphere", "cylinder", "torus", "filletedbox", "draftbox"})
        QTest::newRow(solid) << solid << d << a << true;
    QTest::newRow("joins") << "joins" << d << a << false;
    QTest::newRow("panel") << "panel" << d << a << false;
    QTest::newRow("sphere, fine") << "sphere" << 0.0001 << a << true;
    QTest::newRow("torus, coarse") << "torus" << 0.01 << 30.0 << true;
    QTest::newRow("dense face with a hole") << "dense" << d << a << false;
    QTest::newRow("dense face, coarse") << "dense" << 0.004 << a << false;
}

void tst_CadTessellator::trianglesStayWithinTheDeflectionAndMeet()
{
    QFETCH(double, angle);
    QFETCH(bool, closed);
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    double deflection = 0;
    QVERIFY(load(mesh, cad, deflection));
    QVERIFY(closed || cad->model->faceCount() == 1 || !cad->model->continuity(oxContinuityTolerances()).empty());
    QCOMPARE(cracks(mesh, *cad, deflection, closed), 0);
    const oxCadModel::Impl& model = cad->model->impl();
    // Float positions: a little over the deflection is rounding.
    const double allowed = deflection * 1.001 + 1e-6 * cad->model->size();
    const int n = 6; // samples per side of each triangle's barycentric grid
    double worst = 0;
    for (size_t t = 0; t < mesh.triangleCount(); ++t)
    {
        const osg::UInt32 c[3] = {mesh.indices[3 * t], mesh.indices[3 * t + 1], mesh.indices[3 * t + 2]};
        const size_t face = cad->vertexFace[c[0]];
        QVERIFY(cad->vertexFace[c[1]] == face && cad->vertexFace[c[2]] == face);
        // Turned as the surface: the facet's normal does not point against the vertex normals.
        const osg::Vec3f facet =
            (mesh.positions[c[1]] - mesh.positions[c[0]]).cross(mesh.positions[c[2]] - mesh.positions[c[0]]);
        QVERIFY2(facet.dot(mesh.normals[c[0]] + mesh.normals[c[1]] + mesh.normals[c[2]]) >= 0,
                 qPrintable(QString("triangle %1 is turned over").arg(t)));
        // The angular deflection: the facet leans from the surface normal at each corner by no more.
        for (osg::UInt32 corner : c)
        {
            const double lean =
                std::acos(std::clamp(double(facet.dot(mesh.normals[corner]) / facet.length()), -1.0, 1.0)) * 180 / M_PI;
            QVERIFY2(lean <= angle * 1.001,
                     qPrintable(QString("triangle %1 leans %2 degrees from the surface").arg(t).arg(lean)));
        }
        for (int i = 0; i <= n; ++i)
            for (int j = 0; i + j <= n; ++j)
            {
                const double w[3] = {double(i) / n, double(j) / n, double(n - i - j) / n};
                double u = 0, v = 0;
                osg::Vec3f p(0, 0, 0);
                for (int k = 0; k < 3; ++k)
                {
                    u += w[k] * cad->uv[2 * c[k]];
                    v += w[k] * cad->uv[2 * c[k] + 1];
                    p += mesh.positions[c[k]].subZero() * float(w[k]);
                }
                gp_Pnt on;
                gp_Vec normal;
                const gp_Pnt at(p[0], p[1], p[2]);
                double distance = model.evaluate(face, u, v, on, normal, nullptr, nullptr) ? at.Distance(on) : INFINITY;
                // The surface at the interpolated (u, v) is one of its points; the nearest may be closer.
                if (distance > allowed)
                {
                    GeomAPI_ProjectPointOnSurf nearest(at, model.surfaces[face]);
                    if (nearest.NbPoints() > 0)
                        distance = nearest.LowerDistance();
                }
                worst = std::max(worst, distance);
                QVERIFY2(distance <= allowed, qPrintable(QString("triangle %1 of face %2: %3 from the surface, more "
                                                                 "than the deflection %4")
                                                             .arg(t)
                                                             .arg(face)
                                                             .arg(distance)
                                                             .arg(deflection)));
            }
    }
    qDebug("%zu triangles, worst distance %.3g of the deflection", mesh.triangleCount(), worst / deflection);
}

// Parts from Open CASCADE's sample data (Debian's occt-misc), where the refinement once split a
// few faces into millions of triangles or crashed: edge curves bent past their chords, slivers
// along edges, unevenly parametrised and creased B-splines.
void tst_CadTessellator::realPartsStayLean_data()
{
    columns();
    for (const char* part : {"bottle", "Bottom", "Top", "Pump_Nut", "Motor-c"})
    {
        const QString path = QString("/usr/share/opencascade/data/occ/%1.brep").arg(part);
        if (QFileInfo::exists(path))
            QTest::newRow(part) << path << oxCadOptions::DefaultDeflection << oxCadOptions::DefaultAngle << false;
        else
            qWarning("%s is not installed (Debian's occt-misc): its row is left out", qPrintable(path));
    }
}

// Each of these parts needs under 100 000 triangles at the default deflection; a face split on and
// on (a few millions) or a crash shows here.
void tst_CadTessellator::realPartsStayLean()
{
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    double deflection = 0;
    QVERIFY(load(mesh, cad, deflection));
    QVERIFY2(mesh.triangleCount() < 250000, qPrintable(QString::number(mesh.triangleCount())));
}

QTEST_GUILESS_MAIN(tst_CadTessellator)
#include "tst_cadtessellator.moc"
