// Mesh files into the analysis raytracer's scene: good files with their normals, bad ones refused.
#include "testsupport.h"
#include "OSGGeometry.h"
#include "OSGSurfaceAnalysisModes.h"
#include "oxCurvatureStats.h"
#include "oxMeshFileWriter.h"
#include "oxMeshImporter.h"
#include "oxRenderScene.h"
#include "oxSampleSurfaces.h"

#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

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
};

void tst_MeshImport::badFileIsRefusedNamingIt_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("create");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing") << "absent.obj" << QByteArray() << false << "no such file";
    QTest::newRow("empty") << "empty.obj" << QByteArray() << true << "empty";
    QTest::newRow("unsupported") << "model.xyz123" << QByteArray("v 0 0 0\n") << true << "unsupported format";
    QTest::newRow("truncated binary STL") << "cut.stl" << binaryStl(100, 3) << true << "";
    QTest::newRow("truncated PLY") << "cut.ply"
                                   << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                                 "property float y\nproperty float z\nelement face 1\n"
                                                 "property list uchar int vertex_indices\nend_header\n0 0 0\n1 0")
                                   << true << "";
    QTest::newRow("PLY header cut short")
        << "header.ply" << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n") << true
        << "truncated";
    QByteArray binaryPly("ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
                         "property float y\nproperty float z\nelement face 1\n"
                         "property list uchar int vertex_indices\nend_header\n");
    binaryPly.append("\x01\x02", 2);
    // Assimp's reader crashes on this one; the host must not.
    QTest::newRow("binary PLY cut short") << "body.ply" << binaryPly << true << "";
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
    QVERIFY(oxMeshImporter::loadNode(path.toStdString(), nodeError) == osg::NullFC);
    QCOMPARE(QString::fromStdString(nodeError), message);
}

void tst_MeshImport::normalsFromTheFileAreKept()
{
    QTemporaryDir dir;
    // Normals deliberately not those of the face, so computing them would show.
    const QString path = writeTestFile(dir, "tri.obj",
                                       "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0.6 0 0.8\nvn 0.6 0 0.8\nvn 0.6 0 0.8\n"
                                       "f 1//1 2//2 3//3\n");
    std::vector<oxRenderMesh> meshes;
    std::string error;
    QVERIFY2(oxMeshImporter::load(path.toStdString(), meshes, error), error.c_str());
    QCOMPARE(meshes.size(), size_t(1));
    QCOMPARE(meshes[0].triangleCount(), size_t(1));
    for (const osg::Vec3f& n : meshes[0].normals)
        QVERIFY(n.equals(osg::Vec3f(0.6f, 0.f, 0.8f), 1e-5f));
}

void tst_MeshImport::facetNormalsAreSmoothedWithCreases()
{
    QTemporaryDir dir;
    const QString path = writeTestFile(dir, "cube.stl", cubeStl());
    std::vector<oxRenderMesh> meshes;
    std::string error;
    QVERIFY2(oxMeshImporter::load(path.toStdString(), meshes, error), error.c_str());
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

    std::vector<oxRenderMesh> wide;
    QVERIFY(oxMeshImporter::load(path.toStdString(), wide, error, 100.f));
    QCOMPARE(wide[0].vertexCount(), size_t(8)); // beyond 90 degrees every corner is one smooth vertex
}

void tst_MeshImport::missingNormalsAreSmooth()
{
    QTemporaryDir dir;
    const QString path = writeTestFile(dir, "dome.obj", domeObj());
    std::vector<oxRenderMesh> meshes;
    std::string error;
    QVERIFY2(oxMeshImporter::load(path.toStdString(), meshes, error), error.c_str());
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
    osg::NodePtr node = oxMeshImporter::loadNode(path.toStdString(), error);
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
    const osg::NodePtr node = oxMeshImporter::loadNode(path, error);
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

QTEST_APPLESS_MAIN(tst_MeshImport)
#include "tst_meshimport.moc"
