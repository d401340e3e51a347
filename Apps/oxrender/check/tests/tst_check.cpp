// The check's criteria on parts made to show each defect beside a twin without it, its profiles,
// and the STEP file's validation properties read with the file, through the reader program and
// the CAD cache, and compared with the geometry read, on the right solid.
#include "testsupport.h"
#include "oxCadImporter.h"
#include "oxCheckModel.h"

#include <BinTools.hxx>
#include <BRepAdaptor_Curve.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepExtrema_DistShapeShape.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Geom_BezierCurve.hxx>
#include <Geom_BSplineSurface.hxx>
#include <GProp_GProps.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <STEPConstruct_ValidationProps.hxx>
#include <STEPControl_Writer.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Shell.hxx>
#include <TopoDS_Solid.hxx>
#include <TopoDS_Vertex.hxx>
#include <gp_Ax2.hxx>
#include <gp_Cylinder.hxx>
#include <gp_Pln.hxx>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>
#include <sstream>

namespace
{
typedef oxCheckCriterion C;
typedef std::vector<std::vector<gp_Pnt>> Polygons;

std::shared_ptr<oxCadModel> modelOf(const TopoDS_Shape& shape)
{
    std::ostringstream out;
    BinTools::Write(shape, out);
    std::string error;
    std::shared_ptr<oxCadModel> model = oxCadModel::fromBrep(out.str(), error);
    if (!model)
        qFatal("%s", error.c_str());
    return model;
}

// Planar faces from polygons, one shell; corners at the same point share a vertex, and two
// corners joined by more than one polygon share an edge.
TopoDS_Shape sheet(const Polygons& polygons)
{
    std::map<std::tuple<double, double, double>, TopoDS_Vertex> vertices;
    std::map<std::pair<const void*, const void*>, TopoDS_Edge> edges;
    auto vertex = [&](const gp_Pnt& p) -> TopoDS_Vertex&
    {
        TopoDS_Vertex& v = vertices[{p.X(), p.Y(), p.Z()}];
        if (v.IsNull())
            v = BRepBuilderAPI_MakeVertex(p);
        return v;
    };
    BRep_Builder builder;
    TopoDS_Shell shell;
    builder.MakeShell(shell);
    for (const std::vector<gp_Pnt>& polygon : polygons)
    {
        BRepBuilderAPI_MakeWire wire;
        for (size_t i = 0; i < polygon.size(); ++i)
        {
            const TopoDS_Vertex& a = vertex(polygon[i]);
            const TopoDS_Vertex& b = vertex(polygon[(i + 1) % polygon.size()]);
            const void* ka = a.TShape().get();
            const void* kb = b.TShape().get();
            TopoDS_Edge& e = edges[{std::min(ka, kb), std::max(ka, kb)}];
            if (e.IsNull())
                e = BRepBuilderAPI_MakeEdge(a, b);
            wire.Add(e);
        }
        builder.Add(shell, BRepBuilderAPI_MakeFace(wire.Wire(), true).Face());
    }
    return shell;
}

std::vector<gp_Pnt> square(double size = 10)
{
    return {{0, 0, 0}, {size, 0, 0}, {size, size, 0}, {0, size, 0}};
}

TopoDS_Shape tinyEdge(bool defect)
{
    if (!defect)
        return sheet({square()});
    return sheet({{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0.01, 10, 0}, {0, 9.99, 0}}});
}

TopoDS_Shape sliver(bool defect)
{
    const double h = defect ? 0.01 : 5;
    return sheet({{{0, 0, 0}, {10, 0, 0}, {10.5, h, 0}, {0.5, h, 0}}});
}

// The edge along y = 0 has its 3D curve lifted off the face by 0.1.
TopoDS_Shape gap(bool defect)
{
    const TopoDS_Shape shape = sheet({square()});
    for (TopExp_Explorer e(shape, TopAbs_EDGE); defect && e.More(); e.Next())
    {
        const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
        const BRepAdaptor_Curve curve(edge);
        const gp_Pnt m = curve.Value(0.5 * (curve.FirstParameter() + curve.LastParameter()));
        if (std::abs(m.Y()) > 1e-9)
            continue;
        TopLoc_Location location;
        double first, last;
        const Handle(Geom_Curve) c = BRep_Tool::Curve(edge, location, first, last);
        const Handle(Geom_Curve) lifted = Handle(Geom_Curve)::DownCast(c->Translated(gp_Vec(0, 0, 0.1)));
        BRep_Builder().UpdateEdge(edge, lifted, location, BRep_Tool::Tolerance(edge));
    }
    return shape;
}

// A box solid; the defect leaves its top face out, so the top's four edges bound one face each.
TopoDS_Shape openSolid(bool defect)
{
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(10, 10, 10).Shape();
    if (!defect)
        return box;
    BRep_Builder builder;
    TopoDS_Shell shell;
    builder.MakeShell(shell);
    for (TopExp_Explorer f(box, TopAbs_FACE); f.More(); f.Next())
    {
        const TopoDS_Face& face = TopoDS::Face(f.Current());
        BRepAdaptor_Curve any(TopoDS::Edge(TopExp_Explorer(face, TopAbs_EDGE).Current()));
        bool top = true;
        for (TopExp_Explorer v(face, TopAbs_VERTEX); v.More(); v.Next())
            top = top && BRep_Tool::Pnt(TopoDS::Vertex(v.Current())).Z() > 9.99;
        if (!top)
            builder.Add(shell, face);
    }
    TopoDS_Solid solid;
    builder.MakeSolid(solid);
    builder.Add(solid, shell);
    return solid;
}

TopoDS_Shape overusedEdge(bool defect)
{
    Polygons faces = {{{0, 0, 0}, {10, 0, 0}, {10, -5, 0}, {0, -5, 0}}, {{0, 0, 0}, {10, 0, 0}, {10, 0, 5}, {0, 0, 5}}};
    if (defect)
        faces.push_back({{0, 0, 0}, {10, 0, 0}, {10, 3, -4}, {0, 3, -4}});
    return sheet(faces);
}

// Two faces along x = 0, the second tilted by 0.5 degrees about the edge.
TopoDS_Shape kink(bool defect)
{
    const double h = defect ? 10 * std::tan(0.5 * M_PI / 180) : 0;
    return sheet(
        {{{-10, 0, 0}, {0, 0, 0}, {0, 10, 0}, {-10, 10, 0}}, {{0, 0, 0}, {10, 0, h}, {10, 10, h}, {0, 10, 0}}});
}

// A box whose edge at x = y = 10 is filleted, with 0.3 or a sound 2.
TopoDS_Shape fillet(bool defect)
{
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(10, 10, 10).Shape();
    BRepFilletAPI_MakeFillet make(box);
    for (TopExp_Explorer e(box, TopAbs_EDGE); e.More(); e.Next())
    {
        const BRepAdaptor_Curve curve(TopoDS::Edge(e.Current()));
        if (curve.Value(0.5 * (curve.FirstParameter() + curve.LastParameter())).Distance(gp_Pnt(10, 10, 5)) < 1e-6)
            make.Add(defect ? 0.3 : 2, TopoDS::Edge(e.Current()));
    }
    return make.Shape();
}

// A flat 10 x 10 B-spline face whose parameters are its x and y: poles at the Greville abscissae.
TopoDS_Shape bspline(const std::vector<double>& uKnots, int uDegree)
{
    TColStd_Array1OfReal uk(1, int(uKnots.size())), vk(1, 2);
    TColStd_Array1OfInteger um(1, int(uKnots.size())), vm(1, 2);
    std::vector<double> flat; // the knot vector with multiplicities
    for (size_t i = 0; i < uKnots.size(); ++i)
    {
        const bool end = i == 0 || i + 1 == uKnots.size();
        uk(int(i) + 1) = uKnots[i];
        um(int(i) + 1) = end ? uDegree + 1 : 1;
        for (int m = 0; m < um(int(i) + 1); ++m)
            flat.push_back(uKnots[i]);
    }
    vk(1) = 0;
    vk(2) = 10;
    vm(1) = vm(2) = 4;
    const int nu = int(flat.size()) - uDegree - 1;
    TColgp_Array2OfPnt poles(1, nu, 1, 4);
    for (int i = 0; i < nu; ++i)
    {
        double greville = 0;
        for (int k = 1; k <= uDegree; ++k)
            greville += flat[size_t(i + k)] / uDegree;
        for (int j = 0; j < 4; ++j)
            poles(i + 1, j + 1) = gp_Pnt(greville, 10.0 * j / 3, 0);
    }
    const Handle(Geom_BSplineSurface) s = new Geom_BSplineSurface(poles, uk, vk, um, vm, uDegree, 3);
    return BRepBuilderAPI_MakeFace(s, 1e-7).Face();
}

TopoDS_Shape closeKnots(bool defect)
{
    return defect ? bspline({0, 5, 5.005, 10}, 3) : bspline({0, 5, 10}, 3);
}

TopoDS_Shape highDegree(bool defect)
{
    return bspline({0, 10}, defect ? 12 : 3);
}

// A straight profile along -x joined at the origin to y = x^n / 10^(n-1), extruded along z: a
// plane and a swept face sharing a straight edge. For n = 3 the curvature 6x / 100 grows from the
// line's 0 at once (G2, not G3); for n = 4 it starts flat (G3).
TopoDS_Shape powerProfile(bool defect)
{
    const int degree = defect ? 3 : 4;
    TColgp_Array1OfPnt poles(1, degree + 1);
    for (int i = 0; i <= degree; ++i)
        poles(i + 1) = gp_Pnt(10.0 * i / degree, i == degree ? 10 : 0, 0); // x = 10t, y = 10t^n
    BRepBuilderAPI_MakeWire wire(BRepBuilderAPI_MakeEdge(gp_Pnt(-10, 0, 0), gp_Pnt(0, 0, 0)).Edge(),
                                 BRepBuilderAPI_MakeEdge(Handle(Geom_BezierCurve)(new Geom_BezierCurve(poles))).Edge());
    return BRepPrimAPI_MakePrism(wire.Wire(), gp_Vec(0, 0, 10)).Shape();
}

// A 4 x 4 square inside a 10 x 10 face at z = 0, on it (embedded) or a unit above it; the square
// comes first, so that its samples are the ones tried against the face's surface.
TopoDS_Shape embedded(bool defect)
{
    const double z = defect ? 0 : 1;
    TopoDS_Compound both;
    BRep_Builder builder;
    builder.MakeCompound(both);
    builder.Add(both, sheet({{{3, 3, z}, {7, 3, z}, {7, 7, z}, {3, 7, z}}}));
    builder.Add(both, sheet({square()}));
    return both;
}

// A 4 x 4 patch of the flat B-spline on its whole 10 x 10 face, or a unit above it: B-splines on
// both sides.
TopoDS_Shape embeddedInBSpline(bool defect)
{
    const TopoDS_Shape whole = bspline({0, 5, 10}, 3);
    gp_Trsf lift;
    lift.SetTranslation(gp_Vec(0, 0, defect ? 0 : 1));
    const TopoDS_Face patch = BRepBuilderAPI_MakeFace(BRep_Tool::Surface(TopoDS::Face(whole)), 3, 7, 3, 7, 1e-7);
    TopoDS_Compound both;
    BRep_Builder builder;
    builder.MakeCompound(both);
    builder.Add(both, patch.Moved(TopLoc_Location(lift)));
    builder.Add(both, whole);
    return both;
}

// A patch of the cylinder of radius 5 about z on a larger face of it, or on one of radius 6.
TopoDS_Shape embeddedInCylinder(bool defect)
{
    TopoDS_Compound both;
    BRep_Builder builder;
    builder.MakeCompound(both);
    builder.Add(both, BRepBuilderAPI_MakeFace(gp_Cylinder(gp::XOY(), 5), 1, 2, 3, 7).Face());
    builder.Add(both, BRepBuilderAPI_MakeFace(gp_Cylinder(gp::XOY(), defect ? 5 : 6), 0, M_PI, 0, 10).Face());
    return both;
}

// A triangle on the plane z = 0 whose apex drops onto its base: its boundary encloses no area.
TopoDS_Shape flatTriangle(bool defect)
{
    const TopoDS_Vertex a = BRepBuilderAPI_MakeVertex(gp_Pnt(0, 0, 0)), b = BRepBuilderAPI_MakeVertex(gp_Pnt(10, 0, 0));
    const TopoDS_Vertex apex = BRepBuilderAPI_MakeVertex(gp_Pnt(5, defect ? 0 : 5, 0));
    BRepBuilderAPI_MakeWire wire(BRepBuilderAPI_MakeEdge(a, b), BRepBuilderAPI_MakeEdge(b, apex),
                                 BRepBuilderAPI_MakeEdge(apex, a));
    return BRepBuilderAPI_MakeFace(gp_Pln(gp::Origin(), gp::DZ()), wire.Wire(), true).Face();
}

// A flat 10 x 10 bicubic whose u poles run x = 0, 12, -2, 10 folds over twice (x goes back between
// u = 0.36 and 0.64); the twin's poles are evenly spaced.
TopoDS_Shape folded(bool defect)
{
    const double xs[2][4] = {{0, 10.0 / 3, 20.0 / 3, 10}, {0, 12, -2, 10}};
    TColgp_Array2OfPnt poles(1, 4, 1, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            poles(i + 1, j + 1) = gp_Pnt(xs[defect][i], 10.0 * j / 3, 0);
    TColStd_Array1OfReal knots(1, 2);
    TColStd_Array1OfInteger multiplicities(1, 2);
    knots(1) = 0;
    knots(2) = 1;
    multiplicities(1) = multiplicities(2) = 4;
    const Handle(Geom_BSplineSurface) s =
        new Geom_BSplineSurface(poles, knots, knots, multiplicities, multiplicities, 3, 3);
    return BRepBuilderAPI_MakeFace(s, 1e-7).Face();
}

struct Defect
{
    const char* name;
    TopoDS_Shape (*make)(bool defect);
    C criterion;
    const char* entity;
    gp_Pnt at; // a point of the faulty entity, near where the finding says it is
    double near;
    const char* profile = "default"; // one that switches the criterion on
};

const Defect defects[] = {
    {"tiny edge", &tinyEdge, C::TINY_EDGE, "edge", {0.005, 9.995, 0}, 0.01},
    {"sliver face", &sliver, C::SLIVER_FACE, "face", {5.25, 0.005, 0}, 0.01},
    {"edge-face gap", &gap, C::EDGE_GAP, "edge", {5, 0, 0.1}, 0.01},
    {"free edge on a solid", &openSolid, C::FREE_EDGE, "edge", {5, 0, 10}, 0.01},
    {"edge of three faces", &overusedEdge, C::OVERUSED_EDGE, "edge", {5, 0, 0}, 0.01},
    {"G1 break of 0.5 degrees", &kink, C::G1_BREAK, "edge", {0, 5, 0}, 1},
    {"fillet of 0.3", &fillet, C::SMALL_RADIUS, "face", {9.9121, 9.9121, 5}, 0.5},
    {"knots 0.005 apart", &closeKnots, C::CLOSE_KNOTS, "face", {5.0025, 5, 0}, 0.01},
    {"degree 12", &highDegree, C::HIGH_DEGREE, "face", {5, 5, 0}, 0.01},
    {"face embedded in another", &embedded, C::OVERLAPPING_FACE, "face", {5, 5, 0}, 0.5, "class-a"},
    {"face embedded in a B-spline", &embeddedInBSpline, C::OVERLAPPING_FACE, "face", {5, 5, 0}, 0.5, "class-a"},
    {"face embedded in a cylinder",
     &embeddedInCylinder,
     C::OVERLAPPING_FACE,
     "face",
     {0.354, 4.987, 5},
     0.5,
     "class-a"},
    {"boundary enclosing no area", &flatTriangle, C::COLLAPSED_BOUNDARY, "face", {5, 0, 0}, 0.01},
    {"surface folded over", &folded, C::FOLDED_NORMAL, "face", {5, 5, 0}, 1},
    {"G3 break of x^3 after a line", &powerProfile, C::G3_BREAK, "edge", {0, 0, 5}, 1, "class-a"},
};

oxCheckProfile profileNamed(const char* name)
{
    oxCheckProfile p;
    std::string error;
    if (!oxCheckProfile::find(name, p, error))
        qFatal("%s", error.c_str());
    return p;
}

// The face or edge a finding numbers.
TopoDS_Shape entityOf(const oxCadModel& model, const oxCheckFinding& f)
{
    const oxCadModel::Impl& d = model.impl();
    if (f.entity == "face")
        return d.faces(int(f.index) + 1);
    const std::vector<size_t> numbers = oxCheckNumbers::edgeNumbers(d);
    for (size_t e = 1; e < numbers.size(); ++e)
        if (numbers[e] == f.index)
            return d.edges(int(e));
    return TopoDS_Shape();
}

double distance(const TopoDS_Shape& shape, const gp_Pnt& p)
{
    BRepExtrema_DistShapeShape extrema(shape, BRepBuilderAPI_MakeVertex(p).Vertex());
    return extrema.IsDone() ? extrema.Value() : HUGE_VAL;
}

std::string messages(const oxCheckResult& r)
{
    std::string out;
    for (const oxCheckFinding& f : r.findings)
        out += f.message + "\n";
    return out;
}

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

} // namespace

class tst_Check : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void defectIsFoundOnItsEntityNotOnItsTwin_data();
    void defectIsFoundOnItsEntityNotOnItsTwin();
    void verdictFollowsTheProfile_data();
    void verdictFollowsTheProfile();
    void findingsAreCappedAndCounted();
    void profileFileOverridesItsBase();
    void badProfileIsRefusedWithFileAndLine_data();
    void badProfileIsRefusedWithFileAndLine();
    void fileDisagreesOnTheRightSolid_data();
    void fileDisagreesOnTheRightSolid();

private:
    // The file loaded as the host loads it (a second time from the cache) and checked with the
    // default profile, and in classA with the class-a one.
    oxCheckResult check(const QString& path, oxCheckResult* classA = nullptr);

    QTemporaryDir dir;
    QTemporaryDir home; // XDG_CACHE_HOME
};

void tst_Check::defectIsFoundOnItsEntityNotOnItsTwin_data()
{
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < std::size(defects); ++i)
        QTest::newRow(defects[i].name) << int(i);
}

void tst_Check::defectIsFoundOnItsEntityNotOnItsTwin()
{
    QFETCH(int, row);
    const Defect& defect = defects[row];
    const std::shared_ptr<oxCadModel> model = modelOf(defect.make(true));
    const oxCheckResult result = oxCheck::run(*model, profileNamed(defect.profile));
    const oxCheckFinding* found = nullptr;
    for (const oxCheckFinding& f : result.findings)
        if (f.criterion == defect.criterion &&
            gp_Pnt(f.location[0], f.location[1], f.location[2]).Distance(defect.at) < defect.near)
            found = &f;
    QVERIFY2(found, messages(result).c_str());
    QCOMPARE(found->entity, std::string(defect.entity));
    QVERIFY2(distance(entityOf(*model, *found), defect.at) < 1e-3, found->message.c_str());
    QVERIFY(found->message.rfind(std::string(defect.entity) + " " + std::to_string(found->index) + ": ", 0) == 0);
    QVERIFY(result.verdict == oxCheckResult::Fail || result.verdict == oxCheckResult::Warning);
    const oxCheckResult twin = oxCheck::run(*modelOf(defect.make(false)), profileNamed(defect.profile));
    QVERIFY2(twin.findings.empty(), messages(twin).c_str());
    QCOMPARE(twin.verdict, oxCheckResult::Pass);
}

void tst_Check::verdictFollowsTheProfile_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<int>("verdict");
    const int fillet = 6, kink = 5, degree = 8;
    QTest::newRow("small radius warns by default") << fillet << "default" << int(oxCheckResult::Warning);
    QTest::newRow("small radius fails class A") << fillet << "class-a" << int(oxCheckResult::Fail);
    QTest::newRow("degree 12 fails class A") << degree << "class-a" << int(oxCheckResult::Fail);
    QTest::newRow("a kink warns by default") << kink << "default" << int(oxCheckResult::Warning);
}

void tst_Check::verdictFollowsTheProfile()
{
    QFETCH(int, row);
    QFETCH(QString, profile);
    QFETCH(int, verdict);
    oxCheckProfile p;
    std::string error;
    QVERIFY(oxCheckProfile::find(profile.toStdString(), p, error));
    const oxCheckResult result = oxCheck::run(*modelOf(defects[row].make(true)), p);
    QVERIFY2(result.verdict == verdict, messages(result).c_str());
}

void tst_Check::findingsAreCappedAndCounted()
{
    oxCheckProfile profile = oxCheckProfile::standard();
    profile.findingsPerCriterion = 1;
    const oxCheckResult result = oxCheck::run(*modelOf(openSolid(true)), profile, {100, 1000, 2000});
    size_t free = 0;
    for (const oxCheckFinding& f : result.findings)
        if (f.criterion == C::FREE_EDGE)
        {
            ++free;
            QVERIFY(f.index >= 2000);
        }
    QCOMPARE(free, size_t(1));
    QCOMPARE(result.counts[size_t(C::FREE_EDGE)], size_t(4));
}

void tst_Check::profileFileOverridesItsBase()
{
    const std::string text = "{\n  \"name\": \"supplier\",\n  \"base\": \"class-a\",\n  \"criteria\": {\n"
                             "    \"SMALL_RADIUS\": {\"severity\": \"off\"},\n"
                             "    \"G2_BREAK\": {\"severity\": \"off\"},\n"
                             "    \"TINY_EDGE\": {\"threshold\": 0.1}\n  }\n}\n";
    oxCheckProfile p;
    std::string error;
    QVERIFY2(oxCheckProfile::parse(text, "supplier.json", p, error), error.c_str());
    QCOMPARE(p.name, std::string("supplier"));
    QCOMPARE(p.rule(C::TINY_EDGE).threshold, 0.1);
    QCOMPARE(p.rule(C::TINY_EDGE).severity, oxCheckSeverity::Error);
    QCOMPARE(p.rule(C::HIGH_DEGREE).threshold, oxCheckProfile::classA().rule(C::HIGH_DEGREE).threshold);
    const oxCheckResult result = oxCheck::run(*modelOf(fillet(true)), p);
    QVERIFY2(result.findings.empty(), messages(result).c_str());
}

void tst_Check::badProfileIsRefusedWithFileAndLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown key") << "{\n  \"name\": \"x\",\n  \"treshold\": 1\n}"
                                 << "\"p.json\": line 3: unknown key \"treshold\"";
    QTest::newRow("unknown criterion") << "{\"criteria\": {\n\"TINY_EDGES\": {}}}"
                                       << "\"p.json\": line 2: unknown criterion \"TINY_EDGES\"";
    QTest::newRow("unknown rule key") << "{\"criteria\": {\"TINY_EDGE\": {\n\"limit\": 1}}}"
                                      << "line 2: unknown key \"limit\" in TINY_EDGE";
    QTest::newRow("negative threshold") << "{\"criteria\": {\"TINY_EDGE\": {\n\n\"threshold\": -1}}}"
                                        << "line 3: \"threshold\" needs a number at least 0, not -1";
    QTest::newRow("fractional degree") << "{\"criteria\": {\"HIGH_DEGREE\": {\"threshold\": 7.5}}}"
                                       << "line 1: \"threshold\" needs a whole number at least 0, not 7.5";
    QTest::newRow("bad severity") << "{\"criteria\": {\"G1_BREAK\": {\"severity\": \"fatal\"}}}"
                                  << "\"severity\" needs \"error\", \"warning\" or \"off\", not \"fatal\"";
    QTest::newRow("threshold as text") << "{\"criteria\": {\"G1_BREAK\": {\"threshold\": \"1\"}}}"
                                       << "\"threshold\" needs a number of degrees from 0 to 90, not \"1\"";
    QTest::newRow("unknown base") << "{\"base\": \"strict\"}"
                                  << "\"base\" needs \"default\" or \"class-a\"";
    QTest::newRow("a number alone") << "\n7"
                                    << "\"p.json\": line 2: a profile is an object";
    QTest::newRow("a text alone") << "\"class-a\""
                                  << "line 1: a profile is an object";
    QTest::newRow("null alone") << "null"
                                << "line 1: a profile is an object";
    QTest::newRow("syntax") << "{\n\"name\": \"x\",\n}"
                            << "\"p.json\": line 3: ";
}

void tst_Check::badProfileIsRefusedWithFileAndLine()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    oxCheckProfile p = oxCheckProfile::classA();
    std::string error;
    QVERIFY(!oxCheckProfile::parse(text.toStdString(), "p.json", p, error));
    QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
    QVERIFY2(error.rfind("cannot read check profile \"p.json\": line ", 0) == 0, error.c_str());
    QCOMPARE(p.name, std::string("class-a"));
}

void tst_Check::initTestCase()
{
    QVERIFY(dir.isValid() && home.isValid());

    qputenv("XDG_CACHE_HOME", home.path().toLocal8Bit());
    qunsetenv("OXHOST_NO_CACHE");
    Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream)); // the writer's tables
}

oxCheckResult tst_Check::check(const QString& path, oxCheckResult* classA)
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

void tst_Check::fileDisagreesOnTheRightSolid_data()
{
    // The properties: "for solids", "for products", "copies" (two placed copies of the box's
    // product) or "" (none).
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("pattern"); // the number edited
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("shift");
    QTest::addColumn<QList<int>>("solids"); // that the findings name
    QTest::addColumn<QString>("message");
    const QList<int> none;
    QTest::newRow("agreeing file") << "for solids"
                                   << "" << 0 << 1.0 << 0.0 << none << "";
    QTest::newRow("file without properties") << ""
                                             << "" << 0 << 1.0 << 0.0 << none << "";
    QTest::newRow("box's volume 1.24 % too large")
        << "for solids" << volumeText << 0 << 1.0124 << 0.0 << QList<int>{0}
        << "solid 0: volume 6074 mm³ in the file, 6000 mm³ from the geometry: 1.225 % > 0.1 %";
    QTest::newRow("cylinder's area 0.5 % too small")
        << "for solids" << areaText << 1 << 0.995 << 0.0 << QList<int>{1}
        << "solid 1: area 781.5 mm² in the file, 785.4 mm² from the geometry: 0.5025 % > 0.1 %";
    QTest::newRow("cylinder's centroid 0.2 mm off")
        << "for solids" << centroidZText << 1 << 1.0 << 0.2 << QList<int>{1}
        << "solid 1: centroid (50, 0, 10.2) in the file, (50, 0, 10) from the geometry: 0.2 mm apart, 0.8165 %";
    QTest::newRow("product's volume 1.24 % too large") << "for products" << volumeText << 0 << 1.0124 << 0.0
                                                       << QList<int>{0} << "solid 0: volume 6074 mm³ in the file";
    QTest::newRow("product's centroid 0.2 mm off") << "for products" << centroidZText << 1 << 1.0 << 0.2
                                                   << QList<int>{1} << "solid 1: centroid (50, 0, 10.2) in the file";
    QTest::newRow("a volume within 0.1 %") << "for solids" << volumeText << 0 << 1.0005 << 0.0 << none << "";
    // Each copy is compared with its product's properties, the centroid moved with the copy.
    QTest::newRow("agreeing copies") << "copies"
                                     << "" << 0 << 1.0 << 0.0 << none << "";
    QTest::newRow("a volume 1.24 % too large, on both copies")
        << "copies" << volumeText << 0 << 1.0124 << 0.0 << QList<int>{0, 1} << "";
}

void tst_Check::fileDisagreesOnTheRightSolid()
{
    QFETCH(QString, given);
    QFETCH(QString, pattern);
    QFETCH(int, occurrence);
    QFETCH(double, scale);
    QFETCH(double, shift);
    QFETCH(QList<int>, solids);
    QFETCH(QString, message);
    const QString path = dir.filePath(QString(QTest::currentDataTag()).replace(' ', '_') + ".step");
    QVERIFY(given == "copies" ? writeCopies(path) : writeStep(path, !given.isEmpty()));
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
    // No other criterion finds anything on these solids.
    QVERIFY2(result.findings.size() == size_t(solids.size()) && found.size() == result.findings.size(),
             messages(result).c_str());
    for (int i = 0; i < solids.size(); ++i)
    {
        const oxCheckFinding& f = *found[size_t(i)];
        QCOMPARE(f.entity, std::string("solid"));
        QCOMPARE(int(f.index), solids[i]);
        QVERIFY2(QString::fromStdString(f.message).startsWith(message), f.message.c_str());
        const gp_Pnt box(5, 10, 15), centroid = given == "copies" ? box.Translated(copyMoves[i])
                                                : solids[i] == 0  ? box
                                                                  : gp_Pnt(50, 0, 10);
        QVERIFY2(centroid.Distance(gp_Pnt(f.location[0], f.location[1], f.location[2])) < 1e-6, f.message.c_str());
        QCOMPARE(f.severity, oxCheckSeverity::Warning);
    }
}

QTEST_GUILESS_MAIN(tst_Check)
#include "tst_check.moc"
