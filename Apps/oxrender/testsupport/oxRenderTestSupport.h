#pragma once

// Small helpers the renderer's tests share.
#include "oxCadImporter.h"
#include "oxRenderMesh.h"
#include "oxRenderScene.h"

#include <QColor>
#include <QTemporaryDir>

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
