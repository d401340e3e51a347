#include "oxSurfaceAnalysisModelParts.h"

#include "oxBaseService.h"
#include "oxController.h"
#include "oxInternalCameraConnector.h"
#include "oxKernel.h"
#include "oxKernelServiceFactory.h"
#include "oxMessage.h"
#include "oxOSGWidget.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxScenegraph.h"

#include <QTimer>

oxSurfaceAnalysisModel* oxSurfaceAnalysisModel::the()
{
    static oxSurfaceAnalysisModel instance;
    return &instance;
}

oxSurfaceAnalysisModel::oxSurfaceAnalysisModel()
    : oxModuleBase("oxSurfaceAnalysisModel", "Analyzer", oxKernel::SurfaceAnalysisMessageMask, nullptr),
      m_parts(new Parts(this))
{
    m_parts->lightPlane.setParent(oxScenegraph::getInternalRoot());
    m_parts->lightSphere.setParent(oxScenegraph::getInternalRoot());
    m_parts->lightDirectionHandle.setParent(oxScenegraph::getInternalRoot());

    m_parts->normalPickContext.setPicker(&m_parts->normalPickPicker);

    // The manipulator pickers see only our auxiliary geometry and never ask the raytracer.
    auto setUpGroup = [](auto& group, const osg::NodePtr& node)
    {
        group.manipulator.setVisualisationRoot(oxScenegraph::getInternalRoot());
        group.picker.setDisableRaytracingIntersection(true);
        group.picker.setPickOnlyAuxiliaryGeometry(true);
        group.context.setManipulator(&group.manipulator);
        group.context.setPicker(&group.picker);
        group.manipulator.setNode(node);
    };
    setUpGroup(m_parts->lightPlaneGroup, m_parts->lightPlane.getTransformNode());
    m_parts->lightPlaneGroup.manipulator.activateTranslateRotateManipulator();
    setUpGroup(m_parts->lightDirectionGroup, m_parts->lightDirectionHandle.getTransformNode());
    m_parts->lightDirectionGroup.manipulator.activateTranslateRotateYZManipulator();
    setUpGroup(m_parts->lightSphereGroup, m_parts->lightSphere.getTransformNode());
    m_parts->lightSphereGroup.manipulator.activateRotateManipulator();

    registerCallbacks(true);

    oxMessage empty;
    load(empty);

    if (oxController::getAnalysisMode())
        QTimer::singleShot(1000, this, SLOT(enableSurfaceMode()));

    if (oxBaseService* service = oxKernelServiceFactory::the().get<oxBaseService>())
        connect(service, SIGNAL(init()), this, SLOT(initServiceConnections()));
}

oxSurfaceAnalysisModel::~oxSurfaceAnalysisModel()
{
    m_parts->lightPlane.setParent(osg::NullFC);
    m_parts->lightSphere.setParent(osg::NullFC);
    m_parts->lightDirectionHandle.setParent(osg::NullFC);
    registerCallbacks(false);
}

void oxSurfaceAnalysisModel::registerCallbacks(bool add)
{
    auto cb = add ? &oxController::addCB : &oxController::subCB;
    if (oxController::getAnalysisMode())
        cb("updateRaytracingDownscaleButton", &oxSurfaceAnalysisModel::updateRaytracingDownscaleButton);
    cb("showSurfaceAnalysisModule", &oxSurfaceAnalysisModel::showSurfaceAnalysisModule);
    cb("toggleSurfaceAnalysisActivationButton", &oxSurfaceAnalysisModel::toggleSurfaceAnalysisActivationButton);
    cb("toggleSimpleMode", &oxSurfaceAnalysisModel::toggleSimpleMode);
    for (const char* name : {"currentAnimTimeChanged", "evaluatedAnimationObjects", "frameChangedCurveEditor",
                             "frameChangedClipMaker", "changedNavigator", "updateFOV"})
        cb(name, &oxSurfaceAnalysisModel::updateCamera);
}

void oxSurfaceAnalysisModel::initServiceConnections()
{
    oxInternalCameraConnector* connector = oxInternalCameraConnector::getInstance();
    if (!connector)
        return;
    // Direct: the visuals rescale in the thread that changed the field of view.
    connect(
        connector, &oxInternalCameraConnector::fovChanged, connector,
        [](unsigned int, float)
        {
            oxMessage msg;
            updateCamera(msg);
        },
        Qt::DirectConnection);
}

// The record can be replaced by a new scene at any time, so it is looked up on every use.
osg::SurfaceAnalysisAttachmentPtr oxSurfaceAnalysisModel::getAttachment()
{
    oxRaytracingUtilsBase* utils = oxRaytracingManager::getRaytracingUtils();
    if (!utils)
        return osg::NullFC;
    return utils->getSurfaceAnalysisAttachment();
}

template <typename T> T oxSurfaceAnalysisModel::recordField(osg::UInt32 fieldId)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return T();
    auto* field = dynamic_cast<osg::SField<T>*>(record->getField(fieldId));
    return field ? field->getValue() : T();
}

template unsigned int oxSurfaceAnalysisModel::recordField<unsigned int>(osg::UInt32);
template float oxSurfaceAnalysisModel::recordField<float>(osg::UInt32);
template bool oxSurfaceAnalysisModel::recordField<bool>(osg::UInt32);
template osg::Vec3f oxSurfaceAnalysisModel::recordField<osg::Vec3f>(osg::UInt32);

bool oxSurfaceAnalysisModel::isophotesModeActive() const
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    return record != osg::NullFC && record->getAnalysisMode() == osg::IsophotesAnalysis;
}

bool oxSurfaceAnalysisModel::parallelLinearLightsModeActive() const
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    return record != osg::NullFC && osg::isReflectionAnalysis(record->getAnalysisMode()) &&
           record->getReflectionMode() == osg::ParallelLinearLights;
}

bool oxSurfaceAnalysisModel::sphericalLightsModeActive() const
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    return record != osg::NullFC && osg::isReflectionAnalysis(record->getAnalysisMode()) &&
           record->getReflectionMode() == osg::SphericalLights;
}

void oxSurfaceAnalysisModel::updateShader(bool rebuild)
{
    if (oxOSGWidget* widget = oxOSGWidget::getMGLW(-1))
    {
        if (rebuild)
            widget->updateDiscontinuityShader();
        else
            widget->updateDiscontinuityShaderUniforms();
    }
}

void oxSurfaceAnalysisModel::updateRenderer(bool rebuild)
{
    updateShader(rebuild);
    oxController::updateRender(false);
}

void oxSurfaceAnalysisModel::refreshUniforms()
{
    updateShader(false);
    oxController::updateRender(false);
}

void oxSurfaceAnalysisModel::rebuildShader()
{
    updateShader(true);
    oxController::updateRender(false);
}
