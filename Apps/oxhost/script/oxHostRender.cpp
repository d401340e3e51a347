#include "oxHostValues.h"

#include "oxHostRender.h"

#include "InteractionManager.h"
#include "oxController.h"
#include "oxHostAnalysisModel.h"
#include "oxHostCad.h"
#include "oxHostScript.h"
#include "oxMeshImporter.h"
#include "oxModelImporter.h"
#include "oxMeshNodes.h"
#include "oxMessage.h"
#include "oxOSGWidget.h"
#include "oxRenderer.h"
#include "oxSampleSurfaces.h"
#include "oxScenegraph.h"

namespace bp = boost::python;

namespace
{
osg::NodePtr addToModel(const osg::NodePtr& node)
{
    osg::NodePtr root = oxScenegraph::getRoot();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    {
        root->addChild(node);
    }
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    return node;
}

std::string addSample(const std::string& name)
{
    std::string error;
    const osg::NodePtr node = oxHostRender::addSample(name, error);
    if (node == osg::NullFC)
        oxHostValues::raise(PyExc_ValueError, error);
    return node->getName();
}

std::string render(const std::string& path, int width, int height, int samples)
{
    if (samples < 1 || samples > 16)
        oxHostValues::raise(PyExc_ValueError, "samples must be between 1 and 16, not " + std::to_string(samples));
    std::string error;
    if (!oxHostRender::render(path, width, height, error, samples))
        oxHostValues::raise(PyExc_RuntimeError, error);
    return path;
}

bool frameScene(float aspect)
{
    oxHostValues::requireFinite(aspect, "aspect");
    return oxHostRender::frameScene(aspect);
}

void lookAt(const osg::Vec3f& target, const osg::Vec3f& up)
{
    oxHostValues::requireFinite(target, "target");
    oxHostValues::requireFinite(up, "up");
    oxRenderer::the().setLookAt(osg::Pnt3f(target), up);
}

// A tuple (eye, target, up, fov, orthographic) that also answers by name, like a dict:
// camera()["position"], dict(camera()).
const char* const CameraClass = R"(
import collections
class Camera(collections.namedtuple("Camera", "position target up fov orthographic")):
    __slots__ = ()
    def __getitem__(self, key):
        return getattr(self, key) if isinstance(key, str) else super().__getitem__(key)
    def keys(self):
        return self._fields
del collections
)";

bp::object camera()
{
    const oxRenderCamera c = oxRenderer::the().hostCamera();
    const bp::object type = bp::import("oxHost").attr("Camera");
    return type(oxHostValues::toTuple(c.from.subZero()), oxHostValues::toTuple(c.at.subZero()),
                oxHostValues::toTuple(c.up), c.fovDegrees, c.orthographic);
}

bp::list samples()
{
    bp::list names;
    for (const std::string& name : oxSampleSurfaces::names())
        names.append(name);
    return names;
}

void define()
{
    using bp::arg;
    bp::def("addSample", &addSample, (arg("name")),
            "addSample(name)\n\nAdds a built-in sample surface with exact normals: 'sphere', 'torus', 'cylinder', "
            "'saddle', 'teapot' or 'joins' (a flat strip meeting a bend with a G0, a G1 and a G2 join); returns the "
            "name.");
    bp::def("samples", &samples, "samples()\n\nThe names addSample takes.");
    bp::def("render", &render, (arg("path"), arg("width") = 1280, arg("height") = 800, arg("samples") = 3),
            "render(path, width=1280, height=800, samples=3)\n\nRaytraces the view into an image file (PNG unless "
            "the suffix names another format), samples x samples stratified rays per pixel (1 to 16), each shaded "
            "and averaged: the analysis of the settings record in the analysis render mode, plain "
            "shading otherwise, the visible light visuals on top, the curvature legend when the host shows it, "
            "and with the raytracing downscale on, traced at 1 / factor and scaled up. Returns the path.");
    bp::def("frameScene", &frameScene, (arg("aspect") = 1.6f),
            "frameScene(aspect=1.6)\n\nMoves the camera back along its view direction until the whole model is in a "
            "view of that width / height, and looks at the model's centre, as navigation does. False for an empty "
            "model.");
    bp::def("lookAt", &lookAt, (arg("target"), arg("up") = osg::Vec3f(0.f, 1.f, 0.f)),
            "lookAt(target, up=(0, 1, 0))\n\nWhere the view camera looks, and which way is up in the view; setCamera "
            "places the eye.");
    bp::exec(CameraClass, bp::scope().attr("__dict__"));
    bp::def("camera", &camera,
            "camera()\n\nThe view camera: (eye, target, up, field of view in degrees, orthographic), also by name "
            "like a dict: position, target, up, fov, orthographic.");
}
} // namespace

void oxHostRender::install()
{
    oxHostScript::addExtension(&define);
}

void oxHostRender::uninstall()
{
    oxHostScript::removeExtension(&define);
}

osg::NodePtr oxHostRender::loadMesh(const std::string& path, std::string& error, const oxCadOptions& cad)
{
    oxMeshImporter::File file;
    if (!oxModelImporter::read(path, file, error, oxMeshNodes::DefaultCreaseAngle, cad))
        return osg::NodePtr();
    return addFile(file);
}

osg::NodePtr oxHostRender::addFile(const oxMeshImporter::File& file)
{
    const osg::NodePtr node = oxMeshImporter::makeNode(file);
    oxHostCad::recordSource(node, file.path, file.lostTriangles);
    return addToModel(node);
}

osg::NodePtr oxHostRender::addSample(const std::string& name, std::string& error)
{
    oxRenderMesh mesh;
    if (!oxSampleSurfaces::make(name, mesh, error))
        return osg::NodePtr();
    return addToModel(oxMeshNodes::makeNode(mesh));
}

bool oxHostRender::frameScene(float aspect)
{
    oxRenderCamera camera;
    if (!oxRenderer::the().framedCamera(aspect, camera))
        return false;
    oxRenderer::the().setLookAt(camera.at, camera.up);
    oxOSGWidget::setCamera(camera.from, camera.fovDegrees);
    oxk::interaction::InteractionManager::getInstance()->cameraMoved();
    oxMessage msg;
    oxController::raiseCB("changedNavigator", msg);
    return true;
}

bool oxHostRender::render(const std::string& path, int width, int height, std::string& error, int samples)
{
    return oxRenderer::the().renderToFile(path, {width, height, samples, oxHostAnalysisModel::the()->settings()},
                                          error);
}
