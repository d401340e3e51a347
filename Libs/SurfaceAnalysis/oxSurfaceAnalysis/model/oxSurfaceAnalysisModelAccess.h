#pragma once

#include "oxSurfaceAnalysisModelParts.h"

// Inspection of the module's private parts for the reference host and the tests:
// what a host's own views would read off the scene and the interaction manager.
struct oxSurfaceAnalysisModelAccess
{
    static oxSurfaceAnalysisModel* model() { return oxSurfaceAnalysisModel::the(); }

    static void load(oxMessage& msg) { model()->load(msg); }
    static void save(oxMessage& msg) { model()->save(msg); }
    static void setDefault() { model()->setDefault(); }
    static bool receivedMessage(oxMessage& msg) { return model()->receivedMessage(msg); }
    static void updateVisualizations() { model()->updateVisualizations(); }
    static osg::SurfaceAnalysisAttachmentPtr attachment() { return oxSurfaceAnalysisModel::getAttachment(); }

    static bool isophotesModeActive() { return model()->isophotesModeActive(); }
    static bool parallelLinearLightsModeActive() { return model()->parallelLinearLightsModeActive(); }
    static bool sphericalLightsModeActive() { return model()->sphericalLightsModeActive(); }
    static bool lightPlaneAllowed() { return model()->lightPlaneManipulatorContextAllowed(); }
    static bool lightDirectionAllowed() { return model()->lightDirectionManipulatorContextAllowed(); }
    static bool lightSphereAllowed() { return model()->lightSphereManipulatorContextAllowed(); }

    static oxSALightPlane& lightPlane() { return model()->m_parts->lightPlane; }
    static oxSALightSphere& lightSphere() { return model()->m_parts->lightSphere; }
    static oxSALightDirectionHandle& lightDirectionHandle() { return model()->m_parts->lightDirectionHandle; }

    static oxSurfaceAnalysisManipulatorContext& lightPlaneContext()
    {
        return model()->m_parts->lightPlaneGroup.context;
    }
    static oxSurfaceAnalysisManipulatorContext& lightDirectionContext()
    {
        return model()->m_parts->lightDirectionGroup.context;
    }
    static oxSurfaceAnalysisManipulatorContext& lightSphereContext()
    {
        return model()->m_parts->lightSphereGroup.context;
    }
    static oxk::manipulator::UniversalTransformManipulator2& lightPlaneManipulator()
    {
        return model()->m_parts->lightPlaneGroup.manipulator;
    }
    static oxk::manipulator::UniversalTransformManipulator2& lightDirectionManipulator()
    {
        return model()->m_parts->lightDirectionGroup.manipulator;
    }
    static oxk::manipulator::UniversalTransformManipulator2& lightSphereManipulator()
    {
        return model()->m_parts->lightSphereGroup.manipulator;
    }
    static bool lightPlaneDragging() { return model()->m_parts->lightPlaneGroup.dragging; }
    static bool lightDirectionDragging() { return model()->m_parts->lightDirectionGroup.dragging; }
    static bool lightSphereDragging() { return model()->m_parts->lightSphereGroup.dragging; }

    static oxSurfaceAnalysisNormalPickContext& normalPickContext() { return model()->m_parts->normalPickContext; }
    static oxk::modules::surfaceanalysis::NormalPickTool& normalPickTool() { return model()->m_parts->normalPickTool; }
    static oxOSGWidgetPicker& normalPickPicker() { return model()->m_parts->normalPickPicker; }
};
