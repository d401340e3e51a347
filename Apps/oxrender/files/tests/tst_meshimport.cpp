// Mesh files into the analysis raytracer's scene: good files with their normals, bad ones refused.
#include "testsupport.h"
#include "OSGGeometry.h"
#include "OSGSurfaceAnalysisModes.h"
#include "oxCurvature.h"
#include "oxCurvatureStats.h"
#include "oxCadMesh.h"
#include "oxMeshFileWriter.h"
#include "oxMeshImporter.h"
#include "oxModelImporter.h"
#include "oxPlyReader.h"
#include "oxRenderScene.h"
#include "oxSampleSurfaces.h"

#include <QTemporaryDir>
#include <QtTest>

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <set>
#include <tuple>

namespace
{
QByteArray binaryStl(int declaredFacets, int writtenFacets)
{
    QByteArray data(80, ' ');
    const quint32 n = quint32(declaredFacets);
    data.append(reinterpret_cast<const char*>(&n), 4);
    for (int f = 0; f < writtenFacets; ++f)
    {
        const float facet[12] = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0};
        data.append(reinterpret_cast<const char*>(facet), sizeof facet);
        data.append(2, '\0');
    }
    return data;
}

// A unit cube as an ASCII STL: 12 facets, each with its own three corners.
QByteArray cubeStl()
{
    const float c[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    QByteArray s = "solid cube\n";
    for (const auto& q : quads)
        for (const auto& tri : {std::make_tuple(q[0], q[1], q[2]), std::make_tuple(q[0], q[2], q[3])})
        {
            s += "facet normal 0 0 0\nouter loop\n";
            for (int v : {std::get<0>(tri), std::get<1>(tri), std::get<2>(tri)})
                s += QByteArray("vertex ") + QByteArray::number(c[v][0]) + " " + QByteArray::number(c[v][1]) + " " +
                     QByteArray::number(c[v][2]) + "\n";
            s += "endloop\nendfacet\n";
        }
    return s + "endsolid cube\n";
}

// An octahedron-like smooth cap: a 3 x 3 grid bent into a shallow dome, as OBJ without normals.
QByteArray domeObj()
{
    QByteArray s;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            s += QByteArray("v ") + QByteArray::number(x - 1) + " " + QByteArray::number(y - 1) + " " +
                 QByteArray::number(-0.1 * ((x - 1) * (x - 1) + (y - 1) * (y - 1))) + "\n";
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
        {
            const int a = y * 3 + x + 1, b = a + 1, c = a + 4, d = a + 3;
            s += QByteArray("f ") + QByteArray::number(a) + " " + QByteArray::number(b) + " " + QByteArray::number(c) +
                 " " + QByteArray::number(d) + "\n";
        }
    return s;
}

// A binary little-endian PLY of the given element lines and body.
QByteArray binaryPly(const QByteArray& elements, const QByteArray& body)
{
    return "ply\nformat binary_little_endian 1.0\n" + elements + "end_header\n" + body;
}

const QByteArray TriangleElements("element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                                  "element face 1\nproperty list uchar int vertex_indices\n");

// The three vertices of TriangleElements, then one face of the given corners.
QByteArray triangleBody(quint8 corners, const std::vector<qint32>& indices)
{
    const float xyz[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    QByteArray body(reinterpret_cast<const char*>(xyz), sizeof xyz);
    body.append(char(corners));
    body.append(reinterpret_cast<const char*>(indices.data()), int(indices.size() * sizeof(qint32)));
    return body;
}

// How a PLY file spells a mesh.
struct PlyLayout
{
    QByteArray format; // ascii, binary_little_endian or binary_big_endian
    QByteArray coordinate, count, index;
    bool quads = false;  // the grid's quads instead of its triangles
    bool extras = false; // properties the reader skips: a float and a uchar per vertex, a uchar per face
    bool normals = false;
};

void putValue(QByteArray& out, const PlyLayout& layout, const QByteArray& type, double value)
{
    if (layout.format == "ascii")
    {
        out += QByteArray::number(value, 'g', type == "double" ? 17 : 9) + ' ';
        return;
    }
    char bytes[8];
    size_t size = 4;
    if (type == "float")
        qToLittleEndian(float(value), bytes);
    else if (type == "double")
        qToLittleEndian(value, bytes), size = 8;
    else if (type == "uchar")
        bytes[0] = char(value), size = 1;
    else if (type == "int")
        qToLittleEndian(qint32(value), bytes);
    else
        qToLittleEndian(quint32(value), bytes);
    if (layout.format == "binary_big_endian")
        std::reverse(bytes, bytes + size);
    out.append(bytes, int(size));
}

// The torus's pairs of triangles (a, b, c), (a, c, d) as the quads (a, b, c, d).
std::vector<std::vector<osg::UInt32>> faces(const oxRenderMesh& mesh, bool quads)
{
    std::vector<std::vector<osg::UInt32>> out;
    const std::vector<osg::UInt32>& i = mesh.indices;
    for (size_t t = 0; t < mesh.triangleCount(); t += quads ? 2 : 1)
    {
        const osg::UInt32* a = &i[3 * t];
        if (!quads)
            out.push_back({a[0], a[1], a[2]});
        else if (a[2] == a[4])
            out.push_back({a[0], a[1], a[2], a[5]});
        else
            out.push_back({a[0], a[4], a[5], a[2]});
    }
    return out;
}

QByteArray torusPly(const oxRenderMesh& torus, const PlyLayout& layout)
{
    QByteArray out = "ply\nformat " + layout.format + " 1.0\ncomment a torus\nelement vertex " +
                     QByteArray::number(qulonglong(torus.vertexCount())) + "\n";
    if (layout.extras)
        out += "property float confidence\n";
    for (const char* axis : {"x", "y", "z"})
        out += "property " + layout.coordinate + " " + axis + "\n";
    if (layout.normals)
        out += "property float nx\nproperty float ny\nproperty float nz\n";
    if (layout.extras)
        out += "property uchar red\n";
    const std::vector<std::vector<osg::UInt32>> polygons = faces(torus, layout.quads);
    out += "element face " + QByteArray::number(qulonglong(polygons.size())) + "\nproperty list " + layout.count + " " +
           layout.index + " vertex_indices\n";
    if (layout.extras)
        out += "property uchar flags\n";
    out += "end_header\n";
    const char* const line = layout.format == "ascii" ? "\n" : "";
    for (size_t v = 0; v < torus.vertexCount(); ++v)
    {
        if (layout.extras)
            putValue(out, layout, "float", 0.5);
        for (int c = 0; c < 3; ++c)
            putValue(out, layout, layout.coordinate, torus.positions[v][c]);
        for (int c = 0; layout.normals && c < 3; ++c)
            putValue(out, layout, "float", torus.normals[v][c]);
        if (layout.extras)
            putValue(out, layout, "uchar", 7);
        out += line;
    }
    for (const std::vector<osg::UInt32>& polygon : polygons)
    {
        putValue(out, layout, layout.count, double(polygon.size()));
        for (osg::UInt32 i : polygon)
            putValue(out, layout, layout.index, i);
        if (layout.extras)
            putValue(out, layout, "uchar", 1);
        out += line;
    }
    return out;
}
// Two triangles sharing an edge, and two more that use vertex 4, spelled as reach says.
QByteArray fourTriangleObj(const char* reach)
{
    return QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nv ") + reach + " 0 0\nf 1 2 3\nf 2 4 3\nf 1 2 5\nf 5 2 4\n";
}

// Two facets of a binary STL, the second with a corner of x = reach.
QByteArray twoFacetStl(float reach)
{
    QByteArray data = binaryStl(2, 1);
    const float facet[12] = {0, 0, 1, 1, 0, 0, 0, 1, 0, reach, 1, 0};
    data.append(reinterpret_cast<const char*>(facet), sizeof facet);
    return data.append(2, '\0');
}

// Two triangles of a unit square as a binary PLY, its first vertex at x = reach.
QByteArray squarePly(float reach)
{
    QByteArray out = binaryPly(QByteArray(TriangleElements).replace("vertex 3", "vertex 4").replace("face 1", "face 2"),
                               QByteArray());
    const float xyz[12] = {reach, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    out.append(reinterpret_cast<const char*>(xyz), sizeof xyz);
    const qint32 faces[6] = {0, 1, 2, 1, 3, 2};
    for (int f = 0; f < 2; ++f)
        out.append(char(3)).append(reinterpret_cast<const char*>(faces + 3 * f), 12);
    return out;
}

// A curvature export's layout: ten floats per vertex with the normal among them, uint indices.
QByteArray exportedPly(const QByteArray& format, const std::vector<int>& face)
{
    QByteArray out = "ply\nformat " + format + " 1.0\nelement vertex 3\n";
    for (const char* name : {"x", "y", "z", "nx", "ny", "nz", "k1", "k2", "mean", "gauss"})
        out += QByteArray("property float ") + name + "\n";
    out += "element face 1\nproperty list uchar uint vertex_indices\nend_header\n";
    const PlyLayout layout{format, "float", "uchar", "uint"};
    const float xyz[3][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (const auto& p : xyz)
    {
        for (float value : {p[0], p[1], p[2], 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f})
            putValue(out, layout, "float", value);
        out += format == "ascii" ? "\n" : "";
    }
    putValue(out, layout, "uchar", double(face.size()));
    for (int i : face)
        putValue(out, layout, "uint", i);
    return out;
}
// The meshes the importer loads from a file of the given content; none when it refuses it.
std::vector<oxRenderMesh> loadedMeshes(const QString& name, const QByteArray& content,
                                       const oxMeshOptions& options = oxMeshOptions())
{
    QTemporaryDir dir;
    std::vector<oxRenderMesh> meshes;
    std::string error;
    if (!oxMeshImporter::load(writeTestFile(dir, name, content).toStdString(), meshes, error, options))
        qWarning("%s", error.c_str());
    return meshes;
}
} // namespace

Q_DECLARE_METATYPE(PlyLayout)

class tst_MeshImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void badFileIsRefusedNamingIt_data();
    void badFileIsRefusedNamingIt();
    void normalsFromTheFileAreKept();
    void facetNormalsAreSmoothedWithCreases();
    void missingNormalsAreSmooth();
    void loadNodeBuildsOneGeometryPerMesh();
    void weldedTorusKeepsItsCurvature_data();
    void farModelIsWarnedAbout_data();
    void farModelIsWarnedAbout();
    void weldedTorusKeepsItsCurvature();
    void plyReadsAsAssimpReadsIt_data();
    void plyReadsAsAssimpReadsIt();
    void damagedFileLosesTrianglesOrIsRefused_data();
    void damagedFileLosesTrianglesOrIsRefused();
    void farReachingModelKeepsItsShape_data();
    void farReachingModelKeepsItsShape();
};

void tst_MeshImport::badFileIsRefusedNamingIt_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("create");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing") << "absent.obj" << QByteArray() << false << "no such file";
    QTest::newRow("directory") << "folder.obj" << QByteArray() << false << "it is a directory";
    QTest::newRow("empty") << "empty.obj" << QByteArray() << true << "empty";
    QTest::newRow("unsupported") << "model.xyz123" << QByteArray("v 0 0 0\n") << true << "unsupported format";
    QTest::newRow("ASCII PLY with a word for a number")
        << "word.ply"
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                      "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
                      "0 0 0\n1 zero 0\n0 1 0\n3 0 1 2\n")
        << true << "vertex 1 has \"zero\" where a number belongs";
    QTest::newRow("PLY corner count beyond the file")
        << "corners.ply" << binaryPly(TriangleElements, triangleBody(200, {0, 1, 2})) << true
        << "ends before its 1 faces";
    QTest::newRow("PLY index out of range") << "range.ply" << binaryPly(TriangleElements, triangleBody(3, {0, 1, 7}))
                                            << true << "face 0 names vertex 7, but there are 3 vertices";
    QTest::newRow("PLY negative index") << "negative.ply" << binaryPly(TriangleElements, triangleBody(3, {0, -1, 2}))
                                        << true << "face 0 names vertex -1";
    // Counts far beyond the file fail before anything is allocated for them.
    QTest::newRow("PLY with a billion vertices")
        << "billion.ply"
        << binaryPly(QByteArray(TriangleElements).replace("vertex 3", "vertex 1000000000"), QByteArray(64, '\0'))
        << true << "ends before its 1000000000 vertices";
    QTest::newRow("PLY with four billion faces")
        << "faces4g.ply"
        << binaryPly(QByteArray(TriangleElements).replace("face 1", "face 4000000000"), triangleBody(3, {0, 1, 2}))
        << true << "ends before its 4000000000 faces";
    QTest::newRow("PLY with more vertices than indices reach")
        << "huge.ply"
        << binaryPly(QByteArray(TriangleElements).replace("vertex 3", "vertex 5000000000"), triangleBody(3, {0, 1, 2}))
        << true << "declares 5000000000 vertices, more than a mesh can hold";
    QTest::newRow("PLY header cut short")
        << "header.ply" << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n") << true
        << "truncated";
    // Assimp's reader crashes on this one; the host must not.
    QTest::newRow("binary PLY cut short")
        << "body.ply" << binaryPly(TriangleElements, QByteArray("\x01\x02", 2)) << true << "ends before its 3 vertices";
    QTest::newRow("OBJ without faces") << "points.obj" << QByteArray("v 0 0 0\nv 1 0 0\n") << true << "";
    QTest::newRow("garbage glTF") << "broken.gltf" << QByteArray("{ \"asset\": ") << true << "";
}

void tst_MeshImport::badFileIsRefusedNamingIt()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, create);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = create ? writeTestFile(dir, name, content) : dir.filePath(name);
    QVERIFY(!path.isEmpty());
    if (name == "folder.obj")
        QVERIFY(QDir(dir.path()).mkpath(name));

    std::vector<oxRenderMesh> meshes(1);
    meshes[0].name = "kept";
    std::string error;
    QVERIFY(!oxMeshImporter::load(path.toStdString(), meshes, error));
    QCOMPARE(meshes.size(), size_t(1));
    QCOMPARE(QString::fromStdString(meshes[0].name), QString("kept"));
    const QString message = QString::fromStdString(error);
    QVERIFY2(message.startsWith("cannot read mesh \"" + path + "\": "), qPrintable(message));
    QVERIFY2(message.contains(cause), qPrintable(message));

    std::string nodeError;
    QVERIFY(oxModelImporter::loadNode(path.toStdString(), nodeError) == osg::NullFC);
    QCOMPARE(QString::fromStdString(nodeError), message);
}

void tst_MeshImport::normalsFromTheFileAreKept()
{
    // Normals deliberately not those of the face, so computing them would show.
    const std::vector<oxRenderMesh> meshes = loadedMeshes(
        "tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0.6 0 0.8\nvn 0.6 0 0.8\nvn 0.6 0 0.8\nf 1//1 2//2 3//3\n");
    QCOMPARE(meshes.size(), size_t(1));
    QCOMPARE(meshes[0].triangleCount(), size_t(1));
    for (const osg::Vec3f& n : meshes[0].normals)
        QVERIFY(n.equals(osg::Vec3f(0.6f, 0.f, 0.8f), 1e-5f));
}

void tst_MeshImport::facetNormalsAreSmoothedWithCreases()
{
    const std::vector<oxRenderMesh> meshes = loadedMeshes("cube.stl", cubeStl());
    QCOMPARE(meshes.size(), size_t(1));
    // 90 degree edges are creases: each corner splits into three vertices, one per side.
    const oxRenderMesh& cube = meshes[0];
    QCOMPARE(cube.triangleCount(), size_t(12));
    QCOMPARE(cube.vertexCount(), size_t(24));
    for (size_t t = 0; t < cube.triangleCount(); ++t)
    {
        const osg::Vec3f face =
            (cube.positions[cube.indices[3 * t + 1]] - cube.positions[cube.indices[3 * t]])
                .cross(cube.positions[cube.indices[3 * t + 2]] - cube.positions[cube.indices[3 * t]]);
        for (int k = 0; k < 3; ++k)
        {
            osg::Vec3f f = face;
            f.normalize();
            QVERIFY(cube.normals[cube.indices[3 * t + k]].equals(f, 1e-5f));
        }
    }

    oxMeshOptions wideAngle;
    wideAngle.creaseAngleDegrees = 100.f;
    const std::vector<oxRenderMesh> wide = loadedMeshes("cube.stl", cubeStl(), wideAngle);
    QCOMPARE(wide.size(), size_t(1));
    QCOMPARE(wide[0].vertexCount(), size_t(8)); // beyond 90 degrees every corner is one smooth vertex
}

void tst_MeshImport::missingNormalsAreSmooth()
{
    const std::vector<oxRenderMesh> meshes = loadedMeshes("dome.obj", domeObj());
    QCOMPARE(meshes.size(), size_t(1));
    const oxRenderMesh& dome = meshes[0];
    QCOMPARE(dome.vertexCount(), size_t(9));
    QCOMPARE(dome.triangleCount(), size_t(8));
    for (size_t i = 0; i < dome.vertexCount(); ++i)
    {
        const osg::Pnt3f& p = dome.positions[i];
        const osg::Vec3f& n = dome.normals[i];
        QVERIFY(std::fabs(n.length() - 1.f) < 1e-5f);
        QVERIFY(n[2] > 0.9f || n[2] < -0.9f);
        // The centre's normal is the dome's axis, the others lean outwards symmetrically.
        if (p[0] == 0.f && p[1] == 0.f)
            QVERIFY(std::fabs(n[0]) < 1e-5f && std::fabs(n[1]) < 1e-5f);
        else
            QVERIFY(n[0] * p[0] * n[2] >= 0.f && n[1] * p[1] * n[2] >= 0.f);
    }
}

void tst_MeshImport::loadNodeBuildsOneGeometryPerMesh()
{
    QTemporaryDir dir;
    const QString path = writeTestFile(dir, "two.obj",
                                       "o first\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
                                       "o second\nv 0 0 1\nv 1 0 1\nv 0 1 1\nf 4 5 6\n");
    std::string error;
    osg::NodePtr node = oxModelImporter::loadNode(path.toStdString(), error);
    QVERIFY2(node != osg::NullFC, error.c_str());
    QCOMPARE(QString::fromStdString(node->getName()), QString("two.obj"));
    QCOMPARE(node->getNChildren(), 2u);
    std::set<std::string> names;
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
    {
        const osg::GeometryPtr geometry = osg::GeometryPtr::dcast(node->getChild(i)->getCore());
        QVERIFY(geometry != osg::NullFC);
        int triangles = 0;
        geometry->forEachTriangle([&](osg::UInt32, osg::UInt32, osg::UInt32) { ++triangles; });
        QCOMPARE(triangles, 1);
        QCOMPARE(geometry->getNormals()->size(), geometry->getPositions()->size());
        names.insert(node->getChild(i)->getName());
    }
    QCOMPARE(names, (std::set<std::string>{"first", "second"}));
}

void tst_MeshImport::weldedTorusKeepsItsCurvature_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("segments");
    QTest::addColumn<int>("vertices");
    // Mean curvature: min, max, area-weighted mean and median; Gaussian curvature: mean.
    QTest::addColumn<QVector<double>>("stats");
    // Pinned from the importer that welded through Assimp; a faster weld must not move them.
    const QVector<double> small{0.0243054479, 0.411519349, 0.223045805, 0.18339771, 0.00100565836};
    const QVector<double> fine{0.250058115, 0.6249879, 0.500006462, 0.546705723, 4.53611286e-05};
    QTest::newRow("PLY, small") << "torus.ply" << 24 << 960 << small;
    QTest::newRow("STL, small") << "torus.stl" << 24 << 960 << small;
    QTest::newRow("PLY") << "torus.ply" << 400 << 80000 << fine;
    QTest::newRow("STL") << "torus.stl" << 400 << 80000 << fine;
    // The file's normals are kept, so the curvatures differ a little from the computed ones.
    QTest::newRow("PLY with normals") << "normals.ply" << 400 << 80000
                                      << QVector<double>{0.250046045, 0.624988616, 0.500006453, 0.546700835,
                                                         4.53568888e-05};
}

// A torus written as a binary PLY or STL comes back welded to the grid's vertices, with the
// curvatures it had when the importer welded through Assimp.
void tst_MeshImport::weldedTorusKeepsItsCurvature()
{
    QFETCH(QString, file);
    QFETCH(int, segments);
    QFETCH(int, vertices);
    QFETCH(QVector<double>, stats);
    QTemporaryDir dir;
    const std::string path = dir.filePath(file).toStdString();
    const oxRenderMesh torus = oxSampleSurfaces::torus(3.f, 1.f, segments);
    QVERIFY(file.endsWith(".stl") ? oxMeshFileWriter::writeStl(torus, path)
                                  : oxMeshFileWriter::writePly(torus, path, file == "normals.ply"));
    std::string error;
    const osg::NodePtr node = oxModelImporter::loadNode(path, error);
    QVERIFY2(node != osg::NullFC, error.c_str());
    oxRenderScene scene;
    scene.sync(node);
    QCOMPARE(scene.meshCount(), size_t(1));
    QCOMPARE(scene.mesh(0).triangleCount(), torus.triangleCount());
    oxCurvatureStats mean, gauss;
    QVERIFY(oxCurvatureStats::compute(scene, osg::MeanCurvature, 16, 2, 98, mean, error));
    QVERIFY(oxCurvatureStats::compute(scene, osg::GaussianCurvature, 16, 2, 98, gauss, error));
    const QVector<double> got{mean.min, mean.max, mean.mean, mean.median, gauss.mean};
    QCOMPARE(int(scene.mesh(0).vertexCount()), vertices);
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(
            std::fabs(got[i] - stats[i]) <= 1e-5 * (1 + std::fabs(stats[i])),
            qPrintable(QString("statistic %1: %2, pinned %3").arg(i).arg(got[i], 0, 'g', 9).arg(stats[i], 0, 'g', 9)));
}

void tst_MeshImport::farModelIsWarnedAbout_data()
{
    QTest::addColumn<float>("offset");
    QTest::addColumn<float>("size");
    QTest::addColumn<bool>("warned");
    QTest::newRow("at the origin") << 0.f << 20.f << false;
    QTest::newRow("a car body in millimetres") << 5000.f << 4000.f << false;
    QTest::newRow("a small part 1e4 away") << 1e4f << 20.f << false;
    QTest::newRow("a small part 1e6 away") << 1e6f << 20.f << true;
    QTest::newRow("a small part 1e7 away") << 1e7f << 20.f << true;
    QTest::newRow("points all in one place, 164 away") << 164.f << 0.f << false;
}

void tst_MeshImport::farModelIsWarnedAbout()
{
    QFETCH(float, offset);
    QFETCH(float, size);
    QFETCH(bool, warned);
    std::vector<oxRenderMesh> meshes(1);
    meshes[0].positions = {osg::Pnt3f(offset, offset, offset), osg::Pnt3f(offset + size, offset, offset),
                           osg::Pnt3f(offset, offset + size, offset)};
    meshes[0].indices = {0, 1, 2};
    const QString warning = QString::fromStdString(oxMeshImporter::precisionWarning(meshes));
    QCOMPARE(!warning.isEmpty(), warned);
    if (warned)
        QVERIFY2(warning.contains("from the origin") && warning.contains("move it nearer"), qPrintable(warning));
}

void tst_MeshImport::plyReadsAsAssimpReadsIt_data()
{
    QTest::addColumn<PlyLayout>("layout");
    QTest::addColumn<bool>("direct"); // read by oxPlyReader, else left to Assimp
    const PlyLayout plain{"binary_little_endian", "float", "uchar", "int"};
    const auto with = [&](std::function<void(PlyLayout&)> change)
    {
        PlyLayout layout = plain;
        change(layout);
        return layout;
    };
    QTest::newRow("float, uchar count, int index") << plain << true;
    QTest::newRow("double") << with([](PlyLayout& l) { l.coordinate = "double"; }) << true;
    QTest::newRow("int count, uint index") << with([](PlyLayout& l) { l.count = "int", l.index = "uint"; }) << true;
    QTest::newRow("quads") << with([](PlyLayout& l) { l.quads = true; }) << true;
    QTest::newRow("skipped properties") << with([](PlyLayout& l) { l.extras = true; }) << true;
    QTest::newRow("ASCII") << with([](PlyLayout& l) { l.format = "ascii"; }) << true;
    QTest::newRow("ASCII quads, skipped properties")
        << with([](PlyLayout& l) { l.format = "ascii", l.quads = l.extras = true; }) << true;
    QTest::newRow("big-endian") << with([](PlyLayout& l) { l.format = "binary_big_endian"; }) << true;
    QTest::newRow("normals") << with([](PlyLayout& l) { l.normals = true; }) << true;
    QTest::newRow("ASCII normals, int count, uint index")
        << with([](PlyLayout& l) { l.format = "ascii", l.normals = true, l.count = "int", l.index = "uint"; }) << true;
}

// The direct reader's meshes against Assimp's of the same file: the same welded vertices and
// triangles, the same curvatures.
void tst_MeshImport::plyReadsAsAssimpReadsIt()
{
    QFETCH(PlyLayout, layout);
    QFETCH(bool, direct);
    QTemporaryDir dir;
    const oxRenderMesh torus = oxSampleSurfaces::torus(3.f, 1.f, 40);
    const QString path = writeTestFile(dir, "torus.ply", torusPly(torus, layout));
    QVERIFY(!path.isEmpty());
    oxRenderMesh read;
    std::string error;
    QCOMPARE(oxPlyReader::read(path.toStdString(), read, error) == oxPlyReader::Read, direct);

    std::vector<oxRenderMesh> ours, theirs;
    QVERIFY2(oxMeshImporter::load(path.toStdString(), ours, error), error.c_str());
    oxMeshOptions assimp;
    assimp.assimpOnly = true;
    QVERIFY2(oxMeshImporter::load(path.toStdString(), theirs, error, assimp), error.c_str());
    QCOMPARE(ours.size(), size_t(1));
    QCOMPARE(theirs.size(), size_t(1));
    const oxRenderMesh &a = ours[0], &b = theirs[0];
    QCOMPARE(a.triangleCount(), torus.triangleCount());
    QCOMPARE(a.triangleCount(), b.triangleCount());
    QCOMPARE(a.vertexCount(), b.vertexCount());
    const oxPrincipalCurvatures ka = oxCurvature::estimate(a), kb = oxCurvature::estimate(b);
    for (size_t v = 0; v < a.vertexCount(); ++v)
    {
        QVERIFY2((a.positions[v] - b.positions[v]).length() <= 1e-6f, qPrintable(QString("vertex %1").arg(v)));
        QVERIFY2(std::fabs(ka.kMax[v] - kb.kMax[v]) <= 1e-4f && std::fabs(ka.kMin[v] - kb.kMin[v]) <= 1e-4f,
                 qPrintable(QString("vertex %1: %2 %3 against %4 %5")
                                .arg(v)
                                .arg(ka.kMax[v])
                                .arg(ka.kMin[v])
                                .arg(kb.kMax[v])
                                .arg(kb.kMin[v])));
    }
}

void tst_MeshImport::damagedFileLosesTrianglesOrIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("strict");
    QTest::addColumn<int>("lost"); // triangles left out of a file that loads; -1: refused
    QTest::addColumn<QString>("says");
    const QByteArray cube = cubeStl();
    QByteArray nanCube = cube;
    nanCube.replace(nanCube.indexOf("vertex 0 0 0"), 12, "vertex nan 0 0");
    QByteArray solidHeader = binaryStl(100, 3);
    solidHeader.replace(0, 12, "solid binary");
    const QByteArray asciiPlyCut("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                                 "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
                                 "end_header\n0 0 0\n1 0");
    const QString lostText = "of the file could not be read (a corner that is no finite number";

    QTest::newRow("whole ASCII STL") << "cube.stl" << cube << false << 0 << "";
    QTest::newRow("OBJ with a NaN vertex") << "nan.obj" << fourTriangleObj("nan") << false << 2 << "";
    QTest::newRow("OBJ with an infinite vertex") << "inf.obj" << fourTriangleObj("inf") << false << 2 << "";
    QTest::newRow("OBJ with a NaN vertex, strict")
        << "nan.obj" << fourTriangleObj("nan") << true << -1 << "2 triangles " + lostText;
    QTest::newRow("ASCII STL with a NaN corner") << "nan.stl" << nanCube << false << 1 << "";
    QTest::newRow("binary STL with an infinite corner")
        << "inf.stl" << twoFacetStl(std::numeric_limits<float>::infinity()) << false << 1 << "";
    QTest::newRow("binary STL with an infinite corner, strict")
        << "inf.stl" << twoFacetStl(std::numeric_limits<float>::infinity()) << true << -1 << "1 triangle " + lostText;
    QTest::newRow("binary PLY with a NaN vertex") << "nan.ply" << squarePly(std::nanf("")) << false << 1 << "";
    QTest::newRow("ASCII STL cut inside a facet") << "cut.stl" << cube.left(cube.indexOf("endloop", 300)) << false << -1
                                                  << "the file ends on line 28 inside the facet of line 23 (truncated)";
    QTest::newRow("ASCII STL without endsolid") << "open.stl" << cube.left(cube.lastIndexOf("endsolid")) << false << -1
                                                << "the file ends on line 86 without endsolid (truncated)";
    QTest::newRow("ASCII STL with a facet of two corners")
        << "two.stl" << QByteArray(cube).remove(cube.indexOf("vertex 1 0 0\n"), 13) << false << -1
        << "line 9: a facet with 2 corners";
    QTest::newRow("binary STL cut short")
        << "cut.stl" << binaryStl(100, 3) << false << -1
        << "the binary STL file ends at byte 234, before its 100 facets end at byte 5084 (truncated)";
    QTest::newRow("binary STL cut short, its header starting with solid")
        << "solid.stl" << solidHeader << false << -1 << "ends at byte 234, before its 100 facets";
    QTest::newRow("ASCII PLY cut short") << "cut.ply" << asciiPlyCut << false << -1
                                         << "ends before its 3 vertices (truncated at line 11, or a wrong count)";
    QTest::newRow("binary PLY cut short") << "cut.ply" << binaryPly(TriangleElements, triangleBody(3, {0, 1})) << false
                                          << -1 << "ends before its 1 faces (truncated at byte";
    QTest::newRow("exported PLY, index out of range")
        << "range.ply" << exportedPly("binary_little_endian", {0, 1, 7}) << false << -1
        << "face 0 names vertex 7, but there are 3 vertices";
    QTest::newRow("exported ASCII PLY, index out of range") << "range.ply" << exportedPly("ascii", {0, 1, 3}) << false
                                                            << -1 << "face 0 names vertex 3, but there are 3 vertices";
    QTest::newRow("big-endian exported PLY, index out of range")
        << "range.ply" << exportedPly("binary_big_endian", {0, 70000, 1}) << false << -1 << "face 0 names vertex 70000";
    QTest::newRow("whole exported PLY") << "whole.ply" << exportedPly("binary_little_endian", {0, 1, 2}) << true << 0
                                        << "";
}

// Through the importer's child as the host reads a file: what is lost is counted, what is cut
// short is refused with where.
void tst_MeshImport::damagedFileLosesTrianglesOrIsRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, strict);
    QFETCH(int, lost);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString path = writeTestFile(dir, name, content);
    QVERIFY(!path.isEmpty());
    oxCadOptions options;
    options.strict = strict;
    oxMeshImporter::File file;
    std::string error;
    const bool read = oxModelImporter::read(path.toStdString(), file, error, 30.f, options);
    const QString message = QString::fromStdString(error);
    QVERIFY2(read == (lost >= 0), qPrintable(message));
    if (lost < 0)
    {
        QVERIFY2(message.startsWith("cannot read mesh \"" + path + "\": ") && message.contains(says),
                 qPrintable(message));
        return;
    }
    QCOMPARE(file.lostTriangles, size_t(lost));
    size_t triangles = 0;
    for (const oxRenderMesh& mesh : file.meshes)
        triangles += mesh.triangleCount();
    QVERIFY(triangles > 0);
}

void tst_MeshImport::farReachingModelKeepsItsShape_data()
{
    QTest::addColumn<float>("radius");
    QTest::newRow("1") << 1.f;
    QTest::newRow("1e9") << 1e9f;
    QTest::newRow("1e12") << 1e12f;
    QTest::newRow("1e14") << 1e14f;
}

// A sphere of any radius the importer takes: normals out from the centre, curvature 1 / radius,
// area 4 pi radius^2, as for the unit sphere.
void tst_MeshImport::farReachingModelKeepsItsShape()
{
    QFETCH(float, radius);
    oxRenderMesh sphere = oxSampleSurfaces::sphere(1.f, 32);
    for (osg::Pnt3f& p : sphere.positions)
        p = osg::Pnt3f(p[0] * radius, p[1] * radius, p[2] * radius);
    QTemporaryDir dir;
    const std::string path = dir.filePath("sphere.stl").toStdString();
    QVERIFY(oxMeshFileWriter::writeStl(sphere, path));
    std::vector<oxRenderMesh> meshes;
    std::string error;
    QVERIFY2(oxMeshImporter::load(path, meshes, error), error.c_str());
    QCOMPARE(meshes.size(), size_t(1));
    const oxRenderMesh& mesh = meshes[0];
    float worstNormal = 0.f;
    for (size_t v = 0; v < mesh.vertexCount(); ++v)
    {
        osg::Vec3f out(mesh.positions[v][0], mesh.positions[v][1], mesh.positions[v][2]);
        out *= 1.f / radius;
        worstNormal = std::max(worstNormal, (mesh.normals[v] - out).length());
    }
    QVERIFY2(worstNormal < 0.01f, qPrintable(QString::number(worstNormal)));
    const oxPrincipalCurvatures k = oxCurvature::estimate(mesh);
    for (size_t v = 0; v < mesh.vertexCount(); ++v)
        QVERIFY2(std::fabs(k.kMax[v] * radius - 1.f) < 0.05f && std::fabs(k.kMin[v] * radius - 1.f) < 0.05f,
                 qPrintable(QString("vertex %1: %2 %3").arg(v).arg(k.kMax[v] * radius).arg(k.kMin[v] * radius)));
    double area = 0;
    for (float a : oxCurvatureStats::vertexAreas(mesh))
        area += a;
    const double unitArea = area / (double(radius) * radius);
    QVERIFY2(std::fabs(unitArea / (4 * M_PI) - 1) < 0.01, qPrintable(QString::number(unitArea)));
}

QTEST_APPLESS_MAIN(tst_MeshImport)
#include "tst_meshimport.moc"
