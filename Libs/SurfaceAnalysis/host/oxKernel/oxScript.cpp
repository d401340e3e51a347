// Python first: it may redefine feature macros that later headers depend on.
#include <Python.h>

#include "oxLog.h"
#include "oxPythonRegisterFactory.h"
#include "oxScript.h"

bool oxScript::run(const char* line)
{
    if (!line)
    {
        oxLog::error("oxScript::run: no script line given");
        return false;
    }
    if (!Py_IsInitialized())
    {
        oxLog::error("oxScript::run: the Python interpreter is not running, cannot run \"%s\"", line);
        return false;
    }
    const PyGILState_STATE gil = PyGILState_Ensure();
    const bool ok = PyRun_SimpleString(line) == 0;
    PyGILState_Release(gil);
    if (!ok)
        oxLog::error("oxScript::run: the script line \"%s\" raised an exception", line);
    return ok;
}

bool oxScript::initialize()
{
    if (Py_IsInitialized())
        return false;
    oxPythonRegisterFactory::run(oxPythonRegisterFactory::BeforeInitialize);
    Py_Initialize();
    oxPythonRegisterFactory::run(oxPythonRegisterFactory::AfterInitialize);
    return true;
}

bool oxScript::finalize()
{
    if (!Py_IsInitialized())
        return false;
    return Py_FinalizeEx() == 0;
}
