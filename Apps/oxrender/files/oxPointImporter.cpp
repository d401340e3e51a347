#include "oxPointImporter.h"

#include "oxIsolatedProcess.h"
#include "oxPointReaders.h"
#include "oxRenderUtil.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace
{
using oxRenderUtil::lower;

std::string suffixOf(const std::string& path)
{
    return lower(QFileInfo(QString::fromStdString(path)).suffix().toStdString());
}

// A PLY header that declares vertices and no faces (or none of them).
bool plyOfPoints(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(1 << 16);
    const int end = head.indexOf("end_header");
    if (!head.startsWith("ply") || end < 0)
        return false;
    bool vertices = false;
    for (const QByteArray& line : head.left(end).split('\n'))
    {
        const QList<QByteArray> w = line.simplified().split(' ');
        if (w.size() == 3 && w[0] == "element")
        {
            if (w[1] == "vertex")
                vertices = true;
            else if (w[1] != "face" || w[2] != "0")
                return false;
        }
    }
    return vertices;
}

bool formatOf(const std::string& path, oxPointReaders::Format& format)
{
    if (suffixOf(path) == "ply")
    {
        format = oxPointReaders::Format::Ply;
        return true;
    }
    return oxPointReaders::formatOfSuffix(suffixOf(path), format);
}

// The child's answer: the cause (empty on success), then positions, normals and colours.
std::string serialize(const std::string& cause, const oxPointCloud& cloud)
{
    std::string buffer;
    oxWire::put(buffer, cause);
    oxWire::put(buffer, cloud.positions);
    oxWire::put(buffer, cloud.normals);
    oxWire::put(buffer, cloud.colours);
    return buffer;
}

bool deserialize(const std::string& buffer, std::string& cause, oxPointCloud& cloud)
{
    size_t at = 0;
    return oxWire::take(buffer, at, cause) && oxWire::take(buffer, at, cloud.positions) &&
           oxWire::take(buffer, at, cloud.normals) && oxWire::take(buffer, at, cloud.colours) && at == buffer.size() &&
           (cloud.normals.empty() || cloud.normals.size() == cloud.size()) &&
           (cloud.colours.empty() || cloud.colours.size() == cloud.size());
}

// Unit normals, or none where one of them has no direction: the points are then shown without.
void keepUsableNormals(oxPointCloud& cloud)
{
    for (osg::Vec3f& n : cloud.normals)
    {
        const float length = n.length();
        if (!(length > 1e-12f) || !std::isfinite(length))
        {
            cloud.normals.clear();
            return;
        }
        n *= 1.f / length;
    }
}

std::string parseFile(const std::string& path, oxPointCloud& cloud)
{
    oxPointReaders::Format format;
    if (!formatOf(path, format))
        return "not a point cloud file";
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString().toStdString();
    const qint64 size = file.size();
    std::string cause;
    QByteArray bytes;
    const char* data = nullptr;
    if (const uchar* mapped = size > 0 ? file.map(0, size) : nullptr)
        data = reinterpret_cast<const char*>(mapped);
    else
    {
        bytes = file.readAll();
        data = bytes.constData();
    }
    if (!oxPointReaders::parse(format, data, size_t(size), cloud, cause) && cause.empty())
        cause = "the reader failed on it";
    return cause;
}
} // namespace

bool oxPointImporter::isPointFile(const std::string& path)
{
    oxPointReaders::Format format;
    const std::string suffix = suffixOf(path);
    if (suffix == "ply")
        return plyOfPoints(path);
    return oxPointReaders::formatOfSuffix(suffix, format) || !unsupportedCause(path).empty();
}

std::string oxPointImporter::unsupportedCause(const std::string& path)
{
    const std::string suffix = suffixOf(path);
    if (suffix == "laz")
        return "LAZ (compressed LAS) is not read: Debian 12 ships no LASzip library; decompress it to LAS first "
               "(las2las or pdal translate)";
    if (suffix == "e57")
        return "E57 is not read: Debian 12 ships no E57 library; convert it to PLY, PCD or LAS first";
    return std::string();
}

bool oxPointImporter::read(const std::string& path, std::shared_ptr<oxPointCloud>& cloud, std::string& error)
{
    const QFileInfo info(QString::fromStdString(path));
    std::string cause = oxRenderUtil::unreadable(path);
    if (cause.empty())
        cause = unsupportedCause(path);
    auto read = std::make_shared<oxPointCloud>();
    if (cause.empty())
    {
        std::string answer;
        const int seconds = 30 + int(info.size() / (1 << 20));
        cause = oxIsolatedProcess::run({"points", path}, seconds, answer);
        // The reader's bytes are checked as a file's would be: counts that overrun them, arrays
        // that disagree, or bytes left over refuse the whole answer.
        if (cause.empty() && !deserialize(answer, cause, *read))
            cause = "the reader's answer (" + std::to_string(answer.size()) + " bytes) does not hold a whole cloud";
    }
    if (!cause.empty())
    {
        error = "cannot read point cloud " + oxRenderUtil::quoted(path) + ": " + cause;
        return false;
    }
    read->name = info.fileName().toStdString();
    keepUsableNormals(*read);
    cloud = std::move(read);
    return true;
}

std::string oxPointImporter::readAnswer(const std::vector<std::string>& request)
{
    if (request.size() != 2 || request[0] != "points")
        throw std::invalid_argument("not a point cloud's request");
    oxPointCloud cloud;
    std::string cause;
    try
    {
        cause = parseFile(request[1], cloud);
    }
    catch (const std::bad_alloc&)
    {
        throw; // oxreader reports it as running out of its memory
    }
    if (!cause.empty())
        cloud = oxPointCloud();
    return serialize(cause, cloud);
}
