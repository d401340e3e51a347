#include "oxCurvatureExport.h"

#include "oxAtomicFile.h"
#include "oxRenderScene.h"

#include <QFileInfo>
#include <QtEndian>

#include <cmath>

namespace
{
// x y z nx ny nz k1 k2 mean gauss of one vertex.
void vertexValues(const oxRenderMesh& mesh, const oxPrincipalCurvatures& c, size_t i, float out[10])
{
    const osg::Vec3f n = mesh.hasNormals() ? mesh.normals[i] : osg::Vec3f(0.f, 0.f, 0.f);
    const float k1 = i < c.kMax.size() ? c.kMax[i] : 0.f, k2 = i < c.kMin.size() ? c.kMin[i] : 0.f;
    const float values[10] = {mesh.positions[i][0],
                              mesh.positions[i][1],
                              mesh.positions[i][2],
                              n[0],
                              n[1],
                              n[2],
                              k1,
                              k2,
                              0.5f * (k1 + k2),
                              k1 * k2};
    std::copy(values, values + 10, out);
}

// The ten values of every vertex of the scene, meshes in order, as both formats write them.
template <class Fn> void forEachVertex(const oxRenderScene& scene, Fn fn)
{
    float values[10];
    for (size_t m = 0; m < scene.meshCount(); ++m)
    {
        const oxRenderMesh& mesh = scene.mesh(m);
        const oxPrincipalCurvatures& c = scene.curvatures(m);
        for (size_t i = 0; i < mesh.vertexCount(); ++i)
        {
            vertexValues(mesh, c, i, values);
            fn(values);
        }
    }
}

void putFloat(QByteArray& out, float value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void putUInt(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

QByteArray ply(const oxRenderScene& scene)
{
    size_t vertices = 0, faces = 0;
    for (size_t m = 0; m < scene.meshCount(); ++m)
    {
        vertices += scene.mesh(m).vertexCount();
        faces += scene.mesh(m).triangleCount();
    }
    QByteArray out;
    out += "ply\nformat binary_little_endian 1.0\ncomment curvatures: k1 >= k2, positive bending away from "
           "the normal\n";
    out += "element vertex " + QByteArray::number(qulonglong(vertices)) + "\n";
    for (const char* name : {"x", "y", "z", "nx", "ny", "nz", "k1", "k2", "mean", "gauss"})
        out += QByteArray("property float ") + name + "\n";
    out += "element face " + QByteArray::number(qulonglong(faces)) + "\n";
    out += "property list uchar uint vertex_indices\nend_header\n";
    out.reserve(out.size() + int(vertices * 40 + faces * 13));
    forEachVertex(scene,
                  [&out](const float* values)
                  {
                      for (int k = 0; k < 10; ++k)
                          putFloat(out, values[k]);
                  });
    quint32 base = 0;
    for (size_t m = 0; m < scene.meshCount(); ++m)
    {
        const oxRenderMesh& mesh = scene.mesh(m);
        for (size_t f = 0; f < mesh.triangleCount(); ++f)
        {
            out.append(char(3));
            for (int k = 0; k < 3; ++k)
                putUInt(out, base + mesh.indices[3 * f + size_t(k)]);
        }
        base += quint32(mesh.vertexCount());
    }
    return out;
}

QByteArray csv(const oxRenderScene& scene)
{
    QByteArray out = "x,y,z,nx,ny,nz,k1,k2,mean,gauss\n";
    forEachVertex(scene,
                  [&out](const float* values)
                  {
                      for (int k = 0; k < 10; ++k)
                      {
                          out += QByteArray::number(double(values[k]), 'g', 9);
                          out += k < 9 ? ',' : '\n';
                      }
                  });
    return out;
}
} // namespace

bool oxCurvatureExport::write(const oxRenderScene& scene, const std::string& path, std::string& error)
{
    const QString file = QString::fromStdString(path);
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix != "ply" && suffix != "csv")
    {
        error = "cannot export curvatures to \"" + path + "\": the suffix must be .ply or .csv";
        return false;
    }
    if (scene.meshCount() == 0)
    {
        error = "cannot export curvatures to \"" + path + "\": the scene has no meshes";
        return false;
    }
    scene.prepareCurvatures();
    const QByteArray data = suffix == "ply" ? ply(scene) : csv(scene);
    std::string why;
    if (!oxAtomicFile::save(path, data.toStdString(), why))
    {
        error = "cannot write \"" + path + "\": " + why;
        return false;
    }
    return true;
}
