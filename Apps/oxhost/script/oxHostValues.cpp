#include "oxHostValues.h"

#include "oxRenderMath.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace bp = boost::python;

namespace
{
// A finite double that would round beyond FLT_MAX has no float value (converting it is undefined);
// NaN and the infinities keep theirs. Halfway between FLT_MAX and 2^128 already rounds up.
bool fitsFloat(double d)
{
    static const double limit = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    return !std::isfinite(d) || std::fabs(d) < limit;
}

// A Python number (int, float or anything with __float__ or __index__) as a double; bool and
// str are not numbers here. False, with no Python error pending, otherwise.
bool numberValue(PyObject* item, double& out)
{
    if (PyBool_Check(item) || PyUnicode_Check(item) || PyBytes_Check(item))
        return false;
    out = PyFloat_AsDouble(item);
    if (out == -1.0 && PyErr_Occurred())
    {
        PyErr_Clear();
        return false;
    }
    return true;
}

// Any sequence of three numbers converts to osg::Vec3f wherever a C++ function takes one.
struct Vec3fFromSequence
{
    static bool values(PyObject* obj, double xyz[3])
    {
        if (!PySequence_Check(obj) || PyUnicode_Check(obj) || PyBytes_Check(obj) || PyByteArray_Check(obj))
            return false;
        const Py_ssize_t n = PySequence_Size(obj);
        if (n != 3)
        {
            if (n < 0)
                PyErr_Clear();
            return false;
        }
        for (Py_ssize_t i = 0; i < 3; ++i)
        {
            PyObject* item = PySequence_GetItem(obj, i);
            if (!item)
            {
                PyErr_Clear();
                return false;
            }
            const bool ok = numberValue(item, xyz[i]) && fitsFloat(xyz[i]);
            Py_DECREF(item);
            if (!ok)
                return false;
        }
        return true;
    }

    static void* convertible(PyObject* obj)
    {
        double xyz[3];
        return values(obj, xyz) ? obj : nullptr;
    }

    static void construct(PyObject* obj, bp::converter::rvalue_from_python_stage1_data* data)
    {
        double xyz[3] = {0, 0, 0};
        values(obj, xyz);
        void* storage = reinterpret_cast<bp::converter::rvalue_from_python_storage<osg::Vec3f>*>(data)->storage.bytes;
        new (storage) osg::Vec3f(float(xyz[0]), float(xyz[1]), float(xyz[2]));
        data->convertible = storage;
    }
};

int checkedIndex(int i)
{
    if (i < 0)
        i += 3;
    if (i < 0 || i > 2)
        oxHostValues::raise(PyExc_IndexError, "Vec3f index out of range");
    return i;
}

float getItem(const osg::Vec3f& v, int i)
{
    return v[checkedIndex(i)];
}

void setItem(osg::Vec3f& v, int i, float value)
{
    v[checkedIndex(i)] = value;
}

int length(const osg::Vec3f&)
{
    return 3;
}

std::string floatRepr(float f)
{
    if (std::isnan(f))
        return "nan";
    if (std::isinf(f))
        return f > 0 ? "inf" : "-inf";
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, f).ptr);
}

std::string repr(const osg::Vec3f& v)
{
    return "Vec3f(" + floatRepr(v[0]) + ", " + floatRepr(v[1]) + ", " + floatRepr(v[2]) + ")";
}

bool equals(const osg::Vec3f& v, const bp::object& other)
{
    bp::extract<osg::Vec3f> o(other);
    return o.check() && osg::Vec3f(o()) == v;
}

bool notEquals(const osg::Vec3f& v, const bp::object& other)
{
    return !equals(v, other);
}

template <int I> float component(const osg::Vec3f& v)
{
    return v[I];
}
template <int I> void setComponent(osg::Vec3f& v, float value)
{
    v[I] = value;
}
} // namespace

void oxHostValues::raise(PyObject* type, const std::string& message)
{
    PyErr_SetString(type, message.c_str());
    throw bp::error_already_set();
}

bp::tuple oxHostValues::toTuple(const osg::Vec3f& v)
{
    return bp::make_tuple(double(v[0]), double(v[1]), double(v[2]));
}

bp::object oxHostValues::toPython(const boost::any& value, const std::string& what)
{
    if (value.empty())
        return bp::object();
    if (value.type() == typeid(bool))
        return bp::object(boost::any_cast<bool>(value));
    if (value.type() == typeid(unsigned int))
        return bp::object(boost::any_cast<unsigned int>(value));
    if (value.type() == typeid(float))
        return bp::object(double(boost::any_cast<float>(value)));
    if (value.type() == typeid(osg::Vec3f))
        return toTuple(boost::any_cast<osg::Vec3f>(value));
    if (value.type() == typeid(std::string))
        return bp::object(boost::any_cast<const std::string&>(value));
    raise(PyExc_TypeError, what + " holds a value of a type that scripts cannot read");
}

bp::object oxHostValues::toPython(oxResultFormat format, const oxResultValue& value)
{
    switch (format)
    {
    case oxResultFormat::Count:
    case oxResultFormat::FaceCount:
        return bp::object(value.pair[0]);
    case oxResultFormat::Pair:
        return bp::make_tuple(value.pair[0], value.pair[1]);
    case oxResultFormat::Text:
        return bp::object(value.text);
    default:
        return bp::object(value.number);
    }
}

bool oxHostValues::toBool(const bp::object& value, const std::string& what)
{
    if (!PyBool_Check(value.ptr()))
        raise(PyExc_TypeError, what + " must be True or False");
    return value.ptr() == Py_True;
}

unsigned int oxHostValues::toUnsigned(const bp::object& value, const std::string& what)
{
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr()))
        raise(PyExc_TypeError, what + " must be a whole number");
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || n < 0 || n > (long long)UINT_MAX)
        raise(PyExc_OverflowError, what + " must be from 0 to 4294967295");
    return static_cast<unsigned int>(n);
}

float oxHostValues::toFloat(const bp::object& value, const std::string& what)
{
    double d;
    if (!numberValue(value.ptr(), d))
        raise(PyExc_TypeError, what + " must be a number");
    if (!fitsFloat(d))
        raise(PyExc_OverflowError, what + " is beyond the range of a 32-bit float");
    return float(d);
}

osg::Vec3f oxHostValues::toVec3f(const bp::object& value, const std::string& what)
{
    bp::extract<osg::Vec3f> v(value);
    if (!v.check())
        raise(PyExc_TypeError, what + " must be a Vec3f or a sequence of three numbers");
    return v();
}

boost::any oxHostValues::toAny(const bp::object& value, const std::string& what)
{
    PyObject* p = value.ptr();
    if (PyBool_Check(p))
        return boost::any(p == Py_True);
    if (PyLong_Check(p))
        return boost::any(toUnsigned(value, what));
    if (PyFloat_Check(p))
        return boost::any(toFloat(value, what));
    double xyz[3];
    if (Vec3fFromSequence::values(p, xyz) || bp::extract<osg::Vec3f>(value).check())
        return boost::any(toVec3f(value, what));
    raise(PyExc_TypeError, what + " must be a bool, an int, a float or three numbers");
}

void oxHostValues::defineVec3f()
{
    bp::class_<osg::Vec3f>("Vec3f",
                           "Vec3f(x=0, y=0, z=0)\n\nThree 32-bit floats: a position, a direction, a colour or Euler "
                           "angles in degrees. Wherever a Vec3f is taken, any sequence of three numbers will do.",
                           bp::init<>())
        .def(bp::init<float, float, float>())
        .add_property("x", &component<0>, &setComponent<0>)
        .add_property("y", &component<1>, &setComponent<1>)
        .add_property("z", &component<2>, &setComponent<2>)
        .def("__getitem__", &getItem)
        .def("__setitem__", &setItem)
        .def("__len__", &length)
        .def("__repr__", &repr)
        .def("__eq__", &equals)
        .def("__ne__", &notEquals);
    bp::converter::registry::push_back(&Vec3fFromSequence::convertible, &Vec3fFromSequence::construct,
                                       bp::type_id<osg::Vec3f>());
}

osg::Vec3f oxHostValues::toDirection(const bp::object& value, const std::string& what)
{
    const osg::Vec3f v = toVec3f(value, what);
    requireFinite(v, what);
    osg::Vec3f unit;
    if (!oxRenderMath::direction(v, unit))
        raise(PyExc_ValueError, what + " must be a direction, not the zero vector");
    return unit;
}

void oxHostValues::requireFinite(const osg::Vec3f& v, const std::string& what)
{
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]))
        raise(PyExc_ValueError, what + " must be finite, not (" + std::to_string(v[0]) + ", " + std::to_string(v[1]) +
                                    ", " + std::to_string(v[2]) + ")");
}

void oxHostValues::requireFinite(float x, const std::string& what)
{
    if (!std::isfinite(x))
        raise(PyExc_ValueError, what + " must be finite, not " + std::to_string(x));
}

oxCadOptions oxHostValues::toCadOptions(const boost::python::object& deflection, const boost::python::object& angle)
{
    oxCadOptions cad;
    if (!deflection.is_none())
        cad.deflection = toFloat(deflection, "the deflection");
    if (!angle.is_none())
        cad.angleDegrees = toFloat(angle, "the angle");
    if (!(cad.deflection > 0) || !(cad.angleDegrees > 0))
        raise(PyExc_ValueError, "the deflection and the angle must be more than 0");
    return cad;
}
