// The script module "oxSurfaceAnalysis": thin calls into the module object's setters, so a
// script's change is undoable like the same change made in the user interface.
#include "oxSurfaceAnalysisModel.h"

#include "oxPythonRegister.h"
#include "oxScript.h"

#include <boost/python.hpp>

void oxSurfaceAnalysisModel::python_enableSurfaceAnalysis(bool state)
{
    the()->setAnalysisActive(state);
}

// Script ints reach the setters unchanged as unsigned: -1 arrives as 4294967295.
void oxSurfaceAnalysisModel::python_setSurfaceAnalysisMode(int state)
{
    the()->setAnalysisMode(static_cast<unsigned int>(state));
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisShowDirection(bool state)
{
    the()->setLightDirectionVisibility(state);
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisDirection(const osg::Vec3f& state)
{
    the()->setToVector(state);
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisSetToXAxis()
{
    the()->setToVector(osg::Vec3f(1.f, 0.f, 0.f));
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisSetToYAxis()
{
    the()->setToVector(osg::Vec3f(0.f, 1.f, 0.f));
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisSetToZAxis()
{
    the()->setToVector(osg::Vec3f(0.f, 0.f, 1.f));
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisPickNormal(bool state)
{
    the()->setPickNormal(state);
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisUseCamVec(bool state)
{
    the()->setUseViewVector(state);
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisLineType(int state)
{
    the()->setLineMode(static_cast<unsigned int>(state));
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisLineCount(int state)
{
    the()->setIsoLineCount(static_cast<unsigned int>(state));
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisLineColor(const osg::Vec3f& state)
{
    the()->setStripeColor(state);
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisSurfaceLightingMode(int state)
{
    the()->setShadingMode(static_cast<unsigned int>(state));
}

void oxSurfaceAnalysisModel::python_setSurfaceAnalysisSurfaceBaseColor(const osg::Vec3f& state)
{
    the()->setBaseColor(state);
}

BOOST_PYTHON_MODULE(oxSurfaceAnalysis)
{
    using boost::python::def;
    typedef oxSurfaceAnalysisModel M;
    // Our docstrings, without the generated signature lines.
    boost::python::docstring_options options(true, false);

    def("enableSurfaceAnalysis", &M::python_enableSurfaceAnalysis,
        "Enable/disable surface analysis render mode.\n\n@param state: Enable/Disable.\n\n@type state: bool");
    def("setSurfaceAnalysisMode", &M::python_setSurfaceAnalysisMode,
        "Sets surface analysis mode.\n\n@param state: The mode of the surface analysis.\n\n@type state: int");
    def("setSurfaceAnalysisShowDirection", &M::python_setSurfaceAnalysisShowDirection,
        "Enable/disable show light direction.\n\n@param state: Show light source direction: "
        "Enable/Disable.\n\n@type state: bool");
    def("setSurfaceAnalysisDirection", &M::python_setSurfaceAnalysisDirection,
        "Sets light direction.\n\n@param state: Sets the light source direction.\n\n@type state: Vec3f");
    def("setSurfaceAnalysisSetToXAxis", &M::python_setSurfaceAnalysisSetToXAxis,
        "Sets light source direction to X axis.\n\n");
    def("setSurfaceAnalysisSetToYAxis", &M::python_setSurfaceAnalysisSetToYAxis,
        "Sets light source direction to Y axis.\n\n");
    def("setSurfaceAnalysisSetToZAxis", &M::python_setSurfaceAnalysisSetToZAxis,
        "Sets light source direction to Z axis.\n\n");
    def("setSurfaceAnalysisPickNormal", &M::python_setSurfaceAnalysisPickNormal,
        "Enable/disable pick surface normal.\n\n@param state: Enable pick surface normal: "
        "Enable/Disable.\n\n@type state: bool");
    def("setSurfaceAnalysisUseCamVec", &M::python_setSurfaceAnalysisUseCamVec,
        "Enable/disable use camera view vector.\n\n@param state: Enable use camera view vector : "
        "Enable/Disable.\n\n@type state: bool");
    def("setSurfaceAnalysisLineType", &M::python_setSurfaceAnalysisLineType,
        "Sets lines/stripes mode.\n\n@param state: The mode for the lines/stripes.\n\n@type state: int");
    def("setSurfaceAnalysisLineCount", &M::python_setSurfaceAnalysisLineCount,
        "Sets lines/stripes count.\n\n@param state: The number for the lines/stripes.\n\n@type state: int");
    def("setSurfaceAnalysisLineColor", &M::python_setSurfaceAnalysisLineColor,
        "Sets lines/stripes color.\n\n@param state: The color for the lines/stripes.\n\n@type state: Vec3f");
    def("setSurfaceAnalysisSurfaceLightingMode", &M::python_setSurfaceAnalysisSurfaceLightingMode,
        "Sets surface mode.\n\n@param state: The mode for the surface.\n\n@type state: int");
    def("setSurfaceAnalysisSurfaceBaseColor", &M::python_setSurfaceAnalysisSurfaceBaseColor,
        "Sets surface color.\n\n@param state: The color for the surface.\n\n@type state: Vec3f");
}

namespace
{
// Level 0 makes the module built in before the interpreter starts; level 1 imports it into
// the namespace the host runs scripts in.
void registerScriptModule(oxPythonRegisterFactory::Level level)
{
    switch (level)
    {
    case oxPythonRegisterFactory::BeforeInitialize:
        PyImport_AppendInittab("oxSurfaceAnalysis", PyInit_oxSurfaceAnalysis);
        break;
    case oxPythonRegisterFactory::AfterInitialize:
        oxScript::run("import oxSurfaceAnalysis");
        oxScript::run("from oxSurfaceAnalysis import *");
        break;
    default:
        break;
    }
}

oxPythonRegister scriptRegistration(&registerScriptModule);
} // namespace
