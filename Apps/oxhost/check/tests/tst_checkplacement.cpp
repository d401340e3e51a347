// The check of a model moved in the scene: its findings lie where the model is seen, so that the
// viewer's markers and the report's follow the model.
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

class tst_CheckPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findingsFollowTheMovedModel_data();
    void findingsFollowTheMovedModel();
};

void tst_CheckPlacement::findingsFollowTheMovedModel_data()
{
    QTest::addColumn<QString>("translation");
    QTest::addColumn<QString>("rotation"); // axis times angle in degrees, as the project keeps it
    QTest::newRow("shifted") << "[10, -20, 30]"
                             << "[0, 0, 0]";
    QTest::newRow("turned about z and shifted") << "[5, 0, -5]"
                                                << "[0, 0, 90]";
}

void tst_CheckPlacement::findingsFollowTheMovedModel()
{
    QFETCH(QString, translation);
    QFETCH(QString, rotation);
    QTemporaryDir dir;
    const QString code =
        QString(R"(
import json, math
BOX, PROJECT, MOVED = r'%1', r'%2', r'%3'
t, r = %4, %5
oxHost.writeCadSample('filletedbox', BOX)
oxHost.loadMesh(BOX)
fresh = oxHost.check('class-a')['findings']
oxHost.saveProject(PROJECT)
project = json.load(open(PROJECT))
project['values']['Host Model Placement Translation'] = {'type': 'vec3f', 'value': t}
project['values']['Host Model Placement Rotation'] = {'type': 'vec3f', 'value': r}
json.dump(project, open(MOVED, 'w'))
oxHost.loadProject(MOVED)
moved = oxHost.check('class-a')['findings']
a = math.radians(r[2])
def placed(f):
    x, y, z = f['x'], f['y'], f['z']
    return (x * math.cos(a) - y * math.sin(a) + t[0], x * math.sin(a) + y * math.cos(a) + t[1], z + t[2])
worst = max(abs(p - q) for f, g in zip(fresh, moved) for p, q in zip(placed(f), (g['x'], g['y'], g['z'])))
print(len(fresh), len(moved), worst < 1e-3)
)")
            .arg(dir.filePath("box.brep"), dir.filePath("box.json"), dir.filePath("moved.json"), translation, rotation);
    const OxhostResult r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.trimmed().endsWith("True") && !r.out.startsWith("0 "), qPrintable(r.out));
}

QTEST_GUILESS_MAIN(tst_CheckPlacement)
#include "tst_checkplacement.moc"
