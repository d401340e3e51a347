#pragma once

#include "NormalPickTool.h"
#include "UniversalTransformManipulator2.h"
#include "oxOSGWidgetPicker.h"
#include "oxSALightDirectionHandle.h"
#include "oxSALightPlane.h"
#include "oxSALightSphere.h"
#include "oxSurfaceAnalysisManipulatorContext.h"
#include "oxSurfaceAnalysisModel.h"
#include "oxSurfaceAnalysisNormalPickContext.h"

// The module object's private machinery: the three light visuals, the manipulators that drag
// them, and the normal pick tool. Only the module's own sources and its inspection include this.
struct oxSurfaceAnalysisModel::Parts
{
    // A light visual's manipulator: context, manipulator, picker and what a drag started from.
    template <class DragStart> struct ManipulatorGroup
    {
        ManipulatorGroup(oxSurfaceAnalysisModel* model, oxSurfaceAnalysisManipulatorContext::Handler handler)
            : context(100, model, handler)
        {
        }
        oxSurfaceAnalysisManipulatorContext context;
        oxk::manipulator::UniversalTransformManipulator2 manipulator;
        oxOSGWidgetPicker picker;
        bool dragging = false;
        DragStart start;
    };
    struct PlaneDragStart
    {
        osg::Vec3f origin, euler, axisU, axisV;
    };
    struct DirectionDragStart
    {
        osg::Vec3f direction;
    };
    struct SphereDragStart
    {
        osg::Vec3f euler;
    };

    explicit Parts(oxSurfaceAnalysisModel* model)
        : normalPickContext(100, model), lightPlaneGroup(model, &oxSurfaceAnalysisModel::lightPlaneTrigger),
          lightDirectionGroup(model, &oxSurfaceAnalysisModel::lightDirectionTrigger),
          lightSphereGroup(model, &oxSurfaceAnalysisModel::lightSphereTrigger)
    {
    }

    oxk::modules::surfaceanalysis::NormalPickTool normalPickTool;
    oxOSGWidgetPicker normalPickPicker;
    oxSurfaceAnalysisNormalPickContext normalPickContext;
    oxSALightPlane lightPlane;
    oxSALightSphere lightSphere;
    oxSALightDirectionHandle lightDirectionHandle;
    ManipulatorGroup<PlaneDragStart> lightPlaneGroup;
    ManipulatorGroup<DirectionDragStart> lightDirectionGroup;
    ManipulatorGroup<SphereDragStart> lightSphereGroup;
};
