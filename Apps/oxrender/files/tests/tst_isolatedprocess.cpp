// The reader's own process, oxreader: bounded in memory, gone with its host, stopped by Ctrl+C.
#include "testsupport.h"
#include "oxCadImporter.h"
#include "oxCurvature.h"
#include "oxDraftStats.h"
#include "oxFrame.h"
#include "oxIsolatedProcess.h"
#include "oxMeshImporter.h"
#include "oxModelImporter.h"
#include "oxRaytracer.h"
#include "oxRenderScene.h"
#include "oxSampleSurfaces.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
const QByteArray Triangle = "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
                            "endloop\nendfacet\nendsolid t\n";

// A process that is gone, or a zombie nobody has reaped yet.
bool ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

bool endsWithin(pid_t pid, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!ended(pid))
    {
        if (timer.elapsed() > milliseconds)
            return false;
        QTest::qSleep(20);
    }
    return true;
}

// The first child process of parent found in /proc, or 0.
pid_t childOf(pid_t parent)
{
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs))
    {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        std::ifstream stat(("/proc/" + entry + "/stat").toStdString());
        std::string line;
        if (!number || !std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        // "pid (name) state ppid ...": the name may hold spaces.
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string state;
        pid_t ppid = 0;
        if (rest >> state >> ppid && ppid == parent)
            return pid;
    }
    return 0;
}

constexpr int InterruptedExit = 42;
volatile std::sig_atomic_t g_noted = 0;

void noteInterrupt(int)
{
    g_noted = 1;
}

// A host reading a pipe named like an STL file, which the test keeps open and never writes to:
// its reader waits for ever.
struct EndlessRead
{
    QTemporaryDir dir;
    pid_t host = 0, reader = 0;
    int pipe = -1;

    bool start()
    {
        const std::string path = dir.filePath("endless.stl").toStdString();
        if (::mkfifo(path.c_str(), 0600) != 0)
            return false;
        host = ::fork();
        if (host == 0)
        {
            // The host's own interrupt handling only notes the interrupt, as an interpreter's does.
            std::signal(SIGINT, noteInterrupt);
            std::string answer;
            const std::string result = oxIsolatedProcess::run({"mesh", path, "endless", "1", "0"}, 600, answer);
            ::_exit(result == oxIsolatedProcess::Interrupted && g_noted ? InterruptedExit : 0);
        }
        QElapsedTimer timer;
        timer.start();
        // Opens once the reader has the pipe open too.
        while (host > 0 && (pipe = ::open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && timer.elapsed() < 10000)
            QTest::qSleep(10);
        reader = host > 0 ? childOf(host) : 0;
        return pipe >= 0 && reader > 0;
    }
    ~EndlessRead()
    {
        if (pipe >= 0)
            ::close(pipe);
        if (host > 0 && ::waitpid(host, nullptr, WNOHANG) == 0)
        {
            ::kill(host, SIGKILL);
            ::waitpid(host, nullptr, 0);
        }
    }
};

class MemoryCap
{
public:
    explicit MemoryCap(const char* megabytes) { ::setenv("OXHOST_READER_MEMORY_MB", megabytes, 1); }
    ~MemoryCap() { ::unsetenv("OXHOST_READER_MEMORY_MB"); }
};
} // namespace

class tst_IsolatedProcess : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aFileThatAsksForTooMuchIsRefused_data();
    void aFileThatAsksForTooMuchIsRefused();
    void aBadMemorySettingIsNamed_data();
    void aBadMemorySettingIsNamed();
    void theReaderDiesWithItsHost();
    void ctrlCStopsTheReaderAndReachesTheHost();
    void aMissingReaderIsNamed();
    void filesLoadWhileAFrameTracesAndAnalysesRun();
};

void tst_IsolatedProcess::aFileThatAsksForTooMuchIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("one triangle") << "triangle.stl" << Triangle << QString();
    // Big-endian, so that it goes to Assimp's reader: the direct one refuses the counts unread.
    QTest::newRow("a billion vertices") << "greedy.ply"
                                        << QByteArray(
                                               "ply\nformat binary_big_endian 1.0\nelement vertex 1000000000\n"
                                               "property float x\nproperty float y\nproperty float z\n"
                                               "element face 1000000000\nproperty list uchar int vertex_indices\n"
                                               "end_header\n" +
                                               QByteArray(64, '\0'))
                                        << "greedy.ply";
}

// The reader fails inside its share of memory, and a modest file fits in it.
void tst_IsolatedProcess::aFileThatAsksForTooMuchIsRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    const MemoryCap cap("512");
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(writeTestFile(path, content));
    oxMeshImporter::File read;
    std::string message;
    QCOMPARE(oxModelImporter::read(path.toStdString(), read, message), error.isEmpty());
    QVERIFY2(QString::fromStdString(message).contains(error), message.c_str());
}

void tst_IsolatedProcess::aBadMemorySettingIsNamed_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("exponent") << QByteArray("1e3");
    QTest::newRow("wraps when shifted") << QByteArray("17592186044416");
    QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999999");
    QTest::newRow("zero") << QByteArray("0");
    QTest::newRow("negative") << QByteArray("-512");
    QTest::newRow("unit") << QByteArray("512M");
    QTest::newRow("blank") << QByteArray(" 512");
}

// Refused before any reader starts, with the variable to blame instead of the file.
void tst_IsolatedProcess::aBadMemorySettingIsNamed()
{
    QFETCH(QByteArray, value);
    const MemoryCap cap(value.constData());
    std::string answer = "stale";
    const std::string result = oxIsolatedProcess::run({"mesh", "none.stl", "none", "1", "0"}, 60, answer);
    const QString expected = QString("OXHOST_READER_MEMORY_MB=\"%1\" is not a size in MiB").arg(QString(value));
    QVERIFY2(QString::fromStdString(result).startsWith(expected), result.c_str());
    QVERIFY2(result.find("damaged") == std::string::npos, result.c_str());
}

void tst_IsolatedProcess::theReaderDiesWithItsHost()
{
    EndlessRead read;
    QVERIFY(read.start());
    ::kill(read.host, SIGKILL);
    ::waitpid(read.host, nullptr, 0);
    QVERIFY(endsWithin(read.reader, 5000));
}

// The terminal's Ctrl+C may reach the host alone; the read stops at once, and the host's own
// handler hears of the interrupt afterwards.
void tst_IsolatedProcess::ctrlCStopsTheReaderAndReachesTheHost()
{
    EndlessRead read;
    QVERIFY(read.start());
    QElapsedTimer timer;
    timer.start();
    ::kill(read.host, SIGINT);
    int status = 0;
    while (::waitpid(read.host, &status, WNOHANG) == 0 && timer.elapsed() < 5000)
        QTest::qSleep(20);
    QVERIFY2(timer.elapsed() < 5000, "the host still waited for its reader 5 s after Ctrl+C");
    read.host = 0;
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), InterruptedExit);
    QVERIFY(endsWithin(read.reader, 5000));
}

// Where the reader is: a missing one is named, not taken for a damaged file.
void tst_IsolatedProcess::aMissingReaderIsNamed()
{
    const QByteArray set = qgetenv("OXHOST_READER");
    qputenv("OXHOST_READER", "/nonexistent/oxreader");
    std::string answer;
    const std::string result = oxIsolatedProcess::run({"mesh", "none.stl", "none", "1", "0"}, 60, answer);
    qputenv("OXHOST_READER", set);
    QVERIFY2(result.find("/nonexistent/oxreader") != std::string::npos, result.c_str());
    QVERIFY2(result.find("damaged") == std::string::npos, result.c_str());
}

// A window reads files while its renderer traces a frame and analyses run on other threads, all
// on TBB's workers: the reader is a process of its own, so their state is none of its business.
void tst_IsolatedProcess::filesLoadWhileAFrameTracesAndAnalysesRun()
{
    QTemporaryDir dir;
    const QString stl = dir.filePath("triangle.stl");
    const std::string step = dir.filePath("sphere.step").toStdString();
    std::string error;
    QVERIFY(writeTestFile(stl, Triangle));
    QVERIFY2(oxCadImporter::writeSample("sphere", step, error), error.c_str());
    auto sphere = std::make_shared<oxRenderMesh>(oxSampleSurfaces::sphere(10.f, 128));
    oxRenderScene scene;
    scene.setMeshes({sphere});
    oxFrame::Request frame = oxFrame::request({96, 96});
    frame.hostAnalyses.DraftActive = true;
    frame.hostAnalyses.DraftDirection = osg::Vec3f(0.f, 0.f, 1.f);
    frame.camera.from = osg::Pnt3f(0.f, -50.f, 0.f);

    std::atomic<bool> reading{true};
    std::atomic<int> rounds[3] = {};
    auto busy = [&](int which, const std::function<void()>& work)
    {
        return std::thread(
            [&, which, work]
            {
                while (reading || rounds[which] == 0)
                {
                    work();
                    ++rounds[which];
                }
            });
    };
    std::thread workers[] = {busy(0,
                                  [&]
                                  {
                                      std::vector<float> depth;
                                      oxFrame::compose(frame, scene, oxRaytracer(), depth);
                                  }),
                             busy(1,
                                  [&]
                                  {
                                      oxDraftStats stats;
                                      std::string unused;
                                      oxDraftStats::compute(scene, osg::Vec3f(0.f, 0.f, 1.f), 5.0, stats, unused);
                                  }),
                             busy(2, [&] { oxCurvature::estimate(*sphere); })};
    bool read = true;
    for (int i = 0; i < 4 && read; ++i)
        for (const std::string& path : {stl.toStdString(), step})
        {
            oxMeshImporter::File file;
            read = read && oxModelImporter::read(path, file, error) && file.meshes.size() == 1;
        }
    reading = false;
    for (std::thread& worker : workers)
        worker.join();
    QVERIFY2(read, error.c_str());
}

QTEST_GUILESS_MAIN(tst_IsolatedProcess)
#include "tst_isolatedprocess.moc"
