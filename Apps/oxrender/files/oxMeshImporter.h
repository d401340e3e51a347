#pragma once

#include "OSGNode.h"
#include "oxCadMesh.h"
#include "oxPointCloud.h"
#include "oxRenderMesh.h"

#include <memory>
#include <string>
#include <vector>

// How a mesh file is read.
struct oxMeshOptions
{
    float creaseAngleDegrees = 30.f;
    // Refuse a file that loses triangles (a corner that is no finite number, a missing
    // vertex) instead of loading the rest with a warning.
    bool strict = false;
    // Pass by the direct readers (binary STL, PLY), for a reference to compare them with.
    bool assimpOnly = false;
};

// Mesh files through Assimp (OBJ, STL, PLY, glTF, FBX, 3DS, Collada, ...), binary STL and most
// PLY files through readers of their own (oxBinaryStl, oxPlyReader): every mesh of the
// file's node tree in the file's world space, triangulated. Normals come from the file where it
// has vertex normals; otherwise (and for STL, whose normals are per facet) they are computed
// smooth with a crease angle. Which reader takes a file the host opens is oxModelImporter's question.
class oxMeshImporter
{
public:
    // Where a mesh file's load spends its time, in seconds: reading (in oxreader),
    // welding equal positions, the child's start and its answer's way back, the normals, in all.
    struct Stages
    {
        double read = 0, weld = 0, transfer = 0, normals = 0, total = 0;
    };

    // What was read of a file: its meshes, a CAD file's one mesh with its exact data, or a point
    // cloud's points.
    struct File
    {
        std::string path;
        std::vector<oxRenderMesh> meshes;
        std::shared_ptr<oxCadMesh> cad;             // with a CAD file's one mesh
        std::shared_ptr<const oxPointCloud> points; // without meshes
        size_t lostTriangles = 0; // of a mesh file, left out as unreadable (see oxMeshOptions::strict)
    };
    // A mesh file's meshes in world space, its lost triangles counted, warned about or (strict)
    // refused. On failure file is left as it was and error names the file and the cause.
    static bool readFile(const std::string& path, const oxMeshOptions& options, File& file, std::string& error,
                         Stages* stages = nullptr);
    // readFile's meshes appended to meshes.
    static bool load(const std::string& path, std::vector<oxRenderMesh>& meshes, std::string& error,
                     const oxMeshOptions& options = oxMeshOptions(), Stages* stages = nullptr);
    // The file's meshes as geometry nodes under one group node named after the file; a CAD
    // file's one mesh as a geometry node with its exact data attached (see oxCadMesh); a point
    // cloud as a node of points (see oxPointCloud::makeNode).
    static osg::NodePtr makeNode(const File& file);
    // Empty, or why single precision cannot hold the meshes finely: a small model far from the
    // origin keeps its coordinates only to the float step there. Said as a warning on reading.
    static std::string precisionWarning(const std::vector<oxRenderMesh>& meshes);
    // The same for a model within the box from low to high.
    static std::string precisionWarning(const osg::Pnt3f& low, const osg::Pnt3f& high);
    // Empty, or why the meshes lie too far out to be traced: a model that has them is refused.
    static std::string reachRefusal(const std::vector<oxRenderMesh>& meshes);
    // The same for a model whose largest coordinate has magnitude reach.
    static std::string reachRefusal(float reach);
    // Whether Assimp has a reader for the file's extension.
    static bool isSupported(const std::string& path);

    // What oxreader does with the request load() sends it ("mesh", path, ...): reads the file and
    // returns the answer load() takes in. Throws std::invalid_argument on another request.
    static std::string readAnswer(const std::vector<std::string>& request);
};
