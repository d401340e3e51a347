#include "oxPythonRegister.h"

oxPythonRegister::oxPythonRegister(oxPythonRegisterFactory::Function function) : _function(function)
{
    oxPythonRegisterFactory::add(_function);
}

oxPythonRegister::~oxPythonRegister()
{
    oxPythonRegisterFactory::remove(_function);
}
