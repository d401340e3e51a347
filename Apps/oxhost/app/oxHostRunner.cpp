// Python first: it may redefine feature macros that later headers depend on.
#include <Python.h>

#include "oxHostRunner.h"

#include "oxHostFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
void flushStandardStreams()
{
    for (const char* name : {"stdout", "stderr"})
        if (PyObject* stream = PySys_GetObject(name)) // borrowed
        {
            PyObject* result = PyObject_CallMethod(stream, "flush", nullptr);
            if (!result)
                PyErr_Clear();
            Py_XDECREF(result);
        }
}

// The exit status for the pending exception; a SystemExit is handled here, since PyErr_Print
// would end the process on the spot, without the host's shutdown.
int statusOfError()
{
    if (!PyErr_ExceptionMatches(PyExc_SystemExit))
    {
        PyErr_Print();
        return 1;
    }
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    int status = 0;
    PyObject* code = value ? PyObject_GetAttrString(value, "code") : nullptr;
    if (!code)
        PyErr_Clear();
    else if (PyLong_Check(code))
    {
        status = int(PyLong_AsLong(code));
        if (PyErr_Occurred())
        {
            PyErr_Clear();
            status = 1;
        }
    }
    else if (code != Py_None)
    {
        // sys.exit("message"): the message goes to stderr and the status is 1.
        if (PyObject* err = PySys_GetObject("stderr"))
        {
            PyFile_WriteObject(code, err, Py_PRINT_RAW);
            PyFile_WriteString("\n", err);
        }
        PyErr_Clear();
        status = 1;
    }
    Py_XDECREF(code);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    return status;
}

bool setArgv(const std::vector<std::string>& argv, const std::string& pathEntry)
{
    PyObject* list = PyList_New(0);
    for (const std::string& arg : argv)
    {
        PyObject* item = PyUnicode_DecodeFSDefault(arg.c_str());
        if (!item)
        {
            Py_DECREF(list);
            return false;
        }
        PyList_Append(list, item);
        Py_DECREF(item);
    }
    PySys_SetObject("argv", list);
    Py_DECREF(list);

    if (PyObject* path = PySys_GetObject("path"))
    {
        PyObject* entry = PyUnicode_DecodeFSDefault(pathEntry.c_str());
        if (!entry)
            return false;
        PyList_Insert(path, 0, entry);
        Py_DECREF(entry);
    }
    return true;
}

// Compiles and runs the source in __main__ under the file name tracebacks show.
int run(const std::string& source, const std::string& filename)
{
    PyObject* mainModule = PyImport_AddModule("__main__"); // borrowed
    PyObject* globals = mainModule ? PyModule_GetDict(mainModule) : nullptr;
    if (!globals)
    {
        PyErr_Print();
        return 1;
    }
    PyObject* code = Py_CompileStringExFlags(source.c_str(), filename.c_str(), Py_file_input, nullptr, -1);
    PyObject* result = code ? PyEval_EvalCode(code, globals, globals) : nullptr;
    Py_XDECREF(code);
    const int status = result ? 0 : statusOfError();
    Py_XDECREF(result);
    flushStandardStreams();
    return status;
}

std::string directoryOf(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    std::string full = resolved ? resolved : path;
    std::free(resolved);
    const std::size_t slash = full.rfind('/');
    return slash == std::string::npos ? std::string() : full.substr(0, slash == 0 ? 1 : slash);
}

// The console: Python's own interactive console on the script namespace. Its helpers live in a
// namespace of their own, so the user's namespace holds only what the user puts there.
const char* const ConsoleSource = R"(
import code, sys
import __main__

class Console(code.InteractiveConsole):
    failed = False

    def raw_input(self, prompt=""):
        return input(prompt if interactive else "")

    def showtraceback(self):
        self.failed = True
        super().showtraceback()

    def showsyntaxerror(self, filename=None):
        self.failed = True
        super().showsyntaxerror(filename)

    def write(self, data):
        # The newline that ends a session at the end of input belongs on a terminal only.
        if interactive or data != "\n":
            super().write(data)

interactive = sys.stdin is not None and sys.stdin.isatty()
if interactive:
    try:
        import readline
    except ImportError:
        pass
console = Console(__main__.__dict__)
console.interact(banner=banner if interactive else "", exitmsg="")
status = 1 if console.failed and not interactive else 0
)";
} // namespace

int oxHostRunner::runScript(const std::string& path, const std::vector<std::string>& argv)
{
    std::string source, error;
    oxHostFile::ReadOptions options;
    options.pipes = true;
    if (!oxHostFile::read(path, source, error, options))
    {
        std::fprintf(stderr, "oxhost: cannot read the script \"%s\": %s\n", path.c_str(), error.c_str());
        return 2;
    }
    if (!setArgv(argv, directoryOf(path)))
        return statusOfError();
    PyObject* mainModule = PyImport_AddModule("__main__");
    if (PyObject* file = PyUnicode_DecodeFSDefault(path.c_str()))
    {
        PyObject_SetAttrString(mainModule, "__file__", file);
        Py_DECREF(file);
    }
    return run(source, path);
}

int oxHostRunner::runCode(const std::string& code, const std::vector<std::string>& argv)
{
    if (!setArgv(argv, ""))
        return statusOfError();
    return run(code, "<string>");
}

int oxHostRunner::runConsole(const std::vector<std::string>& argv, const std::string& banner)
{
    if (!setArgv(argv, ""))
        return statusOfError();
    PyObject* globals = PyDict_New();
    PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins());
    PyObject* text = PyUnicode_FromString(banner.c_str());
    PyDict_SetItemString(globals, "banner", text);
    Py_XDECREF(text);
    PyObject* result = PyRun_String(ConsoleSource, Py_file_input, globals, globals);
    int status;
    if (!result)
        status = statusOfError();
    else
    {
        PyObject* value = PyDict_GetItemString(globals, "status"); // borrowed
        status = value ? int(PyLong_AsLong(value)) : 0;
    }
    Py_XDECREF(result);
    Py_DECREF(globals);
    flushStandardStreams();
    return status;
}
