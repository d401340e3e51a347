#include "oxCheckModel.h"

#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <TopoDS_Compound.hxx>

#include <cmath>

namespace
{
// Relative error of the integrals: far below any threshold worth setting.
const double kAccuracy = 1e-5;

// A property's shape: its one solid, or a compound of its solids or faces.
TopoDS_Shape shapeOf(const oxCadModel::Impl& d, const oxCadValidationProps& p)
{
    if (p.solids.size() == 1 && p.faces.empty())
        return d.solids(int(p.solids[0]) + 1);
    BRep_Builder builder;
    TopoDS_Compound all;
    builder.MakeCompound(all);
    for (size_t s : p.solids)
        builder.Add(all, d.solids(int(s) + 1));
    for (size_t f : p.faces)
        builder.Add(all, d.faces(int(f) + 1));
    return all;
}

// How far the geometry's value is from the file's, in percent of the file's.
double percentOff(double file, double geometry)
{
    const double scale = std::abs(file) > 0 ? std::abs(file) : std::abs(geometry);
    return scale > 0 ? 100 * std::abs(geometry - file) / scale : 0;
}

using oxCheckNumbers::text;

// "(50, 0, 10)": coordinates within rounding of zero, against the shape's size, print as 0.
std::string point(gp_Pnt p, double size)
{
    for (int k = 1; k <= 3; ++k)
        if (std::abs(p.Coord(k)) < 1e-9 * size)
            p.SetCoord(k, 0);
    return oxCheckNumbers::point(p);
}

class PropsCheck
{
public:
    PropsCheck(oxCheckContext& c, const oxCadValidationProps& p) : _c(c), _p(p) {}

    void run()
    {
        const TopoDS_Shape shape = shapeOf(_c.d, _p);
        GProp_GProps volume, surface;
        BRepGProp::VolumeProperties(shape, volume, kAccuracy);
        BRepGProp::SurfaceProperties(shape, surface, kAccuracy);
        // Where a finding is shown: the centroid of the solid, or of the faces when there is none.
        _at = _p.solids.empty() ? surface.CentreOfMass() : volume.CentreOfMass();
        if (!std::isnan(_p.volume))
            measure("volume", _p.volume, volume.Mass(), " mm³");
        if (!std::isnan(_p.area))
            measure("area", _p.area, surface.Mass(), " mm²");
        if (!std::isnan(_p.centroid[0]))
            centroid(shape);
    }

private:
    void measure(const char* quantity, double file, double geometry, const char* unit)
    {
        const double off = percentOff(file, geometry);
        if (!(off > threshold()))
            return;
        add(off, std::string(quantity) + " " + text(file) + unit + " in the file, " + text(geometry) + unit +
                     " from the geometry: " + text(off) + " % > " + text(threshold()) + " %");
    }

    void centroid(const TopoDS_Shape& shape)
    {
        Bnd_Box box;
        BRepBndLib::Add(shape, box, false);
        const double size = box.IsVoid() ? 0 : box.CornerMin().Distance(box.CornerMax());
        const gp_Pnt file(_p.centroid[0], _p.centroid[1], _p.centroid[2]);
        const double apart = file.Distance(_at);
        const double off = size > 0 ? 100 * apart / size : 0;
        if (!(off > threshold()))
            return;
        add(off, "centroid " + point(file, size) + " in the file, " + point(_at, size) + " from the geometry: " +
                     text(apart) + " mm apart, " + text(off) + " % of its size > " + text(threshold()) + " %");
    }

    // On the solid, or on the part naming the solids or faces the property was given for.
    void add(double value, const std::string& message)
    {
        if (_p.solids.size() == 1 && _p.faces.empty())
        {
            _c.add(C, value, "solid", _c.solidNumber(_p.solids[0]), _at, message);
            return;
        }
        std::string which;
        for (size_t s : _p.solids)
            which += (which.empty() ? "solids " : ", ") + std::to_string(_c.solidNumber(s));
        if (which.empty())
            which = std::to_string(_p.faces.size()) + " faces";
        _c.add(C, value, "part", 0, _at, which + ": " + message);
    }

    double threshold() const { return _c.threshold(C); }

    static constexpr oxCheckCriterion C = oxCheckCriterion::VALIDATION_PROPS;
    oxCheckContext& _c;
    const oxCadValidationProps& _p;
    gp_Pnt _at;
};
} // namespace

void oxCheckSteps::validationProps(oxCheckContext& c)
{
    if (!c.on(oxCheckCriterion::VALIDATION_PROPS))
        return;
    for (const oxCadValidationProps& p : c.model.validationProps())
        PropsCheck(c, p).run();
}
