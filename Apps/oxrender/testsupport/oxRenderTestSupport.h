#pragma once

// Small helpers the renderer's tests share.
#include "oxAnalysisShading.h"
#include "oxCadImporter.h"
#include "oxRenderMesh.h"
#include "oxRenderMath.h"
#include "oxRenderScene.h"

#include <QColor>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

// A CAD file loaded through the import path into the scene, as its only part.
inline bool loadCadPart(oxRenderScene& scene, const std::string& path, std::string& error)
{
    auto mesh = std::make_shared<oxRenderMesh>();
    std::shared_ptr<oxCadMesh> cad;
    if (!oxCadImporter::load(path, oxCadOptions(), *mesh, cad, error))
        return false;
    scene.setMeshes({mesh}, {cad});
    return true;
}

// A CAD sample written by Open CASCADE (as suffix says) and loaded through the import path into
// a scene of its own.
inline bool loadCadSample(oxRenderScene& scene, const std::string& sample, std::string& error,
                          const std::string& suffix = ".step")
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QString::fromStdString(sample + suffix)).toStdString();
    return oxCadImporter::writeSample(sample, path, error) && loadCadPart(scene, path, error);
}

// The same for QVERIFY: a warning says why it did not load.
inline bool cadSampleLoads(oxRenderScene& scene, const std::string& sample, const std::string& suffix = ".step")
{
    std::string error;
    if (loadCadSample(scene, sample, error, suffix))
        return true;
    qWarning("%s", error.c_str());
    return false;
}

inline QRgb rgb(const osg::Color3f& c)
{
    return qRgb(int(c[0] * 255.f + 0.5f), int(c[1] * 255.f + 0.5f), int(c[2] * 255.f + 0.5f));
}

// Colours within tolerance per channel.
inline bool near(QRgb a, QRgb b, int tolerance = 2)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// A tile of 16 x 16 hits seen along +y from the origin whose normals turn about Z by
// degreesPerPixel from one pixel to the next along x, and tilt by tiltShare of that along y, as
// at a rim.
inline std::unique_ptr<oxShadingBatch> turningTile(float degreesPerPixel, float tiltShare = 0.f)
{
    auto b = std::make_unique<oxShadingBatch>();
    b->stride = 16;
    b->count = 256;
    for (int i = 0; i < b->count; ++i)
    {
        const float a = float((i % 16) - 8) * degreesPerPixel * float(M_PI) / 180.f;
        const float t = float((i / 16) - 8) * degreesPerPixel * tiltShare * float(M_PI) / 180.f;
        b->n.set(i, oxRenderMath::unit(osg::Vec3f(std::sin(a), -std::cos(a), std::sin(t))));
        b->d.set(i, osg::Vec3f(0.f, 1.f, 0.f));
        b->p.set(i, osg::Vec3f(0.f, 0.f, 0.f));
        b->side[i] = 1.f;
        b->pixel[i] = i;
    }
    return b;
}
