// oxhost's deviation as a script and the command line drive it: a reference read from a file,
// the statistics against the tolerance setting, the export, the best fit and its undo, bad input.
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace
{
typedef OxhostResult Result;

// Writes an OBJ of the ellipsoid with semi-axes a, b, c, turned by deg about (0.3, 1, 0.2) and shifted.
const char* const Shapes = R"(
import math
def ellipsoid(path, a, b, c, deg=0.0, shift=(0, 0, 0), cols=48, rows=24):
    k = [0.3, 1.0, 0.2]
    n = math.sqrt(sum(x * x for x in k)); k = [x / n for x in k]
    t = math.radians(deg); ct, st = math.cos(t), math.sin(t)
    def turn(p):
        d = sum(k[i] * p[i] for i in range(3))
        x = [k[1] * p[2] - k[2] * p[1], k[2] * p[0] - k[0] * p[2], k[0] * p[1] - k[1] * p[0]]
        return [p[i] * ct + x[i] * st + k[i] * d * (1 - ct) + shift[i] for i in range(3)]
    with open(path, 'w') as f:
        for r in range(rows + 1):
            th = math.pi * r / rows
            for q in range(cols):
                ph = 2 * math.pi * q / cols
                p = turn([a * math.sin(th) * math.cos(ph), b * math.sin(th) * math.sin(ph), c * math.cos(th)])
                f.write('v %.9f %.9f %.9f\n' % tuple(p))
        for r in range(rows):
            for q in range(cols):
                i0 = r * cols + q + 1; i1 = r * cols + (q + 1) % cols + 1
                f.write('f %d %d %d\nf %d %d %d\n' % (i0, i0 + cols, i1, i1, i0 + cols, i1 + cols))

# A square grid of n x n cells over [-half, half]^2 at height z, turned by deg about z, then slid.
def plane(path, half, n, z=0.0, deg=0.0, slide=(0, 0)):
    t = math.radians(deg); ct, st = math.cos(t), math.sin(t)
    with open(path, 'w') as f:
        for r in range(n + 1):
            for q in range(n + 1):
                x, y = half * (2.0 * q / n - 1), half * (2.0 * r / n - 1)
                f.write('v %.9f %.9f %.9f\n' % (x * ct - y * st + slide[0], x * st + y * ct + slide[1], z))
        for r in range(n):
            for q in range(n):
                i = r * (n + 1) + q + 1
                f.write('f %d %d %d\nf %d %d %d\n' % (i, i + 1, i + n + 2, i, i + n + 2, i + n + 1))

# The vertices of an OBJ as a point cloud (XYZ).
def cloud(obj, path):
    with open(path, 'w') as f:
        f.writelines(line[2:] for line in open(obj) if line.startswith('v '))
)";
} // namespace

class tst_OxhostDeviation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void scriptsMeasureAndFit_data();
    void scriptsMeasureAndFit();
    void fitSolvesWhatTheShapesDetermine_data();
    void fitSolvesWhatTheShapesDetermine();
    void badInputIsRefused_data();
    void badInputIsRefused();
    void commandLineReference();

private:
    QTemporaryDir dir;
};

void tst_OxhostDeviation::initTestCase()
{
    QVERIFY(dir.isValid());
    const Result r = oxhost({"-c", QString("oxHost.writeCadSample('sphere', r'%1')").arg(dir.filePath("sphere.step"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
}

// The fit moves the model only along what the reference fixes, says what it leaves free, and
// records an undo step only when it moves the model.
void tst_OxhostDeviation::fitSolvesWhatTheShapesDetermine_data()
{
    QTest::addColumn<QString>("shapes"); // writes REF (unless the CAD sphere) and MODEL
    QTest::addColumn<QString>("offset"); // the translation the fit must make, as a Python tuple
    QTest::addColumn<QString>("expected");
    QTest::newRow("plane offset along its normal")
        << "plane(REF, 50, 4); plane(MODEL, 20, 20, 0.4, 10, (3, -2))"
        << "(0, 0, -0.4)"
        << "moved True steps ['Align to the reference'] free rotation translation translation";
    // Four corners only: as few points as the fit can meet.
    QTest::newRow("square of two triangles offset along its normal")
        << "plane(REF, 50, 4); plane(MODEL, 20, 1, -0.25)"
        << "(0, 0, 0.25)"
        << "moved True steps ['Align to the reference'] free rotation translation translation";
    QTest::newRow("sphere rotated about its centre") << "REF = SPHERE; ellipsoid(MODEL, 10, 10, 10, 30)"
                                                     << "(0, 0, 0)"
                                                     << "moved False steps [] free rotation rotation rotation";
}

void tst_OxhostDeviation::fitSolvesWhatTheShapesDetermine()
{
    QFETCH(QString, shapes);
    QFETCH(QString, offset);
    QFETCH(QString, expected);
    const QString code = QString(Shapes) + QString(R"(
REF, MODEL, SPHERE = r'%1', r'%2', r'%3'
%4
oxHost.loadReference(REF)
oxHost.loadMesh(MODEL)
steps = oxHost.undoCount()
fit = oxHost.alignToReference()
texts = [oxHost.undoText(i) for i in range(steps, oxHost.undoCount())]
print("moved", fit["moved"], "steps", texts, "free", " ".join(sorted(m["kind"] for m in fit["free"])))
m, t = fit["matrix"], %5
rotation = max(abs(m[i][j] - (i == j)) for i in range(3) for j in range(3))
print("motion", rotation < 1e-5, max(abs(m[i][3] - t[i]) for i in range(3)) < 1e-5)
s = oxHost.deviationStats()
print("fits", max(abs(s["min"]), abs(s["max"])) < 1e-5)
)")
                                               .arg(dir.filePath("ref.obj"), dir.filePath("model.obj"),
                                                    dir.filePath("sphere.step"), shapes, offset);
    const Result r = oxhost({"-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(expected), qPrintable(r.out));
    QVERIFY2(r.out.contains("motion True True"), qPrintable(r.out));
    QVERIFY2(r.out.contains("fits True"), qPrintable(r.out));
}

void tst_OxhostDeviation::badInputIsRefused_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    QTest::newRow("no reference: statistics") << "oxHost.deviationStats()"
                                              << "RuntimeError: cannot take deviation statistics: no reference";
    QTest::newRow("no reference: align") << "oxHost.alignToReference()"
                                         << "RuntimeError: cannot align to the reference: no reference";
    QTest::newRow("no reference: export") << "oxHost.exportDeviation('d.csv')"
                                          << "RuntimeError: cannot export the deviation to \"d.csv\": no reference";
    QTest::newRow("cleared") << "oxHost.loadReference(r'%1'); oxHost.clearReference(); oxHost.deviationStats()"
                             << "no reference is loaded";
    QTest::newRow("bins") << "oxHost.loadReference(r'%1'); oxHost.deviationStats(0)"
                          << "ValueError: bins must be from 1 to 10000, not 0";
    QTest::newRow("export suffix") << "oxHost.loadReference(r'%1'); oxHost.exportDeviation('d.txt')"
                                   << "the suffix must be .ply or .csv";
    // The old reference stays: the statistics still run after the failed load, then stop.
    QTest::newRow("unreadable reference keeps the old one")
        << "oxHost.loadReference(r'%1')\ntry:\n    oxHost.loadReference('missing.step')\nexcept RuntimeError as e:\n"
           "    print('kept', oxHost.referenceInfo()['faces'], oxHost.deviationStats()['max'] > 0)\n    raise"
        << "missing.step";
}

void tst_OxhostDeviation::badInputIsRefused()
{
    QFETCH(QString, call);
    QFETCH(QString, message);
    const QString code = call.contains("%1") ? call.arg(dir.filePath("sphere.step")) : call;
    const Result r = oxhost({"--sample", "sphere", "-c", code});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    if (QByteArray(QTest::currentDataTag()).startsWith("unreadable"))
    {
        QVERIFY2(r.out.contains("kept 1 True"), qPrintable(r.out));
        // The same line --mesh gives for the file.
        const Result mesh = oxhost({"--mesh", "missing.step", "-c", "pass"});
        const QString line = mesh.err.trimmed().split('\n').last().section("oxhost: ", 1);
        QVERIFY(!line.isEmpty());
        QVERIFY2(r.err.contains(line), qPrintable(r.err + "\n" + mesh.err));
    }
}

void tst_OxhostDeviation::commandLineReference()
{
    const QString code = "print('faces', oxHost.referenceInfo()['faces'], oxHost.modelInfo()['faces'])";
    const Result r = oxhost({"--sample", "sphere", "--reference", dir.filePath("sphere.step"), "-c", code});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("faces 1 0"), qPrintable(r.out));
    const Result bad = oxhost({"--sample", "sphere", "--reference", dir.filePath("none.step"), "-c", "pass"});
    QVERIFY(bad.status != 0);
    QVERIFY2(bad.err.contains("none.step"), qPrintable(bad.err));
}

namespace
{
// scriptsMeasureAndFit's row that fits a turned model.
void addFitRows()
{
    // The model turned by 5 degrees and shifted by a tenth of its size comes back onto the
    // reference in one undo step; undo puts it back where it was, redo aligns it again. The fit's
    // placement is the model's: a new scene drops it, so the next model reads as a fresh load
    // does; the project keeps it, and a project without it leaves the model as its file has it.
    QTest::newRow("best fit, its undo and its placement")
        << R"(
import json
REF, MODEL, PROJECT, OLD = r'%2/ref.obj', r'%2/moved.obj', r'%2/aligned.json', r'%2/old.json'
size = 2 * math.sqrt(30 ** 2 + 20 ** 2 + 10 ** 2)
ellipsoid(REF, 30, 20, 10)
ellipsoid(MODEL, 30, 20, 10, 5, (0.06 * size, -0.05 * size, 0.05 * size))
def numbers():
    s = oxHost.deviationStats()
    return [s[k] for k in ("mean", "rms", "min", "max", "p95")] + [x for b in oxHost.modelInfo()["bounds"] for x in b]
def same(a, b, tolerance):
    return max(abs(x - y) for x, y in zip(a, b)) <= tolerance * size
oxHost.loadReference(REF)
oxHost.loadMesh(MODEL)
fresh = numbers()
steps = oxHost.undoCount()
fit = oxHost.alignToReference()
aligned = numbers()
print("fit", len(fit["matrix"]), len(fit["matrix"][0]), fit["rmsAfter"] < 1e-4 * size < fit["rmsBefore"])
print("after", max(abs(aligned[2]), abs(aligned[3])) < 1e-4 * size, oxHost.undoCount() - steps)
oxHost.undo()
print("undone", abs(numbers()[3] - fresh[3]) < 1e-4 * size)
oxHost.redo()
print("redone", same(numbers(), aligned, 1e-6))
oxHost.saveProject(PROJECT)
keys = sorted(k for k in json.load(open(PROJECT))["values"] if k.startswith("Host Model Placement"))
print("keys", keys)
oxHost.newScene()
oxHost.loadReference(REF)
oxHost.loadMesh(MODEL)
print("new scene", same(numbers(), fresh, 0), not same(aligned, fresh, 1e-3))
oxHost.loadProject(PROJECT)
print("project", same(numbers(), aligned, 1e-6))
project = json.load(open(PROJECT))
for k in keys:
    del project["values"][k]
json.dump(project, open(OLD, "w"))
oxHost.loadProject(OLD)
print("old project", same(numbers(), fresh, 0))
)"
        << QStringList{"fit 4 4 True",
                       "after True 1",
                       "undone True",
                       "redone True",
                       "keys ['Host Model Placement Rotation', 'Host Model Placement Translation']",
                       "new scene True True",
                       "project True",
                       "old project True"}
        << 0;
}

// scriptsMeasureAndFit's rows of placed parts and scans.
void addPlacedAndScanRows()
{
    // A CAD sphere moved onto a shifted reference keeps its faces and its exact normals: at every
    // probe the normal points from the moved centre through the hit.
    QTest::newRow("an aligned CAD model stays exact") << R"(
ellipsoid(r'%2/shifted.obj', 10, 10, 10, 0, (1.0, 0.5, -0.5), 96, 48)
oxHost.loadReference(r'%2/shifted.obj')
oxHost.loadMesh(r'%1')
fit = oxHost.alignToReference()
t = [fit["matrix"][i][3] for i in range(3)]
print("moved", fit["moved"], "faces", oxHost.modelInfo()["faces"])
worst, exact = 0, []
for x, y in [(0.3, 0.2), (-4, 3), (6, -5), (2, 7), (-7, -6)]:
    h = oxHost.probeRay((x + t[0], y + t[1], 50), (0, 0, -1))
    c = [h["point"][i] - t[i] for i in range(3)]
    n = h["normal"]
    cross = [c[1] * n[2] - c[2] * n[1], c[2] * n[0] - c[0] * n[2], c[0] * n[1] - c[1] * n[0]]
    worst = max(worst, math.atan2(math.sqrt(sum(v * v for v in cross)), sum(a * b for a, b in zip(c, n))))
    exact.append(h["exact"])
print("exact", all(exact), worst < 1e-5, worst)
)" << QStringList{"moved True faces 1", "exact True True"}
                                                      << 0;
    // A scan measured, exported and fitted as a mesh is; a scan as the reference measures unsigned
    // and says so, and gives no fit.
    const QString ball = "ellipsoid(r'%2/b.obj', 10.1, 10.1, 10.1); cloud(r'%2/b.obj', r'%2/b.xyz')\n"
                         "ellipsoid(r'%2/r.obj', 10, 10, 10); cloud(r'%2/r.obj', r'%2/r.xyz')\n";
    QTest::newRow("cloud to CAD") << ball + "oxHost.loadMesh(r'%2/b.xyz'); oxHost.loadReference(r'%1')\n"
                                            "s = oxHost.deviationStats(); oxHost.exportDeviation(r'%2/d.csv')\n"
                                            "rows = open(r'%2/d.csv').read().split()\n"
                                            "print('got', round(s['mean'], 6), s['distances'], len(rows) - 1)"
                                  << QStringList{"got 0.1 signed 1200"} << 0;
    QTest::newRow("mesh to cloud") << ball + "oxHost.loadMesh(r'%2/b.obj'); oxHost.loadReference(r'%2/r.xyz')\n"
                                             "s = oxHost.deviationStats()\n"
                                             "print('got', round(s['min'], 5), round(s['max'], 5), s['distances'])"
                                   << QStringList{"got 0.1 0.1 unsigned: the reference is a point cloud"} << 0;
    QTest::newRow("no fit to a cloud")
        << ball + "oxHost.loadMesh(r'%2/b.obj'); oxHost.loadReference(r'%2/r.xyz'); oxHost.alignToReference()"
        << QStringList{"the reference is a point cloud, which has no surface to fit onto"} << 1;
    QTest::newRow("cloud fitted")
        << "ellipsoid(r'%2/e.obj', 30, 20, 10)\n"
           "ellipsoid(r'%2/m.obj', 30, 20, 10, 5, (4, -3, 3)); cloud(r'%2/m.obj', r'%2/m.xyz')\n"
           "oxHost.loadMesh(r'%2/m.xyz'); oxHost.loadReference(r'%2/e.obj')\n"
           "fit = oxHost.alignToReference(); s = oxHost.deviationStats()\n"
           "print('got', fit['moved'], max(-s['min'], s['max']) < 1e-3)"
        << QStringList{"got True True"} << 0;
}
} // namespace

// Scripts with what they must print: %1 is the CAD sphere of radius 10, %2 a scratch folder.
void tst_OxhostDeviation::scriptsMeasureAndFit_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("expected"); // lines of standard output, or the refusal on standard error
    QTest::addColumn<int>("status");
    // A sphere of radius 10.1 against the CAD sphere of radius 10: 0.1 everywhere, all of it within
    // 0.2 and none within 0.05; the export says the same per vertex.
    QTest::newRow("sphere against a CAD reference") << R"(
oxHost.loadReference(r'%1')
info = oxHost.referenceInfo()
print("reference", info["faces"], info["source"] == [r'%1'], oxHost.modelInfo()["meshes"])
P = [(0, 0, 10.1), (0, 0, -10.1)]
for r in range(1, 20):
    for q in range(40):
        t, p = math.pi * r / 20, 2 * math.pi * q / 40
        P.append((10.1 * math.sin(t) * math.cos(p), 10.1 * math.sin(t) * math.sin(p), 10.1 * math.cos(t)))
T = [(0, 2 + q, 2 + (q + 1) % 40) for q in range(40)]
oxHost.addMesh('ball', P, T)
oxHost.set('DeviationTolerance', 0.2)
a = oxHost.deviationStats()
oxHost.set('DeviationTolerance', 0.05)
b = oxHost.deviationStats(bins=8)
print("within", a["within"], b["within"], len(a["hist"]), len(b["hist"]), len(b["edges"]))
print("values", all(abs(b[k] - 0.1) < 1e-6 for k in ("mean", "rms", "min", "max", "p95")), b["std"] < 1e-6)
oxHost.exportDeviation(r'%2/d.csv')
rows = open(r'%2/d.csv').read().split()
print("csv", rows[0], len(rows) - 1, all(abs(float(row.split(',')[3]) - 0.1) < 1e-6 for row in rows[1:]))
)" << QStringList{"reference 1 True 0", "within 1.0 0.0 32 8 9", "values True True", "csv x,y,z,d,rx,ry,rz 762 True"}
                                                    << 0;
    addFitRows();
    addPlacedAndScanRows();
}

void tst_OxhostDeviation::scriptsMeasureAndFit()
{
    QFETCH(QString, code);
    QFETCH(QStringList, expected);
    QFETCH(int, status);
    QTemporaryDir scratch;
    const Result r =
        oxhost({"-c", QString(Shapes) + code.replace("%1", dir.filePath("sphere.step")).replace("%2", scratch.path())});
    QVERIFY2(r.status == status, qPrintable(r.err));
    for (const QString& line : expected)
        QVERIFY2((status == 0 ? r.out : r.err).contains(line), qPrintable(r.out + r.err));
}

QTEST_GUILESS_MAIN(tst_OxhostDeviation)
#include "tst_oxhostdeviation.moc"
