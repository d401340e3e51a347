#pragma once

#include "OSGUberCamera.h"
#include "OSGVector.h"

#include <QWidget>

// The host's render widget. The render settings are static: they belong to the renderer and
// outlive any widget. Every view index selects the one main view.
class oxOSGWidget : public QWidget
{
    Q_OBJECT

public:
    // Does not make itself the main widget; the host does that with setMGLW.
    explicit oxOSGWidget(QWidget* parent = nullptr);
    ~oxOSGWidget() override;

    // The main render widget, or null (view -1 = current).
    static oxOSGWidget* getMGLW(int view);
    static void setMGLW(oxOSGWidget* widget);

    // Rebuild of the analysis shader and refresh of its parameters; the stand-in counts them.
    void updateDiscontinuityShader();
    void updateDiscontinuityShaderUniforms();
    int shaderRebuildCount() const { return _shaderRebuilds; }
    int uniformRefreshCount() const { return _uniformRefreshes; }

    osg::UberCameraPtr getUberCamera() const { return _camera; }

    // The view's rendering modes the analysis knows; the host has others.
    enum RenderingMode
    {
        DefaultRenderingMode = 0,
        AnalysisRenderingMode = 2,
    };
    static void setRenderingMode(int mode, int view);
    static int getRenderingMode(int view);
    static void setRenderQuality(int quality);
    static int getRenderQuality();
    static void enableRaytracingDownscale(int on);
    static int getRaytracingDownscale();
    static void setRaytracingDownscaleFactor(unsigned int factor);
    static unsigned int getRaytracingDownscaleFactor();
    static void setCurvatureLegendOverlayVisible(bool visible);
    static bool getCurvatureLegendOverlayVisible();

    static float getFov(int view);
    static osg::Pnt3f getFrom(int view);
    // Host side: moves the view camera; a new field of view is announced through the camera connector.
    static void setCamera(const osg::Pnt3f& from, float fov);

    // Every static value back to its start value: rendering mode 0, quality 4, downscale off with
    // factor 1, legend hidden, camera at (0, 0, 100) with a field of view of 45 degrees.
    static void resetRenderState();

private:
    osg::UberCameraPtr _camera;
    int _shaderRebuilds = 0;
    int _uniformRefreshes = 0;
};
