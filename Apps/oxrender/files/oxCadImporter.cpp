#include "oxCadImporter.h"

#include "oxCadCache.h"
#include "oxCadSewing.h"
#include "oxCadShape.h"
#include "oxCadTessellator.h"
#include "oxIsolatedProcess.h"
#include "oxMeshNodes.h"
#include "oxRenderUtil.h"

#include <BRepBndLib.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <BinTools.hxx>
#include <Bnd_Box.hxx>
#include <GeomLProp_SLProps.hxx>
#include <IGESControl_Reader.hxx>
#include <IGESData_IGESModel.hxx>
#include <Interface_CheckIterator.hxx>
#include <Interface_EntityIterator.hxx>
#include <Interface_Graph.hxx>
#include <Interface_InterfaceModel.hxx>
#include <Interface_Static.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPConstruct_ValidationProps.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_Failure.hxx>
#include <StepBasic_MeasureWithUnit.hxx>
#include <StepRepr_MeasureRepresentationItem.hxx>
#include <StepRepr_PropertyDefinition.hxx>
#include <StepRepr_PropertyDefinitionRepresentation.hxx>
#include <StepRepr_Representation.hxx>
#include <StepRepr_ShapeAspect.hxx>
#include <StepShape_ShapeDefinitionRepresentation.hxx>
#include <TColStd_SequenceOfAsciiString.hxx>
#include <TColStd_SequenceOfTransient.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TransferBRep.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_TransferReader.hxx>
#include <XSControl_WorkSession.hxx>

#include <QFileInfo>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <unordered_map>
#include <sstream>

namespace
{
using oxRenderUtil::lower;
using oxRenderUtil::secondsSince;

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

// The size in millimetres of a length unit as STEP and IGES files name it; 0 for an unknown name.
double millimetres(std::string name)
{
    name = lower(name);
    if (name == "mm" || name == "millimetre" || name == "millimeter")
        return 1;
    if (name == "in" || name == "inch")
        return 25.4;
    if (name == "m" || name == "metre" || name == "meter")
        return 1000;
    if (name == "cm" || name == "centimetre" || name == "centimeter")
        return 10;
    if (name == "ft" || name == "foot")
        return 304.8;
    if (name == "um" || name == "micrometre" || name == "micron")
        return 0.001;
    if (name == "km" || name == "kilometre" || name == "kilometer")
        return 1e6;
    if (name == "mil")
        return 0.0254;
    return 0;
}

// The file's entities that failed to load (damaged parameters) or to transfer into a shape, by
// number: a truncated file loses faces without failing as a whole.
std::vector<osg::UInt32> lostEntities(XSControl_Reader& reader)
{
    std::set<osg::UInt32> lost;
    auto collect = [&](Interface_CheckIterator checks)
    {
        for (checks.Start(); checks.More(); checks.Next())
            if (checks.Value()->HasFailed())
                lost.insert(osg::UInt32(checks.Number()));
    };
    collect(reader.WS()->ModelCheckList());
    const Handle(XSControl_TransferReader) transfer = reader.WS()->TransferReader();
    if (!transfer.IsNull() && !transfer->TransientProcess().IsNull())
        collect(transfer->TransientProcess()->CheckList(Standard_False));
    return std::vector<osg::UInt32>(lost.begin(), lost.end());
}

// What the file's validation properties say of one of its shapes.
struct FileProps
{
    TopoDS_Shape target;
    double volume = NAN, area = NAN;
    gp_Pnt centroid;
    bool hasCentroid = false;
};

// A volume or an area; OCCT's decoder does not look for a missing measure before it reads it.
void takeMeasure(const STEPConstruct_ValidationProps& tool, const Handle(StepRepr_RepresentationItem) & item,
                 FileProps& out)
{
    const Handle(StepRepr_MeasureRepresentationItem) measure =
        Handle(StepRepr_MeasureRepresentationItem)::DownCast(item);
    if (measure.IsNull() || measure->Measure().IsNull() || measure->Measure()->ValueComponentMember().IsNull())
        return;
    double value = 0;
    bool isArea = false;
    if (tool.GetPropReal(item, value, isArea) && std::isfinite(value))
        (isArea ? out.area : out.volume) = value;
}

// The shape of a property given for a part of a product (a shape aspect, as writers give each
// solid its own): what the transfer made of the items of the aspect's shape representation.
TopoDS_Shape aspectShape(const STEPConstruct_ValidationProps& tool, const Handle(StepRepr_ShapeAspect) & aspect)
{
    BRep_Builder builder;
    TopoDS_Compound all;
    builder.MakeCompound(all);
    int count = 0;
    TopoDS_Shape one;
    for (Interface_EntityIterator d = tool.Graph().Sharings(aspect); d.More(); d.Next())
        for (Interface_EntityIterator r = tool.Graph().Sharings(d.Value()); r.More(); r.Next())
        {
            const auto sdr = Handle(StepShape_ShapeDefinitionRepresentation)::DownCast(r.Value());
            if (sdr.IsNull() || sdr->UsedRepresentation().IsNull())
                continue;
            const Handle(StepRepr_Representation) representation = sdr->UsedRepresentation();
            for (int i = 1; i <= representation->NbItems(); ++i)
            {
                const TopoDS_Shape shape =
                    TransferBRep::ShapeResult(tool.TransientProcess(), representation->ItemsValue(i));
                if (shape.IsNull())
                    continue;
                builder.Add(all, shape);
                one = shape;
                ++count;
            }
        }
    return count == 1 ? one : count > 1 ? TopoDS_Shape(all) : TopoDS_Shape();
}

// The file's validation properties (volume, surface area, centroid), one entry per shape they
// are given for (a product or a part of one); those of a shape the transfer did not make are left out.
std::vector<FileProps> validationProps(const STEPControl_Reader& reader)
{
    std::vector<FileProps> out;
    const STEPConstruct_ValidationProps tool(reader.WS());
    TColStd_SequenceOfTransient found;
    if (!tool.LoadProps(found))
        return out;
    for (int i = 1; i <= found.Length(); ++i)
    {
        const auto pdr = Handle(StepRepr_PropertyDefinitionRepresentation)::DownCast(found.Value(i));
        if (pdr.IsNull() || pdr->UsedRepresentation().IsNull() || pdr->Definition().PropertyDefinition().IsNull())
            continue;
        const Handle(StepRepr_PropertyDefinition) definition = pdr->Definition().PropertyDefinition();
        const Handle(StepRepr_ShapeAspect) aspect = definition->Definition().ShapeAspect();
        const TopoDS_Shape target = aspect.IsNull() ? tool.GetPropShape(definition) : aspectShape(tool, aspect);
        if (target.IsNull())
            continue;
        auto at = std::find_if(out.begin(), out.end(), [&](const FileProps& p) { return p.target.IsSame(target); });
        if (at == out.end())
        {
            at = out.insert(out.end(), FileProps());
            at->target = target;
        }
        const Handle(StepRepr_Representation) representation = pdr->UsedRepresentation();
        for (int j = 1; j <= representation->NbItems(); ++j)
        {
            const Handle(StepRepr_RepresentationItem) item = representation->ItemsValue(j);
            gp_Pnt p;
            if (item.IsNull())
                continue;
            takeMeasure(tool, item, *at);
            if (tool.GetPropPnt(item, representation->ContextOfItems(), p))
            {
                at->centroid = p;
                at->hasCentroid = true;
            }
        }
    }
    return out;
}

// Reads the file into one shape; an empty result means success.
std::string readShape(const std::string& path, Format format, TopoDS_Shape& shape, std::vector<osg::UInt32>& lost,
                      double& transfer, std::vector<FileProps>& props)
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
        if (lengths.Length() > 0 && millimetres(lengths.First().ToCString()) > 0)
            reader.SetSystemLengthUnit(millimetres(lengths.First().ToCString()));
        const auto start = std::chrono::steady_clock::now();
        if (reader.NbRootsForTransfer() == 0 || reader.TransferRoots() == 0)
            return "the file holds no shapes";
        shape = reader.OneShape();
        transfer = secondsSince(start);
        lost = lostEntities(reader);
        // Properties are a check's business: a file whose properties cannot be decoded still loads.
        try
        {
            props = validationProps(reader);
        }
        catch (const Standard_Failure&)
        {
            props.clear();
        }
        return std::string();
    }
    IGESControl_Reader reader;
    if (reader.ReadFile(path.c_str()) != IFSelect_RetDone)
        return "the IGES reader cannot parse it";
    const Handle(IGESData_IGESModel) model = reader.IGESModel();
    if (!model.IsNull() && !model->GlobalSection().UnitName().IsNull())
    {
        // The IGES reader returns lengths in the unit this setting names.
        std::string unit = model->GlobalSection().UnitName()->ToCString();
        for (char& c : unit)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        if (unit == "IN")
            unit = "INCH";
        for (const char* known : {"MM", "INCH", "FT", "MI", "M", "KM", "MIL", "UM", "CM", "UIN"})
            if (unit == known)
                Interface_Static::SetCVal("xstep.cascade.unit", known);
    }
    if (reader.TransferRoots() == 0)
        return "the file holds no shapes";
    shape = reader.OneShape();
    lost = lostEntities(reader);
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
    // The file's validation properties: per property volume, area and centroid (x, y, z) in
    // propValues, and in propShapes its count of solids, its count of faces, then their indices.
    std::vector<double> propValues;
    std::vector<osg::UInt32> propShapes;
    std::vector<double> stages;    // read, transfer, sew, mesh, exact, serialize
    std::vector<osg::UInt32> lost; // numbers of the file's entities that could not be read

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
        oxWire::put(b, propValues);
        oxWire::put(b, propShapes);
        oxWire::put(b, stages);
        oxWire::put(b, lost);
        return b;
    }

    bool deserialize(const std::string& b)
    {
        size_t at = 0;
        return oxWire::take(b, at, cause) && oxWire::take(b, at, brep) && oxWire::take(b, at, positions) &&
               oxWire::take(b, at, normals) && oxWire::take(b, at, indices) && oxWire::take(b, at, vertexFace) &&
               oxWire::take(b, at, uv) && oxWire::take(b, at, kMax) && oxWire::take(b, at, kMin) &&
               oxWire::take(b, at, dirMax) && oxWire::take(b, at, dirMin) && oxWire::take(b, at, propValues) &&
               oxWire::take(b, at, propShapes) && oxWire::take(b, at, stages) && oxWire::take(b, at, lost) &&
               at == b.size();
    }

    // Sizes that fit each other and indices that name existing vertices.
    bool consistent() const
    {
        const size_t n = positions.size();
        if (normals.size() != n || vertexFace.size() != n || uv.size() != 2 * n || kMax.size() != n ||
            kMin.size() != n || dirMax.size() != n || dirMin.size() != n || indices.size() % 3 != 0 ||
            propValues.size() % 5 != 0)
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

// Per vertex: position, oriented normal, principal curvatures and directions from the exact
// surface at (u, v).
struct FaceVertices
{
    const Handle(Geom_Surface) & surface;
    bool reversed;
    size_t face;
    double u0, u1, v0, v1; // the face's parameter box
    Answer& out;

    // Fills vertex index of the answer's arrays, which are sized for all vertices.
    void set(size_t index, const gp_Pnt& p, double u, double v)
    {
        out.positions[index] = osg::Pnt3f(float(p.X()), float(p.Y()), float(p.Z()));
        out.vertexFace[index] = osg::UInt32(face);
        out.uv[2 * index] = u;
        out.uv[2 * index + 1] = v;
        // Where the curvature is undefined (a pole), the surface just inside the face stands in.
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
        out.normals[index] = toVec(normal);
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
        out.kMax[index] = kMax;
        out.kMin[index] = kMin;
        out.dirMax[index] = toVec(dirMax);
        out.dirMin[index] = toVec(dirMin);
    }
};

const double kMostTriangles = 5e6; // loads within the time limit

std::string tooFineCause(double relative, double expected)
{
    char why[240];
    std::snprintf(why, sizeof why,
                  "the triangulation is too fine for this model: a deflection of %g would make about %.2g "
                  "triangles, more than the %.0e a model may have; a deflection of %.2g or more keeps it under",
                  relative, expected, kMostTriangles, relative * expected / kMostTriangles);
    return why;
}

// Curved faces get about 1 / deflection triangles, and refinement takes time and memory in
// proportion: a deflection far below what the model needs would run until the reader is stopped.
// A refinement at a coarse deflection first tells how many a fine one would make (the angle left
// loose, since it does not scale with the deflection); empty when that is in bounds.
std::string tooFine(const oxCadTessellator& tessellator, double relative, double size)
{
    const double reference = 1e-3;
    if (relative >= reference / 10)
        return std::string();
    std::vector<oxCadTessellator::Face> faces;
    size_t triangles = 0;
    tessellator.tessellate(reference * size, M_PI / 4, faces, triangles, size_t(kMostTriangles));
    const double expected = double(triangles) * reference / relative;
    return expected <= kMostTriangles ? std::string() : tooFineCause(relative, expected);
}

// The refined faces into the answer, with exact data per vertex, in parallel.
void addFaces(const oxCadModel::Impl& model, const std::vector<oxCadTessellator::Face>& faces, Answer& out)
{
    std::vector<size_t> first(faces.size() + 1, 0);
    for (size_t f = 0; f < faces.size(); ++f)
        first[f + 1] = first[f] + faces[f].vertexCount();
    const size_t n = first.back();
    out.positions.resize(n);
    out.normals.resize(n);
    out.vertexFace.resize(n);
    out.uv.resize(2 * n);
    out.kMax.resize(n);
    out.kMin.resize(n);
    out.dirMax.resize(n);
    out.dirMin.resize(n);
    tbb::parallel_for(size_t(0), faces.size(),
                      [&](size_t f)
                      {
                          FaceVertices vertices{model.surfaces[f], model.reversed[f], f, 0, 0, 0, 0, out};
                          BRepTools::UVBounds(TopoDS::Face(model.faces(int(f + 1))), vertices.u0, vertices.u1,
                                              vertices.v0, vertices.v1);
                          const oxCadTessellator::Face& face = faces[f];
                          tbb::parallel_for(
                              tbb::blocked_range<size_t>(0, face.vertexCount(), 1024),
                              [&](const tbb::blocked_range<size_t>& r)
                              {
                                  for (size_t i = r.begin(); i < r.end(); ++i)
                                      vertices.set(first[f] + i,
                                                   gp_Pnt(face.xyz[3 * i], face.xyz[3 * i + 1], face.xyz[3 * i + 2]),
                                                   face.uv[2 * i], face.uv[2 * i + 1]);
                              });
                      });
    for (size_t f = 0; f < faces.size(); ++f)
        for (std::uint32_t i : faces[f].triangles)
            out.indices.push_back(osg::UInt32(first[f] + i));
}

// The property's shape in the sewn model: the solids, or the faces of a shape without solids, found
// there as the file placed them; empty when one is missing (sewing rebuilt it).
std::vector<size_t> modelIndices(const TopoDS_Shape& target, const oxCadModel::Impl& model, bool& bySolid)
{
    TopTools_IndexedMapOfShape parts;
    TopExp::MapShapes(target, TopAbs_SOLID, parts);
    bySolid = parts.Extent() > 0;
    if (!bySolid)
        TopExp::MapShapes(target, TopAbs_FACE, parts);
    std::vector<size_t> indices;
    for (int i = 1; i <= parts.Extent(); ++i)
    {
        const int at = (bySolid ? model.solids : model.faces).FindIndex(parts(i));
        if (at == 0)
            return {};
        indices.push_back(size_t(at - 1));
    }
    return indices;
}

// The file's properties on the model. A product's properties hold for every placed copy of its
// solid, the centroid moved with the copy; a shape of several solids or none must be where the
// file put it.
std::vector<oxCadValidationProps> placeProps(const std::vector<FileProps>& file, const oxCadModel::Impl& model)
{
    std::vector<oxCadValidationProps> out;
    std::unordered_multimap<const TopoDS_TShape*, int> copies; // the model's solids by their solid
    for (int i = 1; !file.empty() && i <= model.solids.Extent(); ++i)
        copies.emplace(model.solids(i).TShape().get(), i);
    for (const FileProps& f : file)
    {
        oxCadValidationProps p;
        p.volume = f.volume;
        p.area = f.area;
        auto place = [&](const gp_Trsf& move)
        {
            const gp_Pnt c = f.centroid.Transformed(move);
            for (int k = 0; f.hasCentroid && k < 3; ++k)
                p.centroid[k] = c.Coord(k + 1);
            out.push_back(p);
        };
        TopTools_IndexedMapOfShape solids;
        TopExp::MapShapes(f.target, TopAbs_SOLID, solids);
        if (solids.Extent() == 1)
        {
            const TopoDS_Shape& solid = solids(1);
            const auto [first, last] = copies.equal_range(solid.TShape().get());
            std::vector<int> found;
            for (auto it = first; it != last; ++it)
                found.push_back(it->second);
            // In the model's order, as the findings list them.
            std::sort(found.begin(), found.end());
            for (int i : found)
            {
                p.solids = {size_t(i - 1)};
                place((model.solids(i).Location() * solid.Location().Inverted()).Transformation());
            }
            continue;
        }
        bool bySolid = false;
        std::vector<size_t> indices = modelIndices(f.target, model, bySolid);
        if (indices.empty())
            continue;
        (bySolid ? p.solids : p.faces) = std::move(indices);
        place(gp_Trsf());
    }
    return out;
}

void putProps(const std::vector<oxCadValidationProps>& props, Answer& out)
{
    for (const oxCadValidationProps& p : props)
    {
        out.propValues.insert(out.propValues.end(), {p.volume, p.area, p.centroid[0], p.centroid[1], p.centroid[2]});
        out.propShapes.push_back(osg::UInt32(p.solids.size()));
        out.propShapes.push_back(osg::UInt32(p.faces.size()));
        for (const std::vector<size_t>* indices : {&p.solids, &p.faces})
            for (size_t i : *indices)
                out.propShapes.push_back(osg::UInt32(i));
    }
}

// The properties of the answer; false when its counts do not add up.
bool takeProps(const Answer& answer, std::vector<oxCadValidationProps>& props)
{
    const std::vector<osg::UInt32>& shapes = answer.propShapes;
    size_t at = 0;
    for (size_t v = 0; v + 5 <= answer.propValues.size(); v += 5)
    {
        oxCadValidationProps p;
        p.volume = answer.propValues[v];
        p.area = answer.propValues[v + 1];
        std::copy_n(&answer.propValues[v + 2], 3, p.centroid);
        if (shapes.size() - at < 2 || shapes[at] + size_t(shapes[at + 1]) > shapes.size() - at - 2)
            return false;
        const size_t solids = shapes[at], faces = shapes[at + 1];
        at += 2;
        p.solids.assign(shapes.begin() + long(at), shapes.begin() + long(at + solids));
        at += solids;
        p.faces.assign(shapes.begin() + long(at), shapes.begin() + long(at + faces));
        at += faces;
        props.push_back(std::move(p));
    }
    return at == shapes.size();
}

Answer readFile(const std::string& path, const oxCadOptions& options)
{
    Answer out;
    try
    {
        auto start = std::chrono::steady_clock::now();
        TopoDS_Shape shape;
        double transfer = 0;
        std::vector<FileProps> props;
        out.cause = readShape(path, formatOf(path), shape, out.lost, transfer, props);
        if (!out.cause.empty())
            return out;
        if (shape.IsNull() || !TopExp_Explorer(shape, TopAbs_FACE).More())
        {
            out.cause = "the file holds no faces";
            return out;
        }
        out.stages.push_back(secondsSince(start));
        out.stages.push_back(transfer);

        start = std::chrono::steady_clock::now();
        Bnd_Box box;
        BRepBndLib::Add(shape, box, false);
        const double size = box.IsVoid() ? 1.0 : box.CornerMin().Distance(box.CornerMax());
        // Neighbouring faces of STEP and IGES files often do not share their edges.
        shape = oxCadSewing::sew(shape, std::max(1e-4 * size, Precision::Confusion()));
        const oxCadModel::Impl model(shape);
        putProps(placeProps(props, model), out);
        out.stages.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        const double modelSize = model.size > 0 ? model.size : size;
        const double deflection = std::max(options.deflection, 1e-7) * modelSize;
        const double angle = std::clamp(options.angleDegrees, 0.5, 45.0) * M_PI / 180.0;
        // Open CASCADE's mesher slows down more than linearly on fine meshes of dense B-splines: it
        // makes only a coarse base, refined on the exact surfaces.
        const oxCadTessellator tessellator(model, std::max(0.02 * modelSize, 4 * deflection), M_PI / 3);
        out.cause = tooFine(tessellator, options.deflection, modelSize);
        if (!out.cause.empty())
            return out;
        std::vector<oxCadTessellator::Face> faces;
        size_t triangles = 0;
        if (!tessellator.tessellate(deflection, angle, faces, triangles, size_t(kMostTriangles)))
        {
            // Refinement stops once past the bound: what it made is the least a full run would make.
            out.cause = tooFineCause(options.deflection, double(triangles));
            return out;
        }
        out.stages.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        addFaces(model, faces, out);
        if (out.indices.empty())
        {
            out = Answer();
            out.cause = "none of its faces could be triangulated";
            return out;
        }
        out.stages.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        // Binary: as B-rep text the benchmark's 64-part assembly (35 MB) took 1 s to write and
        // 0.35 s to read back, in binary (17 MB) 0.1 s each.
        std::ostringstream brep;
        BinTools::Write(shape, brep, false, false, BinTools_FormatVersion_CURRENT);
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
    const Answer answer = readFile(path, options);
    const auto start = std::chrono::steady_clock::now();
    std::string bytes = answer.serialize();
    if (answer.stages.size() == 6)
    {
        // The serialize stage, so far the B-rep alone, takes in the answer's bytes too: patched in
        // place, as the last number before the list of lost entities that ends the answer.
        const double serialize = answer.stages.back() + secondsSince(start);
        std::memcpy(
            &bytes[bytes.size() - sizeof(quint64) - answer.lost.size() * sizeof(osg::UInt32) - sizeof serialize],
            &serialize, sizeof serialize);
    }
    return bytes;
}

namespace
{
// Why the file cannot be imported before it is read, or "".
std::string unreadable(const QFileInfo& info, const std::string& path)
{
    const std::string cause = oxRenderUtil::unreadable(path);
    if (!cause.empty())
        return cause;
    if (!oxCadImporter::isCadFile(path))
        return "unsupported format \"" + info.suffix().toStdString() + "\" (supported: STEP, IGES, BREP)";
    return std::string();
}

// The answer's bytes taken in: their sizes checked and the model rebuilt from its shape; why not, or "".
std::string accept(const std::string& bytes, Answer& answer, std::shared_ptr<oxCadModel>& model)
{
    if (!answer.deserialize(bytes) || (answer.cause.empty() && !answer.consistent()))
        return "the importer failed on it";
    if (!answer.cause.empty())
        return answer.cause;
    std::string cause;
    model = oxCadModel::fromBrep(answer.brep, cause);
    if (!model)
        return cause;
    for (osg::UInt32 f : answer.vertexFace)
        if (f >= model->faceCount())
            return "the importer's answer does not fit its shape";
    std::vector<oxCadValidationProps> props;
    if (!takeProps(answer, props) || !model->setValidationProps(std::move(props)))
        return "the importer's validation properties do not fit its shape";
    return cause;
}

// The cache's entry under key as the reader program answers for it: checked, then taken in here
// as the host takes it in (its shape parsed, the model built), so that the host parses no bytes
// that did not pass the same code in this process, within its memory cap and time limit (an entry
// that passed its checksum may still be of a build that forgot to bump the format version). They go
// back as they are: Open CASCADE normalises directions as it reads, so a shape written again
// would differ from the fresh read's in the last bits. A refused entry answers why.
std::string entryAnswer(const std::string& folder, const std::string& key)
{
    std::string bytes;
    Answer answer, refused;
    std::shared_ptr<oxCadModel> model;
    refused.cause = oxCadCache(folder, 0).find(key, bytes) ? accept(bytes, answer, model)
                                                           : "the cache's entry does not pass its checks";
    return refused.cause.empty() ? bytes : refused.serialize();
}

// The answer kept in the cache under key, as the reader program checked and sent it, and the model
// of its shape; why not, or "". A refused entry is removed; one the user stopped stays.
std::string cachedAnswer(const oxCadCache& cache, const std::string& key, int seconds, Answer& answer,
                         std::shared_ptr<oxCadModel>& model, oxCadImporter::Stages& stages)
{
    auto start = std::chrono::steady_clock::now();
    std::string bytes;
    std::string cause = oxIsolatedProcess::run(oxCadImporter::entryRequest(cache.folder(), key), seconds, bytes,
                                               oxIsolatedProcess::Options{true});
    stages.check = secondsSince(start);
    if (cause == oxIsolatedProcess::Cancelled || cause == oxIsolatedProcess::Interrupted)
        return cause;
    start = std::chrono::steady_clock::now();
    // Taken in as a fresh answer is, after the reader did the same.
    if (cause.empty())
        cause = accept(bytes, answer, model);
    if (cause.empty())
    {
        stages.cached = true;
        stages.rebuild = secondsSince(start);
        return cause;
    }
    answer = Answer();
    model.reset();
    cache.remove(key);
    return cause;
}

// The importer's answer, from the cache or from its own process, and the model of its shape; why
// not, or "". A fresh answer goes to the cache.
std::string importAnswer(const std::string& path, const oxCadOptions& options, const QFileInfo& info, Answer& answer,
                         std::shared_ptr<oxCadModel>& model, oxCadImporter::Stages& stages)
{
    const oxCadCache cache;
    const bool caching = oxCadCache::enabled() && cache.problem().empty();
    if (oxCadCache::enabled() && !caching)
        std::fprintf(stderr, "warning: the CAD cache is not used: %s\n", cache.problem().c_str());
    const int seconds = options.timeoutSeconds > 0 ? options.timeoutSeconds : 60 + 10 * int(info.size() / (1 << 20));
    std::string key, bytes;
    auto start = std::chrono::steady_clock::now();
    if (caching)
    {
        key = oxCadCache::key(path, options);
        stages.key = secondsSince(start);
        // Only what is there goes to the reader: a miss starts one reader, not two.
        if (cache.holds(key))
        {
            const std::string cause = cachedAnswer(cache, key, seconds, answer, model, stages);
            if (cause.empty() || cause == oxIsolatedProcess::Cancelled || cause == oxIsolatedProcess::Interrupted)
                return cause;
        }
    }

    std::string cause =
        oxIsolatedProcess::run(oxCadImporter::request(path, options), seconds, bytes, oxIsolatedProcess::Options{true});
    if (!cause.empty())
        return cause;
    start = std::chrono::steady_clock::now();
    cause = accept(bytes, answer, model);
    stages.rebuild = secondsSince(start);
    if (cause.empty() && !key.empty())
    {
        std::string reason;
        if (!cache.store(key, bytes, reason))
            std::fprintf(stderr, "warning: CAD file \"%s\" is not kept in the cache: %s\n", path.c_str(),
                         reason.c_str());
    }
    return cause;
}
} // namespace

bool oxCadImporter::load(const std::string& path, const oxCadOptions& options, oxRenderMesh& mesh,
                         std::shared_ptr<oxCadMesh>& cad, std::string& error, Stages* stages)
{
    const auto start = std::chrono::steady_clock::now();
    const QFileInfo info(QString::fromStdString(path));
    Answer answer;
    std::shared_ptr<oxCadModel> model;
    Stages times;
    std::string cause = unreadable(info, path);
    if (cause.empty())
        cause = importAnswer(path, options, info, answer, model, times);
    const std::string lost = std::to_string(answer.lost.size()) + " damaged entities of the file could not be read";
    if (cause.empty() && !answer.lost.empty() && options.strict)
        cause = lost;
    if (!cause.empty())
    {
        error = "cannot read CAD file \"" + path + "\": " + cause;
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
    data->lostEntities = answer.lost.size();
    if (!answer.lost.empty())
        std::fprintf(stderr, "warning: CAD file \"%s\": %s; the model lacks what they held\n", path.c_str(),
                     lost.c_str());
    mesh = std::move(result);
    cad = std::move(data);
    if (stages)
    {
        const std::vector<double>& s = answer.stages;
        if (!times.cached && s.size() == 6)
        {
            times.read = s[0];
            times.transfer = s[1];
            times.sew = s[2];
            times.mesh = s[3];
            times.exact = s[4];
            times.serialize = s[5];
        }
        times.total = secondsSince(start);
        *stages = times;
    }
    return true;
}

std::vector<std::string> oxCadImporter::request(const std::string& path, const oxCadOptions& options)
{
    char deflection[32], angle[32];
    std::snprintf(deflection, sizeof deflection, "%.17g", options.deflection);
    std::snprintf(angle, sizeof angle, "%.17g", options.angleDegrees);
    return {"cad", path, deflection, angle};
}

std::vector<std::string> oxCadImporter::entryRequest(const std::string& folder, const std::string& key)
{
    return {"cad-entry", folder, key};
}

std::string oxCadImporter::readAnswer(const std::vector<std::string>& request)
{
    if (request.size() == 3 && request[0] == "cad-entry")
        return entryAnswer(request[1], request[2]);
    if (request.size() != 4 || request[0] != "cad")
        throw std::invalid_argument("not a CAD file's request");
    oxCadOptions options;
    options.deflection = std::stod(request[2]);
    options.angleDegrees = std::stod(request[3]);
    return readAnswer(request[1], options);
}
