#include "oxBinaryStl.h"

#include <QFile>

#include <cstdint>
#include <cstring>
#include <numeric>

namespace
{
const qint64 HeaderBytes = 84, FacetBytes = 50;

// The facet count of the header; -1 when the file is no binary STL.
qint64 facetCount(QFile& file)
{
    char header[HeaderBytes];
    if (file.read(header, HeaderBytes) != HeaderBytes)
        return -1;
    std::uint32_t count;
    std::memcpy(&count, header + 80, sizeof count);
    return count > 0 && file.size() == HeaderBytes + FacetBytes * qint64(count) ? qint64(count) : -1;
}
} // namespace

bool oxBinaryStl::isBinary(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) && facetCount(file) > 0;
}

bool oxBinaryStl::read(const std::string& path, oxRenderMesh& mesh, std::string& cause)
{
    QFile file(QString::fromStdString(path));
    const qint64 count = file.open(QIODevice::ReadOnly) ? facetCount(file) : -1;
    if (count <= 0)
    {
        cause = "not a binary STL file";
        return false;
    }
    const QByteArray facets = file.read(count * FacetBytes);
    if (facets.size() != count * FacetBytes)
    {
        cause = "the file could not be read to its end";
        return false;
    }
    mesh.positions.resize(size_t(3 * count));
    mesh.normals.clear();
    // Each facet: its normal, three corners of three floats, two attribute bytes.
    for (qint64 f = 0; f < count; ++f)
        std::memcpy(static_cast<void*>(&mesh.positions[size_t(3 * f)]), facets.constData() + f * FacetBytes + 12, 36);
    mesh.indices.resize(mesh.positions.size());
    std::iota(mesh.indices.begin(), mesh.indices.end(), osg::UInt32(0));
    return true;
}
