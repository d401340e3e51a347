#include "oxOSGWidget.h"
#include "oxInternalCameraConnector.h"

namespace
{
struct RenderState
{
    int renderingMode = 0;
    int renderQuality = 4;
    int raytracingDownscale = 0;
    unsigned int raytracingDownscaleFactor = 1;
    bool curvatureLegendOverlayVisible = false;
    float fov = 45.f;
    float from[3] = {0.f, 0.f, 100.f};
};

// Constant-initialised and trivially destructible: valid from before the first module static is
// constructed until after the last one is destroyed.
RenderState s_state;
oxOSGWidget* s_mainWidget = nullptr;
} // namespace

oxOSGWidget::oxOSGWidget(QWidget* parent) : QWidget(parent), _camera(osg::UberCamera::create()) {}

oxOSGWidget::~oxOSGWidget()
{
    if (s_mainWidget == this)
        s_mainWidget = nullptr;
}

oxOSGWidget* oxOSGWidget::getMGLW(int)
{
    return s_mainWidget;
}

void oxOSGWidget::setMGLW(oxOSGWidget* widget)
{
    s_mainWidget = widget;
}

void oxOSGWidget::updateDiscontinuityShader()
{
    ++_shaderRebuilds;
}

void oxOSGWidget::updateDiscontinuityShaderUniforms()
{
    ++_uniformRefreshes;
}

void oxOSGWidget::setRenderingMode(int mode, int)
{
    s_state.renderingMode = mode;
}

int oxOSGWidget::getRenderingMode(int)
{
    return s_state.renderingMode;
}

void oxOSGWidget::setRenderQuality(int quality)
{
    s_state.renderQuality = quality;
}

int oxOSGWidget::getRenderQuality()
{
    return s_state.renderQuality;
}

void oxOSGWidget::enableRaytracingDownscale(int on)
{
    s_state.raytracingDownscale = on;
}

int oxOSGWidget::getRaytracingDownscale()
{
    return s_state.raytracingDownscale;
}

void oxOSGWidget::setRaytracingDownscaleFactor(unsigned int factor)
{
    s_state.raytracingDownscaleFactor = factor;
}

unsigned int oxOSGWidget::getRaytracingDownscaleFactor()
{
    return s_state.raytracingDownscaleFactor;
}

void oxOSGWidget::setCurvatureLegendOverlayVisible(bool visible)
{
    s_state.curvatureLegendOverlayVisible = visible;
}

bool oxOSGWidget::getCurvatureLegendOverlayVisible()
{
    return s_state.curvatureLegendOverlayVisible;
}

float oxOSGWidget::getFov(int)
{
    return s_state.fov;
}

osg::Pnt3f oxOSGWidget::getFrom(int)
{
    return osg::Pnt3f(s_state.from[0], s_state.from[1], s_state.from[2]);
}

void oxOSGWidget::setCamera(const osg::Pnt3f& from, float fov)
{
    const bool fovChanged = fov != s_state.fov;
    for (int i = 0; i < 3; ++i)
        s_state.from[i] = from[i];
    s_state.fov = fov;
    oxInternalCameraConnector* connector = oxInternalCameraConnector::getInstance();
    if (fovChanged && connector)
        Q_EMIT connector->fovChanged(0u, fov);
}

void oxOSGWidget::resetRenderState()
{
    s_state = RenderState();
}
