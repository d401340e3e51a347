// The check spread over processes as the shipped scripts spread it over machines: a Dask
// LocalCluster, and the Slurm array's task body run by hand. Their merged outputs are those of one
// `oxhost check` of the same files.
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

typedef QMap<QString, QString> Vars; // a step's environment beside the test's

class tst_OxhostCheckCluster : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void spreadRunsMergeAsOneProcess_data();
    void spreadRunsMergeAsOneProcess();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    QStringList m_files; // in the order the Dask script walks the parts' folder
    int m_status = -1;
};

namespace
{
// A program run to its end; its exit status, or -1 when it did not finish.
int run(const QString& program, const QStringList& args, const Vars& vars, QString& output)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("OXHOST", OXHOST);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (auto v = vars.cbegin(); v != vars.cend(); ++v)
        env.insert(v.key(), v.value());
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    // A guard against a hung cluster, not a timing check.
    const bool done = p.waitForFinished(300000);
    output = QString::fromUtf8(p.readAll());
    return done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
} // namespace

void tst_OxhostCheckCluster::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir().mkpath(path("parts/sub")));
    // Two parts of one name in two folders, so the names of their results must agree too.
    const OxhostResult r =
        oxhost({"-c", QString("oxHost.writeCadSample('filletedbox', r'%1')\n"
                              "oxHost.writeCadSample('sphere', r'%2')\n"
                              "oxHost.writeCadSample('sphere', r'%3')")
                          .arg(path("parts/box.brep"), path("parts/sphere.brep"), path("parts/sub/box.brep"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY(writeTestFile(path("parts/broken.step"), "ISO-10303-21;\nthis is not a part\n"));
    QVERIFY(writeTestFile(path("parts/notes.txt"), "not a part\n"));
    m_files = QStringList{"parts/box.brep", "parts/broken.step", "parts/sphere.brep", "parts/sub/box.brep"};
    for (QString& f : m_files)
        f = path(f);
    QVERIFY(writeTestFile(path("parts.list"), (m_files.join("\n\n") + "\n").toUtf8()));
    const OxhostResult one =
        oxhost(QStringList{"check"} + m_files + QStringList{"--profile", "class-a", "--out", path("one")});
    m_status = one.status;
    QVERIFY2(m_status == 3, qPrintable(one.out + one.err));
}

void tst_OxhostCheckCluster::spreadRunsMergeAsOneProcess_data()
{
    QTest::addColumn<QString>("out");
    // Each step: program, arguments, environment; the last step's status is the run's.
    QTest::addColumn<QList<QStringList>>("steps");
    QTest::addColumn<QList<Vars>>("vars");
    const QString dask = QString(OX_CLUSTER_DIR) + "/oxhost-check-dask.py";
    const QString sbatch = QString(OX_CLUSTER_DIR) + "/oxhost-check.sbatch";
    QTest::newRow("Dask LocalCluster") << "dask"
                                       << QList<QStringList>{{PYTHON, dask, path("parts"), "--profile", "class-a",
                                                              "--workers", "2", "--out", path("dask")}}
                                       << QList<Vars>{Vars()};
    const QStringList task{"bash", sbatch, "task", path("parts.list"), path("slurm"), "class-a"};
    QTest::newRow("Slurm tasks by hand") << "slurm"
                                         << QList<QStringList>{task, task, {"bash", sbatch, "merge", path("slurm")}}
                                         << QList<Vars>{
                                                Vars{{"SLURM_ARRAY_TASK_ID", "1"}, {"SLURM_ARRAY_TASK_COUNT", "2"}},
                                                Vars{{"SLURM_ARRAY_TASK_ID", "0"}, {"SLURM_ARRAY_TASK_COUNT", "2"}},
                                                Vars()};
}

void tst_OxhostCheckCluster::spreadRunsMergeAsOneProcess()
{
    QFETCH(QString, out);
    QFETCH(QList<QStringList>, steps);
    QFETCH(QList<Vars>, vars);
    int status = -1;
    for (int i = 0; i < steps.size(); ++i)
    {
        QString output;
        status = run(steps[i][0], steps[i].mid(1), vars[i], output);
        QVERIFY2(i + 1 == steps.size() || status == 0, qPrintable(output));
        QVERIFY2(i + 1 < steps.size() || status == m_status, qPrintable(output));
    }
    // Nothing of the tasks' own folders is left behind.
    const QDir spread(path(out));
    QCOMPARE(spread.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    const QStringList files = QDir(path("one")).entryList(QDir::Files);
    QCOMPARE(spread.entryList(QDir::Files), files);
    QVERIFY2(files.contains("box-2.check.json") && files.contains("junit.xml"), qPrintable(files.join(" ")));
    for (const QString& name : files)
        QVERIFY2(readTestFile(spread.filePath(name)) == readTestFile(path("one/" + name)), qPrintable(name));
}

QTEST_GUILESS_MAIN(tst_OxhostCheckCluster)
#include "tst_oxhostcheckcluster.moc"
