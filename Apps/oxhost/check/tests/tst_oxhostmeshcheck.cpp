// The data-quality check on mesh files as users run it: oxHost.check and the report on a loaded
// mesh, and `oxhost check` over a folder of mesh files.
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
// A tetrahedron, 10 long, wound outwards: faces z = 0, y = 0, x = 0 and the slanted one.
const double corners[4][3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 10}};
const int faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};

QByteArray stl(int faceCount, bool turnLast)
{
    QByteArray text = "solid t\n";
    for (int f = 0; f < faceCount; ++f)
    {
        text += "facet normal 0 0 0\nouter loop\n";
        for (int k = 0; k < 3; ++k)
        {
            const double* p = corners[faces[f][turnLast && f == faceCount - 1 ? 2 - k : k]];
            text += QByteArray("vertex ") + QByteArray::number(p[0]) + " " + QByteArray::number(p[1]) + " " +
                    QByteArray::number(p[2]) + "\n";
        }
        text += "endloop\nendfacet\n";
    }
    return text + "endsolid t\n";
}

// The tetrahedron without its slanted face, as OBJ.
QByteArray openObj()
{
    QByteArray text;
    for (const auto& p : corners)
        text += QByteArray("v ") + QByteArray::number(p[0]) + " " + QByteArray::number(p[1]) + " " +
                QByteArray::number(p[2]) + "\n";
    for (int f = 0; f < 3; ++f)
        text += QByteArray("f ") + QByteArray::number(faces[f][0] + 1) + " " + QByteArray::number(faces[f][1] + 1) +
                " " + QByteArray::number(faces[f][2] + 1) + "\n";
    return text;
}
} // namespace

class tst_OxhostMeshCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(path("meshes/sub")));
        QVERIFY(writeTestFile(path("meshes/closed.stl"), stl(4, false)));
        QVERIFY(writeTestFile(path("meshes/sub/open.obj"), openObj()));
        QVERIFY(writeTestFile(path("meshes/turned.STL"), stl(4, true)));
        QVERIFY(writeTestFile(path("meshes/notes.txt"), "not a part: passed over\n"));
    }

    // The open edges of a loaded mesh are findings of oxHost.check, and the report lists the
    // mesh criteria, not those of CAD parts the model lacks.
    void scriptAndReportCheckTheLoadedMesh()
    {
        const OxhostResult r = oxhost({"-c", QString("oxHost.loadMesh(r'%1')\n"
                                                     "r = oxHost.check()\n"
                                                     "print(r['verdict'], r['counts']['MESH_FREE_EDGE'], "
                                                     "sorted(set(f['entity'] for f in r['findings'])))\n"
                                                     "oxHost.report(r'%2', 160, 100)")
                                                 .arg(path("meshes/sub/open.obj"), path("report.html"))});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(r.out, QString("warning 3 ['edge']\n"));
        const QString html = QString::fromUtf8(readTestFile(path("report.html")));
        QVERIFY2(html.contains(">MESH_FREE_EDGE</td><td>warning</td><td class=\"n\">&ndash;</td><td class=\"n\">3<"),
                 qPrintable(html.right(3000)));
        QVERIFY(html.contains(">MESH_FLIPPED_TRIANGLE<"));
        QVERIFY(!html.contains(">G1_BREAK<"));
    }

    // A folder's mesh files are checked each in its own process, beside CAD files.
    void batchChecksTheMeshFilesOfAFolder()
    {
        QTemporaryDir out;
        const OxhostResult r = oxhost({"check", path("meshes"), "--out", out.path()});
        QVERIFY2(r.status == 1, qPrintable(r.out + r.err));
        QVERIFY2(r.out.contains("3 files: 1 pass, 1 warning, 1 fail, 0 error"), qPrintable(r.out));
        const QJsonObject turned = QJsonDocument::fromJson(readTestFile(out.filePath("turned.check.json"))).object();
        QCOMPARE(turned["verdict"].toString(), QString("fail"));
        QCOMPARE(turned["counts"].toObject()["MESH_FLIPPED_TRIANGLE"].toInt(), 1);
        QVERIFY(turned.contains("seal"));
    }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_OxhostMeshCheck)
#include "tst_oxhostmeshcheck.moc"
