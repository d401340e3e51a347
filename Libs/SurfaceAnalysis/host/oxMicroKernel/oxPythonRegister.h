#pragma once

#include "oxPythonRegisterFactory.h"

// Registers a start-up function for as long as it lives; meant as a library-global object.
class oxPythonRegister
{
public:
    explicit oxPythonRegister(oxPythonRegisterFactory::Function function);
    ~oxPythonRegister();

    oxPythonRegister(const oxPythonRegister&) = delete;
    oxPythonRegister& operator=(const oxPythonRegister&) = delete;

private:
    oxPythonRegisterFactory::Function _function;
};
