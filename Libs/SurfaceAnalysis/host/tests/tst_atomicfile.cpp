#include "oxAtomicFile.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace
{
mode_t modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// Devices and pipes are not read: a pipe would wait for a writer.
QByteArray contents(const QString& path)
{
    if (!S_ISREG(modeOf(path)))
        return "<not a file>";
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A folder on a 64 KiB tmpfs, unmounted when the guard goes; empty where mounting is not allowed.
struct SmallDisk
{
    explicit SmallDisk(const QString& path) : path(path)
    {
        mounted = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(path).constData(), MNT_DETACH);
    }
    QString path;
    bool mounted = false;
};
} // namespace

class tst_AtomicFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replacesTheFileKeepingItsModeAndLinks();
    void uncommittedWritesLeaveTheTarget();
    void failuresKeepTheOldFile_data();
    void failuresKeepTheOldFile();
    void refusesWhatAReplacementWouldBreak_data();
    void refusesWhatAReplacementWouldBreak();
    void keepsOwnersAndCleansLeftovers_data();
    void keepsOwnersAndCleansLeftovers();
    void aFolderSwappedAfterTheChecksKeepsTheSave_data();
    void aFolderSwappedAfterTheChecksKeepsTheSave();
};

void tst_AtomicFile::replacesTheFileKeepingItsModeAndLinks()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/data.csv";
    const mode_t oldMask = ::umask(022);
    std::string reason;
    QVERIFY2(oxAtomicFile::save(path.toStdString(), "first\n", reason), reason.c_str());
    ::umask(oldMask);
    QCOMPARE(contents(path), QByteArray("first\n"));
    QCOMPARE(int(modeOf(path) & 07777), 0644);

    // Set-id and sticky bits too: a rename would otherwise drop them.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 07640) == 0);
    const QString link = dir.path() + "/link.csv";
    QVERIFY(QFile::link(path, link));
    oxAtomicFile file(link.toStdString());
    QVERIFY(file.open());
    QVERIFY(file.write("second,", 7) && file.write(std::string("line\n")));
    QVERIFY2(file.commit(), file.error().c_str());
    QCOMPARE(contents(path), QByteArray("second,line\n"));
    QCOMPARE(int(modeOf(path) & 07777), 07640);
    QVERIFY(S_ISLNK(modeOf(link)));
    QCOMPARE(strayFiles(dir.path()), QStringList());
}

void tst_AtomicFile::uncommittedWritesLeaveTheTarget()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/report.html";
    QVERIFY(writeTestFile(path, "old"));
    {
        oxAtomicFile file(path.toStdString());
        QVERIFY(file.open() && file.write("new", 3));
        QCOMPARE(strayFiles(dir.path()).size(), 1);
    }
    oxAtomicFile file(path.toStdString());
    QVERIFY(file.open() && file.write("new", 3));
    file.discard();
    QVERIFY(!file.commit());
    QCOMPARE(contents(path), QByteArray("old"));
    QCOMPARE(strayFiles(dir.path()), QStringList());
}

void tst_AtomicFile::failuresKeepTheOldFile_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder") << "folder"
                                    << "No such file or directory";
    QTest::newRow("no file name") << "slash"
                                  << "the path names no file";
    QTest::newRow("target is a folder") << "folder target"
                                        << "Is a directory";
    QTest::newRow("target is a pipe") << "fifo"
                                      << "it is not a regular file";
    QTest::newRow("target is a device") << "device"
                                        << "it is not a regular file";
    QTest::newRow("read-only folder") << "readonly"
                                      << "Permission denied";
    QTest::newRow("file size limit") << "limit"
                                     << "File too large";
    QTest::newRow("full disk") << "full"
                               << "No space left on device";
}

void tst_AtomicFile::failuresKeepTheOldFile()
{
    QFETCH(QString, failure);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QString folder = dir.path();
    std::unique_ptr<SmallDisk> disk;
    if (failure == "full")
    {
        folder += "/small";
        QVERIFY(QDir().mkpath(folder));
        disk.reset(new SmallDisk(folder));
        if (!disk->mounted)
            QSKIP("a small tmpfs cannot be mounted here (needs root and mount rights)");
    }
    QString path = folder + "/old.ply";
    QVERIFY(writeTestFile(path, "old"));
    const QByteArray encoded = QFile::encodeName(path);
    if (failure == "folder")
        path = folder + "/missing/new.ply";
    else if (failure == "slash")
        path = folder + "/";
    else if (failure == "folder target")
        QVERIFY(QDir().remove(path) && QDir().mkpath(path + "/inside"));
    else if (failure == "fifo")
        QVERIFY(QFile::remove(path) && ::mkfifo(encoded.constData(), 0644) == 0);
    else if (failure == "device")
    {
        QVERIFY(QFile::remove(path));
        if (::mknod(encoded.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("device files cannot be made here");
    }
    else if (failure == "readonly")
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const mode_t before = modeOf(path);
    const QByteArray beforeBytes = contents(path);

    // Root writes into read-only folders: the save runs as nobody there.
    const bool asNobody = failure == "readonly" && ::geteuid() == 0;
    if (asNobody && ::seteuid(65534) != 0)
        QSKIP("cannot drop root to test a read-only folder");
    struct rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    if (failure == "limit")
    {
        struct rlimit small = old;
        small.rlim_cur = 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    oxAtomicFile file(path.toStdString());
    const bool saved = file.open() && file.write(std::string(1 << 20, 'x')) && file.commit();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    if (asNobody)
        QVERIFY(::seteuid(0) == 0);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY(!saved);
    QCOMPARE(QString::fromStdString(file.reason()), reason);
    QCOMPARE(QString::fromStdString(file.error()), "cannot write \"" + path + "\": " + reason);
    QCOMPARE(modeOf(path), before);
    QCOMPARE(contents(path), beforeBytes);
    QCOMPARE(strayFiles(folder), QStringList());
}

void tst_AtomicFile::refusesWhatAReplacementWouldBreak_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only file") << "readonly"
                                    << "it is not writable";
    QTest::newRow("hard link") << "hardlink"
                               << "it has 2 hard links, which a replacement would break";
    QTest::newRow("another user's symlink in a shared folder")
        << "foreign link"
        << "it is a symbolic link owned by another user (uid 65534), which is not followed";
}

// Each case leaves the target, and whatever it links to, as it was.
void tst_AtomicFile::refusesWhatAReplacementWouldBreak()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QString victim = dir.path() + "/victim.conf";
    QVERIFY(writeTestFile(victim, "precious"));
    QString path = dir.path() + "/out.png";
    if (target == "readonly")
        QVERIFY(writeTestFile(path, "old") && QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadOther));
    else if (target == "hardlink")
        QVERIFY(::link(QFile::encodeName(victim).constData(), QFile::encodeName(path).constData()) == 0);
    else
    {
        if (::geteuid() != 0)
            QSKIP("a symbolic link of another user can only be made as root");
        // A shared sticky folder, as /tmp, where nobody planted a link to a file of root's.
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 01777) == 0);
        QVERIFY(QFile::link(victim, path));
        QVERIFY(::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    }
    const QByteArray before = contents(path);

    oxAtomicFile file(path.toStdString());
    QVERIFY(!(file.open() && file.write("new", 3) && file.commit()));
    QCOMPARE(QString::fromStdString(file.error()), "cannot write \"" + path + "\": " + reason);
    QCOMPARE(contents(path), before);
    QCOMPARE(contents(victim), QByteArray("precious"));
    QCOMPARE(strayFiles(dir.path()), QStringList());
}

void tst_AtomicFile::keepsOwnersAndCleansLeftovers_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("strays"); // temporary files left beside the target after the save
    QTest::newRow("own symlink is followed") << "own link" << 0;
    QTest::newRow("another user's file keeps its owner") << "owner" << 0;
    QTest::newRow("a name of 255 bytes") << "long name" << 0;
    QTest::newRow("leftover of a killed save") << "old leftover" << 0;
    QTest::newRow("a save under way is not touched") << "fresh leftover" << 1;
    QTest::newRow("another user's leftover is not touched") << "foreign leftover" << 1;
}

void tst_AtomicFile::keepsOwnersAndCleansLeftovers()
{
    QFETCH(QString, setup);
    QFETCH(int, strays);

    QTemporaryDir dir;
    QString path = dir.path() + "/model.json";
    QString file = path; // what gets the new bytes
    const bool root = ::geteuid() == 0;
    if (setup == "own link")
    {
        file = dir.path() + "/real.json";
        QVERIFY(writeTestFile(file, "old") && QFile::link(file, path));
    }
    else if (setup == "owner")
    {
        if (!root)
            QSKIP("files of another user can only be made as root");
        QVERIFY(writeTestFile(path, "old") && ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    }
    else if (setup == "long name")
        path = file = dir.path() + "/" + QString(255 - 5, 'n') + ".json";
    else if (setup.endsWith("leftover"))
    {
        const QString stray = dir.path() + "/.older.json.saving-Ab12Cd";
        QVERIFY(writeTestFile(stray, "half"));
        if (setup == "foreign leftover" && !root)
            QSKIP("files of another user can only be made as root");
        if (setup == "foreign leftover")
            QVERIFY(::chown(QFile::encodeName(stray).constData(), 65534, 65534) == 0);
        if (setup != "fresh leftover")
        {
            const struct timeval old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
            QVERIFY(::utimes(QFile::encodeName(stray).constData(), old) == 0);
        }
    }
    struct stat before = {};
    ::stat(QFile::encodeName(file).constData(), &before);

    std::string reason;
    QVERIFY2(oxAtomicFile::save(path.toStdString(), "new", reason), reason.c_str());
    QCOMPARE(contents(file), QByteArray("new"));
    struct stat after = {};
    QVERIFY(::lstat(QFile::encodeName(file).constData(), &after) == 0);
    if (setup == "owner")
        QCOMPARE(int(after.st_uid), int(before.st_uid));
    if (setup.endsWith("link"))
        QVERIFY(S_ISLNK(modeOf(path)));
    QCOMPARE(strayFiles(dir.path()).size(), strays);
}

void tst_AtomicFile::aFolderSwappedAfterTheChecksKeepsTheSave_data()
{
    QTest::addColumn<bool>("plantTemporary"); // a file of the temporary's name where the link points
    QTest::newRow("a link to another folder") << false;
    QTest::newRow("a link to a folder holding the temporary's name") << true;
}

// Between open() and commit() the target's folder moves away and a link to another folder takes
// its place: the save still lands in the folder that was checked, and nothing where the link points.
void tst_AtomicFile::aFolderSwappedAfterTheChecksKeepsTheSave()
{
    QFETCH(bool, plantTemporary);
    QTemporaryDir dir;
    const QString checked = dir.path() + "/checked", elsewhere = dir.path() + "/elsewhere";
    QVERIFY(QDir().mkpath(dir.path() + "/work") && QDir().mkpath(elsewhere));
    QVERIFY(writeTestFile(dir.path() + "/work/out.csv", "old"));

    oxAtomicFile file((dir.path() + "/work/out.csv").toStdString());
    QVERIFY(file.open() && file.write("new", 3));
    const QStringList temporary = strayFiles(dir.path() + "/work");
    QCOMPARE(temporary.size(), 1);
    QVERIFY(QDir().rename(dir.path() + "/work", checked));
    QVERIFY(QFile::link(elsewhere, dir.path() + "/work"));
    if (plantTemporary)
        QVERIFY(writeTestFile(elsewhere + "/" + temporary[0], "planted"));

    QVERIFY2(file.commit(), file.error().c_str());
    QCOMPARE(contents(checked + "/out.csv"), QByteArray("new"));
    QCOMPARE(strayFiles(checked), QStringList());
    QCOMPARE(QFile::exists(elsewhere + "/out.csv"), false);
    QCOMPARE(strayFiles(elsewhere).size(), plantTemporary ? 1 : 0);
}

QTEST_APPLESS_MAIN(tst_AtomicFile)
#include "tst_atomicfile.moc"
