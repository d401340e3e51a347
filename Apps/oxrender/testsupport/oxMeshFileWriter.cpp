#include "oxMeshFileWriter.h"

#include <QFile>

#include <cstdint>

namespace
{
template <class T> void append(QByteArray& out, const T& value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

bool save(const std::string& path, const QByteArray& data)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}
} // namespace

bool oxMeshFileWriter::writePly(const oxRenderMesh& mesh, const std::string& path, bool normals)
{
    const bool withNormals = normals && mesh.hasNormals();
    QByteArray out = "ply\nformat binary_little_endian 1.0\nelement vertex " +
                     QByteArray::number(qulonglong(mesh.vertexCount())) +
                     "\nproperty float x\nproperty float y\nproperty float z\n";
    if (withNormals)
        out += "property float nx\nproperty float ny\nproperty float nz\n";
    out += "element face " + QByteArray::number(qulonglong(mesh.triangleCount())) +
           "\nproperty list uchar int vertex_indices\nend_header\n";
    out.reserve(out.size() + int(mesh.vertexCount() * 24 + mesh.triangleCount() * 13));
    for (size_t v = 0; v < mesh.vertexCount(); ++v)
    {
        out.append(reinterpret_cast<const char*>(mesh.positions[v].getValues()), 12);
        if (withNormals)
            out.append(reinterpret_cast<const char*>(mesh.normals[v].getValues()), 12);
    }
    for (size_t f = 0; f < mesh.triangleCount(); ++f)
    {
        out.append(char(3));
        out.append(reinterpret_cast<const char*>(&mesh.indices[3 * f]), 12);
    }
    return save(path, out);
}

bool oxMeshFileWriter::writeStl(const oxRenderMesh& mesh, const std::string& path)
{
    QByteArray out(80, ' ');
    append(out, std::uint32_t(mesh.triangleCount()));
    out.reserve(out.size() + int(mesh.triangleCount() * 50));
    for (size_t f = 0; f < mesh.triangleCount(); ++f)
    {
        const osg::Pnt3f* p[3] = {&mesh.positions[mesh.indices[3 * f]], &mesh.positions[mesh.indices[3 * f + 1]],
                                  &mesh.positions[mesh.indices[3 * f + 2]]};
        osg::Vec3f n = (*p[1] - *p[0]).cross(*p[2] - *p[0]);
        n.normalize();
        out.append(reinterpret_cast<const char*>(n.getValues()), 12);
        for (const osg::Pnt3f* q : p)
            out.append(reinterpret_cast<const char*>(q->getValues()), 12);
        append(out, std::uint16_t(0));
    }
    return save(path, out);
}
