#include "oxHostValues.h"

#include "oxHostScript.h"

#include "InteractionManager.h"
#include "OSGSurfaceAnalysisAttachment.h"
#include "oxAnalysisShading.h"
#include "oxController.h"
#include "oxFileIO.h"
#include "oxHostAnalysisKinds.h"
#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisProperties.h"
#include "oxHostAnalysisScript.h"
#include "oxHostCadScript.h"
#include "oxHostProject.h"
#include "oxHostRender.h"
#include "oxHostScene.h"
#include "oxKernel.h"
#include "oxLog.h"
#include "oxMessage.h"
#include "oxOSGWidget.h"
#include "oxOSGWidgetPicker.h"
#include "oxPythonRegister.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxRenderUtil.h"
#include "oxScript.h"
#include "oxUndoStack.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace bp = boost::python;
typedef oxHostValues V;

namespace
{
std::vector<oxHostScript::Extension>& extensions()
{
    // Leaked: panels remove their extensions from static destructors at process exit.
    static auto* list = new std::vector<oxHostScript::Extension>;
    return *list;
}

using oxRenderUtil::quoted;

// Scene and project.

void newScene()
{
    oxHostProject::newScene();
}

void saveProject(const std::string& path)
{
    std::string error;
    if (!oxHostProject::save(path, error))
        V::raise(PyExc_RuntimeError, error);
}

void loadProject(const std::string& path)
{
    std::string error;
    if (!oxHostProject::load(path, error))
        V::raise(PyExc_RuntimeError, error);
}

bp::dict projectValues()
{
    bp::dict values;
    for (const auto& entry : oxFileIO::getProject().values())
        values[entry.first] = V::toPython(entry.second, "the project key " + quoted(entry.first));
    return values;
}

void setProjectValue(const std::string& key, const bp::object& value)
{
    if (value.is_none())
        oxFileIO::getProject().remove(key);
    else
        oxFileIO::getProject().set(key, V::toAny(value, "the value of key " + quoted(key)), true);
}

int sendMessage(unsigned long long id)
{
    oxMessage msg(id);
    return oxKernel::sendMessage(msg);
}

int raiseCallback(const std::string& name, const bp::dict& values)
{
    oxMessage msg;
    const bp::list keys = values.keys();
    for (bp::ssize_t i = 0; i < bp::len(keys); ++i)
    {
        bp::extract<std::string> key(keys[i]);
        if (!key.check())
            V::raise(PyExc_TypeError, "the keys of a callback's values must be strings");
        msg.set(key(), V::toAny(values[keys[i]], "the value of key " + quoted(key())), true);
    }
    return oxController::raiseCB(name.c_str(), msg);
}

// Undo.

void undo()
{
    oxUndoStack::get(0).undo();
}

void redo()
{
    oxUndoStack::get(0).redo();
}

int undoCount()
{
    return oxUndoStack::get(0).count();
}

int undoIndex()
{
    return oxUndoStack::get(0).index();
}

std::string undoText(int i)
{
    if (i < 0 || i >= oxUndoStack::get(0).count())
        V::raise(PyExc_IndexError, "there is no undo step " + std::to_string(i) + " (the history has " +
                                       std::to_string(oxUndoStack::get(0).count()) + ")");
    return oxUndoStack::get(0).text(i).toStdString();
}

void setMergeWindow(long long ms)
{
    oxUndoStack::setMergeWindow(ms);
}

// Host state.

template <typename T> bool addField(bp::dict& out, osg::Field* field, const char* name)
{
    auto* f = dynamic_cast<osg::SField<T>*>(field);
    if (f)
        out[name] = V::toPython(boost::any(f->getValue()), name);
    return f != nullptr;
}

bp::object settings()
{
    const osg::SurfaceAnalysisAttachmentPtr record = oxAnalysisSettings::hostRecord();
    if (record == osg::NullFC)
        return bp::object();
    bp::dict fields;
    for (osg::UInt32 id = osg::SurfaceAnalysisAttachment::LinearLightDirectionFieldId;
         id < osg::SurfaceAnalysisAttachment::NextFieldId; ++id)
    {
        osg::Field* field = record->getField(id);
        const char* name = record->getFieldName(id);
        addField<bool>(fields, field, name) || addField<osg::UInt32>(fields, field, name) ||
            addField<osg::Real32>(fields, field, name) || addField<osg::Vec3f>(fields, field, name);
    }
    return fields;
}

bp::object recordId()
{
    const osg::SurfaceAnalysisAttachmentPtr record = oxAnalysisSettings::hostRecord();
    return record == osg::NullFC ? bp::object() : bp::object(record->getId());
}

void setRaytracer(bool present, bool record)
{
    if (!present)
    {
        oxRaytracingManager::removeRaytracingUtils();
        return;
    }
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    if (!utils)
        utils = oxRaytracingManager::createRaytracingUtils();
    if (!record)
        utils->removeAttachment();
    else if (utils->getSurfaceAnalysisAttachment() == osg::NullFC)
        utils->replaceAttachment();
}

bp::dict renderState()
{
    bp::dict state;
    state["renderingMode"] = oxOSGWidget::getRenderingMode(-1);
    state["renderQuality"] = oxOSGWidget::getRenderQuality();
    state["curvatureLegend"] = oxOSGWidget::getCurvatureLegendOverlayVisible();
    state["raytracingDownscale"] = oxOSGWidget::getRaytracingDownscale();
    state["raytracingDownscaleFactor"] = oxOSGWidget::getRaytracingDownscaleFactor();
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    state["analysisRaytracing"] = utils ? bp::object(utils->getAnalysisRaytracing()) : bp::object();
    oxOSGWidget* widget = oxOSGWidget::getMGLW(-1);
    state["shaderRebuilds"] = widget ? widget->shaderRebuildCount() : 0;
    state["uniformRefreshes"] = widget ? widget->uniformRefreshCount() : 0;
    state["renderRequests"] = oxController::renderRequestCount();
    return state;
}

void setRenderingMode(int mode)
{
    oxOSGWidget::setRenderingMode(mode, -1);
}

void setRenderQuality(int quality)
{
    oxOSGWidget::setRenderQuality(quality);
}

// As the host's simple-mode switch: the controller changes, then modules hear of it.
void setSimpleMode(bool simple)
{
    oxController::setSimpleMode(simple);
    oxMessage msg;
    msg.set("simpleMode", simple, true);
    oxController::raiseCB("toggleSimpleMode", msg);
}

// As navigation in the view does: the camera moves, interaction contexts are told, and the
// "changedNavigator" callback follows. A new field of view is announced by the camera itself.
void setCamera(const osg::Vec3f& position, float fov, bool orthographic)
{
    V::requireFinite(position, "position");
    V::requireFinite(fov, "fov");
    oxOSGWidget::setCamera(osg::Pnt3f(position[0], position[1], position[2]), fov);
    if (oxOSGWidget* widget = oxOSGWidget::getMGLW(-1))
    {
        osg::UberCameraPtr camera = widget->getUberCamera();
        osg::beginEditCP(camera, osg::UberCamera::OrthographicFieldMask);
        {
            camera->setOrthographic(orthographic);
        }
        osg::endEditCP(camera, osg::UberCamera::OrthographicFieldMask);
    }
    oxk::interaction::InteractionManager::getInstance()->cameraMoved();
    oxMessage msg;
    oxController::raiseCB("changedNavigator", msg);
}

bp::list log()
{
    bp::list lines;
    for (const std::string& line : oxLog::lines())
        lines.append(line);
    return lines;
}

void clearLog()
{
    oxLog::clear();
}

void wait(int ms)
{
    if (ms < 0)
        V::raise(PyExc_ValueError, "wait takes a time of 0 ms or more, not " + std::to_string(ms));
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Meshes and picking.

std::string addMesh(const std::string& name, const bp::object& vertices, const bp::object& triangles,
                    const bp::object& normals)
{
    std::vector<osg::Pnt3f> positions;
    for (bp::ssize_t i = 0; i < bp::len(vertices); ++i)
    {
        const osg::Vec3f v = V::toVec3f(vertices[i], "vertex " + std::to_string(i));
        positions.push_back(osg::Pnt3f(v[0], v[1], v[2]));
    }
    std::vector<osg::UInt32> indices;
    for (bp::ssize_t i = 0; i < bp::len(triangles); ++i)
    {
        const bp::object triangle = triangles[i];
        if (bp::len(triangle) != 3)
            V::raise(PyExc_ValueError, "triangle " + std::to_string(i) + " must have three vertex indices");
        for (int k = 0; k < 3; ++k)
            indices.push_back(V::toUnsigned(triangle[k], "an index of triangle " + std::to_string(i)));
    }
    std::vector<osg::Vec3f> vertexNormals;
    if (!normals.is_none())
        for (bp::ssize_t i = 0; i < bp::len(normals); ++i)
            vertexNormals.push_back(V::toVec3f(normals[i], "normal " + std::to_string(i)));
    std::string error;
    if (oxHostScene::addMesh(name, positions, indices, vertexNormals, error) == osg::NullFC)
        V::raise(PyExc_ValueError, error);
    return name;
}

std::string loadMesh(const std::string& path, const bp::object& deflection, const bp::object& angle)
{
    const oxCadOptions cad = V::toCadOptions(deflection, angle);
    std::string error;
    osg::NodePtr node = oxHostRender::loadMesh(path, error, cad);
    if (node == osg::NullFC)
        V::raise(PyExc_RuntimeError, error);
    return node->getName();
}

bp::list meshes()
{
    bp::list names;
    for (const std::string& name : oxHostScene::meshNames())
        names.append(name);
    return names;
}

bool removeMesh(const std::string& name)
{
    return oxHostScene::removeMesh(name);
}

// The pointer ray goes through the interaction manager first, so a tool under the pointer sees it
// as it would see the mouse; the answer is what the view's picker finds on the model.
bp::object pickAt(const osg::Vec3f& origin, const osg::Vec3f& direction)
{
    const osg::Pnt3f from(origin[0], origin[1], origin[2]);
    oxk::interaction::InteractionManager::getInstance()->pointerRay(from, direction);
    oxOSGWidgetPicker picker;
    osg::NodePtr node;
    osg::Vec3f point, normal;
    if (!picker.pick(from, direction) || !picker.getHitNode(node, 0) || !picker.getHitPoint(point, 0) ||
        !picker.getHitNormal(normal, 0))
        return bp::object();
    return bp::make_tuple(node->getName(), V::toTuple(point), V::toTuple(normal));
}

bool click()
{
    return oxk::interaction::InteractionManager::getInstance()->trigger("trigger");
}

// The scene and its project, and the kernel's messages and callbacks.
void defineSceneFunctions()
{
    using bp::arg;
    using bp::def;

    def("newScene", &newScene,
        "newScene()\n\nA new scene: the meshes and their placement (alignToReference's) go, the raytracer gets a fresh "
        "settings record (a new container "
        "id), the project and the undo history are emptied, then kernel message 16.");
    def("saveProject", &saveProject, (arg("path")),
        "saveProject(path)\n\nEvery module writes its section into the project (kernel message 8192), then the "
        "project is written to the JSON file, atomically. Raises RuntimeError when the file cannot be written; "
        "the old file then stays as it was.");
    def("loadProject", &loadProject, (arg("path")),
        "loadProject(path)\n\nReads a project file; its values replace the project and every module loads its "
        "section (kernel message 8192); the model takes the project's placement, none when it has none. The undo "
        "history is emptied. Raises RuntimeError, changing nothing, for "
        "a file that cannot be read or is not a sound project.");
    def("projectValues", &projectValues, "projectValues()\n\nThe project's values as a dict.");
    def("setProjectValue", &setProjectValue, (arg("key"), arg("value")),
        "setProjectValue(key, value)\n\nStores a value in the project: bool, int (as unsigned), float, or three "
        "numbers (as Vec3f). None removes the key.");
    def("sendMessage", &sendMessage, (arg("id")),
        "sendMessage(id)\n\nSends a kernel message with this id to every module whose mask holds it; returns how "
        "many got it.");
    def("raiseCallback", &raiseCallback, (arg("name"), arg("values") = bp::dict()),
        "raiseCallback(name, values={})\n\nCalls every function registered under the name with a message of the "
        "values (bool, int as unsigned, float, three numbers as Vec3f); returns how many were called.");
}

void defineUndoFunctions()
{
    using bp::arg;
    using bp::def;

    def("undo", &undo, "undo()\n\nUndoes the newest step of the host's undo history.");
    def("redo", &redo, "redo()\n\nRedoes the step undone last.");
    def("undoCount", &undoCount, "undoCount()\n\nHow many steps the undo history holds.");
    def("undoIndex", &undoIndex, "undoIndex()\n\nHow many steps of the history are done.");
    def("undoText", &undoText, (arg("i")), "undoText(i)\n\nThe text of undo step i, from 0.");
    def("setMergeWindow", &setMergeWindow, (arg("ms")),
        "setMergeWindow(ms)\n\nConsecutive edits of the same setting this close in time (ms) become one undo "
        "step; 500 by default, negative: never.");
}

// The raytracer's settings, the renderer and camera, the log and the event loop.
void defineRenderFunctions()
{
    using bp::arg;
    using bp::def;

    def("settings", &settings,
        "settings()\n\nThe settings record: a dict of its 31 fields by field name (Vec3f as 3-tuples); None "
        "when there is no record.");
    def("recordId", &recordId,
        "recordId()\n\nThe container id of the settings record (a new scene brings a new one); None when there is "
        "no record.");
    def("setRaytracer", &setRaytracer, (arg("present"), arg("record") = true),
        "setRaytracer(present, record=True)\n\nGives the host raytracer utilities, with or without a settings "
        "record, or takes them away.");
    def("renderState", &renderState,
        "renderState()\n\nThe renderer's state: renderingMode, renderQuality, curvatureLegend, "
        "raytracingDownscale, raytracingDownscaleFactor, analysisRaytracing, and the counts shaderRebuilds, "
        "uniformRefreshes and renderRequests.");
    def("setRenderingMode", &setRenderingMode, (arg("mode")), "setRenderingMode(mode)\n\nThe view's rendering mode.");
    def("setRenderQuality", &setRenderQuality, (arg("quality")), "setRenderQuality(quality)\n\nThe render quality.");
    def("setSimpleMode", &setSimpleMode, (arg("simple")),
        "setSimpleMode(simple)\n\nSwitches the host's simple mode and raises \"toggleSimpleMode\".");
    def("setCamera", &setCamera, (arg("position"), arg("fov"), arg("orthographic") = false),
        "setCamera(position, fov, orthographic=False)\n\nMoves the view camera as navigation does: a new field of "
        "view is announced, and the \"changedNavigator\" callback is raised.");
    def("log", &log, "log()\n\nThe host log's lines, oldest first.");
    def("clearLog", &clearLog, "clearLog()\n\nEmpties the host log.");
    def("wait", &wait, (arg("ms")), "wait(ms)\n\nRuns the host's event loop for ms milliseconds, so timers fire.");
}

// The model's meshes and the pointer on them.
void defineMeshFunctions()
{
    using bp::arg;
    using bp::def;

    def("addMesh", &addMesh, (arg("name"), arg("vertices"), arg("triangles"), arg("normals") = bp::object()),
        "addMesh(name, vertices, triangles, normals=None)\n\nAdds a triangle mesh to the model: vertices are "
        "three numbers each, triangles three vertex indices each; without normals, smooth ones are made. Returns "
        "the name.");
    def("loadMesh", &loadMesh, (arg("path"), arg("deflection") = bp::object(), arg("angle") = bp::object()),
        "loadMesh(path, deflection=None, angle=None)\n\nAdds the meshes of a file Assimp reads (OBJ, STL, PLY, glTF, "
        "FBX, 3DS, Collada, ...) to the model as one node named after the file; returns the name. Without vertex "
        "normals in the file (and for STL) smooth normals are made, split at edges sharper than 30 degrees. CAD "
        "files (STEP, IGES, B-rep by the suffix) are read through Open CASCADE, sewn and triangulated with the "
        "linear deflection (relative to the model's size, default 0.0005) and the angular deflection (degrees, "
        "default 12), and shaded from their exact surfaces. A file that cannot be read raises RuntimeError naming "
        "it, and the model stays as it was.");
    def("meshes", &meshes, "meshes()\n\nThe names of the model's meshes.");
    def("removeMesh", &removeMesh, (arg("name")),
        "removeMesh(name)\n\nRemoves the first mesh of that name; False when there is none.");
    def("pickAt", &pickAt, (arg("origin"), arg("direction")),
        "pickAt(origin, direction)\n\nMoves the pointer ray as the mouse does, then returns (mesh name, point, "
        "normal) of the nearest hit on the model, or None.");
    def("click", &click, "click()\n\nA click (the \"trigger\" event); returns whether an interaction took it.");
}

// In this order, so the module lists its functions as before.
void defineHostFunctions()
{
    defineSceneFunctions();
    defineUndoFunctions();
    defineRenderFunctions();
    defineMeshFunctions();
}
} // namespace

BOOST_PYTHON_MODULE(oxHost)
{
    // Our docstrings carry their own signature lines.
    bp::docstring_options options(true, false);
    bp::scope().attr("__doc__") = "The reference host oxhost: scene, project, undo, render state, camera, meshes, "
                                  "picking, and the panels of the loaded modules.";
    V::defineVec3f();
    defineHostFunctions();
    oxHostAnalysisScript::define();
    oxHostAnalysisKinds::define();
    oxHostAnalysisProperties::define();
    oxHostCadScript::define();
    for (oxHostScript::Extension define : std::vector<oxHostScript::Extension>(extensions()))
        define();
}

void oxHostScript::addExtension(Extension define)
{
    if (!define)
        return;
    extensions().push_back(define);
    if (!Py_IsInitialized())
        return;
    PyObject* module = PyImport_GetModule(bp::str("oxHost").ptr());
    if (!module)
    {
        PyErr_Clear();
        return;
    }
    try
    {
        const bp::object oxHost{bp::handle<>(module)};
        bp::scope within(oxHost);
        define();
    }
    catch (const bp::error_already_set&)
    {
        PyErr_Print();
    }
}

void oxHostScript::removeExtension(Extension define)
{
    auto& list = extensions();
    list.erase(std::remove(list.begin(), list.end(), define), list.end());
}

namespace
{
void registerHostScript(oxPythonRegisterFactory::Level level)
{
    if (level == oxPythonRegisterFactory::BeforeInitialize)
        PyImport_AppendInittab("oxHost", PyInit_oxHost);
    else if (level == oxPythonRegisterFactory::AfterInitialize)
        oxScript::run("import oxHost");
}
} // namespace

void oxHostScript::install()
{
    static oxPythonRegister registration(&registerHostScript);
    // The host analyses' settings take part in every project and new scene from the start.
    oxHostAnalysisModel::the();
}
