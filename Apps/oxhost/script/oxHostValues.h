#pragma once

// Python first: it may redefine feature macros that later headers depend on.
#include <boost/python.hpp>

#include "OSGVector.h"
#include "oxCadMesh.h"
#include "oxHostResultFields.h"

#include <boost/any.hpp>

#include <string>

// Between Python values and the host's message values (bool, unsigned int, float, osg::Vec3f).
// The from-Python conversions raise a Python TypeError or OverflowError that names `what`.
class oxHostValues
{
public:
    static boost::python::object toPython(const boost::any& value, const std::string& what);
    static boost::python::tuple toTuple(const osg::Vec3f& v);
    // A result field's value: a Count as int, a Pair as a tuple, a Text as str, else a float.
    static boost::python::object toPython(oxResultFormat format, const oxResultValue& value);
    // Every field of r into d under its key, in the fields' order.
    template <typename R>
    static void putFields(boost::python::dict& d, const std::vector<oxResultField<R>>& fields, const R& r)
    {
        for (const oxResultField<R>& f : fields)
            d[f.key] = toPython(f.format, f.value(r));
    }

    static bool toBool(const boost::python::object& value, const std::string& what);
    static unsigned int toUnsigned(const boost::python::object& value, const std::string& what);
    static float toFloat(const boost::python::object& value, const std::string& what);
    static osg::Vec3f toVec3f(const boost::python::object& value, const std::string& what);
    // Python bool -> bool, int -> unsigned int, float -> float, three numbers -> osg::Vec3f.
    static boost::any toAny(const boost::python::object& value, const std::string& what);

    // In the current Boost.Python scope: the class Vec3f, and the conversion of any sequence of
    // three numbers to osg::Vec3f for every C++ function that takes one.
    static void defineVec3f();

    // The CAD triangulation of a load call: the defaults where an argument is None; a ValueError
    // unless both are more than 0.
    static oxCadOptions toCadOptions(const boost::python::object& deflection, const boost::python::object& angle);

    // The unit vector along a Vec3f or three numbers, normalised in double so that a long one is
    // not taken for zero; a ValueError naming `what` for a vector with no direction.
    static osg::Vec3f toDirection(const boost::python::object& value, const std::string& what);

    // A ValueError naming `what` unless every component is finite.
    static void requireFinite(const osg::Vec3f& v, const std::string& what);
    static void requireFinite(float x, const std::string& what);

    [[noreturn]] static void raise(PyObject* type, const std::string& message);
};
