// `oxhost check` over folders as users run it at a release gate: each part in a process of its
// own, a part that crashes or hangs its check becomes an error and the batch goes on, sealed
// parts are not checked again, and Ctrl+C keeps what finished.
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "testsupport.h"

#include <csignal>

class tst_CheckBatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void eachPartOfAFolderGetsAVerdict_data();
    void eachPartOfAFolderGetsAVerdict();
    void aHungCheckIsStoppedAtItsTimeLimit();
    void aThousandPartsEachGetAVerdict();
    void aTerminalSeesOneProgressLine();
    void onlyChangedPartsAreCheckedAgain_data();
    void onlyChangedPartsAreCheckedAgain();
    void aStopKeepsFinishedParts_data();
    void aStopKeepsFinishedParts();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // The environment with the reader stood in by one that hangs on "hang" files and kills the
    // part's checker (its parent) on "crash" files.
    QProcessEnvironment hostileReader() const;
    // The environment with each part's checker stood in by a quick script that passes every part
    // but "mute" ones, for which it writes nothing.
    QProcessEnvironment quickChecker() const;
    QTemporaryDir m_dir;
};

namespace
{
QJsonObject result(const QString& file)
{
    return QJsonDocument::fromJson(readTestFile(file)).object();
}

bool makeExecutable(const QString& file, const QByteArray& script)
{
    return writeTestFile(file, script) &&
           QFile::setPermissions(file, QFile::permissions(file) | QFileDevice::ExeOwner | QFileDevice::ReadOwner);
}

QStringList resultFiles(const QString& dir)
{
    return QDir(dir).entryList({"*.check.json"}, QDir::Files, QDir::Name);
}
} // namespace

void tst_CheckBatch::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir().mkpath(path("parts/sub")));
    const OxhostResult r = oxhost({"-c", QString("oxHost.writeCadSample('filletedbox', r'%1')\n"
                                                 "oxHost.writeCadSample('sphere', r'%2')\n"
                                                 "oxHost.writeCadSample('cylinder', r'%3')")
                                             .arg(path("parts/box.brep"), path("sphere.brep"), path("cylinder.brep"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY(QFile::copy(path("sphere.brep"), path("parts/sub/Sphere.BREP")));
    QVERIFY(writeTestFile(path("parts/sub/broken.step"), "ISO-10303-21;\nthis is not a part\n"));
    QVERIFY(writeTestFile(path("parts/crash.step"), "ISO-10303-21;\n"));
    QVERIFY(writeTestFile(path("parts/notes.txt"), "not a part: passed over\n"));
    QVERIFY(QDir().mkpath(path("hang")));
    QVERIFY(writeTestFile(path("hang/hang.igs"), "S      1\n"));
    const QByteArray reader = qgetenv("OXHOST_READER");
    QVERIFY2(!reader.isEmpty(), "OXHOST_READER names the reader the stand-in hands the other files to");
    // The stand-in's sleep ends with the checker that started it, so nothing outlives the test.
    QVERIFY(makeExecutable(path("reader.sh"), "#!/bin/sh\n"
                                              "case \"$5\" in\n"
                                              "*hang*) while kill -0 $PPID 2>/dev/null; do sleep 0.1; done ;;\n"
                                              "*crash*) kill -KILL $PPID; sleep 1 ;;\n"
                                              "*) exec '" +
                                                  reader +
                                                  "' \"$@\" ;;\n"
                                                  "esac\n"));
    QVERIFY(makeExecutable(path("checker.sh"),
                           "#!/bin/sh\n"
                           "case \"$4\" in *mute*) exit 0 ;; esac\n"
                           "printf '{\"schema\": \"oxhost-check\", \"version\": 1, \"source\": \"%s\", \"verdict\": "
                           "\"pass\", \"profile\": \"default\", \"reason\": \"\", \"counts\": {}, \"findings\": "
                           "[]}\\n' \"$4\" > \"$6\"\n"));
}

QProcessEnvironment tst_CheckBatch::quickChecker() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("OXHOST_CHECKER", path("checker.sh"));
    return env;
}

QProcessEnvironment tst_CheckBatch::hostileReader() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("OXHOST_READER", path("reader.sh"));
    return env;
}

void tst_CheckBatch::eachPartOfAFolderGetsAVerdict_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("says");
    QTest::newRow("a good part") << "box.check.json"
                                 << "pass" << path("parts/box.brep") + ": pass";
    QTest::newRow("a suffix in capitals") << "Sphere.check.json"
                                          << "pass" << path("parts/sub/Sphere.BREP") + ": pass";
    QTest::newRow("an unreadable file") << "broken.check.json"
                                        << "error" << path("parts/sub/broken.step") + ": error: cannot read CAD file";
    QTest::newRow("a check that crashed")
        << "crash.check.json"
        << "error"
        << path("parts/crash.step") + ": error: the check of \"" + path("parts/crash.step") + "\" crashed (signal 9)";
}

void tst_CheckBatch::eachPartOfAFolderGetsAVerdict()
{
    QFETCH(QString, json);
    QFETCH(QString, verdict);
    QFETCH(QString, says);
    // One batch for every row: the rows read its outcome.
    static QTemporaryDir out;
    static const OxhostResult r =
        oxhost({"check", path("parts"), "--jobs", "2", "--out", out.path()}, QByteArray(), hostileReader());
    QVERIFY2(r.status == 3, qPrintable(r.out + r.err));
    QVERIFY2(r.out.contains(says), qPrintable(r.out));
    QVERIFY2(r.out.contains("4 files: 2 pass, 0 warning, 0 fail, 2 error"), qPrintable(r.out));
    QCOMPARE(resultFiles(out.path()).size(), 4);
    const QJsonObject part = result(out.filePath(json));
    QCOMPARE(part["verdict"].toString(), verdict);
    // Only a part that was checked whole is sealed.
    QCOMPARE(part.contains("seal"), verdict != "error");
    QVERIFY(QFile::exists(out.filePath("findings.csv")));
}

void tst_CheckBatch::aHungCheckIsStoppedAtItsTimeLimit()
{
    QTemporaryDir out;
    const OxhostResult r =
        oxhost({"check", path("hang"), "--timeout", "2", "--out", out.path()}, QByteArray(), hostileReader());
    const QString file = path("hang/hang.igs");
    QVERIFY2(r.status == 3, qPrintable(r.out + r.err));
    const QString why = "the check of \"" + file + "\" took longer than 2 s and was stopped";
    QVERIFY2(r.out.contains(file + ": error: " + why), qPrintable(r.out));
    QVERIFY(result(out.filePath("hang.check.json"))["reason"].toString().startsWith(why));
}

void tst_CheckBatch::aThousandPartsEachGetAVerdict()
{
    // Ten folders of a hundred parts of the same names, ten of them "mute".
    QTemporaryDir parts, out;
    for (int folder = 0; folder < 10; ++folder)
    {
        QVERIFY(QDir(parts.path()).mkpath(QString::number(folder)));
        for (int i = 0; i < 100; ++i)
            QVERIFY(writeTestFile(parts.filePath(QString("%1/%2%3.stp").arg(folder).arg(i == 7 ? "mute" : "p").arg(i)),
                                  "ISO-10303-21;\n"));
    }
    const OxhostResult r =
        oxhost({"check", parts.path(), "--jobs", "4", "--out", out.path()}, QByteArray(), quickChecker());
    QVERIFY2(r.status == 3, qPrintable(r.err));
    QVERIFY2(r.out.contains("1000 files: 990 pass, 0 warning, 0 fail, 10 error"), qPrintable(r.out.right(500)));
    QCOMPARE(r.out.count(": pass (0 errors, 0 warnings shown)"), 990);
    QCOMPARE(r.out.count("left no result that can be read"), 10);
    QCOMPARE(resultFiles(out.path()).size(), 1000);
    QVERIFY(QFile::exists(out.filePath("p0-10.check.json")));
}

void tst_CheckBatch::aTerminalSeesOneProgressLine()
{
    if (QStandardPaths::findExecutable("script").isEmpty())
        QSKIP("script (util-linux) gives the batch a terminal");
    QTemporaryDir out;
    const QString command =
        "'" + QString(OXHOST) + "' check '" + path("parts") + "' --jobs 1 --out '" + out.path() + "'";
    QProcess terminal;
    terminal.setProcessEnvironment(quickChecker());
    terminal.start("script", {"-qec", command, "/dev/null"});
    QVERIFY(terminal.waitForFinished(120000));
    const QString shown = QString::fromUtf8(terminal.readAllStandardOutput());
    // Each part overwrites the line; passes leave no line of their own, and the summary ends it.
    QVERIFY2(shown.contains("\r\033[K[1/4] box.brep pass") && shown.contains("\r\033[K[4/4] "), qPrintable(shown));
    QVERIFY2(!shown.contains("box.brep: pass"), qPrintable(shown));
    QVERIFY2(shown.contains("\r\033[K4 files: 4 pass"), qPrintable(shown));
}

void tst_CheckBatch::onlyChangedPartsAreCheckedAgain_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("checkedAgain");
    QTest::newRow("nothing") << "" << QStringList{"broken.step"};
    QTest::newRow("a part's content") << "part" << QStringList{"broken.step", "sphere.brep"};
    QTest::newRow("the profile's content") << "profile" << QStringList{"box.brep", "broken.step", "sphere.brep"};
    QTest::newRow("a truncated result") << "truncate" << QStringList{"box.brep", "broken.step"};
    QTest::newRow("a result of another file") << "source" << QStringList{"box.brep", "broken.step"};
    QTest::newRow("a field this version does not know") << "field" << QStringList{"broken.step"};
}

void tst_CheckBatch::onlyChangedPartsAreCheckedAgain()
{
    QFETCH(QString, change);
    QFETCH(QStringList, checkedAgain);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(path("parts/box.brep"), dir.filePath("box.brep")));
    QVERIFY(QFile::copy(path("sphere.brep"), dir.filePath("sphere.brep")));
    QVERIFY(QFile::copy(path("parts/sub/broken.step"), dir.filePath("broken.step")));
    const QString profile = writeTestFile(dir, "p.json", "{\"base\": \"class-a\"}");
    const QString out = dir.filePath("out");
    const QStringList args{"check", dir.path(), "--profile", profile, "--jobs", "2", "--out", out};
    const OxhostResult first = oxhost(args);
    QVERIFY2(first.status == 3 && !first.out.contains("unchanged"), qPrintable(first.out + first.err));
    const QString box = out + "/box.check.json";
    if (change == "part")
        QVERIFY(QFile::remove(dir.filePath("sphere.brep")) &&
                QFile::copy(path("cylinder.brep"), dir.filePath("sphere.brep")));
    else if (change == "profile")
        QVERIFY(writeTestFile(profile, "{\"base\": \"class-a\", \"findingsPerCriterion\": 3}"));
    else if (change == "truncate")
        QVERIFY(writeTestFile(box, readTestFile(box).left(120)));
    else if (change == "source")
        QVERIFY(writeTestFile(box, readTestFile(box).replace("box.brep", "other.brep")));
    else if (change == "field")
        QVERIFY(writeTestFile(box, readTestFile(box).replace("\"version\": 1,", "\"version\": 1, \"host\": \"n7\",")));
    const OxhostResult second = oxhost(args);
    QVERIFY2(second.status == 3, qPrintable(second.out + second.err));
    for (const QString name : {"box.brep", "broken.step", "sphere.brep"})
    {
        const QStringList lines = second.out.split('\n').filter(dir.filePath(name) + ": ");
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].contains("unchanged since its last check") != checkedAgain.contains(name),
                 qPrintable(lines[0]));
    }
    QCOMPARE(result(box)["source"].toString(), dir.filePath("box.brep"));
}

void tst_CheckBatch::aStopKeepsFinishedParts_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl+C") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void tst_CheckBatch::aStopKeepsFinishedParts()
{
    QFETCH(int, signal);
    // The box first (names in order), then parts that hang until the batch is stopped.
    QTemporaryDir dir;
    QVERIFY(QFile::copy(path("parts/box.brep"), dir.filePath("box.brep")));
    for (const QString name : {"hang1.step", "hang2.step", "hang3.step"})
        QVERIFY(writeTestFile(dir.filePath(name), "ISO-10303-21;\n"));
    const QString out = dir.filePath("out");
    QProcessEnvironment env = hostileReader();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess host;
    host.setProcessEnvironment(env);
    host.start(OXHOST, {"check", dir.path(), "--jobs", "1", "--out", out});
    QVERIFY(host.waitForStarted());
    QByteArray printed;
    // Guards against a hung host, not timings.
    QElapsedTimer guard;
    guard.start();
    while (!printed.contains("box.brep: ") && guard.elapsed() < 120000)
        if (host.waitForReadyRead(1000))
            printed += host.readAllStandardOutput();
    QVERIFY2(printed.contains("box.brep: warning") || printed.contains("box.brep: pass"), printed.constData());
    ::kill(pid_t(host.processId()), signal);
    QVERIFY(host.waitForFinished(60000));
    printed += host.readAllStandardOutput();
    const QString err = QString::fromUtf8(host.readAllStandardError());
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 3);
    QVERIFY2(err.contains("oxhost: check: interrupted after 1 of 4 files; their results are in"), qPrintable(err));
    QCOMPARE(resultFiles(out), QStringList{"box.check.json"});
    QVERIFY(result(out + "/box.check.json").contains("seal"));
    QVERIFY(QFile::exists(out + "/findings.csv"));
    QCOMPARE(strayFiles(out), QStringList());
}

QTEST_GUILESS_MAIN(tst_CheckBatch)
#include "tst_checkbatch.moc"
