// Point cloud files: every format's variants read to the same points, and every kind of bad
// input is refused with the place it went wrong, in process (the parsers) and through the reader
// program (the importer).
#include "testsupport.h"
#include "oxIsolatedProcess.h"
#include "oxModelImporter.h"
#include "oxPointImporter.h"
#include "oxPointReaders.h"

#include <QtTest>

#include <cstdint>
#include <cstring>

Q_DECLARE_METATYPE(oxPointReaders::Format)

namespace
{
using Format = oxPointReaders::Format;

// The points every variant holds; exact in binary, and in the LAS files' quarter steps.
const float Points[3][3] = {{1.f, 2.f, 3.f}, {-4.5f, 0.25f, 6.f}, {7.f, -8.f, 0.5f}};
const float Normals[3][3] = {{0.f, 0.f, 1.f}, {1.f, 0.f, 0.f}, {0.f, -1.f, 0.f}};
const std::uint32_t Colours[3] = {0xff0000, 0x00ff80, 0x102030};

template <class T> void put(QByteArray& bytes, T value, bool bigEndian = false)
{
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof value);
    if (bigEndian)
        std::reverse(raw, raw + sizeof raw);
    bytes.append(raw, int(sizeof raw));
}

QByteArray textRows(const char* header, bool normals, bool colours, const char* separator = " ")
{
    QByteArray text(header);
    for (int p = 0; p < 3; ++p)
    {
        QStringList row;
        for (float v : Points[p])
            row << QString::number(double(v));
        for (int c = 0; colours && c < 3; ++c)
            row << QString::number((Colours[p] >> (16 - 8 * c)) & 0xff);
        for (int c = 0; normals && c < 3; ++c)
            row << QString::number(double(Normals[p][c]));
        text += row.join(separator).toUtf8() + "\n";
    }
    return text;
}

QByteArray binaryPly(bool bigEndian)
{
    QByteArray bytes = QByteArray("ply\nformat ") + (bigEndian ? "binary_big_endian" : "binary_little_endian") +
                       " 1.0\nelement vertex 3\nproperty double x\nproperty float y\nproperty float z\n"
                       "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty float nx\n"
                       "property float ny\nproperty float nz\nend_header\n";
    for (int p = 0; p < 3; ++p)
    {
        put(bytes, double(Points[p][0]), bigEndian);
        put(bytes, Points[p][1], bigEndian);
        put(bytes, Points[p][2], bigEndian);
        for (int c = 0; c < 3; ++c)
            put(bytes, std::uint8_t(Colours[p] >> (16 - 8 * c)));
        for (float n : Normals[p])
            put(bytes, n, bigEndian);
    }
    return bytes;
}

QByteArray binaryPcd()
{
    QByteArray bytes("# .PCD v0.7\nVERSION 0.7\nFIELDS x y z rgb normal_x normal_y normal_z curvature\n"
                     "SIZE 4 4 8 4 4 4 4 4\nTYPE F F F U F F F F\nCOUNT 1 1 1 1 1 1 1 1\nWIDTH 3\nHEIGHT 1\n"
                     "VIEWPOINT 0 0 0 1 0 0 0\nPOINTS 3\nDATA binary\n");
    for (int p = 0; p < 3; ++p)
    {
        put(bytes, Points[p][0]);
        put(bytes, Points[p][1]);
        put(bytes, double(Points[p][2]));
        put(bytes, Colours[p]);
        for (float n : Normals[p])
            put(bytes, n);
        put(bytes, 0.f);
    }
    return bytes;
}

// A LAS file of version 1.minor and point data record format; x is offset by 10, every
// coordinate in quarter steps.
QByteArray las(int minor, int format, std::uint16_t record, int colourAt)
{
    const std::uint16_t header = minor == 4 ? 375 : 227;
    QByteArray bytes("LASF");
    bytes.append(20, '\0');
    put(bytes, std::uint8_t(1));
    put(bytes, std::uint8_t(minor));
    bytes.append(94 - bytes.size(), '\0');
    put(bytes, header);
    put(bytes, std::uint32_t(header)); // the points right after the header
    put(bytes, std::uint32_t(0));      // no variable length records
    put(bytes, std::uint8_t(format));
    put(bytes, record);
    put(bytes, std::uint32_t(minor == 4 ? 0 : 3));
    bytes.append(131 - bytes.size(), '\0');
    for (double scale : {0.25, 0.25, 0.25})
        put(bytes, scale);
    for (double offset : {10.0, 0.0, 0.0})
        put(bytes, offset);
    bytes.append(header - bytes.size(), '\0');
    if (minor == 4)
    {
        QByteArray count;
        put(count, std::uint64_t(3));
        bytes.replace(247, count.size(), count);
    }
    for (int p = 0; p < 3; ++p)
    {
        QByteArray r(record, '\0');
        for (int c = 0; c < 3; ++c)
        {
            const std::int32_t v = std::int32_t(std::lround((Points[p][c] - (c == 0 ? 10.f : 0.f)) / 0.25f));
            std::memcpy(r.data() + 4 * c, &v, sizeof v);
        }
        for (int c = 0; colourAt && c < 3; ++c)
        {
            const std::uint16_t v = std::uint16_t(((Colours[p] >> (16 - 8 * c)) & 0xff) * 257);
            std::memcpy(r.data() + colourAt + 2 * c, &v, sizeof v);
        }
        bytes += r;
    }
    return bytes;
}

bool parse(Format format, const QByteArray& bytes, oxPointCloud& cloud, std::string& cause)
{
    return oxPointReaders::parse(format, bytes.constData(), size_t(bytes.size()), cloud, cause);
}
} // namespace

class tst_PointImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void variantsReadTheSamePoints_data();
    void variantsReadTheSamePoints();
    void badInputIsRefusedWhereItIs_data();
    void badInputIsRefusedWhereItIs();
    void readsThroughTheReaderProgram_data();
    void readsThroughTheReaderProgram();
    void aDamagedAnswerIsRefused_data();
    void aDamagedAnswerIsRefused();
};

void tst_PointImport::variantsReadTheSamePoints_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("normals");
    QTest::addColumn<bool>("colours");
    QTest::newRow("xyz") << Format::Text << textRows("", false, false) << false << false;
    QTest::newRow("xyz, colours by count") << Format::Text << textRows("", false, true) << false << true;
    QTest::newRow("xyz, normals by count") << Format::Text << textRows("# scan\n", true, false) << true << false;
    QTest::newRow("xyz rgb n by count") << Format::Text << textRows("", true, true) << true << true;
    QTest::newRow("csv, header") << Format::Text << textRows("X,Y,Z,Red,Green,Blue,Nx,Ny,Nz\n", true, true, ",") << true
                                 << true;
    QTest::newRow("commented header") << Format::Text << textRows("//X;Y;Z;R;G;B\n", false, true, ";") << false << true;
    QByteArray pts("3\n");
    for (int p = 0; p < 3; ++p)
        pts += QString("%1 %2 %3 -120 %4 %5 %6\n")
                   .arg(double(Points[p][0]))
                   .arg(double(Points[p][1]))
                   .arg(double(Points[p][2]))
                   .arg(Colours[p] >> 16)
                   .arg((Colours[p] >> 8) & 0xff)
                   .arg(Colours[p] & 0xff)
                   .toUtf8();
    QTest::newRow("pts, intensity and colour") << Format::Pts << pts << false << true;
    QTest::newRow("pts, two blocks") << Format::Pts << QByteArray("1\n1 2 3\n2\n-4.5 0.25 6\n7 -8 0.5\n") << false
                                     << false;
    QTest::newRow("ply ascii") << Format::Ply
                               << textRows("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty "
                                           "float y\nproperty float z\nproperty uchar red\nproperty uchar green\n"
                                           "property uchar blue\nelement face 0\nproperty list uchar int "
                                           "vertex_indices\nend_header\n",
                                           false, true)
                               << false << true;
    QTest::newRow("ply little endian") << Format::Ply << binaryPly(false) << true << true;
    QTest::newRow("ply big endian") << Format::Ply << binaryPly(true) << true << true;
    QTest::newRow("pcd ascii") << Format::Pcd
                               << textRows("VERSION .7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nWIDTH 4\nHEIGHT "
                                           "1\nPOINTS 4\nDATA ascii\nnan nan nan\n",
                                           false, false)
                               << false << false;
    QTest::newRow("pcd binary") << Format::Pcd << binaryPcd() << true << true;
    QTest::newRow("las 1.2 format 2") << Format::Las << las(2, 2, 26, 20) << false << true;
    QTest::newRow("las 1.2 format 1, long records") << Format::Las << las(2, 1, 40, 0) << false << false;
    QTest::newRow("las 1.4 format 7") << Format::Las << las(4, 7, 36, 30) << false << true;
    QTest::newRow("las 1.4 format 10") << Format::Las << las(4, 10, 67, 30) << false << true;
}

void tst_PointImport::variantsReadTheSamePoints()
{
    QFETCH(Format, format);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, normals);
    QFETCH(bool, colours);
    oxPointCloud cloud;
    std::string cause;
    QVERIFY2(parse(format, bytes, cloud, cause), cause.c_str());
    QCOMPARE(cloud.size(), size_t(3));
    QCOMPARE(cloud.hasNormals(), normals);
    QCOMPARE(cloud.hasColours(), colours);
    for (size_t p = 0; p < 3; ++p)
        for (int c = 0; c < 3; ++c)
        {
            QCOMPARE(cloud.positions[p][c], Points[p][c]);
            if (normals)
                QCOMPARE(cloud.normals[p][c], Normals[p][c]);
        }
    for (size_t p = 0; colours && p < 3; ++p)
        QCOMPARE(cloud.colours[p], Colours[p]);
}

void tst_PointImport::badInputIsRefusedWhereItIs_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("says");
    const QByteArray pcdHeader("FIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nWIDTH 2\nHEIGHT 1\nPOINTS 2\n");
    QTest::newRow("nan row") << Format::Text << QByteArray("1 2 3\nnan 2 3\n") << "line 2 has \"nan\" for a coordinate";
    QTest::newRow("inf normal") << Format::Text << QByteArray("x y z nx ny nz\n1 2 3 0 0 inf\n")
                                << "line 2 has \"inf\" for a normal";
    QTest::newRow("word in a row") << Format::Text << QByteArray("1 2 3\n\n4 five 6\n")
                                   << "line 3 has \"five\" where a number belongs";
    QTest::newRow("short row") << Format::Text << QByteArray("1 2 3 4\n1 2 3\n") << "line 2 has 3 values, not the 4";
    QTest::newRow("unknown column") << Format::Text << QByteArray("x y z weight\n1 2 3 4\n")
                                    << "unknown column \"weight\" in the header on line 1";
    QTest::newRow("half a normal") << Format::Text << QByteArray("x y z nx\n") << "not all three";
    QTest::newRow("five columns") << Format::Text << QByteArray("1 2 3 4 5\n") << "line 1 has 5 values";
    QTest::newRow("empty") << Format::Text << QByteArray("# nothing\n") << "holds no points";
    QTest::newRow("pts count lies low") << Format::Pts << QByteArray("1\n1 2 3\n4 5 6\n")
                                        << "line 3 holds more rows than the count on line 1 declares (1)";
    QTest::newRow("pts count lies high") << Format::Pts << QByteArray("3\n1 2 3\n4 5 6\n")
                                         << "the file ends on line 3 with 1 of the 3 points";
    QTest::newRow("pts without count") << Format::Pts << QByteArray("1 2 3\n") << "begins with its point count";
    QTest::newRow("ply nan") << Format::Ply
                             << QByteArray("ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty "
                                           "float y\nproperty float z\nend_header\n1 2 3\n1 nan 3\n")
                             << "vertex 1 (line 9) has a coordinate that is no finite number";
    QTest::newRow("ply truncated") << Format::Ply << binaryPly(false).chopped(5) << "truncated at byte";
    QTest::newRow("ply faces") << Format::Ply
                               << QByteArray("ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\nproperty "
                                             "float y\nproperty float z\nelement face 1\nend_header\n")
                               << "no faces";
    QTest::newRow("pcd row short") << Format::Pcd << pcdHeader + "DATA ascii\n1 2 3\n4 5\n"
                                   << "line 9 has 2 values, not the 3";
    QTest::newRow("pcd count lies") << Format::Pcd << pcdHeader + "DATA ascii\n1 2 3\n"
                                    << "after 1 of its 2 points";
    QTest::newRow("pcd binary truncated") << Format::Pcd << pcdHeader + "DATA binary\n" + QByteArray(20, '\0')
                                          << "ends at byte 93, before its 2 points of 12 bytes from byte 73";
    QTest::newRow("pcd points not width x height")
        << Format::Pcd << QByteArray("FIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nWIDTH 3\nPOINTS 2\nDATA ascii\n")
        << "POINTS (2) is not WIDTH x HEIGHT (3 x 1)";
    QTest::newRow("pcd unknown line") << Format::Pcd << QByteArray("FIELDS x y z\nCOLOUR red\n")
                                      << "unknown PCD header line \"COLOUR red\" (line 2)";
    QTest::newRow("pcd separators only") << Format::Pcd << QByteArray(";\n, ,\n") << "without its DATA line";
    QTest::newRow("pcd compressed") << Format::Pcd << pcdHeader + "DATA binary_compressed\n"
                                    << "\"binary_compressed\" is not read";
    QTest::newRow("las truncated") << Format::Las << las(2, 2, 26, 20).chopped(1)
                                   << "ends at byte 304, before its 3 points of 26 bytes from byte 227";
    QByteArray laz = las(2, 2, 26, 20);
    laz[104] = char(0x82);
    QTest::newRow("laz") << Format::Las << laz << "compressed (LAZ: point data record format byte 130 (byte 104)";
    QTest::newRow("las short records") << Format::Las << las(2, 3, 26, 20)
                                       << "(byte 105) are shorter than format 3's 34";
    QTest::newRow("not las") << Format::Las << QByteArray(300, 'x') << "no \"LASF\" at byte 0";
}

void tst_PointImport::badInputIsRefusedWhereItIs()
{
    QFETCH(Format, format);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, says);
    oxPointCloud cloud;
    cloud.positions.resize(1);
    std::string cause;
    QVERIFY(!parse(format, bytes, cloud, cause));
    QVERIFY2(QString::fromStdString(cause).contains(says), cause.c_str());
    QCOMPARE(cloud.size(), size_t(1));
}

void tst_PointImport::readsThroughTheReaderProgram_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // none: no file
    QTest::addColumn<QString>("error");    // %1 the file's path; empty: read
    QTest::newRow("binary ply") << "scan.ply" << binaryPly(false) << "";
    QTest::newRow("a nan in a text row")
        << "scan.xyz" << QByteArray("1 2 3\n4 5 nan\n")
        << "cannot read point cloud \"%1\": line 2 has \"nan\" for a coordinate, not a finite number";
    QTest::newRow("no such file") << "scan.laz" << QByteArray() << "no such file";
}

void tst_PointImport::readsThroughTheReaderProgram()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(bytes.isEmpty() || writeTestFile(path, bytes));
    QVERIFY(oxPointImporter::isPointFile(path.toStdString()));
    oxMeshImporter::File read;
    std::string why;
    QCOMPARE(oxModelImporter::read(path.toStdString(), read, why), error.isEmpty());
    QVERIFY2(QString::fromStdString(why).contains(QString(error).replace("%1", path)), why.c_str());
    if (!error.isEmpty())
        return;
    QVERIFY(read.meshes.empty());
    QVERIFY(read.points);
    QCOMPARE(read.points->size(), size_t(3));
    QCOMPARE(read.points->positions[2][1], -8.f);
    QCOMPARE(read.points->colours[1], Colours[1]);
    QCOMPARE(read.points->name, name.toStdString());
}

void tst_PointImport::aDamagedAnswerIsRefused_data()
{
    // The answer of three points with normals, as the reader program writes it.
    std::vector<osg::Pnt3f> positions;
    std::vector<osg::Vec3f> normals;
    for (int p = 0; p < 3; ++p)
    {
        positions.emplace_back(Points[p][0], Points[p][1], Points[p][2]);
        normals.emplace_back(Normals[p][0], Normals[p][1], Normals[p][2]);
    }
    const auto answer = [&](const std::vector<osg::Vec3f>& n)
    {
        std::string a;
        oxWire::put(a, std::string());
        oxWire::put(a, positions);
        oxWire::put(a, n);
        oxWire::put(a, std::vector<std::uint32_t>());
        return QByteArray::fromStdString(a);
    };
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("taken");
    QTest::newRow("whole") << answer(normals) << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("cut in the positions") << answer(normals).left(40) << false;
    QTest::newRow("fewer normals than points") << answer({normals[0]}) << false;
    QTest::newRow("bytes after the colours") << answer(normals) + "x" << false;
}

void tst_PointImport::aDamagedAnswerIsRefused()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    const QString path = dir.filePath("scan.xyz"), said = dir.filePath("answer");
    QVERIFY(writeTestFile(path, "1 2 3\n") && writeTestFile(said, answer));
    // A reader that answers with the bytes given, whatever it is asked.
    oxIsolatedProcess::setStandIn({"/bin/sh", "-c", "exec cat \"$0\"", said.toStdString()});
    std::shared_ptr<oxPointCloud> cloud;
    std::string error;
    const bool read = oxPointImporter::read(path.toStdString(), cloud, error);
    oxIsolatedProcess::setStandIn({});
    QCOMPARE(read, taken);
    if (taken)
        QCOMPARE(cloud->size(), size_t(3));
    else
        QCOMPARE(QString::fromStdString(error),
                 QString("cannot read point cloud \"%1\": the reader's answer (%2 bytes) does not hold a whole cloud")
                     .arg(path)
                     .arg(answer.size()));
}

QTEST_GUILESS_MAIN(tst_PointImport)
#include "tst_pointimport.moc"
