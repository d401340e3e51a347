// The reader's child process: bounded in memory, gone with its host, stopped by Ctrl+C.
#include "testsupport.h"
#include "oxIsolatedProcess.h"
#include "oxMeshImporter.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <tbb/parallel_for.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define OX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OX_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef OX_ADDRESS_SANITIZER
#define OX_ADDRESS_SANITIZER 0
#endif

namespace
{
// Work that tells the test its process id, then reads for ever.
std::string endlessRead(int report)
{
    const pid_t self = ::getpid();
    if (::write(report, &self, sizeof self) != sizeof self)
        return "cannot report";
    ::sleep(600);
    return std::string();
}

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

constexpr int InterruptedExit = 42;
volatile std::sig_atomic_t g_noted = 0;

void noteInterrupt(int)
{
    g_noted = 1;
}

// Forks a host that runs an endless read; returns the host's and the reader's process ids.
bool startHost(pid_t& host, pid_t& reader)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    host = ::fork();
    if (host == 0)
    {
        ::close(fds[0]);
        // The host's own interrupt handling only notes the interrupt, as an interpreter's does.
        std::signal(SIGINT, noteInterrupt);
        std::string answer;
        const std::string result = oxIsolatedProcess::run([&] { return endlessRead(fds[1]); }, 600, answer);
        ::_exit(result == oxIsolatedProcess::Interrupted && g_noted ? InterruptedExit : 0);
    }
    ::close(fds[1]);
    const bool told = host > 0 && ::read(fds[0], &reader, sizeof reader) == sizeof reader;
    ::close(fds[0]);
    return told;
}

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
    void aGreedyReaderRunsOutOfItsMemory();
    void aFileThatAsksForTooMuchIsRefused();
    void aBadMemorySettingIsNamed_data();
    void aBadMemorySettingIsNamed();
    void theReaderDiesWithItsHost();
    void ctrlCStopsTheReaderAndReachesTheHost();
    void aReaderStartedDuringParallelWorkFinishes();
};

void tst_IsolatedProcess::aGreedyReaderRunsOutOfItsMemory()
{
    const MemoryCap cap("256");
    std::string answer;
    const std::string modest =
        oxIsolatedProcess::run([] { return std::string(64 << 20, 'x').substr(0, 2); }, 60, answer);
    QCOMPARE(QString::fromStdString(modest), QString());
    QCOMPARE(QString::fromStdString(answer), QString("xx"));

    const std::string greedy = oxIsolatedProcess::run(
        []
        {
            std::string big(size_t(2) << 30, 'x');
            return big.substr(0, 1);
        },
        60, answer);
#if OX_ADDRESS_SANITIZER
    // AddressSanitizer's allocator ends the child itself when the cap is reached.
    QVERIFY(!greedy.empty());
#else
    QVERIFY2(greedy.find("256 MiB of memory it may use") != std::string::npos, greedy.c_str());
#endif
}

// A PLY header that declares a billion vertices: the reader fails inside its share of memory.
// Big-endian, so that it goes to Assimp's reader: the direct one refuses the counts unread.
void tst_IsolatedProcess::aFileThatAsksForTooMuchIsRefused()
{
    const MemoryCap cap("512");
    QTemporaryDir dir;
    const QString path = dir.filePath("greedy.ply");
    QVERIFY(writeTestFile(path, "ply\nformat binary_big_endian 1.0\nelement vertex 1000000000\n"
                                "property float x\nproperty float y\nproperty float z\n"
                                "element face 1000000000\nproperty list uchar int vertex_indices\n"
                                "end_header\n" +
                                    QByteArray(64, '\0')));
    oxMeshImporter::File read;
    std::string error;
    QVERIFY(!oxMeshImporter::read(path.toStdString(), read, error));
    QVERIFY2(error.find("greedy.ply") != std::string::npos, error.c_str());
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
    const std::string result = oxIsolatedProcess::run([] { return std::string("read"); }, 60, answer);
    const QString expected = QString("OXHOST_READER_MEMORY_MB=\"%1\" is not a size in MiB").arg(QString(value));
    QVERIFY2(QString::fromStdString(result).startsWith(expected), result.c_str());
    QVERIFY2(result.find("damaged") == std::string::npos, result.c_str());
}

void tst_IsolatedProcess::theReaderDiesWithItsHost()
{
    pid_t host = 0, reader = 0;
    QVERIFY(startHost(host, reader));
    ::kill(host, SIGKILL);
    ::waitpid(host, nullptr, 0);
    QVERIFY(endsWithin(reader, 5000));
}

// The terminal's Ctrl+C may reach the host alone; the read stops at once, and the host's own
// handler hears of the interrupt afterwards.
void tst_IsolatedProcess::ctrlCStopsTheReaderAndReachesTheHost()
{
    pid_t host = 0, reader = 0;
    QVERIFY(startHost(host, reader));
    QElapsedTimer timer;
    timer.start();
    ::kill(host, SIGINT);
    int status = 0;
    while (::waitpid(host, &status, WNOHANG) == 0 && timer.elapsed() < 5000)
        QTest::qSleep(20);
    if (timer.elapsed() >= 5000)
    {
        ::kill(host, SIGKILL);
        ::kill(reader, SIGKILL);
        ::waitpid(host, &status, 0);
        QFAIL("the host still waited for its reader 5 s after Ctrl+C");
    }
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), InterruptedExit);
    QVERIFY(endsWithin(reader, 5000));
}

// A child forked while another thread's TBB work is in flight inherits a scheduler that waits for
// workers it does not have: a window that reads a file while it draws a frame must not hang.
void tst_IsolatedProcess::aReaderStartedDuringParallelWorkFinishes()
{
    std::atomic<bool> started{false};
    std::thread frame(
        [&]
        {
            const oxIsolatedProcess::ParallelScope parallel;
            started = true;
            tbb::parallel_for(0, 64, [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
        });
    while (!started)
        std::this_thread::yield();
    std::string answer;
    const std::string error = oxIsolatedProcess::run(
        []
        {
            std::atomic<int> sum{0};
            tbb::parallel_for(0, 1000, [&](int i) { sum += i; });
            return std::to_string(sum.load());
        },
        20, answer);
    frame.join();
    QVERIFY2(error.empty(), error.c_str());
    QCOMPARE(answer, std::string("499500"));
}

QTEST_GUILESS_MAIN(tst_IsolatedProcess)
#include "tst_isolatedprocess.moc"
