// Bytes as calls of the fourteen script functions with arguments of any type and number.
// A refused call raises a Python exception, which is fine; a crash, hang or leak is not.

#include "fuzzinput.h"

#include "moduletestsupport.h"
#include "oxHostRooms.h"
#include "oxHostScript.h"
#include "oxScript.h"

#include <Python.h>

#include <QApplication>

#include <cstdlib>

namespace
{
const char* const Functions[] = {"enableSurfaceAnalysis",
                                 "setSurfaceAnalysisMode",
                                 "setSurfaceAnalysisShowDirection",
                                 "setSurfaceAnalysisDirection",
                                 "setSurfaceAnalysisSetToXAxis",
                                 "setSurfaceAnalysisSetToYAxis",
                                 "setSurfaceAnalysisSetToZAxis",
                                 "setSurfaceAnalysisPickNormal",
                                 "setSurfaceAnalysisUseCamVec",
                                 "setSurfaceAnalysisLineType",
                                 "setSurfaceAnalysisLineCount",
                                 "setSurfaceAnalysisLineColor",
                                 "setSurfaceAnalysisSurfaceLightingMode",
                                 "setSurfaceAnalysisSurfaceBaseColor"};
constexpr int FunctionCount = sizeof(Functions) / sizeof(Functions[0]);

PyObject* number(FuzzInput& in)
{
    switch (in.byte() % 4)
    {
    case 0:
        return PyLong_FromLong(in.raw<int8_t>());
    case 1:
        return PyLong_FromLongLong(in.raw<long long>());
    case 2:
    {
        // Beyond 64 bits.
        PyObject* big = PyLong_FromUnsignedLongLong(in.raw<unsigned long long>());
        PyObject* shift = PyLong_FromLong(in.byte() % 80);
        PyObject* result = PyNumber_Lshift(big, shift);
        Py_DECREF(big);
        Py_DECREF(shift);
        return result;
    }
    default:
        return PyFloat_FromDouble(in.real());
    }
}

PyObject* argument(FuzzInput& in)
{
    switch (in.byte() % 6)
    {
    case 0:
        return number(in);
    case 1:
        return PyBool_FromLong(in.byte() & 1);
    case 2:
    {
        const int n = 1 + in.byte() % 4;
        PyObject* tuple = PyTuple_New(n);
        for (int i = 0; i < n; ++i)
            PyTuple_SET_ITEM(tuple, i, number(in));
        return tuple;
    }
    case 3:
    {
        const std::string s = in.text(12);
        PyObject* str = PyUnicode_DecodeLatin1(s.data(), Py_ssize_t(s.size()), nullptr);
        return str;
    }
    case 4:
    {
        // The host's own vector type.
        PyObject* module = PyImport_ImportModule("oxHost");
        PyObject* type = module ? PyObject_GetAttrString(module, "Vec3f") : nullptr;
        PyObject* vec =
            type ? PyObject_CallFunction(type, "fff", double(in.real()), double(in.real()), double(in.real()))
                 : nullptr;
        Py_XDECREF(type);
        Py_XDECREF(module);
        if (!vec)
            PyErr_Clear();
        return vec ? vec : number(in);
    }
    default:
        Py_RETURN_NONE;
    }
}

std::unique_ptr<ModuleHost> host;
PyObject* functions[FunctionCount] = {};
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication app(*argc, *argv);
    host.reset(new ModuleHost);
    host->reset();
    oxHostScript::install();
    oxHostRooms::install();
    if (!oxScript::initialize())
        std::abort();
    PyObject* module = PyImport_ImportModule("oxSurfaceAnalysis");
    if (!module)
        std::abort();
    for (int i = 0; i < FunctionCount; ++i)
        if (!(functions[i] = PyObject_GetAttrString(module, Functions[i])))
            std::abort();
    Py_DECREF(module);
    std::atexit(
        []
        {
            for (PyObject*& f : functions)
                Py_CLEAR(f);
            oxScript::finalize();
            host.reset();
        });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    for (int call = 0; call < 16 && !in.empty(); ++call)
    {
        PyObject* function = functions[in.byte() % FunctionCount];
        // Mostly the one argument they take; sometimes none or two.
        const uint8_t shape = in.byte();
        const int n = shape < 200 ? 1 : shape % 3;
        PyObject* args = PyTuple_New(n);
        for (int i = 0; i < n; ++i)
            PyTuple_SET_ITEM(args, i, argument(in));
        PyObject* result = PyObject_Call(function, args, nullptr);
        Py_XDECREF(result);
        Py_DECREF(args);
        PyErr_Clear();
    }
    // Keep the undo stack from growing over a long run.
    oxUndoStack::get(0).clear();
    oxLog::clear();
    return 0;
}
