#pragma once

#include "oxRenderCamera.h"

#include <QImage>

#include <vector>

class oxRaytracer;
class oxRenderScene;

// The reference a model is measured against, drawn over a frame as a faint ghost: its outline
// wherever it is not hidden behind the model, and a light veil where it stands clear in front of
// the model or where the model leaves the background. Where the two nearly coincide, the model's
// colours stay as they are.
class oxReferenceGhost
{
public:
    static constexpr QRgb Colour = 0xffd8e6ffu;
    static constexpr float VeilAlpha = 0.3f, OutlineAlpha = 0.65f;

    struct Style
    {
        QRgb colour = Colour;
        float veil = VeilAlpha, outline = OutlineAlpha;
        // Where the ghost lies behind the model: diagonal hatches of this alpha and its outline,
        // for what the model now covers (a comparison's removed faces); 0 leaves it hidden.
        float hatch = 0.f;
    };

    // depth: the model's camera-space depth per pixel of image (oxRaytracer::render). One cast of
    // primary rays into the reference at half the image's size.
    static void draw(QImage& image, const oxRenderScene& reference, const oxRenderCamera& camera,
                     const oxRaytracer& tracer, const std::vector<float>& depth, const Style& style);
    static void draw(QImage& image, const oxRenderScene& reference, const oxRenderCamera& camera,
                     const oxRaytracer& tracer, const std::vector<float>& depth)
    {
        draw(image, reference, camera, tracer, depth, Style());
    }
};
