#pragma once

#include "OSGNode.h"
#include "oxAnalysisShading.h"
#include "oxRenderCamera.h"

#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class oxColourScale;

// What the raytraced image gets on top: the light visuals, lines such as CAD edges, and the
// curvature legend.
class oxOverlay
{
public:
    // Draws the active geometry under root (the host's internal root, where the light visuals
    // hang) as the real-time view draws it: unlit, in the material's diffuse colour and
    // transparency, in sort-key order, lines at their line width, depth-tested against the
    // raytraced scene where the material's depth chunk tests. depth holds the scene's
    // camera-space depth at depthWidth x depthHeight, which may be coarser than the image.
    static void drawLightVisuals(QImage& image, const osg::NodePtr& root, oxRenderCamera camera,
                                 const std::vector<float>& depth, int depthWidth, int depthHeight);

    // The same in two steps, so that the pixels can be drawn on another thread: the visuals are
    // read from the scene where it lives, then drawn into an image of width x height.
    class Visuals;
    static std::shared_ptr<const Visuals> collectLightVisuals(const osg::NodePtr& root, oxRenderCamera camera,
                                                              int width, int height);
    static void drawLightVisuals(QImage& image, const Visuals& visuals, oxRenderCamera camera,
                                 const std::vector<float>& depth, int depthWidth, int depthHeight);
    struct Polyline
    {
        std::vector<osg::Pnt3f> points; // world space
        osg::Color3f color;
        float width = 3.f;
    };
    // Opaque lines in world space, depth-tested against the scene like the visuals; a point may lie
    // depthSlack (relative) behind the scene's depth and still show, for lines on the surfaces.
    static void drawPolylines(QImage& image, const std::vector<Polyline>& polylines, oxRenderCamera camera,
                              const std::vector<float>& depth, int depthWidth, int depthHeight, float depthSlack);

    // A vertical ramp at the right edge with the curvature values at its ends, quarters and middle.
    // histogram, when not empty, holds the model's area fractions in equal bins over the ramp from
    // its bottom to its top; they are drawn as bars to the left of the ramp.
    static void drawCurvatureLegend(QImage& image, const oxAnalysisShader& shader,
                                    const std::vector<double>& histogram = {});

    // Any such legend: a bar over values from -1 (bottom) to 1 (top) in colour(v), labelled ticks,
    // a title above, the histogram's bars beside it and lines across it at the marks.
    struct Legend
    {
        std::function<osg::Color3f(float)> colour;
        std::vector<std::pair<float, QString>> ticks;
        QString title;
        std::vector<double> histogram;
        std::vector<std::pair<float, QRgb>> marks;
    };
    static void drawLegend(QImage& image, const Legend& legend);
    // A colour scale's bar and ticks: the range's ends and quarters, or the band edges when stepped
    // (at most about sixteen of them labelled, the range's ends always). The legend's colour reads
    // scale, which must outlive it.
    static void scaleTicks(Legend& legend, const oxColourScale& scale);
};
