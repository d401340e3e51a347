// The data-quality check on triangle meshes: edges used once or more than twice, degenerate and
// tiny triangles, triangles that cross, triangles wound the wrong way.

#include "oxCheck.h"
#include "oxRenderMesh.h"

#include <QtTest>

#include <array>
#include <vector>

Q_DECLARE_METATYPE(oxRenderMesh)

namespace
{
typedef std::array<float, 3> P;
typedef std::array<osg::UInt32, 3> T;

oxRenderMesh meshOf(const std::vector<P>& points, const std::vector<T>& triangles)
{
    oxRenderMesh m;
    m.name = "test";
    for (const P& p : points)
        m.positions.emplace_back(p[0], p[1], p[2]);
    for (const T& t : triangles)
        m.indices.insert(m.indices.end(), t.begin(), t.end());
    return m;
}

// The unit cube, corner x + 2y + 4z at (x, y, z), wound outwards.
const std::vector<P> cubePoints = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                   {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
const std::vector<T> cubeTriangles = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                      {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};

oxRenderMesh cube(const std::vector<T>& triangles = cubeTriangles, P shift = {0, 0, 0})
{
    std::vector<P> points = cubePoints;
    for (P& p : points)
        for (size_t a = 0; a < 3; ++a)
            p[a] += shift[a];
    return meshOf(points, triangles);
}

T turned(const T& t)
{
    return {t[0], t[2], t[1]};
}

// Every mesh criterion on, everything else off.
oxCheckProfile meshProfile()
{
    oxCheckProfile p = oxCheckProfile::standard();
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
        if (QByteArray(c.code).startsWith("MESH_"))
            p.rule(c.criterion).severity = oxCheckSeverity::Error;
        else
            p.rule(c.criterion).severity = oxCheckSeverity::Off;
    return p;
}

// "MESH_FREE_EDGE edge 7: bounds one triangle only (1, 0.5, 1)" per finding.
QStringList described(const oxCheckResult& r)
{
    QStringList out;
    for (const oxCheckFinding& f : r.findings)
        out << QString("%1 %2 (%3, %4, %5)")
                   .arg(f.code())
                   .arg(QString::fromStdString(f.message))
                   .arg(f.location[0])
                   .arg(f.location[1])
                   .arg(f.location[2]);
    return out;
}
// Free edges from..to (of lone triangles), their locations left out.
QStringList freeEdges(int from, int to)
{
    QStringList out;
    for (int e = from; e <= to; ++e)
        out << QString("MESH_FREE_EDGE edge %1: bounds one triangle only").arg(e);
    return out;
}
} // namespace

class tst_MeshCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findings_data()
    {
        QTest::addColumn<oxRenderMesh>("mesh");
        QTest::addColumn<int>("first");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("closed cube") << cube() << 0 << QStringList();
        // Without triangle 11 (1, 7, 5) its three edges bound one triangle each: 7 -> 5 of
        // triangle 2, 1 -> 5 of triangle 4, 7 -> 1 of triangle 10.
        std::vector<T> holed(cubeTriangles.begin(), cubeTriangles.end() - 1);
        const QStringList hole = {"MESH_FREE_EDGE edge 7: bounds one triangle only (1, 0.5, 1)",
                                  "MESH_FREE_EDGE edge 13: bounds one triangle only (1, 0, 0.5)",
                                  "MESH_FREE_EDGE edge 32: bounds one triangle only (1, 0.5, 0.5)"};
        QTest::newRow("hole") << cube(holed) << 0 << hole;
        QTest::newRow("hole, numbered after 100 triangles")
            << cube(holed) << 100
            << QStringList{"MESH_FREE_EDGE edge 307: bounds one triangle only (1, 0.5, 1)",
                           "MESH_FREE_EDGE edge 313: bounds one triangle only (1, 0, 0.5)",
                           "MESH_FREE_EDGE edge 332: bounds one triangle only (1, 0.5, 0.5)"};
        // A fin on the diagonal 1-7 of the face x = 1.
        oxRenderMesh fin = cube();
        fin.positions.emplace_back(2.f, 0.5f, 0.5f);
        fin.indices.insert(fin.indices.end(), {1, 7, 8});
        QTest::newRow("fin") << fin << 0
                             << QStringList{"MESH_FREE_EDGE edge 37: bounds one triangle only (1.5, 0.75, 0.75)",
                                            "MESH_FREE_EDGE edge 38: bounds one triangle only (1.5, 0.25, 0.25)",
                                            "MESH_OVERUSED_EDGE edge 32: shared by 3 triangles > 2 (1, 0.5, 0.5)"};
        std::vector<T> oneTurned = cubeTriangles;
        oneTurned[5] = turned(oneTurned[5]);
        QTest::newRow("one triangle turned")
            << cube(oneTurned) << 0
            << QStringList{"MESH_FLIPPED_TRIANGLE triangle 5: wound against its neighbours (0.333333, 0, 0.666667)"};
        std::vector<T> inside;
        QStringList inwards;
        for (size_t t = 0; t < cubeTriangles.size(); ++t)
        {
            inside.push_back(turned(cubeTriangles[t]));
            inwards << QString("MESH_FLIPPED_TRIANGLE triangle %1: faces inwards: the closed mesh it bounds has a "
                               "negative volume")
                           .arg(t);
        }
        QTest::newRow("inside out") << cube(inside) << 0 << inwards;
        // An STL cube: three corners per triangle, -0 beside 0.
        std::vector<P> soup;
        std::vector<T> separate;
        for (const T& t : cubeTriangles)
        {
            const osg::UInt32 n = osg::UInt32(soup.size());
            for (osg::UInt32 c : t)
                soup.push_back(
                    {cubePoints[c][0] == 0 && n % 2 ? -0.f : cubePoints[c][0], cubePoints[c][1], cubePoints[c][2]});
            separate.push_back({n, n + 1, n + 2});
        }
        QTest::newRow("corners repeated per triangle") << meshOf(soup, separate) << 0 << QStringList();
        QTest::newRow("sliver") << meshOf({{0, 0, 0}, {10, 0, 0}, {5, 0.001f, 0}}, {{0, 1, 2}}) << 0
                                << freeEdges(0, 2) + QStringList{"MESH_DEGENERATE_TRIANGLE triangle 0: smallest angle "
                                                                 "0.01146 degrees < 0.1 degrees (5, 0.000333333, 0)"};
        QTest::newRow("collapsed")
            << meshOf({{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}, {{0, 1, 2}}) << 0
            << QStringList{
                   "MESH_DEGENERATE_TRIANGLE triangle 0: smallest angle 0 degrees < 0.1 degrees (0.333333, 0, 0)"};
        QTest::newRow("tiny")
            << meshOf({{0, 0, 0}, {0.01f, 0, 0}, {0, 0.01f, 0}}, {{0, 1, 2}}) << 0
            << freeEdges(0, 2) +
                   QStringList{
                       "MESH_TINY_TRIANGLE triangle 0: longest edge 0.01414 mm < 0.02 mm (0.00333333, 0.00333333, 0)"};
        // A triangle through another's middle crosses it; one that ends on it, or shares a
        // corner, touches.
        const std::vector<P> flat = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
        std::vector<P> through = flat;
        through.insert(through.end(), {{0.5f, 0.5f, -1}, {0.5f, 0.5f, 1}, {3, 3, 0}});
        QTest::newRow("crossing") << meshOf(through, {{0, 1, 2}, {3, 4, 5}}) << 0
                                  << freeEdges(0, 5) +
                                         QStringList{
                                             "MESH_SELF_INTERSECTION triangle 0: crosses triangle 1 (0.5, 0.5, 0)"};
        std::vector<P> onTop = flat;
        onTop.insert(onTop.end(), {{0.5f, 0.5f, 0}, {0.5f, 0.5f, 1}, {1, 1, 1}});
        QTest::newRow("touching") << meshOf(onTop, {{0, 1, 2}, {3, 4, 5}}) << 0 << freeEdges(0, 5);
        std::vector<P> corner = flat;
        corner.insert(corner.end(), {{1, 1, 1}, {1, 0, 1}});
        QTest::newRow("sharing a corner") << meshOf(corner, {{0, 1, 2}, {0, 3, 4}}) << 0 << freeEdges(0, 5);
    }

    // Findings in criterion order, entities in index order; rows whose expected entries leave out
    // the location match on the rest.
    void findings()
    {
        QFETCH(oxRenderMesh, mesh);
        QFETCH(int, first);
        QFETCH(QStringList, expected);
        const oxCheckResult r = oxCheck::runMesh(mesh, meshProfile(), size_t(first));
        QStringList found = described(r);
        for (int i = 0; i < found.size() && i < expected.size(); ++i)
            if (!expected[i].contains('('))
                found[i] = found[i].left(found[i].indexOf(" ("));
        QCOMPARE(found, expected);
        QCOMPARE(r.verdict, expected.isEmpty() ? oxCheckResult::Pass : oxCheckResult::Fail);
    }

    // Two boxes through each other: every crossing pairs a triangle of one with one of the other,
    // and each box alone is clean.
    void boxesThroughEachOther()
    {
        oxRenderMesh boxes = cube();
        boxes.append(cube(cubeTriangles, {0.3f, 0.6f, 0.45f}));
        const oxCheckResult r = oxCheck::runMesh(boxes, meshProfile());
        QVERIFY(r.counts[size_t(oxCheckCriterion::MESH_SELF_INTERSECTION)] >= 6);
        QCOMPARE(r.findings.size(), r.counts[size_t(oxCheckCriterion::MESH_SELF_INTERSECTION)]);
        for (const oxCheckFinding& f : r.findings)
        {
            QVERIFY2(f.index < 12, f.message.c_str());
            const size_t other = std::stoul(f.message.substr(f.message.rfind(' ') + 1));
            QVERIFY2(other >= 12, f.message.c_str());
        }
    }

    // A triangle naming a vertex the mesh does not have is no finding but a mesh that cannot be checked.
    void missingVertex()
    {
        const oxCheckResult r = oxCheck::runMesh(meshOf({{0, 0, 0}, {1, 0, 0}}, {{0, 1, 5}}), meshProfile());
        QCOMPARE(r.verdict, oxCheckResult::Error);
        QCOMPARE(QString::fromStdString(r.reason),
                 QString("cannot check the mesh \"test\": triangle 0 names vertex 5 of 2"));
    }
};

QTEST_GUILESS_MAIN(tst_MeshCheck)
#include "tst_meshcheck.moc"
