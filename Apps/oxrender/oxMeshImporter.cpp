#include "oxMeshImporter.h"

#include "oxMeshNodes.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QFileInfo>

#include <cmath>
#include <functional>

namespace
{
std::string quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

osg::Matrix toMatrix(const aiMatrix4x4& m)
{
    osg::Matrix r;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            r.setElement(row, col, m[row][col]);
    return r;
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

bool oxMeshImporter::load(const std::string& path, std::vector<oxRenderMesh>& meshes, std::string& error,
                          float creaseAngleDegrees)
{
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists())
    {
        error = "cannot read mesh " + quoted(path) + ": no such file";
        return false;
    }
    if (!info.isFile() || !info.isReadable())
    {
        error = "cannot read mesh " + quoted(path) + ": not a readable file";
        return false;
    }
    if (info.size() == 0)
    {
        error = "cannot read mesh " + quoted(path) + ": the file is empty";
        return false;
    }
    if (!isSupported(path))
    {
        error = "cannot read mesh " + quoted(path) + ": unsupported format \"" + info.suffix().toStdString() +
                "\" (supported: OBJ, STL, PLY, glTF, FBX, 3DS, DAE and the other formats Assimp reads)";
        return false;
    }

    const bool facetNormalsOnly = lower(info.suffix().toStdString()) == "stl";
    Assimp::Importer importer;
    // Normals are dropped where a file can only hold facet normals, so that they are smoothed below.
    importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, facetNormalsOnly ? int(aiComponent_NORMALS) : 0);
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    unsigned int flags = aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_JoinIdenticalVertices;
    if (facetNormalsOnly)
        flags |= aiProcess_RemoveComponent;
    const aiScene* scene = importer.ReadFile(path, flags);
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode)
    {
        std::string cause = importer.GetErrorString();
        if (cause.empty())
            cause = "the file holds no complete scene";
        else if (cause == "No meshes remaining")
            cause = "the file holds no triangles";
        error = "cannot read mesh " + quoted(path) + ": " + cause;
        return false;
    }

    std::vector<oxRenderMesh> loaded;
    std::function<void(const aiNode*, const osg::Matrix&)> visit = [&](const aiNode* node, const osg::Matrix& parent)
    {
        const osg::Matrix toWorld = parent * toMatrix(node->mTransformation);
        for (unsigned int m = 0; m < node->mNumMeshes; ++m)
        {
            const aiMesh* source = scene->mMeshes[node->mMeshes[m]];
            if (!source || !(source->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
                continue;
            oxRenderMesh mesh;
            mesh.name = source->mName.length > 0 ? source->mName.C_Str() : node->mName.C_Str();
            if (mesh.name.empty())
                mesh.name = info.completeBaseName().toStdString();
            mesh.positions.reserve(source->mNumVertices);
            for (unsigned int v = 0; v < source->mNumVertices; ++v)
                mesh.positions.emplace_back(source->mVertices[v].x, source->mVertices[v].y, source->mVertices[v].z);
            if (source->HasNormals())
                for (unsigned int v = 0; v < source->mNumVertices; ++v)
                    mesh.normals.emplace_back(source->mNormals[v].x, source->mNormals[v].y, source->mNormals[v].z);
            for (unsigned int f = 0; f < source->mNumFaces; ++f)
            {
                const aiFace& face = source->mFaces[f];
                if (face.mNumIndices == 3)
                    mesh.indices.insert(mesh.indices.end(), {face.mIndices[0], face.mIndices[1], face.mIndices[2]});
            }
            mesh.sanitize();
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
                mesh.computeNormals(creaseAngleDegrees);
            }
            mesh.transform(toWorld);
            loaded.push_back(std::move(mesh));
        }
        for (unsigned int c = 0; c < node->mNumChildren; ++c)
            visit(node->mChildren[c], toWorld);
    };
    visit(scene->mRootNode, osg::Matrix());

    if (loaded.empty())
    {
        error = "cannot read mesh " + quoted(path) + ": the file holds no triangles";
        return false;
    }
    for (oxRenderMesh& mesh : loaded)
        meshes.push_back(std::move(mesh));
    return true;
}

osg::NodePtr oxMeshImporter::loadNode(const std::string& path, std::string& error, float creaseAngleDegrees)
{
    std::vector<oxRenderMesh> meshes;
    if (!load(path, meshes, error, creaseAngleDegrees))
        return osg::NodePtr();
    osg::NodePtr group = osg::Node::create();
    beginEditCP(group, osg::Node::CoreFieldMask | osg::Node::ChildrenFieldMask);
    {
        group->setCore(osg::Group::create());
        group->setName(QFileInfo(QString::fromStdString(path)).fileName().toStdString());
        for (const oxRenderMesh& mesh : meshes)
            group->addChild(oxMeshNodes::makeNode(mesh));
    }
    endEditCP(group, osg::Node::CoreFieldMask | osg::Node::ChildrenFieldMask);
    return group;
}
