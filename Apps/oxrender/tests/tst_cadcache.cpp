// The CAD cache: a second load comes from it and equals the first, its key follows the file's
// content and the options, damaged entries are rebuilt, the least recently used go first, and
// loads without it (switched off, or a folder that cannot be written) read afresh.
#include "testsupport.h"
#include "oxCadCache.h"
#include "oxCadImporter.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

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
} // namespace

class tst_CadCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void secondLoadEqualsTheFirst_data();
    void secondLoadEqualsTheFirst();
    void keyFollowsContentAndOptions_data();
    void keyFollowsContentAndOptions();
    void damagedEntryIsRebuilt_data();
    void damagedEntryIsRebuilt();
    void changedFileIsReadAfresh();
    void leastRecentlyUsedGoFirst();
    void switchedOffNeitherReadsNorWrites_data();
    void switchedOffNeitherReadsNorWrites();
    void unwritableFolderStillLoads();

private:
    QTemporaryDir dir;
    QTemporaryDir home; // XDG_CACHE_HOME
    QString folder;     // the entries
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
    // cut to length, or the payload replaced by bytes that are not an answer.
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
    QTest::newRow("checksummed garbage") << "garbage" << qint64(0);
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
    if (damage == "garbage")
    {
        // Passes every check of the entry, as one of a build that changed the answer without
        // bumping the format version would.
        std::string reason;
        QVERIFY(oxCadCache().store(written[0].section('.', 0, 0).toStdString(), std::string(5000, '\7'), reason));
    }
    else
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
    for (const char* key : {"a", "b"})
    {
        QVERIFY2(cache.store(key, std::string(100, *key), reason), reason.c_str());
        QFile entry(QString::fromStdString(cache.entryPath(key)));
        QVERIFY(entry.open(QIODevice::ReadWrite));
        QVERIFY(entry.setFileTime(now.addSecs(*key == 'a' ? -60 : -30), QFileDevice::FileModificationTime));
    }
    // a is used: b is now the oldest.
    QVERIFY(cache.find("a", payload));
    QCOMPARE(payload, std::string(100, 'a'));
    QVERIFY(cache.store("c", std::string(100, 'c'), reason));
    QVERIFY(cache.find("a", payload));
    QVERIFY(!cache.find("b", payload));
    QVERIFY(cache.find("c", payload));
    QCOMPARE(payload, std::string(100, 'c'));
    // An entry larger than the whole cache is not kept, and takes no other with it.
    QVERIFY(cache.store("d", std::string(500, 'd'), reason));
    QVERIFY(!cache.find("d", payload));
    QVERIFY(cache.find("a", payload));
    QVERIFY(cache.find("c", payload));
    QCOMPARE(entries(folder).size(), 2);
    QCOMPARE(strayFiles(folder), QStringList());
}

void tst_CadCache::switchedOffNeitherReadsNorWrites_data()
{
    QTest::addColumn<bool>("byEnvironment");
    QTest::newRow("--no-cache") << false;
    QTest::newRow("OXHOST_NO_CACHE=1") << true;
}

void tst_CadCache::switchedOffNeitherReadsNorWrites()
{
    QFETCH(bool, byEnvironment);
    const QString path = writeSample(dir, "cylinder", "off.step");
    const QString other = writeSample(dir, "sphere", "off.brep");
    Loaded cached, fresh;
    QVERIFY(load(path, cached));
    if (byEnvironment)
        qputenv("OXHOST_NO_CACHE", "1");
    else
        oxCadCache::setEnabled(false);
    QVERIFY(!oxCadCache::enabled());
    QVERIFY(load(path, fresh));
    QVERIFY(!fresh.stages.cached);
    compareLoads(cached, fresh);
    QVERIFY(load(other, fresh));
    QCOMPARE(entries(folder).size(), 1);
}

void tst_CadCache::unwritableFolderStillLoads()
{
    // A file where the cache folder should be: no entry can be made, as root or not.
    QVERIFY(writeTestFile(dir.filePath("blocked"), "not a folder"));
    qputenv("XDG_CACHE_HOME", dir.filePath("blocked").toLocal8Bit());
    const QString path = writeSample(dir, "sphere", "unwritable.step");
    Loaded first, second;
    StderrCapture capture;
    QVERIFY(load(path, first));
    QVERIFY(load(path, second));
    const QStringList warnings = capture.linesWith("warning");
    QVERIFY(!second.stages.cached);
    compareLoads(first, second);
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings[0].contains(path) && warnings[0].contains("cache"), qPrintable(warnings[0]));
}

QTEST_GUILESS_MAIN(tst_CadCache)
#include "tst_cadcache.moc"
