// oxhost against hostile but realistic input: geometry and cameras too far away to trace, files
// that are not what they seem (a pipe, a file nobody may read, a damaged CAD file) and numbers out
// of range. Each is refused with a sentence, or loads what it can and says what it lost.
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "testsupport.h"

namespace
{
typedef OxhostResult Result;

QByteArray triangleObj(const char* reach)
{
    return QByteArray("v 0 0 0\nv ") + reach + " 0 0\nv 0 " + reach + " 0\nf 1 2 3\n";
}

// oxhost as uid 65534, through setpriv; status -1 when it cannot be started.
Result oxhostAsNobody(const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", "/tmp");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", OXHOST} + args);
    Result result;
    if (!process.waitForStarted() || !process.waitForFinished(300000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
} // namespace

class tst_OxhostInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void hostileInputIsRefusedOrContained_data();
    void hostileInputIsRefusedOrContained();
    void filesWithoutReadPermissionSaySo_data();
    void filesWithoutReadPermissionSaySo();

private:
    QTemporaryDir dir;
};

void tst_OxhostInput::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(writeTestFile(dir.filePath("far18.obj"), triangleObj("1e18")));
    QVERIFY(writeTestFile(dir.filePath("far20.obj"), triangleObj("1e20")));
    QVERIFY(writeTestFile(dir.filePath("near14.obj"), triangleObj("1e14")));
    QVERIFY(writeTestFile(dir.filePath("nan.obj"), triangleObj("1") + "v nan 0 0\nf 1 2 4\nf 4 3 1\n"));
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe.json")).constData(), 0644) == 0);
    const Result r = oxhost({"-c", QString("oxHost.writeCadSample('torus', r'%1')\n"
                                           "oxHost.writeCadSample('panel', r'%2')")
                                       .arg(dir.filePath("torus.step"), dir.filePath("panel.igs"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    // A transfer cut short: the directory of entities is whole, the data of most of them missing.
    const QByteArray panel = readTestFile(dir.filePath("panel.igs"));
    QVERIFY(writeTestFile(dir.filePath("cut.igs"), panel.left(panel.size() * 3 / 10)));
}

void tst_OxhostInput::hostileInputIsRefusedOrContained_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says"); // on standard output or error
    const QString far = "--render DIR/far.png --size 64x40 --sample sphere -c";
    QTest::newRow("NaN camera position") << QStringList{"-c", "oxHost.setCamera((float('nan'),) * 3, 45)"} << 1
                                         << "ValueError: position must be finite, not (nan, nan, nan)";
    QTest::newRow("NaN field of view") << QStringList{"-c", "oxHost.setCamera((0, 0, 100), float('nan'))"} << 1
                                       << "ValueError: fov must be finite";
    QTest::newRow("NaN look-at target") << QStringList{"-c", "oxHost.lookAt((0, float('inf'), 0))"} << 1
                                        << "ValueError: target must be finite";
    QTest::newRow("NaN up") << QStringList{"-c", "oxHost.lookAt((0, 0, 0), (float('nan'), 0, 0))"} << 1
                            << "ValueError: up must be finite";
    QTest::newRow("NaN framing aspect") << QStringList{"-c", "oxHost.frameScene(float('nan'))"} << 1
                                        << "ValueError: aspect must be finite";
    QTest::newRow("camera at 1e30 renders the background")
        << far.split(' ') + QStringList{"oxHost.setCamera((1e30, 0, 0), 45)\nprint('rendered')"} << 0 << "rendered";
    QTest::newRow("camera at 1e30 probes nothing")
        << QStringList{"--sample", "sphere", "-c",
                       "oxHost.setCamera((1e30, 0, 0), 45)\noxHost.setViewSize(64, 40)\n"
                       "print('probe', oxHost.probe(32, 20), oxHost.probeRay((1e30, 0, 0), (-1, 0, 0)))"}
        << 0 << "probe None None";
    QTest::newRow("OBJ at 1e18") << QStringList{"--mesh", "DIR/far18.obj", "-c", "print('ran')"} << 1
                                 << "cannot read mesh \"DIR/far18.obj\": its coordinates reach 1e+18, beyond 1e+15";
    QTest::newRow("OBJ at 1e20") << QStringList{"--mesh", "DIR/far20.obj", "-c", "print('ran')"} << 1
                                 << "cannot read mesh \"DIR/far20.obj\": its coordinates reach 1e+20";
    QTest::newRow("OBJ at 1e14 renders") << QStringList{"--mesh",   "DIR/near14.obj",
                                                        "--render", "DIR/near.png",
                                                        "--size",   "64x40",
                                                        "-c",       "print(oxHost.modelInfo()['triangles'])"}
                                         << 0 << "1\n";
    QTest::newRow("project on a pipe") << QStringList{"--project", "DIR/pipe.json", "-c", "print('ran')"} << 1
                                       << "cannot read project \"DIR/pipe.json\": it is not a regular file";
    QTest::newRow("size that wraps round to 1x1")
        << QStringList{"--size", "4294967297x1", "--sample", "sphere", "--render", "DIR/wrap.png"} << 2
        << "--size needs WIDTHxHEIGHT, each a whole number from 1 to 16384, not \"4294967297x1\"";
    QTest::newRow("deflection too fine for the part")
        << QStringList{"--mesh", "DIR/torus.step", "--deflection", "1e-7", "-c", "print('ran')"} << 1
        << "the triangulation is too fine for this model: a deflection of 1e-07 would make about 3.2e+07 "
           "triangles, more than the 5e+06 a model may have; a deflection of 6.4e-07 or more keeps it under";
    QTest::newRow("whole IGES lost nothing")
        << QStringList{"--mesh", "DIR/panel.igs", "-c", "print('lost', oxHost.modelInfo()['lostEntities'])"} << 0
        << "lost 0\n";
    QTest::newRow("cut IGES loads with a warning")
        << QStringList{"--mesh", "DIR/cut.igs", "-c", "print('lost', oxHost.modelInfo()['lostEntities'] > 0)"} << 0
        << "damaged entities of the file could not be read; the model lacks what they held";
    const QStringList nanObj{"--mesh", "DIR/nan.obj", "-c", "print('lost', oxHost.modelInfo()['lostTriangles'])"};
    // The count on standard output, the warning the first line on standard error.
    QTest::newRow("OBJ with a NaN vertex counts what it lost and warns")
        << nanObj << 0
        << "lost 2\nwarning: mesh \"DIR/nan.obj\": 2 triangles of the file could not be read (a corner that is no "
           "finite number, or a missing vertex); the model lacks them";
    QTest::newRow("OBJ with a NaN vertex with --strict")
        << QStringList{"--strict", "--mesh", "DIR/nan.obj", "-c", "print('ran')"} << 1
        << "cannot read mesh \"DIR/nan.obj\": 2 triangles of the file could not be read";
    QTest::newRow("whole OBJ lost nothing")
        << QStringList{"--mesh", "DIR/near14.obj", "-c", "print('lost', oxHost.modelInfo()['lostTriangles'])"} << 0
        << "lost 0\n";
    QTest::newRow("cut IGES with --strict") << QStringList{"--strict", "--mesh", "DIR/cut.igs", "-c", "print('ran')"}
                                            << 1 << "damaged entities of the file could not be read\n";
}

void tst_OxhostInput::hostileInputIsRefusedOrContained()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    args.replaceInStrings("DIR", dir.path());
    says.replace("DIR", dir.path());
    const Result r = oxhost(args);
    QVERIFY2(r.status == status, qPrintable(QString::number(r.status) + ": " + r.err));
    QVERIFY2((r.out + r.err).contains(says), qPrintable(r.out + r.err));
    if (status != 0)
        QVERIFY(!r.out.contains("ran"));
    if (QTest::currentDataTag() == QLatin1String("cut IGES loads with a warning"))
        QVERIFY2(r.out.contains("lost True"), qPrintable(r.out));
    if (args.contains("--render") && status == 0)
        QVERIFY(!QImage(args[args.indexOf("--render") + 1]).isNull());
}

void tst_OxhostInput::filesWithoutReadPermissionSaySo_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("mesh") << "near14.obj"
                          << "cannot read mesh \"%1\": Permission denied";
    QTest::newRow("CAD") << "torus.step"
                         << "cannot read CAD file \"%1\": Permission denied";
}

void tst_OxhostInput::filesWithoutReadPermissionSaySo()
{
    QFETCH(QString, file);
    QFETCH(QString, message);
    const QString path = dir.filePath("locked-" + file);
    QVERIFY(QFile::copy(dir.filePath(file), path));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
    const QStringList args{"--mesh", path, "-c", "print('ran')"};
    Result r;
    if (::geteuid() == 0)
    {
        // Root reads any file: the reader runs as nobody, who may enter the folder but not read it.
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0711) == 0);
        r = oxhostAsNobody(args);
        if (r.status == -1 || r.err.contains("setpriv"))
            QSKIP("oxhost cannot be run as uid 65534 here");
    }
    else
        r = oxhost(args);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(message.arg(path)), qPrintable(r.err));
}

QTEST_APPLESS_MAIN(tst_OxhostInput)
#include "tst_oxhostinput.moc"
