// Two releases of a part built with Open CASCADE, written out and read through the CAD import.
#include "oxCadImporter.h"
#include "oxColouringInput.h"
#include "oxCompare.h"
#include "oxCompareColouring.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxRenderTestSupport.h"
#include "oxRenderScene.h"

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <IGESControl_Controller.hxx>
#include <IGESControl_Writer.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
// A 40 x 30 x 20 box with its z edge at (40, 30) filleted, perhaps with a 10 x 10 x 5 pocket or a
// blind hole of radius 3 and depth 8 in its top, perhaps moved.
struct Release
{
    double fillet = 4;
    bool pocket = false;
    bool hole = false;
    gp_Vec moved;
    const char* suffix = ".brep";
};

TopoDS_Shape build(const Release& r)
{
    TopoDS_Shape shape = BRepPrimAPI_MakeBox(40, 30, 20).Shape();
    BRepFilletAPI_MakeFillet fillet(shape);
    for (TopExp_Explorer e(shape, TopAbs_EDGE); e.More(); e.Next())
    {
        const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
        const gp_Pnt a = BRep_Tool::Pnt(TopExp::FirstVertex(edge)), b = BRep_Tool::Pnt(TopExp::LastVertex(edge));
        if (a.X() > 39 && b.X() > 39 && a.Y() > 29 && b.Y() > 29)
            fillet.Add(r.fillet, edge);
    }
    shape = fillet.Shape();
    if (r.pocket)
        shape = BRepAlgoAPI_Cut(shape, BRepPrimAPI_MakeBox(gp_Pnt(7, 10, 15), 10, 10, 10).Shape()).Shape();
    if (r.hole)
        shape = BRepAlgoAPI_Cut(shape, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(12, 15, 12), gp::DZ()), 3, 10).Shape())
                    .Shape();
    gp_Trsf move;
    move.SetTranslation(r.moved);
    return BRepBuilderAPI_Transform(shape, move, true).Shape();
}

bool write(const TopoDS_Shape& shape, const std::string& path)
{
    if (QString::fromStdString(path).endsWith(".brep"))
        return BRepTools::Write(shape, path.c_str());
    if (QString::fromStdString(path).endsWith(".step"))
    {
        STEPControl_Writer writer;
        return writer.Transfer(shape, STEPControl_AsIs) == IFSelect_RetDone &&
               writer.Write(path.c_str()) == IFSelect_RetDone;
    }
    IGESControl_Controller::Init();
    IGESControl_Writer writer("MM", 1);
    if (!writer.AddShape(shape))
        return false;
    writer.ComputeModel();
    return writer.Write(path.c_str());
}

void load(const Release& r, const QString& path, oxRenderScene& scene)
{
    QVERIFY(write(build(r), path.toStdString()));
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    QVERIFY2(oxCadImporter::load(path.toStdString(), oxCadOptions(), *mesh, cad, error), error.c_str());
    scene.setMeshes({mesh}, {cad});
}
} // namespace

Q_DECLARE_METATYPE(Release)

class tst_Compare : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void classesFaces_data();
    void classesFaces();
    void coloursFacesByClass_data();
    void coloursFacesByClass();
};

void tst_Compare::classesFaces_data()
{
    QTest::addColumn<Release>("oldRelease");
    QTest::addColumn<Release>("newRelease");
    QTest::addColumn<bool>("align");
    // New faces unchanged, modified, added; old faces removed.
    QTest::addColumn<QVector<int>>("counts");
    // Where not 0, the bound of the Hausdorff distance as a share of the tolerance: the samples lie
    // on the exact faces, so that a part lies within a hair of itself.
    QTest::addColumn<double>("hausdorffShare");
    Release base, step, iges, fillet, pocket, hole, moved;
    step.suffix = ".step";
    iges.suffix = ".igs";
    fillet.fillet = 6;
    pocket.pocket = true;
    hole.hole = true;
    moved.moved = gp_Vec(0.3, -0.2, 0.25);
    QTest::newRow("same part") << base << base << false << QVector<int>{7, 0, 0, 0} << 1e-3;
    // The top's triangles along the hole's rim reach into the hole, past the trim, by a chord's sag.
    QTest::newRow("same part with a hole") << hole << hole << false << QVector<int>{9, 0, 0, 0} << 1e-3;
    // The fillet and the four faces it trims.
    QTest::newRow("fillet radius") << base << fillet << false << QVector<int>{2, 5, 0, 0} << 0.0;
    // The pocket's walls and floor are gone, the top is whole again.
    QTest::newRow("pocket filled") << pocket << base << false << QVector<int>{6, 1, 0, 5} << 0.0;
    // The hole's wall and floor are new, the top has a hole.
    QTest::newRow("hole added") << base << hole << false << QVector<int>{6, 1, 2, 0} << 0.0;
    QTest::newRow("moved") << base << moved << false << QVector<int>{0, 7, 0, 0} << 0.0;
    QTest::newRow("moved, aligned") << base << moved << true << QVector<int>{7, 0, 0, 0} << 0.0;
    QTest::newRow("STEP and its IGES") << step << iges << false << QVector<int>{7, 0, 0, 0} << 0.0;
}

void tst_Compare::classesFaces()
{
    QFETCH(Release, oldRelease);
    QFETCH(Release, newRelease);
    QFETCH(bool, align);
    QFETCH(QVector<int>, counts);
    QFETCH(double, hausdorffShare);
    QTemporaryDir dir;
    oxRenderScene oldScene, newScene;
    load(oldRelease, dir.filePath(QString("old") + oldRelease.suffix), oldScene);
    load(newRelease, dir.filePath(QString("new") + newRelease.suffix), newScene);
    if (QTest::currentTestFailed())
        return;
    oxCompareOptions options;
    options.align = align;
    oxCompareResult r;
    std::string error;
    QVERIFY2(oxCompare::run(oldScene, newScene, options, r, error), error.c_str());
    const QVector<int> found{
        int(r.count(r.newFaces, oxFaceChange::Unchanged)), int(r.count(r.newFaces, oxFaceChange::Modified)),
        int(r.count(r.newFaces, oxFaceChange::Added)), int(r.count(r.oldFaces, oxFaceChange::Removed))};
    QCOMPARE(found, counts);
    const bool same = counts[0] == int(r.newFaces.size()) && counts[3] == 0;
    QCOMPARE(r.unchanged(), same);
    QCOMPARE(r.hausdorff() <= r.tolerance, same);
    if (hausdorffShare > 0)
        QVERIFY2(r.hausdorff() <= hausdorffShare * r.tolerance, qPrintable(QString::number(r.hausdorff())));
}

void tst_Compare::coloursFacesByClass_data()
{
    QTest::addColumn<Release>("oldRelease");
    QTest::addColumn<Release>("newRelease");
    QTest::addColumn<QPointF>("at"); // on the part's top, seen from above
    QTest::addColumn<QString>("expected");
    Release base, pocket, hole;
    pocket.pocket = true;
    hole.hole = true;
    QTest::newRow("unchanged top") << base << base << QPointF(30, 8) << "unchanged";
    QTest::newRow("top around a new hole") << base << hole << QPointF(30, 8) << "modified";
    QTest::newRow("new hole's floor") << base << hole << QPointF(12, 15) << "added";
    // The pocket's floor and walls lie under the top, which is whole again.
    QTest::newRow("filled pocket") << pocket << base << QPointF(12, 15) << "ghost";
}

// Flat colours, from above, 4 pixels a unit: the box [0, 40] x [0, 30] fills the middle.
void tst_Compare::coloursFacesByClass()
{
    QFETCH(Release, oldRelease);
    QFETCH(Release, newRelease);
    QFETCH(QPointF, at);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    oxRenderScene oldScene, newScene;
    load(oldRelease, dir.filePath("old.brep"), oldScene);
    load(newRelease, dir.filePath("new.brep"), newScene);
    if (QTest::currentTestFailed())
        return;
    oxCompareResult r;
    std::string error;
    QVERIFY2(oxCompare::run(oldScene, newScene, oxCompareOptions(), r, error), error.c_str());

    oxFrame::Request request;
    request.camera.from = osg::Pnt3f(20.f, 15.f, 100.f);
    request.camera.at = osg::Pnt3f(20.f, 15.f, 0.f);
    request.camera.orthographic = true;
    request.camera.orthographicHeight = 50.f;
    request.width = request.height = 200;
    request.settings.ShadingMode = 0;
    request.hostAnalyses.CompareActive = true;
    request.comparison = oxCompareView::make(r, oldScene, newScene);
    std::vector<float> depth;
    const QImage image = oxFrame::compose(request, newScene, oxRaytracer(), depth);
    const int px = int(100 + (at.x() - 20) * 4), py = int(100 - (at.y() - 15) * 4);

    oxColouringInput input;
    input.host = request.hostAnalyses;
    input.comparison = request.comparison;
    const oxCompareColouring colouring(input);
    typedef oxCompareColouring C;
    const QRgb modified = rgb(colouring.colour(request.comparison->largest()));
    const QRgb colours[] = {rgb(osg::Color3f(C::Unchanged[0], C::Unchanged[1], C::Unchanged[2])), modified,
                            rgb(osg::Color3f(C::Added[0], C::Added[1], C::Added[2]))};
    const QStringList classes{"unchanged", "modified", "added"};
    if (expected != "ghost")
    {
        QVERIFY2(near(image.pixel(px, py), colours[classes.indexOf(expected)], 3),
                 qPrintable(QColor(image.pixel(px, py)).name()));
        return;
    }
    // Hatched: bands of the modified top with the removed colour over it, and bands of the top alone.
    const QColor over = QColor(modified), ghost = QColor(C::Removed);
    const float a = oxFrame::ComparisonGhostHatch;
    auto mix = [a](int u, int v) { return int(float(u) + (float(v) - float(u)) * a + 0.5f); };
    const QRgb hatched =
        qRgb(mix(over.red(), ghost.red()), mix(over.green(), ghost.green()), mix(over.blue(), ghost.blue()));
    bool sawHatch = false, sawTop = false;
    for (int y = py - 4; y <= py + 4; ++y)
        for (int x = px - 4; x <= px + 4; ++x)
        {
            sawHatch = sawHatch || near(image.pixel(x, y), hatched, 4);
            sawTop = sawTop || near(image.pixel(x, y), modified, 3);
        }
    QVERIFY(sawHatch);
    QVERIFY(sawTop);
}

QTEST_GUILESS_MAIN(tst_Compare)
#include "tst_compare.moc"
