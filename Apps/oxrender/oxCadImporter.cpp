#include "oxCadImporter.h"

#include "oxCadShape.h"
#include "oxIsolatedProcess.h"
#include "oxMeshNodes.h"

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Sewing.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <GeomLProp_SLProps.hxx>
#include <IGESControl_Reader.hxx>
#include <IGESData_IGESModel.hxx>
#include <Interface_Static.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <TColStd_SequenceOfAsciiString.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <QFileInfo>

#include <chrono>
#include <cmath>
#include <sstream>

namespace
{
std::string lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

enum class Format
{
    None,
    Step,
    Iges,
    Brep
};

Format formatOf(const std::string& path)
{
    const std::string suffix = lower(QFileInfo(QString::fromStdString(path)).suffix().toStdString());
    if (suffix == "step" || suffix == "stp")
        return Format::Step;
    if (suffix == "iges" || suffix == "igs")
        return Format::Iges;
    if (suffix == "brep")
        return Format::Brep;
    return Format::None;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The length unit names the STEP and IGES readers take for "xstep.cascade.unit".
const char* cascadeUnit(std::string name)
{
    name = lower(name);
    if (name == "mm" || name == "millimetre" || name == "millimeter")
        return "MM";
    if (name == "in" || name == "inch")
        return "INCH";
    if (name == "m" || name == "metre" || name == "meter")
        return "M";
    if (name == "cm" || name == "centimetre" || name == "centimeter")
        return "CM";
    if (name == "ft" || name == "foot")
        return "FT";
    if (name == "um" || name == "micrometre" || name == "micron")
        return "UM";
    if (name == "km" || name == "kilometre" || name == "kilometer")
        return "KM";
    if (name == "mil")
        return "MIL";
    return nullptr;
}

// Reads the file into one shape; an empty result means success.
std::string readShape(const std::string& path, Format format, TopoDS_Shape& shape)
{
    if (format == Format::Brep)
    {
        BRep_Builder builder;
        if (!BRepTools::Read(shape, path.c_str(), builder) || shape.IsNull())
            return "it is not an Open CASCADE B-rep file";
        return std::string();
    }
    if (format == Format::Step)
    {
        STEPControl_Reader reader;
        if (reader.ReadFile(path.c_str()) != IFSelect_RetDone)
            return "the STEP reader cannot parse it";
        // The file's own length unit, not a conversion to millimetres.
        TColStd_SequenceOfAsciiString lengths, angles, solidAngles;
        reader.FileUnits(lengths, angles, solidAngles);
        if (lengths.Length() > 0)
            if (const char* unit = cascadeUnit(lengths.First().ToCString()))
                Interface_Static::SetCVal("xstep.cascade.unit", unit);
        if (reader.NbRootsForTransfer() == 0 || reader.TransferRoots() == 0)
            return "the file holds no shapes";
        shape = reader.OneShape();
        return std::string();
    }
    IGESControl_Reader reader;
    if (reader.ReadFile(path.c_str()) != IFSelect_RetDone)
        return "the IGES reader cannot parse it";
    const Handle(IGESData_IGESModel) model = reader.IGESModel();
    if (!model.IsNull() && !model->GlobalSection().UnitName().IsNull())
        if (const char* unit = cascadeUnit(model->GlobalSection().UnitName()->ToCString()))
            Interface_Static::SetCVal("xstep.cascade.unit", unit);
    if (reader.TransferRoots() == 0)
        return "the file holds no shapes";
    shape = reader.OneShape();
    return std::string();
}

struct Answer
{
    std::string cause;
    std::string brep;
    std::vector<osg::Pnt3f> positions;
    std::vector<osg::Vec3f> normals;
    std::vector<osg::UInt32> indices;
    std::vector<osg::UInt32> vertexFace;
    std::vector<double> uv;
    std::vector<float> kMax, kMin;
    std::vector<osg::Vec3f> dirMax, dirMin;
    std::vector<double> stages; // read, sew, mesh, exact

    std::string serialize() const
    {
        std::string b;
        oxWire::put(b, cause);
        oxWire::put(b, brep);
        oxWire::put(b, positions);
        oxWire::put(b, normals);
        oxWire::put(b, indices);
        oxWire::put(b, vertexFace);
        oxWire::put(b, uv);
        oxWire::put(b, kMax);
        oxWire::put(b, kMin);
        oxWire::put(b, dirMax);
        oxWire::put(b, dirMin);
        oxWire::put(b, stages);
        return b;
    }

    bool deserialize(const std::string& b)
    {
        size_t at = 0;
        return oxWire::take(b, at, cause) && oxWire::take(b, at, brep) && oxWire::take(b, at, positions) &&
               oxWire::take(b, at, normals) && oxWire::take(b, at, indices) && oxWire::take(b, at, vertexFace) &&
               oxWire::take(b, at, uv) && oxWire::take(b, at, kMax) && oxWire::take(b, at, kMin) &&
               oxWire::take(b, at, dirMax) && oxWire::take(b, at, dirMin) && oxWire::take(b, at, stages) &&
               at == b.size();
    }

    // Sizes that fit each other and indices that name existing vertices.
    bool consistent() const
    {
        const size_t n = positions.size();
        if (normals.size() != n || vertexFace.size() != n || uv.size() != 2 * n || kMax.size() != n ||
            kMin.size() != n || dirMax.size() != n || dirMin.size() != n || indices.size() % 3 != 0)
            return false;
        for (osg::UInt32 i : indices)
            if (i >= n)
                return false;
        return true;
    }
};

osg::Vec3f toVec(const gp_Vec& v)
{
    return osg::Vec3f(float(v.X()), float(v.Y()), float(v.Z()));
}

// Per node of the face's triangulation: position, oriented normal, principal curvatures and
// directions from the exact surface.
void addFace(const oxCadModel::Impl& model, size_t faceIndex, Answer& out)
{
    const TopoDS_Face& face = TopoDS::Face(model.faces(int(faceIndex + 1)));
    TopLoc_Location location;
    const Handle(Poly_Triangulation) triangulation = BRep_Tool::Triangulation(face, location);
    if (triangulation.IsNull() || !triangulation->HasUVNodes() || triangulation->NbTriangles() == 0)
        return;
    const Handle(Geom_Surface)& surface = model.surfaces[faceIndex];
    const bool reversed = model.reversed[faceIndex];
    double u0, u1, v0, v1;
    BRepTools::UVBounds(face, u0, u1, v0, v1);
    const osg::UInt32 base = osg::UInt32(out.positions.size());
    const gp_Trsf transform = location.Transformation();
    for (int i = 1; i <= triangulation->NbNodes(); ++i)
    {
        const gp_Pnt p = triangulation->Node(i).Transformed(transform);
        const gp_Pnt2d uv = triangulation->UVNode(i);
        out.positions.emplace_back(float(p.X()), float(p.Y()), float(p.Z()));
        out.vertexFace.push_back(osg::UInt32(faceIndex));
        out.uv.push_back(uv.X());
        out.uv.push_back(uv.Y());
        // Where the curvature is undefined (a pole), the surface just inside the face stands in.
        double u = uv.X(), v = uv.Y();
        GeomLProp_SLProps props(surface, u, v, 2, Precision::Confusion());
        for (int step = 1; step <= 4 && !props.IsCurvatureDefined(); ++step)
        {
            const double t = std::pow(10.0, -8 + 2 * step);
            u += (0.5 * (u0 + u1) - u) * t;
            v += (0.5 * (v0 + v1) - v) * t;
            props.SetParameters(u, v);
        }
        gp_Vec normal(0, 0, 1);
        if (props.IsNormalDefined())
            normal = gp_Vec(props.Normal());
        if (reversed)
            normal.Reverse();
        out.normals.push_back(toVec(normal));
        float kMax = 0, kMin = 0;
        gp_Vec dirMax(0, 0, 0), dirMin(0, 0, 0);
        if (props.IsNormalDefined() && props.IsCurvatureDefined())
        {
            // OCCT's curvatures are signed against its own normal du x dv; ours are positive where
            // the surface bends away from the oriented normal.
            const double sign = reversed ? 1 : -1;
            const double a = sign * props.MaxCurvature(), b = sign * props.MinCurvature();
            gp_Dir da, db;
            if (props.IsUmbilic())
            {
                gp_Vec t = props.D1U().Magnitude() > 1e-12 ? props.D1U() : props.D1V();
                da = gp_Dir(t);
                db = gp_Dir(gp_Vec(props.Normal()).Crossed(t));
            }
            else
                props.CurvatureDirections(da, db);
            const bool swap = b > a;
            kMax = float(swap ? b : a);
            kMin = float(swap ? a : b);
            dirMax = gp_Vec(swap ? db : da);
            dirMin = gp_Vec(swap ? da : db);
        }
        out.kMax.push_back(kMax);
        out.kMin.push_back(kMin);
        out.dirMax.push_back(toVec(dirMax));
        out.dirMin.push_back(toVec(dirMin));
    }
    for (int i = 1; i <= triangulation->NbTriangles(); ++i)
    {
        int a, b, c;
        triangulation->Triangle(i).Get(a, b, c);
        if (reversed)
            std::swap(b, c);
        out.indices.insert(out.indices.end(),
                           {base + osg::UInt32(a - 1), base + osg::UInt32(b - 1), base + osg::UInt32(c - 1)});
    }
}

Answer readFile(const std::string& path, const oxCadOptions& options)
{
    Answer out;
    try
    {
        auto start = std::chrono::steady_clock::now();
        TopoDS_Shape shape;
        out.cause = readShape(path, formatOf(path), shape);
        if (!out.cause.empty())
            return out;
        if (shape.IsNull() || !TopExp_Explorer(shape, TopAbs_FACE).More())
        {
            out.cause = "the file holds no faces";
            return out;
        }
        out.stages.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        Bnd_Box box;
        BRepBndLib::Add(shape, box, false);
        const double size = box.IsVoid() ? 1.0 : box.CornerMin().Distance(box.CornerMax());
        // Neighbouring faces of STEP and IGES files often do not share their edges.
        BRepBuilderAPI_Sewing sewing(std::max(1e-4 * size, Precision::Confusion()));
        sewing.Load(shape);
        sewing.Perform();
        if (!sewing.SewedShape().IsNull())
            shape = sewing.SewedShape();
        const oxCadModel::Impl model(shape);
        out.stages.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        const double deflection = std::max(options.deflection, 1e-7) * (model.size > 0 ? model.size : size);
        const double angle = std::clamp(options.angleDegrees, 0.5, 90.0) * M_PI / 180.0;
        IMeshTools_Parameters parameters;
        parameters.Deflection = deflection;
        parameters.Angle = angle;
        parameters.InParallel = true;
        BRepMesh_IncrementalMesh mesher(shape, parameters);
        out.stages.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        for (size_t f = 0; f < size_t(model.faces.Extent()); ++f)
            addFace(model, f, out);
        if (out.indices.empty())
        {
            out = Answer();
            out.cause = "none of its faces could be triangulated";
            return out;
        }
        std::ostringstream brep;
        BRepTools::Write(shape, brep, false, false, TopTools_FormatVersion_CURRENT);
        out.brep = brep.str();
        out.stages.push_back(secondsSince(start));
    }
    catch (const Standard_Failure& e)
    {
        out = Answer();
        out.cause = std::string("Open CASCADE failed on it: ") + e.GetMessageString();
    }
    catch (const std::exception& e)
    {
        out = Answer();
        out.cause = e.what();
    }
    return out;
}
} // namespace

bool oxCadImporter::isCadFile(const std::string& path)
{
    return formatOf(path) != Format::None;
}

std::string oxCadImporter::readAnswer(const std::string& path, const oxCadOptions& options)
{
    return readFile(path, options).serialize();
}

bool oxCadImporter::load(const std::string& path, const oxCadOptions& options, oxRenderMesh& mesh,
                         std::shared_ptr<oxCadMesh>& cad, std::string& error, Stages* stages)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string prefix = "cannot read CAD file \"" + path + "\": ";
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists())
    {
        error = prefix + "no such file";
        return false;
    }
    if (!info.isFile() || !info.isReadable())
    {
        error = prefix + (info.isDir() ? "it is a directory" : "not a readable file");
        return false;
    }
    if (info.size() == 0)
    {
        error = prefix + "the file is empty";
        return false;
    }
    if (!isCadFile(path))
    {
        error = prefix + "unsupported format \"" + info.suffix().toStdString() + "\" (supported: STEP, IGES, BREP)";
        return false;
    }
    const int seconds = options.timeoutSeconds > 0 ? options.timeoutSeconds : 60 + 10 * int(info.size() / (1 << 20));
    std::string bytes;
    std::string cause = oxIsolatedProcess::run([&] { return readAnswer(path, options); }, seconds, bytes, true);
    Answer answer;
    if (cause.empty() && (!answer.deserialize(bytes) || (answer.cause.empty() && !answer.consistent())))
        cause = "the importer failed on it";
    if (cause.empty())
        cause = answer.cause;
    std::shared_ptr<oxCadModel> model;
    if (cause.empty())
    {
        model = oxCadModel::fromBrep(answer.brep, cause);
        if (model)
            for (osg::UInt32 f : answer.vertexFace)
                if (f >= model->faceCount())
                {
                    cause = "the importer's answer does not fit its shape";
                    break;
                }
    }
    if (!cause.empty())
    {
        error = prefix + cause;
        return false;
    }

    oxRenderMesh result;
    result.name = info.completeBaseName().toStdString();
    result.positions = std::move(answer.positions);
    result.normals = std::move(answer.normals);
    result.indices = std::move(answer.indices);
    result.normalizeNormals();
    auto data = std::make_shared<oxCadMesh>();
    data->model = std::move(model);
    data->source = path;
    data->vertexFace = std::move(answer.vertexFace);
    data->uv = std::move(answer.uv);
    data->curvatures.kMax = std::move(answer.kMax);
    data->curvatures.kMin = std::move(answer.kMin);
    data->curvatures.dirMax = std::move(answer.dirMax);
    data->curvatures.dirMin = std::move(answer.dirMin);
    data->curvatures.exact = true;
    mesh = std::move(result);
    cad = std::move(data);
    if (stages)
    {
        const std::vector<double>& s = answer.stages;
        *stages = Stages();
        if (s.size() == 4)
        {
            stages->read = s[0];
            stages->sew = s[1];
            stages->mesh = s[2];
            stages->exact = s[3];
        }
        stages->total = secondsSince(start);
    }
    return true;
}

osg::NodePtr oxCadImporter::loadNode(const std::string& path, const oxCadOptions& options, std::string& error)
{
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    if (!load(path, options, mesh, cad, error))
        return osg::NodePtr();
    osg::NodePtr node = oxMeshNodes::makeNode(mesh);
    oxCadMesh::attach(osg::GeometryPtr::dcast(node->getCore()), cad);
    beginEditCP(node, osg::Node::CoreFieldMask);
    {
        node->setName(QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    }
    endEditCP(node, osg::Node::CoreFieldMask);
    return node;
}
