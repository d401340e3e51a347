#include "oxDeviationExport.h"

#include "oxAtomicFile.h"
#include "oxDeviation.h"
#include "oxRenderScene.h"

#include <QFileInfo>
#include <QtEndian>

#include <cstring>

namespace
{
// x y z d rx ry rz of every vertex of every mesh, in the scene's order.
template <class Fn> void forEachVertex(const oxRenderScene& model, const oxDeviationField& field, Fn fn)
{
    for (size_t m = 0; m < model.meshCount(); ++m)
    {
        const oxRenderMesh& mesh = model.mesh(m);
        for (size_t v = 0; v < mesh.vertexCount(); ++v)
        {
            const osg::Pnt3f& p = mesh.positions[v];
            const osg::Pnt3f& r = field.closest[m][v];
            const float values[7] = {p[0], p[1], p[2], field.distance[m][v], r[0], r[1], r[2]};
            fn(values);
        }
    }
}

void put(QByteArray& out, quint32 bits)
{
    char bytes[4];
    qToLittleEndian(bits, bytes);
    out.append(bytes, 4);
}

QByteArray ply(const oxRenderScene& model, const oxDeviationField& field)
{
    size_t vertices = 0, faces = 0;
    for (size_t m = 0; m < model.meshCount(); ++m)
    {
        vertices += model.mesh(m).vertexCount();
        faces += model.mesh(m).triangleCount();
    }
    QByteArray out = "ply\nformat binary_little_endian 1.0\ncomment d: signed distance to the reference, + "
                     "outside; r: the reference's closest point\n";
    out += "element vertex " + QByteArray::number(qulonglong(vertices)) + "\n";
    for (const char* name : {"x", "y", "z", "d", "rx", "ry", "rz"})
        out += QByteArray("property float ") + name + "\n";
    // A point cloud's file is its points alone, as point tools expect.
    if (faces > 0)
        out += "element face " + QByteArray::number(qulonglong(faces)) + "\nproperty list uchar uint vertex_indices\n";
    out += "end_header\n";
    out.reserve(out.size() + int(vertices * 28 + faces * 13));
    forEachVertex(model, field,
                  [&out](const float* values)
                  {
                      for (int k = 0; k < 7; ++k)
                      {
                          quint32 bits;
                          std::memcpy(&bits, &values[k], 4);
                          put(out, bits);
                      }
                  });
    quint32 base = 0;
    for (size_t m = 0; m < model.meshCount(); ++m)
    {
        const oxRenderMesh& mesh = model.mesh(m);
        for (size_t f = 0; f < mesh.triangleCount(); ++f)
        {
            out.append(char(3));
            for (int k = 0; k < 3; ++k)
                put(out, base + mesh.indices[3 * f + size_t(k)]);
        }
        base += quint32(mesh.vertexCount());
    }
    return out;
}

QByteArray csv(const oxRenderScene& model, const oxDeviationField& field)
{
    QByteArray out = "x,y,z,d,rx,ry,rz\n";
    forEachVertex(model, field,
                  [&out](const float* values)
                  {
                      for (int k = 0; k < 7; ++k)
                      {
                          out += QByteArray::number(double(values[k]), 'g', 9);
                          out += k < 6 ? ',' : '\n';
                      }
                  });
    return out;
}
} // namespace

bool oxDeviationExport::write(const oxRenderScene& model, const oxDeviationField& field, const std::string& path,
                              std::string& error)
{
    const QString suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower();
    if (suffix != "ply" && suffix != "csv")
    {
        error = "cannot export the deviation to \"" + path + "\": the suffix must be .ply or .csv";
        return false;
    }
    bool matches = field.distance.size() == model.meshCount() && field.closest.size() == model.meshCount();
    for (size_t m = 0; matches && m < model.meshCount(); ++m)
        matches = field.distance[m].size() == model.mesh(m).vertexCount() &&
                  field.closest[m].size() == model.mesh(m).vertexCount();
    if (model.meshCount() == 0 || !matches)
    {
        error = "cannot export the deviation to \"" + path + "\": the model has no distances to its reference";
        return false;
    }
    const QByteArray data = suffix == "ply" ? ply(model, field) : csv(model, field);
    std::string why;
    if (!oxAtomicFile::save(path, data.toStdString(), why))
    {
        error = "cannot write \"" + path + "\": " + why;
        return false;
    }
    return true;
}
