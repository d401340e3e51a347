// The CAD cache: a second load comes from it and equals the first, its key follows the file's
// content and the options, damaged entries are rebuilt and whatever is not an entry is a miss that
// goes, the least recently used go first and nothing else is trimmed, its folders and entries are
// private, its settings are read strictly, and loads without it (switched off, or a folder that
// cannot be written) read afresh. Entries are taken in by the reader program first: one it refuses
// or dies on is replaced by a fresh read. The entries' format matches its golden checksum.
#include "testsupport.h"
#include "oxCadCache.h"
#include "oxCadImporter.h"
#include "oxIsolatedProcess.h"

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>

#include <QCryptographicHash>
#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cstring>
#include <future>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
struct Loaded
{
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    oxCadImporter::Stages stages;
};

bool load(const QString& path, Loaded& out, const oxCadOptions& options = oxCadOptions())
{
    std::string error;
    out = Loaded();
    if (oxCadImporter::load(path.toStdString(), options, out.mesh, out.cad, error, &out.stages))
        return true;
    qWarning("%s", error.c_str());
    return false;
}

// Everything a load hands on, bit for bit.
void compareLoads(const Loaded& a, const Loaded& b)
{
    QCOMPARE(a.mesh.positions.size(), b.mesh.positions.size());
    QVERIFY(a.mesh.positions == b.mesh.positions);
    QVERIFY(a.mesh.normals == b.mesh.normals);
    QVERIFY(a.mesh.indices == b.mesh.indices);
    QVERIFY(a.cad->vertexFace == b.cad->vertexFace);
    QVERIFY(a.cad->uv == b.cad->uv);
    QVERIFY(a.cad->curvatures.kMax == b.cad->curvatures.kMax);
    QVERIFY(a.cad->curvatures.kMin == b.cad->curvatures.kMin);
    QVERIFY(a.cad->curvatures.dirMax == b.cad->curvatures.dirMax);
    QVERIFY(a.cad->curvatures.dirMin == b.cad->curvatures.dirMin);
    QCOMPARE(a.cad->lostEntities, b.cad->lostEntities);
    QCOMPARE(a.cad->model->faceCount(), b.cad->model->faceCount());
    QCOMPARE(a.cad->model->sharedEdgeCount(), b.cad->model->sharedEdgeCount());
    QCOMPARE(a.cad->model->freeEdgeCount(), b.cad->model->freeEdgeCount());
    QCOMPARE(a.cad->model->size(), b.cad->model->size());
    // The rebuilt surfaces evaluate alike.
    for (size_t v = 0; v < a.mesh.vertexCount(); v += 97)
    {
        float na[3] = {0, 0, 0}, nb[3] = {0, 0, 0};
        const size_t face = a.cad->vertexFace[v];
        QCOMPARE(a.cad->model->normalAt(face, a.cad->uv[2 * v], a.cad->uv[2 * v + 1], na),
                 b.cad->model->normalAt(face, b.cad->uv[2 * v], b.cad->uv[2 * v + 1], nb));
        QVERIFY(std::memcmp(na, nb, sizeof na) == 0);
    }
}

QString writeSample(const QTemporaryDir& dir, const QString& sample, const QString& name)
{
    const QString path = dir.filePath(name);
    std::string error;
    if (!oxCadImporter::writeSample(sample.toStdString(), path.toStdString(), error, 2, 2, 6))
        qWarning("%s", error.c_str());
    return path;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList({"*.oxcad"}, QDir::Files);
}

// The type and permission bits of what is at path, not following a link; 0 when nothing is.
mode_t modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

std::string keyOf(const QString& path)
{
    return oxCadCache::key(path.toStdString(), oxCadOptions());
}

QString entryOf(const QString& path)
{
    return QString::fromStdString(oxCadCache().entryPath(keyOf(path)));
}

bool makeSocket(const QString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

// A load that cannot hang the suite: when it has not returned after a while (waiting on a pipe in
// the cache for a writer), the pipe's other end is opened once to free it, and blocked says so.
bool guardedLoad(const QString& path, Loaded& out, const QString& pipe, bool& blocked)
{
    auto loaded = std::async(std::launch::async, [&] { return load(path, out); });
    blocked = loaded.wait_for(std::chrono::seconds(30)) == std::future_status::timeout;
    if (blocked)
    {
        const int writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    return loaded.get();
}

// The reader fails while one lives: a load can then only come from the cache.
struct FailingReader
{
    FailingReader() { oxIsolatedProcess::setStandIn({"/bin/false"}); }
    ~FailingReader() { oxIsolatedProcess::setStandIn({}); }
};

// While one lives, the reader program is run through a shell that notes each request's kind in a
// log, and with crashOnEntries dies by SIGSEGV on the cache's entries as a parser fault would.
class LoggedReader
{
public:
    LoggedReader(const QString& log, bool crashOnEntries) : _log(log)
    {
        QFile::remove(log);
        std::string error;
        const std::string reader = oxIsolatedProcess::readerProgram(error);
        const std::string script = "echo \"$4\" >> '" + log.toStdString() + "'; " +
                                   (crashOnEntries ? "[ \"$4\" = cad-entry ] && kill -SEGV $$; " : "") + "exec '" +
                                   reader + "' \"$@\"";
        oxIsolatedProcess::setStandIn({"/bin/sh", "-c", script, "sh"});
    }
    ~LoggedReader() { oxIsolatedProcess::setStandIn({}); }
    QStringList requests() const { return QString::fromUtf8(readTestFile(_log)).split('\n', Qt::SkipEmptyParts); }

private:
    QString _log;
};

// Sets an environment variable, or unsets it for a null value.
void setVariable(const char* name, const QByteArray& value)
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}
} // namespace

class tst_CadCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void secondLoadEqualsTheFirst_data();
    void secondLoadEqualsTheFirst();
    void keyFollowsContentAndOptions_data();
    void keyFollowsContentAndOptions();
    void damagedEntryIsRebuilt_data();
    void damagedEntryIsRebuilt();
    void changedFileIsReadAfresh();
    void leastRecentlyUsedGoFirst();
    void loadsWithoutTheCacheReadAfresh_data();
    void loadsWithoutTheCacheReadAfresh();
    void whatIsNotAnEntryIsAMissAndGoes_data();
    void whatIsNotAnEntryIsAMissAndGoes();
    void foldersAndEntriesArePrivate_data();
    void foldersAndEntriesArePrivate();
    void folderFollowsTheXdgRules_data();
    void folderFollowsTheXdgRules();
    void sizeIsReadStrictly_data();
    void sizeIsReadStrictly();
    void trimRemovesOnlyEntries_data();
    void trimRemovesOnlyEntries();
    void craftedEntryIsRefusedByTheReader_data();
    void craftedEntryIsRefusedByTheReader();
    void entryFormatMatchesItsChecksum();

private:
    QTemporaryDir dir;
    QTemporaryDir home; // XDG_CACHE_HOME
    QString folder;     // the entries
    QByteArray homeVariable = qgetenv("HOME");
};

void tst_CadCache::initTestCase()
{
    QVERIFY(dir.isValid() && home.isValid());
    qputenv("XDG_CACHE_HOME", home.path().toLocal8Bit());
    folder = QString::fromStdString(oxCadCache().folder());
    QCOMPARE(folder, home.filePath("oxhost/cad"));
}

void tst_CadCache::init()
{
    QDir(folder).removeRecursively();
    qputenv("XDG_CACHE_HOME", home.path().toLocal8Bit());
    qunsetenv("OXHOST_NO_CACHE");
    oxCadCache::setEnabled(true);
}

void tst_CadCache::cleanup()
{
    setVariable("HOME", homeVariable);
    qunsetenv("OXHOST_CAD_CACHE_MB");
}

void tst_CadCache::secondLoadEqualsTheFirst_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("filleted box, STEP") << "filletedbox"
                                        << "step";
    QTest::newRow("torus, IGES") << "torus"
                                 << "igs";
    QTest::newRow("panel, B-rep") << "panel"
                                  << "brep";
}

void tst_CadCache::secondLoadEqualsTheFirst()
{
    QFETCH(QString, sample);
    QFETCH(QString, suffix);
    const QString path = writeSample(dir, sample, sample + "." + suffix);
    Loaded first, second;
    QVERIFY(load(path, first));
    QVERIFY(!first.stages.cached);
    QVERIFY(first.stages.read > 0);
    QCOMPARE(entries(folder).size(), 1);
    QVERIFY(load(path, second));
    QVERIFY(second.stages.cached);
    QCOMPARE(second.stages.read, 0.0);
    compareLoads(first, second);
}

void tst_CadCache::keyFollowsContentAndOptions_data()
{
    QTest::addColumn<QString>("otherName");
    QTest::addColumn<QByteArray>("appended"); // to a copy of the file
    QTest::addColumn<double>("deflection");
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("strict");
    QTest::addColumn<bool>("sameKey");
    const double d = oxCadOptions::DefaultDeflection, a = oxCadOptions::DefaultAngle;
    QTest::newRow("the same file") << "" << QByteArray() << d << a << false << true;
    QTest::newRow("a copy elsewhere") << "copy/box.step" << QByteArray() << d << a << false << true;
    QTest::newRow("one byte more") << "copy/box.step" << QByteArray("\n") << d << a << false << false;
    QTest::newRow("another suffix") << "copy/box.stp" << QByteArray() << d << a << false << false;
    QTest::newRow("deflection") << "" << QByteArray() << d * 1.0001 << a << false << false;
    QTest::newRow("angle") << "" << QByteArray() << d << a + 1 << false << false;
    QTest::newRow("strict") << "" << QByteArray() << d << a << true << false;
}

void tst_CadCache::keyFollowsContentAndOptions()
{
    QFETCH(QString, otherName);
    QFETCH(QByteArray, appended);
    QFETCH(double, deflection);
    QFETCH(double, angle);
    QFETCH(bool, strict);
    QFETCH(bool, sameKey);
    const QString path = writeSample(dir, "filletedbox", "box.step");
    QString other = path;
    if (!otherName.isEmpty())
    {
        other = dir.filePath(otherName);
        QDir().mkpath(QFileInfo(other).path());
        QFile::remove(other);
        QVERIFY(writeTestFile(other, readTestFile(path) + appended));
    }
    oxCadOptions options;
    options.deflection = deflection;
    options.angleDegrees = angle;
    options.strict = strict;
    const std::string key = oxCadCache::key(path.toStdString(), oxCadOptions());
    QCOMPARE(key.size(), size_t(32));
    QCOMPARE(oxCadCache::key(other.toStdString(), options) == key, sameKey);
    QCOMPARE(oxCadCache::key(dir.filePath("missing.step").toStdString(), options), std::string());
}

void tst_CadCache::damagedEntryIsRebuilt_data()
{
    // How the entry is damaged: the byte at offset (negative: from the end) flipped, or the file
    // cut to length. A payload that passes every check but is no answer is whatIsNotAnEntryIsAMissAndGoes'.
    QTest::addColumn<QString>("damage");
    QTest::addColumn<qint64>("at");
    QTest::newRow("magic") << "flip" << qint64(0);
    QTest::newRow("format version") << "flip" << qint64(8);
    QTest::newRow("checksum") << "flip" << qint64(12);
    QTest::newRow("payload length") << "flip" << qint64(16);
    QTest::newRow("key") << "flip" << qint64(30);
    QTest::newRow("first payload byte") << "flip" << qint64(56);
    QTest::newRow("a vertex") << "flip" << qint64(-5000);
    QTest::newRow("last byte") << "flip" << qint64(-1);
    QTest::newRow("cut in the header") << "cut" << qint64(20);
    QTest::newRow("cut in the payload") << "cut" << qint64(-100);
    QTest::newRow("empty") << "cut" << qint64(0);
    QTest::newRow("one byte more") << "grow" << qint64(0);
}

void tst_CadCache::damagedEntryIsRebuilt()
{
    QFETCH(QString, damage);
    QFETCH(qint64, at);
    const QString path = writeSample(dir, "filletedbox", "damaged.step");
    Loaded first, second, third;
    QVERIFY(load(path, first));
    const QStringList written = entries(folder);
    QCOMPARE(written.size(), 1);
    const QString entry = QDir(folder).filePath(written[0]);
    QByteArray bytes = readTestFile(entry);
    QVERIFY(bytes.size() > 10000);
    if (at < 0)
        at += bytes.size();
    if (damage == "flip")
        bytes[int(at)] = char(bytes[int(at)] ^ 0x10);
    else if (damage == "cut")
        bytes.truncate(int(at));
    else if (damage == "grow")
        bytes.append('\0');
    QVERIFY(writeTestFile(entry, bytes));

    QVERIFY(load(path, second));
    QVERIFY(!second.stages.cached);
    compareLoads(first, second);
    QVERIFY(load(path, third));
    QVERIFY(third.stages.cached);
    compareLoads(first, third);
}

void tst_CadCache::changedFileIsReadAfresh()
{
    const QString path = writeSample(dir, "sphere", "changing.brep");
    Loaded sphere, torus, again;
    QVERIFY(load(path, sphere));
    QVERIFY(QFile::remove(path));
    writeSample(dir, "torus", "changing.brep");
    QVERIFY(load(path, torus));
    QVERIFY(!torus.stages.cached);
    QVERIFY(torus.mesh.positions != sphere.mesh.positions);
    QVERIFY(load(path, again));
    QVERIFY(again.stages.cached);
    compareLoads(torus, again);
}

void tst_CadCache::leastRecentlyUsedGoFirst()
{
    const QString folder = dir.filePath("bounded");
    // Room for two entries of 100 bytes (and their headers), not three.
    const oxCadCache cache(folder.toStdString(), 400);
    std::string reason, payload;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::string a(32, 'a'), b(32, 'b'), c(32, 'c'), d(32, 'd');
    for (const std::string& key : {a, b})
    {
        QVERIFY2(cache.store(key, std::string(100, key[0]), reason), reason.c_str());
        QFile entry(QString::fromStdString(cache.entryPath(key)));
        QVERIFY(entry.open(QIODevice::ReadWrite));
        QVERIFY(entry.setFileTime(now.addSecs(key == a ? -60 : -30), QFileDevice::FileModificationTime));
    }
    // a is used: b is now the oldest.
    QVERIFY(cache.find(a, payload));
    QCOMPARE(payload, std::string(100, 'a'));
    QVERIFY(cache.store(c, std::string(100, 'c'), reason));
    QVERIFY(cache.find(a, payload));
    QVERIFY(!cache.find(b, payload));
    QVERIFY(cache.find(c, payload));
    QCOMPARE(payload, std::string(100, 'c'));
    // An entry larger than the whole cache is not kept, and takes no other with it.
    QVERIFY(cache.store(d, std::string(500, 'd'), reason));
    QVERIFY(!cache.find(d, payload));
    QVERIFY(cache.find(a, payload));
    QVERIFY(cache.find(c, payload));
    QCOMPARE(entries(folder).size(), 2);
    QCOMPARE(strayFiles(folder), QStringList());
}

void tst_CadCache::loadsWithoutTheCacheReadAfresh_data()
{
    // How the cache is kept out after a first load has made an entry, and whether each load then
    // warns (not when it was switched off on purpose).
    QTest::addColumn<QString>("off");
    QTest::addColumn<bool>("warns");
    QTest::newRow("--no-cache") << "switch" << false;
    QTest::newRow("OXHOST_NO_CACHE=1") << "variable" << false;
    // No folder can be made there, as root or not.
    QTest::newRow("a file where its folder should be") << "blocked" << true;
}

// The entry is neither read nor written, and another file makes none.
void tst_CadCache::loadsWithoutTheCacheReadAfresh()
{
    QFETCH(QString, off);
    QFETCH(bool, warns);
    const QString path = writeSample(dir, "cylinder", "off.step");
    const QString other = writeSample(dir, "sphere", "off.brep");
    Loaded cached, fresh;
    QVERIFY(load(path, cached));
    if (off == "switch")
        oxCadCache::setEnabled(false);
    else if (off == "variable")
        qputenv("OXHOST_NO_CACHE", "1");
    else
        QVERIFY(writeTestFile(dir.filePath("blocked"), "not a folder") &&
                qputenv("XDG_CACHE_HOME", dir.filePath("blocked").toLocal8Bit()));
    QCOMPARE(oxCadCache::enabled(), off == "blocked");
    StderrCapture capture;
    QVERIFY(load(path, fresh));
    QVERIFY(!fresh.stages.cached);
    compareLoads(cached, fresh);
    QVERIFY(load(other, fresh));
    const QStringList warnings = capture.linesWith("warning");
    QCOMPARE(entries(folder).size(), 1);
    QCOMPARE(warnings.size(), warns ? 2 : 0);
    if (warns)
        QVERIFY2(warnings[0].contains(path) && warnings[0].contains("cache"), qPrintable(warnings[0]));
}

void tst_CadCache::whatIsNotAnEntryIsAMissAndGoes_data()
{
    QTest::addColumn<QString>("planted"); // where the box's entry would be
    QTest::newRow("a pipe") << "pipe";
    QTest::newRow("a socket") << "socket";
    QTest::newRow("a link to an entry") << "link";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("the sphere's entry under the box's key") << "other key";
    QTest::newRow("an answer that does not rebuild") << "garbage";
}

// A load finds no model in what is planted: with the reader failing it fails, and what was
// planted is gone (a folder stays); with the reader back it reads afresh and keeps a real entry.
void tst_CadCache::whatIsNotAnEntryIsAMissAndGoes()
{
    QFETCH(QString, planted);
    const QString path = writeSample(dir, "filletedbox", "planted.step");
    const QString entry = entryOf(path);
    const QString aside = dir.filePath("aside.oxcad");
    Loaded reference, loaded;
    QVERIFY(load(path, reference));
    const QByteArray boxEntry = readTestFile(entry);
    QVERIFY(QFile::remove(entry));
    if (planted == "pipe")
        QVERIFY(::mkfifo(QFile::encodeName(entry).constData(), 0600) == 0);
    else if (planted == "socket")
        QVERIFY(makeSocket(entry));
    else if (planted == "link")
        QVERIFY(writeTestFile(aside, boxEntry) && QFile::link(aside, entry));
    else if (planted == "folder")
        QVERIFY(QDir().mkpath(entry));
    else if (planted == "other key")
    {
        const QString sphere = writeSample(dir, "sphere", "planted.brep");
        QVERIFY(load(sphere, loaded));
        QByteArray bytes = readTestFile(entryOf(sphere));
        bytes.replace(24, 32, QByteArray::fromStdString(keyOf(path)));
        QVERIFY(writeTestFile(entry, bytes));
    }
    else
    {
        std::string reason;
        QVERIFY(oxCadCache().store(keyOf(path), std::string(5000, '\7'), reason));
    }

    bool blocked = false;
    {
        const FailingReader failing;
        QVERIFY(!guardedLoad(path, loaded, entry, blocked));
    }
    QVERIFY2(!blocked, "the load waited on the pipe in the cache");
    if (planted == "folder")
        QVERIFY(S_ISDIR(modeOf(entry)));
    else
        QCOMPARE(modeOf(entry), mode_t(0));
    if (planted == "link")
        QCOMPARE(readTestFile(aside), boxEntry);

    QVERIFY(guardedLoad(path, loaded, entry, blocked));
    QVERIFY(!loaded.stages.cached);
    compareLoads(reference, loaded);
    QVERIFY(load(path, loaded));
    QCOMPARE(loaded.stages.cached, planted != "folder");
}

void tst_CadCache::foldersAndEntriesArePrivate_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<QString>("start");   // XDG_CACHE_HOME below the test's home
    QTest::addColumn<bool>("oldFolders"); // left 0755 by an older version
    QTest::newRow("umask 022") << 022 << "" << false;
    QTest::newRow("umask 0") << 0 << "" << false;
    QTest::newRow("a start that does not exist yet") << 0 << "new/cache" << false;
    QTest::newRow("folders of an older version") << 022 << "" << true;
}

void tst_CadCache::foldersAndEntriesArePrivate()
{
    QFETCH(int, umask);
    QFETCH(QString, start);
    QFETCH(bool, oldFolders);
    const QString base = home.filePath(start);
    qputenv("XDG_CACHE_HOME", base.toLocal8Bit());
    QDir(home.filePath("new")).removeRecursively();
    const QString cache = base + "/oxhost/cad";
    if (oldFolders)
        QVERIFY(QDir().mkpath(cache) && ::chmod(QFile::encodeName(cache).constData(), 0755) == 0 &&
                ::chmod(QFile::encodeName(base + "/oxhost").constData(), 0755) == 0);
    const QString path = writeSample(dir, "cylinder", "private.step");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);

    const mode_t old = ::umask(mode_t(umask));
    Loaded loaded;
    const bool loads = load(path, loaded);
    ::umask(old);
    QVERIFY(loads);
    QStringList folders = {cache, base + "/oxhost"};
    if (!start.isEmpty())
        folders << base << home.filePath("new");
    for (const QString& folder : folders)
        QVERIFY2((modeOf(folder) & 07777) == 0700, qPrintable(folder));
    QCOMPARE(entries(cache).size(), 1);
    QCOMPARE(int(modeOf(cache + "/" + entries(cache)[0]) & 07777), 0600);
}

void tst_CadCache::folderFollowsTheXdgRules_data()
{
    // "-" leaves the variable unset.
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QByteArray>("homeFolder");
    QTest::addColumn<QString>("folder"); // empty: no cache
    QTest::addColumn<QString>("problem");
    QTest::newRow("XDG_CACHE_HOME") << QByteArray("/x/cache") << QByteArray("/h") << "/x/cache/oxhost/cad"
                                    << "";
    QTest::newRow("a relative XDG_CACHE_HOME is ignored")
        << QByteArray("x/cache") << QByteArray("/h") << "/h/.cache/oxhost/cad"
        << "";
    QTest::newRow("an empty XDG_CACHE_HOME") << QByteArray("") << QByteArray("/h/") << "/h/.cache/oxhost/cad"
                                             << "";
    QTest::newRow("no HOME") << QByteArray("-") << QByteArray("-") << ""
                             << "there is no folder for it: XDG_CACHE_HOME is not an absolute path and HOME is not set";
    QTest::newRow("HOME is the root folder") << QByteArray("-") << QByteArray("/") << ""
                                             << "HOME=\"/\" is not a home folder";
    QTest::newRow("a relative HOME") << QByteArray("x/cache") << QByteArray("h") << ""
                                     << "HOME=\"h\" is not a home folder";
}

void tst_CadCache::folderFollowsTheXdgRules()
{
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, homeFolder);
    QFETCH(QString, folder);
    QFETCH(QString, problem);
    setVariable("XDG_CACHE_HOME", xdg == "-" ? QByteArray() : xdg);
    setVariable("HOME", homeFolder == "-" ? QByteArray() : homeFolder);
    const oxCadCache cache;
    QCOMPARE(QString::fromStdString(cache.folder()), folder);
    QVERIFY2(QString::fromStdString(cache.problem()).endsWith(problem), cache.problem().c_str());
    QCOMPARE(cache.problem().empty(), problem.isEmpty());
}

void tst_CadCache::sizeIsReadStrictly_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qulonglong>("megabytes"); // 0: refused
    // How a size is read is oxMegabytesFromEnvironment's, whose refusals tst_isolatedprocess has.
    QTest::newRow("3 MiB") << QByteArray("3") << qulonglong(3);
    QTest::newRow("empty") << QByteArray("") << qulonglong(2048);
    QTest::newRow("unit") << QByteArray("2G") << qulonglong(0);
}

// A bad size is a warning naming the variable, not the file; the file loads without the cache.
void tst_CadCache::sizeIsReadStrictly()
{
    QFETCH(QByteArray, value);
    QFETCH(qulonglong, megabytes);
    qputenv("OXHOST_CAD_CACHE_MB", value);
    const oxCadCache cache;
    const QString expected = QString("OXHOST_CAD_CACHE_MB=\"%1\" is not a size in MiB").arg(QString(value));
    if (megabytes > 0)
        QCOMPARE(qulonglong(cache.capacity()), qulonglong(megabytes << 20));
    QVERIFY2(QString::fromStdString(cache.problem()).startsWith(megabytes > 0 ? QString() : expected),
             cache.problem().c_str());

    const QString path = writeSample(dir, "sphere", "sized.step");
    Loaded loaded;
    StderrCapture capture;
    QVERIFY(load(path, loaded));
    const QStringList warnings = capture.linesWith("warning");
    QCOMPARE(entries(folder).size(), megabytes > 0 ? 1 : 0);
    QCOMPARE(warnings.size(), megabytes > 0 ? 0 : 1);
    if (megabytes == 0)
        QVERIFY2(warnings[0].contains(expected) && !warnings[0].contains(path), qPrintable(warnings[0]));
}

void tst_CadCache::trimRemovesOnlyEntries_data()
{
    QTest::addColumn<QString>("planted");   // in the bounded folder, older and larger than the entries
    QTest::addColumn<bool>("linkedFolder"); // the cache folder itself is a link to where it was planted
    QTest::newRow("a name outside the scheme") << "notes.oxcad" << false;
    QTest::newRow("a link named as an entry") << "link" << false;
    QTest::newRow("a folder named as an entry") << "folder" << false;
    QTest::newRow("an entry in a folder a link leads to") << QString(32, '1') + ".oxcad" << true;
}

void tst_CadCache::trimRemovesOnlyEntries()
{
    QFETCH(QString, planted);
    QFETCH(bool, linkedFolder);
    const QString real = dir.filePath("trimmed"), outside = dir.filePath("outside.bin");
    QDir(real).removeRecursively();
    QVERIFY(QDir().mkpath(real) && writeTestFile(outside, QByteArray(300, 'o')));
    QString thing = real + "/" + planted;
    if (planted == "link")
    {
        thing = real + "/" + QString(32, 'e') + ".oxcad";
        QVERIFY(QFile::link(outside, thing));
    }
    else if (planted == "folder")
        QVERIFY(QDir().mkpath(thing = real + "/" + QString(32, 'f') + ".oxcad"));
    else
        QVERIFY(writeTestFile(thing, QByteArray(300, 'p')));
    const mode_t before = modeOf(thing);
    const QString bounded = linkedFolder ? dir.filePath("linked") : real;
    QFile::remove(dir.filePath("linked"));
    if (linkedFolder)
        QVERIFY(QFile::link(real, bounded));

    const oxCadCache cache(bounded.toStdString(), 400);
    std::string reason;
    for (char c : {'a', 'b', 'c'})
        QCOMPARE(cache.store(std::string(32, c), std::string(100, c), reason), !linkedFolder);
    if (linkedFolder)
        QCOMPARE(QString::fromStdString(reason),
                 "\"" + bounded + "\" is a symbolic link, which the cache does not follow");
    QCOMPARE(modeOf(thing), before);
    QCOMPARE(readTestFile(outside), QByteArray(300, 'o'));
    QCOMPARE(entries(real).size(), linkedFolder ? 1 : 2 + int(planted == "notes.oxcad") + int(planted == "link"));
}

void tst_CadCache::craftedEntryIsRefusedByTheReader_data()
{
    // What the entry's shape, the answer's second field, is made of; every entry passes its checksum.
    QTest::addColumn<QString>("shape");
    QTest::addColumn<bool>("readerDies"); // on the entry, as on a shape that crashes its parser
    QTest::newRow("garbage") << "garbage" << false;
    QTest::newRow("its first half") << "half" << false;
    QTest::newRow("none") << "empty" << false;
    QTest::newRow("one its parser dies on") << "intact" << true;
    QTest::newRow("the layout before validation properties") << "old layout" << false;
}

// The entry goes to the reader program and nowhere else: refused there (or killing it), it is
// replaced by a fresh read that loads, and the next load comes from the new entry.
void tst_CadCache::craftedEntryIsRefusedByTheReader()
{
    QFETCH(QString, shape);
    QFETCH(bool, readerDies);
    const QString path = writeSample(dir, "filletedbox", "crafted.step");
    Loaded reference, loaded;
    QVERIFY(load(path, reference));
    const QByteArray entry = readTestFile(entryOf(path));
    // The payload after the header: the cause (8 bytes: none), the shape's length, the shape.
    QByteArray payload = entry.mid(56);
    quint64 length = 0;
    std::memcpy(&length, payload.constData() + 8, sizeof length);
    QVERIFY(length > 1000 && length < quint64(payload.size()));
    QByteArray crafted = payload.mid(16, int(length));
    // An entry of the last version, under this key as a build that forgot to bump the version
    // would write it: its answer has no validation properties (two empty lists before the 6
    // stage times and the empty list of lost entities).
    const int props = payload.size() - 8 - (8 + 6 * 8) - 16;
    if (shape == "old layout")
    {
        QCOMPARE(payload.mid(props, 16), QByteArray(16, '\0'));
        payload.remove(props, 16);
    }
    else if (shape == "garbage")
        crafted.fill('\x5a');
    else if (shape == "half")
        crafted.truncate(crafted.size() / 2);
    else if (shape == "empty")
        crafted.clear();
    const quint64 craftedLength = quint64(crafted.size());
    payload.replace(16, int(length), crafted);
    payload.replace(8, 8, QByteArray(reinterpret_cast<const char*>(&craftedLength), 8));
    std::string reason;
    QVERIFY2(oxCadCache().store(keyOf(path), payload.toStdString(), reason), reason.c_str());

    {
        const LoggedReader reader(dir.filePath("requests.log"), readerDies);
        QVERIFY(load(path, loaded));
        QCOMPARE(reader.requests(), QStringList({"cad-entry", "cad"}));
    }
    QVERIFY(!loaded.stages.cached);
    compareLoads(reference, loaded);
    const LoggedReader reader(dir.filePath("requests.log"), false);
    QVERIFY(load(path, loaded));
    QVERIFY(loaded.stages.cached);
    QCOMPARE(reader.requests(), QStringList({"cad-entry"}));
}

// A golden checksum of what an entry holds for a box: its layout, the answer's fields and what
// they mean (the tessellation, the vertex data, the shape's format). The box keeps it free of the
// last bits that trigonometry may round differently on another machine; the stage times, the key
// and the checksum, which change from run to run or with the key's recipe, are zeroed.
void tst_CadCache::entryFormatMatchesItsChecksum()
{
    const QString path = dir.filePath("golden.brep");
    QVERIFY(BRepTools::Write(BRepPrimAPI_MakeBox(40, 30, 20).Shape(), QFile::encodeName(path).constData()));
    Loaded loaded;
    QVERIFY(load(path, loaded));
    QByteArray entry = readTestFile(entryOf(path));
    // The end of the answer: 6 stage times, then no lost entities.
    const int times = entry.size() - 8 - 6 * 8;
    quint64 count = 0, lost = 1;
    std::memcpy(&count, entry.constData() + times - 8, 8);
    std::memcpy(&lost, entry.constData() + entry.size() - 8, 8);
    QCOMPARE(count, quint64(6));
    QCOMPARE(lost, quint64(0));
    entry.replace(times, 6 * 8, QByteArray(6 * 8, '\0'));
    entry.replace(12, 4, QByteArray(4, '\0'));
    entry.replace(24, 32, QByteArray(32, '\0'));
    const QByteArray hash = QCryptographicHash::hash(entry, QCryptographicHash::Md5);
    quint32 checksum = 0;
    for (int i = 0; i < 4; ++i)
        checksum = checksum << 8 | quint8(hash[i]);
    const QString message = QString("what a CAD cache entry holds has changed (its checksum is 0x%1, "
                                    "oxCadCache::FormatChecksum says 0x%2): bump oxCadCache::FormatVersion, "
                                    "run this test again and set FormatChecksum to the checksum it prints")
                                .arg(checksum, 8, 16, QChar('0'))
                                .arg(oxCadCache::FormatChecksum, 8, 16, QChar('0'));
    QVERIFY2(checksum == oxCadCache::FormatChecksum, qPrintable(message));
}

QTEST_GUILESS_MAIN(tst_CadCache)
#include "tst_cadcache.moc"
