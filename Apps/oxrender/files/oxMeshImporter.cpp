#include "oxMeshImporter.h"

#include "oxBinaryStl.h"
#include "oxIsolatedProcess.h"
#include "oxMeshNodes.h"
#include "oxPlyReader.h"
#include "oxRenderMath.h"
#include "oxRenderUtil.h"
#include "oxStlCheck.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QFile>
#include <QFileInfo>

#include <QtGlobal>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <stdexcept>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

namespace
{
using oxRenderUtil::lower;
using oxRenderUtil::quoted;
using oxRenderUtil::secondsSince;

osg::Matrix toMatrix(const aiMatrix4x4& m)
{
    osg::Matrix r;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            r.setElement(row, col, m[row][col]);
    return r;
}
// A mesh as the file has it, with the placement of its node.
struct RawMesh
{
    oxRenderMesh mesh;
    osg::Matrix toWorld;
};

// Binary STL and most PLY files, read without Assimp; false when the file is Assimp's to read,
// true with cause empty on success or saying why it failed.
bool importDirect(const std::string& path, const std::string& baseName, bool facetNormalsOnly,
                  std::vector<RawMesh>& out, std::string& cause)
{
    RawMesh raw;
    raw.mesh.name = baseName;
    if (facetNormalsOnly && oxBinaryStl::isBinary(path))
    {
        if (oxBinaryStl::read(path, raw.mesh, cause))
        {
            cause.clear();
            out.push_back(std::move(raw));
        }
        return true;
    }
    if (lower(QFileInfo(QString::fromStdString(path)).suffix().toStdString()) != "ply")
        return false;
    switch (oxPlyReader::read(path, raw.mesh, cause))
    {
    case oxPlyReader::Read:
        cause.clear();
        out.push_back(std::move(raw));
        return true;
    case oxPlyReader::Failed:
        return true;
    case oxPlyReader::NotHandled:
        break;
    }
    cause.clear();
    return false;
}

// The file's scene as Assimp reads it, or null with why in cause.
const aiScene* readWithAssimp(Assimp::Importer& importer, const std::string& path, bool facetNormalsOnly,
                              std::string& cause)
{
    // Normals are dropped where a file can only hold facet normals, so that they are smoothed later.
    importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, facetNormalsOnly ? int(aiComponent_NORMALS) : 0);
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    unsigned int flags = aiProcess_Triangulate | aiProcess_SortByPType;
    if (facetNormalsOnly)
        flags |= aiProcess_RemoveComponent;
    const aiScene* scene = importer.ReadFile(path, flags);
    // Meshes without normals are welded on their exact positions with the normals' computation;
    // Assimp's joining, five times the read on a large mesh, is left to meshes whose normals it
    // must compare too.
    bool normals = false;
    for (unsigned int m = 0; scene && m < scene->mNumMeshes; ++m)
        normals = normals || (scene->mMeshes[m] && scene->mMeshes[m]->HasNormals());
    if (normals)
        scene = importer.ApplyPostProcessing(aiProcess_JoinIdenticalVertices);
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode)
    {
        cause = importer.GetErrorString();
        if (cause.empty())
            cause = "the file holds no complete scene";
        else if (cause == "No meshes remaining")
            cause = "the file holds no triangles";
        return nullptr;
    }
    return scene;
}

// One of Assimp's meshes with the placement of its node; its triangles only.
RawMesh rawMesh(const aiMesh& source, const aiNode& node, const osg::Matrix& toWorld, const std::string& baseName)
{
    RawMesh raw;
    raw.toWorld = toWorld;
    oxRenderMesh& mesh = raw.mesh;
    mesh.name = source.mName.length > 0 ? source.mName.C_Str() : node.mName.C_Str();
    if (mesh.name.empty())
        mesh.name = baseName;
    mesh.positions.reserve(source.mNumVertices);
    for (unsigned int v = 0; v < source.mNumVertices; ++v)
        mesh.positions.emplace_back(source.mVertices[v].x, source.mVertices[v].y, source.mVertices[v].z);
    if (source.HasNormals())
        for (unsigned int v = 0; v < source.mNumVertices; ++v)
            mesh.normals.emplace_back(source.mNormals[v].x, source.mNormals[v].y, source.mNormals[v].z);
    for (unsigned int f = 0; f < source.mNumFaces; ++f)
    {
        const aiFace& face = source.mFaces[f];
        if (face.mNumIndices == 3)
            mesh.indices.insert(mesh.indices.end(), {face.mIndices[0], face.mIndices[1], face.mIndices[2]});
    }
    return raw;
}

// The triangle meshes of node and the nodes below it, placed in the world.
void collectMeshes(const aiScene& scene, const aiNode& node, const osg::Matrix& parent, const std::string& baseName,
                   std::vector<RawMesh>& out)
{
    const osg::Matrix toWorld = parent * toMatrix(node.mTransformation);
    for (unsigned int m = 0; m < node.mNumMeshes; ++m)
    {
        const aiMesh* source = node.mMeshes[m] < scene.mNumMeshes ? scene.mMeshes[node.mMeshes[m]] : nullptr;
        if (source && (source->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
            out.push_back(rawMesh(*source, node, toWorld, baseName));
    }
    for (unsigned int c = 0; c < node.mNumChildren; ++c)
        collectMeshes(scene, *node.mChildren[c], toWorld, baseName, out);
}

// Reads the file (binary STL and most PLY files directly, the rest with Assimp); an empty result
// means success.
std::string importRaw(const std::string& path, const std::string& baseName, bool facetNormalsOnly, bool assimpOnly,
                      std::vector<RawMesh>& out)
{
    std::string cause;
    if (!assimpOnly && importDirect(path, baseName, facetNormalsOnly, out, cause))
        return cause;
    if (facetNormalsOnly && !oxBinaryStl::isBinary(path))
    {
        cause = oxStlCheck::truncation(path);
        if (!cause.empty())
            return cause;
    }
    Assimp::Importer importer;
    const aiScene* scene = readWithAssimp(importer, path, facetNormalsOnly, cause);
    if (!scene)
        return cause;
    collectMeshes(*scene, *scene->mRootNode, osg::Matrix(), baseName, out);
    return std::string();
}

// Meshes without normals are welded in the child, so that a file with a vertex per corner (STL)
// sends a sixth of its positions through the pipe, and the normals need no weld of their own.
// Returns how many triangles the weld had to leave out (see oxRenderMesh::sanitize).
size_t weldWithoutNormals(std::vector<RawMesh>& meshes)
{
    size_t lost = 0;
    for (RawMesh& raw : meshes)
        if (raw.mesh.normals.empty())
        {
            lost += raw.mesh.sanitize();
            raw.mesh.weld();
        }
    return lost;
}

// The child's answer: the cause (empty on success), its stage times (read, weld), the triangles it
// left out, then per mesh its name, matrix, positions, normals and indices.
std::string serialize(const std::string& cause, const std::vector<double>& times, quint64 lost,
                      const std::vector<RawMesh>& meshes)
{
    std::string buffer;
    oxWire::put(buffer, cause);
    oxWire::put(buffer, times);
    buffer.append(reinterpret_cast<const char*>(&lost), sizeof lost);
    const quint64 count = meshes.size();
    buffer.append(reinterpret_cast<const char*>(&count), sizeof count);
    for (const RawMesh& raw : meshes)
    {
        oxWire::put(buffer, raw.mesh.name);
        oxWire::put(buffer, std::vector<float>(raw.toWorld.getValues(), raw.toWorld.getValues() + 16));
        oxWire::put(buffer, raw.mesh.positions);
        oxWire::put(buffer, raw.mesh.normals);
        oxWire::put(buffer, raw.mesh.indices);
    }
    return buffer;
}

bool deserialize(const std::string& buffer, std::string& cause, std::vector<double>& times, quint64& lost,
                 std::vector<RawMesh>& meshes)
{
    size_t at = 0;
    quint64 count;
    if (!oxWire::take(buffer, at, cause) || !oxWire::take(buffer, at, times) ||
        buffer.size() - at < sizeof lost + sizeof count)
        return false;
    std::memcpy(&lost, buffer.data() + at, sizeof lost);
    at += sizeof lost;
    std::memcpy(&count, buffer.data() + at, sizeof count);
    at += sizeof count;
    for (quint64 i = 0; i < count; ++i)
    {
        RawMesh raw;
        std::vector<float> matrix;
        if (!oxWire::take(buffer, at, raw.mesh.name) || !oxWire::take(buffer, at, matrix) || matrix.size() != 16 ||
            !oxWire::take(buffer, at, raw.mesh.positions) || !oxWire::take(buffer, at, raw.mesh.normals) ||
            !oxWire::take(buffer, at, raw.mesh.indices))
            return false;
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r)
                raw.toWorld.setElement(r, c, matrix[size_t(c * 4 + r)]);
        meshes.push_back(std::move(raw));
    }
    return at == buffer.size();
}

// What oxreader writes for a mesh file: the cause of a failure, the read's and weld's seconds,
// the triangles lost and the meshes read.
std::string readAndSerialize(const std::string& path, const std::string& baseName, bool facetNormalsOnly,
                             bool assimpOnly)
{
    std::vector<RawMesh> read;
    std::string cause;
    std::vector<double> times;
    quint64 dropped = 0;
    try
    {
        const auto readStart = std::chrono::steady_clock::now();
        cause = importRaw(path, baseName, facetNormalsOnly, assimpOnly, read);
        times = {secondsSince(readStart), 0.0};
        const auto weldStart = std::chrono::steady_clock::now();
        dropped = weldWithoutNormals(read);
        times[1] = secondsSince(weldStart);
    }
    catch (const std::bad_alloc&)
    {
        throw; // oxreader reports it as running out of its memory
    }
    catch (const std::exception& e)
    {
        cause = e.what();
        read.clear();
    }
    return serialize(cause, times, dropped, read);
}

std::string importIsolated(const std::string& path, const std::string& baseName, bool facetNormalsOnly, bool assimpOnly,
                           int seconds, std::vector<RawMesh>& meshes, size_t& lost, oxMeshImporter::Stages& stages)
{
    const auto start = std::chrono::steady_clock::now();
    std::string answer;
    const std::string failed = oxIsolatedProcess::run(
        {"mesh", path, baseName, facetNormalsOnly ? "1" : "0", assimpOnly ? "1" : "0"}, seconds, answer);
    if (!failed.empty())
        return failed;
    std::string cause;
    std::vector<double> times;
    quint64 dropped = 0;
    if (!deserialize(answer, cause, times, dropped, meshes))
    {
        meshes.clear();
        return "the importer failed on it";
    }
    if (times.size() == 2)
    {
        stages.read = times[0];
        stages.weld = times[1];
    }
    stages.transfer = secondsSince(start) - stages.read - stages.weld;
    lost = size_t(dropped);
    return cause;
}

// Why the importer cannot take the file, checked before oxreader is started; empty when
// it can.
std::string unreadable(const QFileInfo& info, const std::string& path)
{
    const std::string cause = oxRenderUtil::unreadable(path);
    if (!cause.empty())
        return cause;
    if (!oxMeshImporter::isSupported(path))
        return "unsupported format \"" + info.suffix().toStdString() +
               "\" (supported: OBJ, STL, PLY, glTF, FBX, 3DS, DAE and the other formats Assimp reads)";
    if (lower(info.suffix().toStdString()) == "ply")
    {
        // Assimp waits for ever for the end of a PLY header that never comes.
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly) || !file.read(1 << 16).contains("end_header"))
            return "the PLY header is truncated (no end_header)";
    }
    return std::string();
}

// The file's meshes with usable normals (the file's, else smoothed within the crease angle), in
// world space; meshes without a usable triangle are left out. lost counts the triangles dropped.
std::vector<oxRenderMesh> toWorld(std::vector<RawMesh>& raw, float creaseAngleDegrees, size_t& lost)
{
    std::vector<oxRenderMesh> loaded;
    for (RawMesh& r : raw)
    {
        oxRenderMesh& mesh = r.mesh;
        const bool welded = mesh.normals.empty();
        lost += mesh.sanitize();
        if (mesh.triangleCount() == 0)
            continue;
        bool usableNormals = mesh.hasNormals();
        for (size_t v = 0; usableNormals && v < mesh.normals.size(); ++v)
            usableNormals = std::isfinite(mesh.normals[v].length()) && mesh.normals[v].length() > 1e-6f;
        if (usableNormals)
            mesh.normalizeNormals();
        else
        {
            mesh.normals.clear();
            mesh.computeNormals(creaseAngleDegrees, welded);
        }
        if (!r.toWorld.equals(osg::Matrix(), 0.f))
            mesh.transform(r.toWorld);
        loaded.push_back(std::move(mesh));
    }
    return loaded;
}

// The largest magnitude of a coordinate of a triangle's corner.
float largestCoordinate(const std::vector<oxRenderMesh>& meshes)
{
    float reach = 0.f;
    for (const oxRenderMesh& mesh : meshes)
        for (const osg::UInt32 i : mesh.indices)
            if (i < mesh.positions.size())
                for (int c = 0; c < 3; ++c)
                    reach = std::max(reach, std::fabs(mesh.positions[i][c]));
    return reach;
}
} // namespace

bool oxMeshImporter::isSupported(const std::string& path)
{
    const std::string suffix = QFileInfo(QString::fromStdString(path)).suffix().toStdString();
    if (suffix.empty())
        return false;
    Assimp::Importer importer;
    return importer.IsExtensionSupported("." + lower(suffix));
}

bool oxMeshImporter::readFile(const std::string& path, const oxMeshOptions& options, File& file, std::string& error,
                              Stages* stages)
{
    const auto start = std::chrono::steady_clock::now();
    const QFileInfo info(QString::fromStdString(path));
    std::string cause = unreadable(info, path);
    std::vector<RawMesh> raw;
    oxMeshImporter::Stages times;
    size_t lost = 0;
    if (cause.empty())
    {
        const bool facetNormalsOnly = lower(info.suffix().toStdString()) == "stl";
        // Assimp's readers can crash or loop for ever on some malformed files (truncated PLY files
        // do both), so the file is read in a process of its own (oxreader) and only its meshes come back.
        const int seconds = 30 + int(info.size() / (1 << 20));
        cause = importIsolated(path, info.completeBaseName().toStdString(), facetNormalsOnly, options.assimpOnly,
                               seconds, raw, lost, times);
    }
    const auto normalsStart = std::chrono::steady_clock::now();
    std::vector<oxRenderMesh> loaded;
    if (cause.empty())
        loaded = toWorld(raw, options.creaseAngleDegrees, lost);
    times.normals = secondsSince(normalsStart);
    const std::string lostTriangles = std::to_string(lost) + (lost == 1 ? " triangle" : " triangles") +
                                      " of the file could not be read (a corner that is no finite number, or a "
                                      "missing vertex)";
    if (cause.empty() && loaded.empty())
        cause = lost > 0 ? lostTriangles + ", and none is left" : "the file holds no triangles";
    if (cause.empty() && lost > 0 && options.strict)
        cause = lostTriangles;
    if (!cause.empty())
    {
        error = "cannot read mesh " + quoted(path) + ": " + cause;
        return false;
    }
    if (lost > 0)
        std::fprintf(stderr, "warning: mesh \"%s\": %s; the model lacks them\n", path.c_str(), lostTriangles.c_str());
    file.meshes = std::move(loaded);
    file.lostTriangles = lost;
    times.total = secondsSince(start);
    if (stages)
        *stages = times;
    return true;
}

bool oxMeshImporter::load(const std::string& path, std::vector<oxRenderMesh>& meshes, std::string& error,
                          const oxMeshOptions& options, Stages* stages)
{
    File file;
    if (!readFile(path, options, file, error, stages))
        return false;
    for (oxRenderMesh& mesh : file.meshes)
        meshes.push_back(std::move(mesh));
    return true;
}

std::string oxMeshImporter::reachRefusal(const std::vector<oxRenderMesh>& meshes)
{
    return reachRefusal(largestCoordinate(meshes));
}

std::string oxMeshImporter::reachRefusal(float reach)
{
    if (reach <= oxRenderMath::MaxCoordinate)
        return std::string();
    char why[160];
    std::snprintf(why, sizeof why, "its coordinates reach %.3g, beyond %.0e, the most a model may have to be traced",
                  double(reach), double(oxRenderMath::MaxCoordinate));
    return why;
}

std::string oxMeshImporter::precisionWarning(const std::vector<oxRenderMesh>& meshes)
{
    osg::Vec3f low(FLT_MAX, FLT_MAX, FLT_MAX), high(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    for (const oxRenderMesh& mesh : meshes)
        for (const osg::UInt32 i : mesh.indices)
            if (i < mesh.positions.size())
                for (int c = 0; c < 3; ++c)
                {
                    low[c] = std::min(low[c], mesh.positions[i][c]);
                    high[c] = std::max(high[c], mesh.positions[i][c]);
                }
    return precisionWarning(osg::Pnt3f(low[0], low[1], low[2]), osg::Pnt3f(high[0], high[1], high[2]));
}

std::string oxMeshImporter::precisionWarning(const osg::Pnt3f& low, const osg::Pnt3f& high)
{
    if (!(low[0] <= high[0]))
        return std::string();
    const osg::Vec3f size = high - low;
    float reach = 0.f;
    for (int c = 0; c < 3; ++c)
        reach = std::max({reach, std::fabs(low[c]), std::fabs(high[c])});
    const double step = std::nextafter(reach, FLT_MAX) - reach;
    // A model without extent (points in one place) has no shading to look coarse.
    if (!(size.length() > 0))
        return std::string();
    // A ten-thousandth of the model is about where reflection lines start to show the steps.
    if (!(step > 1e-4 * size.length()))
        return std::string();
    char why[240];
    std::snprintf(why, sizeof why,
                  "it lies %.3g from the origin at a size of %.3g, where single precision keeps coordinates only "
                  "to %.3g (%.2g of its size), so its shading will look coarse; move it nearer the origin",
                  double(reach), double(size.length()), step, step / size.length());
    return why;
}

osg::NodePtr oxMeshImporter::makeNode(const File& file)
{
    const std::string name = QFileInfo(QString::fromStdString(file.path)).fileName().toStdString();
    if (file.points)
        return oxPointCloud::makeNode(file.points);
    if (file.cad && file.meshes.size() == 1)
    {
        osg::NodePtr node = oxMeshNodes::makeNode(file.meshes.front());
        oxCadMesh::attach(osg::GeometryPtr::dcast(node->getCore()), file.cad);
        beginEditCP(node, osg::Node::CoreFieldMask);
        {
            node->setName(name);
        }
        endEditCP(node, osg::Node::CoreFieldMask);
        return node;
    }
    osg::NodePtr group = osg::Node::create();
    beginEditCP(group, osg::Node::CoreFieldMask | osg::Node::ChildrenFieldMask);
    {
        group->setCore(osg::Group::create());
        group->setName(name);
        for (const oxRenderMesh& mesh : file.meshes)
            group->addChild(oxMeshNodes::makeNode(mesh));
    }
    endEditCP(group, osg::Node::CoreFieldMask | osg::Node::ChildrenFieldMask);
    return group;
}

std::string oxMeshImporter::readAnswer(const std::vector<std::string>& request)
{
    if (request.size() != 5 || request[0] != "mesh")
        throw std::invalid_argument("not a mesh file's request");
    return readAndSerialize(request[1], request[2], request[3] == "1", request[4] == "1");
}
