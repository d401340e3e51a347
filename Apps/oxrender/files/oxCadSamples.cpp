// OCCT-made solids for tests, demos and benchmarks, written as STEP, IGES or B-rep.
#include "oxCadImporter.h"

#include "oxAtomicFile.h"

#include <BRepAdaptor_Curve.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepOffsetAPI_DraftAngle.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <GC_MakeArcOfCircle.hxx>
#include <Geom_BSplineSurface.hxx>
#include <Geom_BezierCurve.hxx>
#include <IGESControl_Controller.hxx>
#include <IGESControl_Writer.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <STEPControl_Writer.hxx>
#include <Standard_Failure.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>

namespace
{
// A strip in the x-z plane extruded along y over [y0, y1]: flat for x in [-2s, 0], then a bend
// down whose join with the flat part has the given continuity (0, 1 or 2).
TopoDS_Shape joinStrip(int continuity, double s, double y0, double y1)
{
    const gp_Pnt origin(0, y0, 0);
    const TopoDS_Edge flat = BRepBuilderAPI_MakeEdge(gp_Pnt(-2 * s, y0, 0), origin);
    TopoDS_Edge bend;
    if (continuity == 2)
    {
        // The first three poles in line: no curvature at the join, as on the flat side.
        TColgp_Array1OfPnt poles(1, 4);
        poles(1) = origin;
        poles(2) = gp_Pnt(0.5 * s, y0, 0);
        poles(3) = gp_Pnt(s, y0, 0);
        poles(4) = gp_Pnt(1.6 * s, y0, -1.2 * s);
        bend = BRepBuilderAPI_MakeEdge(Handle(Geom_BezierCurve)(new Geom_BezierCurve(poles)));
    }
    else
    {
        // A quarter of a circle of radius s, tangent to the flat part (G1) or kinked by 30 degrees (G0).
        const double kink = continuity == 0 ? M_PI / 6 : 0;
        const gp_Vec start(std::cos(kink), 0, -std::sin(kink));
        const gp_Pnt centre(-s * std::sin(kink), y0, -s * std::cos(kink));
        const gp_Pnt end(centre.X() + s, y0, centre.Z());
        bend = BRepBuilderAPI_MakeEdge(GC_MakeArcOfCircle(origin, start, end).Value());
    }
    const TopoDS_Wire profile = BRepBuilderAPI_MakeWire(flat, bend);
    return BRepPrimAPI_MakePrism(profile, gp_Vec(0, y1 - y0, 0)).Shape();
}

TopoDS_Shape joins(double s)
{
    const double width = 2 * s, gap = 0.25 * s;
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    builder.Add(compound, joinStrip(0, s, 0.5 * width + gap, 1.5 * width + gap));
    builder.Add(compound, joinStrip(1, s, -0.5 * width, 0.5 * width));
    builder.Add(compound, joinStrip(2, s, -1.5 * width - gap, -0.5 * width - gap));
    return compound;
}

// A wavy sheet over [0, 200] x [0, 125]: one bicubic B-spline surface, its poles on a smooth
// height field, cut into rows x cols faces of their own, each with its own poles, as a styled
// part's file holds them.
TopoDS_Shape panel(int rows, int cols, int polesPerFace)
{
    const int nu = cols * (polesPerFace - 3) + 3, nv = rows * (polesPerFace - 3) + 3;
    const double width = 200, depth = 125;
    TColgp_Array2OfPnt poles(1, nu, 1, nv);
    for (int i = 1; i <= nu; ++i)
        for (int j = 1; j <= nv; ++j)
        {
            const double x = width * (i - 1) / (nu - 1), y = depth * (j - 1) / (nv - 1);
            const double z = 12 * std::sin(x / 37) * std::cos(y / 29) + 0.002 * (x - 100) * (x - 100);
            poles(i, j) = gp_Pnt(x, y, z);
        }
    // Clamped uniform knots.
    auto knots = [](int count, TColStd_Array1OfReal& values, TColStd_Array1OfInteger& multiplicities)
    {
        for (int k = 1; k <= count; ++k)
        {
            values(k) = double(k - 1) / (count - 1);
            multiplicities(k) = k == 1 || k == count ? 4 : 1;
        }
    };
    TColStd_Array1OfReal uKnots(1, nu - 2), vKnots(1, nv - 2);
    TColStd_Array1OfInteger uMults(1, nu - 2), vMults(1, nv - 2);
    knots(nu - 2, uKnots, uMults);
    knots(nv - 2, vKnots, vMults);
    const Handle(Geom_BSplineSurface) whole = new Geom_BSplineSurface(poles, uKnots, vKnots, uMults, vMults, 3, 3);
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
        {
            const Handle(Geom_BSplineSurface) piece = Handle(Geom_BSplineSurface)::DownCast(whole->Copy());
            piece->Segment(double(c) / cols, double(c + 1) / cols, double(r) / rows, double(r + 1) / rows);
            builder.Add(compound, BRepBuilderAPI_MakeFace(piece, 1e-7).Face());
        }
    return compound;
}

// A 40 x 30 x 20 box standing on z = 0 whose four sides lean inwards by degrees towards +z.
TopoDS_Shape draftBox(double degrees)
{
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(gp_Pnt(-20, -15, 0), 40, 30, 20).Shape();
    BRepOffsetAPI_DraftAngle draft(box);
    const gp_Dir pull(0, 0, 1);
    const gp_Pln neutral(gp_Pnt(0, 0, 0), pull);
    for (TopExp_Explorer it(box, TopAbs_FACE); it.More(); it.Next())
    {
        const TopoDS_Face& face = TopoDS::Face(it.Current());
        BRepAdaptor_Surface surface(face);
        if (std::fabs(surface.Plane().Axis().Direction().Dot(pull)) < 1e-9)
            draft.Add(face, pull, degrees * M_PI / 180, neutral);
    }
    draft.Build();
    return draft.Shape();
}

bool write(const TopoDS_Shape& shape, const std::string& path, std::string& error)
{
    // The writers report every transfer on standard output.
    Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
    const std::string suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower().toStdString();
    // OCCT writes to a path of its own (STEP only to a file); the bytes then replace the target whole.
    QTemporaryDir dir;
    const std::string temp = (dir.path() + "/sample.").toStdString() + suffix;
    bool ok = false;
    if (suffix == "brep")
        ok = BRepTools::Write(shape, temp.c_str());
    else if (suffix == "step" || suffix == "stp")
    {
        STEPControl_Writer writer;
        ok = writer.Transfer(shape, STEPControl_AsIs) == IFSelect_RetDone &&
             writer.Write(temp.c_str()) == IFSelect_RetDone;
    }
    else if (suffix == "iges" || suffix == "igs")
    {
        IGESControl_Controller::Init();
        IGESControl_Writer writer("MM", 0);
        ok = writer.AddShape(shape) && (writer.ComputeModel(), writer.Write(temp.c_str()));
    }
    else
    {
        error = "cannot write \"" + path + "\": the suffix names no CAD format (step, stp, iges, igs, brep)";
        return false;
    }
    QFile made(QString::fromStdString(temp));
    std::string why;
    if (!dir.isValid() || !ok || !made.open(QIODevice::ReadOnly))
        why = "the CAD writer failed";
    else
        oxAtomicFile::save(path, made.readAll().toStdString(), why);
    if (!why.empty())
        error = "cannot write \"" + path + "\": " + why;
    return why.empty();
}
} // namespace

std::vector<std::string> oxCadImporter::sampleNames()
{
    return {"sphere", "cylinder", "torus", "filletedbox", "joins", "panel", "draftbox"};
}

bool oxCadImporter::writeSample(const std::string& name, const std::string& path, std::string& error, int rows,
                                int cols, int polesPerFace)
{
    try
    {
        TopoDS_Shape shape;
        if (name == "sphere")
            shape = BRepPrimAPI_MakeSphere(10).Shape();
        else if (name == "cylinder")
            shape = BRepPrimAPI_MakeCylinder(5, 20).Shape();
        else if (name == "torus")
            shape = BRepPrimAPI_MakeTorus(20, 5).Shape();
        else if (name == "filletedbox")
        {
            const TopoDS_Shape box = BRepPrimAPI_MakeBox(gp_Pnt(-20, -15, -10), 40, 30, 20).Shape();
            BRepFilletAPI_MakeFillet fillet(box);
            for (TopExp_Explorer it(box, TopAbs_EDGE); it.More(); it.Next())
            {
                BRepAdaptor_Curve curve(TopoDS::Edge(it.Current()));
                const gp_Vec along(curve.Value(curve.FirstParameter()), curve.Value(curve.LastParameter()));
                if (std::fabs(along.Z()) > 1e-9)
                    fillet.Add(5, TopoDS::Edge(it.Current()));
            }
            shape = fillet.Shape();
        }
        else if (name == "joins")
            shape = joins(10);
        else if (name == "draftbox")
            shape = draftBox(3);
        else if (name == "panel")
            shape = panel(std::max(1, rows), std::max(1, cols), std::max(4, polesPerFace));
        else
        {
            error = "unknown CAD sample \"" + name +
                    "\"; the samples are sphere, cylinder, torus, filletedbox, "
                    "joins, panel, draftbox";
            return false;
        }
        return write(shape, path, error);
    }
    catch (const Standard_Failure& e)
    {
        error = "cannot make the CAD sample \"" + name + "\": " + e.GetMessageString();
        return false;
    }
}
