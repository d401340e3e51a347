#include "testsupport.h"
#include "OSGVector.h"
#include "oxMessage.h"
#include "oxProjectFile.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

namespace
{
// Same value and type, float components compared bit for bit (every NaN equal to every NaN).
bool sameBits(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || qFromUnaligned<quint32>(&a) == qFromUnaligned<quint32>(&b);
}

bool sameValue(const boost::any& a, const boost::any& b)
{
    if (a.type() != b.type())
        return false;
    if (a.type() == typeid(bool))
        return boost::any_cast<bool>(a) == boost::any_cast<bool>(b);
    if (a.type() == typeid(unsigned int))
        return boost::any_cast<unsigned int>(a) == boost::any_cast<unsigned int>(b);
    if (a.type() == typeid(float))
        return sameBits(boost::any_cast<float>(a), boost::any_cast<float>(b));
    const osg::Vec3f u = boost::any_cast<osg::Vec3f>(a), v = boost::any_cast<osg::Vec3f>(b);
    return sameBits(u[0], v[0]) && sameBits(u[1], v[1]) && sameBits(u[2], v[2]);
}

bool sameMessage(const oxMessage& a, const oxMessage& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a.values()[i].first != b.values()[i].first || !sameValue(a.values()[i].second, b.values()[i].second))
            return false;
    return true;
}

oxMessage roundTrip(const oxMessage& msg)
{
    std::string text, error;
    oxMessage back;
    if (!oxProjectFile::format(msg, "p.json", text, error) || !oxProjectFile::parse(text, "p.json", back, error))
        qWarning("%s", error.c_str());
    return back;
}

// A project that is already there; every failed read must leave it exactly so.
oxMessage sentinel()
{
    oxMessage msg(8192);
    msg.set("Number of Isolines", 12u, true);
    msg.set("Isoline Color", osg::Vec3f(0.25f, 0.5f, 1.f), true);
    return msg;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

const char* const Head = "{\n  \"format\": \"oxhost project\",\n  \"version\": 1,\n  \"values\": {\n";
} // namespace

class tst_ProjectFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void floatsRoundTripBitExact();
    void everyTypeKeyAndOrderIsKept();
    void brokenFilesAreRefused_data();
    void brokenFilesAreRefused();
    void unreadablePathsAreRefused();
    void saveReplacesTheFile();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
};

void tst_ProjectFile::floatsRoundTripBitExact()
{
    using L = std::numeric_limits<float>;
    oxMessage msg;
    int i = 0;
    for (float f : {0.f, -0.f, 0.1f, 1.f / 3.f, L::min(), L::denorm_min(), L::max(), L::lowest(),
                    std::nextafter(1.f, 2.f), 16777218.f, L::infinity(), -L::infinity(), L::quiet_NaN()})
    {
        msg.set("edge " + std::to_string(i), f, true);
        msg.set("edge vector " + std::to_string(i++), osg::Vec3f(f, -f, f), true);
    }
    std::mt19937 random(7);
    for (i = 0; i < 4000; ++i)
    {
        const quint32 b = random();
        const float f = qFromUnaligned<float>(&b);
        msg.set("k" + std::to_string(i), std::isnan(f) ? float(i) : f, true);
    }
    const oxMessage back = roundTrip(msg);
    QCOMPARE(back.size(), msg.size());
    for (std::size_t k = 0; k < msg.size(); ++k)
        QVERIFY2(sameValue(back.values()[k].second, msg.values()[k].second), msg.values()[k].first.c_str());
}

void tst_ProjectFile::everyTypeKeyAndOrderIsKept()
{
    oxMessage msg;
    msg.set("Use View Vector", true, true);
    msg.set("Light lines length limited", false, true);
    msg.set("Number of Isolines", 4294967295u, true);
    msg.set("Analysis Mode", 0u, true);
    msg.set("Isoline sharpness", 0.5f, true);
    msg.set("Light Plane Euler Rotation Angles", osg::Vec3f(-15.000005f, 1e-7f, 360.f), true);
    msg.set("another module's \"key\"\twith\\escapes\n", 3u, true);
    msg.set("Schl\xC3\xBCssel \xF0\x9F\x94\x91", 1.f, true);
    msg.set("", false, true);
    QVERIFY(sameMessage(roundTrip(msg), msg));

    // Hand-written files may use any JSON spelling of the same values.
    oxMessage read;
    std::string error;
    const std::string text = std::string(Head) +
                             "    \"a\": {\"value\": 1.5E1, \"type\": \"float\"},\n"
                             "    \"b\": {\"type\": \"vec3f\", \"value\": [\"nan\", \"-inf\", -0]},\n"
                             "    \"\\u00fc\\ud83d\\udd11\": {\"type\": \"bool\", \"value\": true}\n  }\n}";
    QVERIFY2(oxProjectFile::parse(text, "p.json", read, error), error.c_str());
    QCOMPARE(boost::any_cast<float>(read.get("a")), 15.f);
    const osg::Vec3f b = boost::any_cast<osg::Vec3f>(read.get("b"));
    QVERIFY(std::isnan(b[0]) && std::isinf(b[1]) && b[1] < 0 && std::signbit(b[2]));
    QVERIFY(read.has("\xC3\xBC\xF0\x9F\x94\x91"));
}

void tst_ProjectFile::brokenFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");

    const auto entry = [](const char* value)
    { return QByteArray(Head) + "    \"Number of Isolines\": " + value + "\n  }\n}\n"; };
    QTest::newRow("empty") << QByteArray("  \n") << "line 2, column 1: the file is empty";
    QTest::newRow("not json") << QByteArray("Number of Isolines = 7") << "line 1, column 1: expected a value";
    QTest::newRow("truncated") << QByteArray(Head).left(40) << "line 3, column 9: the file ends inside a string";
    QTest::newRow("ends before a value") << QByteArray("{\"values\": {\"Number of Isolines\": ")
                                         << "line 1, column 35: the file ends where a value should be";
    QTest::newRow("trailing text") << QByteArray(Head) + "}}\n}"
                                   << "line 6, column 1: unexpected text after";
    QTest::newRow("trailing comma") << QByteArray(Head) + "},}"
                                    << "line 5, column 3: expected a quoted name";
    QTest::newRow("not an object") << QByteArray("[1, 2]") << "line 1: the file must hold a JSON object";
    QTest::newRow("no values") << QByteArray("{\"format\": \"oxhost project\"}") << "the project has no \"values\"";
    QTest::newRow("other format") << QByteArray("{\"format\": \"x\", \"values\": {}}") << "not an oxhost project";
    QTest::newRow("newer version") << QByteArray("{\"version\": 2, \"values\": {}}") << "reads project version 1";
    QTest::newRow("unknown member") << QByteArray("{\"values\": {}, \"extra\": 1}") << "unexpected member \"extra\"";
    QTest::newRow("duplicate key") << QByteArray(Head) + "\"a\": {\"type\": \"bool\", \"value\": true},\n"
                                                         "\"a\": {\"type\": \"bool\", \"value\": true}}}"
                                   << "line 6, column 1: the name \"a\" appears twice";
    QTest::newRow("unknown type") << entry("{\"type\": \"int\", \"value\": 7}")
                                  << "line 5: unknown type \"int\" for key \"Number of Isolines\" (the types are bool, "
                                     "unsigned, float, vec3f and string)";
    QTest::newRow("string not in quotes") << entry("{\"type\": \"string\", \"value\": 7}")
                                          << "line 5: expected a text in quotes for key \"Number of Isolines\"";
    QTest::newRow("no type") << entry("{\"value\": 7}") << "line 5: missing \"type\" for key \"Number of Isolines\"";
    QTest::newRow("no value") << entry("{\"type\": \"unsigned\"}") << "line 5: missing \"value\"";
    QTest::newRow("bare value") << entry("7") << "line 5: expected {\"type\": ..., \"value\": ...}";
    QTest::newRow("extra member") << entry("{\"type\": \"bool\", \"value\": true, \"unit\": 1}")
                                  << "unexpected member \"unit\" for key \"Number of Isolines\"";
    QTest::newRow("fraction for unsigned") << entry("{\"type\": \"unsigned\", \"value\": 7.0}")
                                           << "line 5: expected a whole number from 0 to 4294967295 for key";
    QTest::newRow("negative unsigned") << entry("{\"type\": \"unsigned\", \"value\": -1}") << "expected a whole number";
    QTest::newRow("unsigned too big") << entry("{\"type\": \"unsigned\", \"value\": 4294967296}")
                                      << "expected a whole number";
    QTest::newRow("string for float") << entry("{\"type\": \"float\", \"value\": \"7\"}")
                                      << "line 5: expected a number or \"nan\", \"inf\", \"-inf\" for key";
    QTest::newRow("bool for float") << entry("{\"type\": \"float\", \"value\": true}")
                                    << "line 5: expected a number for key \"Number of Isolines\"";
    QTest::newRow("float overflow") << entry("{\"type\": \"float\", \"value\": 1e39}")
                                    << "the number 1e39 is out of the range of a float";
    QTest::newRow("number for bool") << entry("{\"type\": \"bool\", \"value\": 1}") << "expected true or false";
    QTest::newRow("two components") << entry("{\"type\": \"vec3f\", \"value\": [1, 2]}")
                                    << "expected a list of three numbers";
    QTest::newRow("text component") << entry("{\"type\": \"vec3f\", \"value\": [1, \"y\", 2]}")
                                    << "expected a number or \"nan\"";
    QTest::newRow("bad escape") << QByteArray("{\"values\": {\"\\x\": 1}}") << "column 15: unknown escape \\x";
    QTest::newRow("lone surrogate") << QByteArray("{\"values\": {\"\\udc00\": 1}}") << "a lone low surrogate";
    QTest::newRow("raw control character") << QByteArray("{\"values\": {\"a\tb\": 1}}") << "control character";
    QTest::newRow("invalid utf-8") << QByteArray("{\"values\": {\"\xC0\xAF\": 1}}") << "not valid UTF-8";
    QTest::newRow("leading zero") << entry("{\"type\": \"unsigned\", \"value\": 07}") << "expected ',' or '}'";
    QTest::newRow("deep nesting") << QByteArray(200, '[') << "nested too deeply";
    QByteArray many = "{\"values\": {";
    for (int i = 0; i <= 10000; ++i)
        many += (i ? ",\n\"" : "\n\"") + QByteArray::number(i) + "\": {\"type\": \"bool\", \"value\": true}";
    QTest::newRow("too many keys") << many + "}}"
                                   << "line 1: the project has more than 10000 keys";
    QTest::newRow("late bad value") << QByteArray(Head) + "    \"a\": {\"type\": \"bool\", \"value\": true},\n"
                                                          "    \"b\": {\"type\": \"bool\", \"value\": 2}\n  }\n}"
                                    << "line 6: expected true or false for key \"b\"";
}

void tst_ProjectFile::brokenFilesAreRefused()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);

    oxMessage msg = sentinel();
    std::string why;
    QVERIFY(!oxProjectFile::parse(text.toStdString(), "hood.json", msg, why));
    const QString message = QString::fromStdString(why);
    QVERIFY2(message.startsWith("cannot read project \"hood.json\": "), qPrintable(message));
    QVERIFY2(message.contains(error), qPrintable(message));
    QVERIFY(sameMessage(msg, sentinel()));
    QCOMPARE(msg.id(), sentinel().id());
}

void tst_ProjectFile::unreadablePathsAreRefused()
{
    QTemporaryDir dir;
    const QString missing = dir.path() + "/missing.json";
    for (const QString& path : {missing, dir.path()})
    {
        oxMessage msg = sentinel();
        std::string error;
        QVERIFY(!oxProjectFile::read(path.toStdString(), msg, error));
        const QString reason = path == missing ? "No such file or directory" : "it is a directory";
        QCOMPARE(QString::fromStdString(error), "cannot read project \"" + path + "\": " + reason);
        QVERIFY(sameMessage(msg, sentinel()));
    }
}

void tst_ProjectFile::saveReplacesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/hood.json";
    std::string error;
    oxMessage first = sentinel();
    QVERIFY2(oxProjectFile::write(path.toStdString(), first, error), error.c_str());

    oxMessage second;
    second.set("Use View Vector", true, true);
    QVERIFY2(oxProjectFile::write(path.toStdString(), second, error), error.c_str());
    oxMessage read = sentinel();
    QVERIFY2(oxProjectFile::read(path.toStdString(), read, error), error.c_str());
    QVERIFY(sameMessage(read, second));
    QCOMPARE(read.id(), sentinel().id());
    QCOMPARE(strayFiles(dir.path()), QStringList());
}

// How the atomic save fails (full disk, read-only folder, a folder in the way) is
// tst_atomicfile's; here the refusal before writing, and the reason passed on.
void tst_ProjectFile::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("error");
    QTest::newRow("value of another type") << "value"
                                           << "holds a value of type int, which project files cannot store";
    QTest::newRow("missing folder") << "folder"
                                    << "No such file or directory";
}

void tst_ProjectFile::failedSaveKeepsTheOldFile()
{
    QFETCH(QString, failure);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QString path = dir.path() + "/hood.json";
    std::string why;
    QVERIFY(oxProjectFile::write(path.toStdString(), sentinel(), why));
    const QByteArray before = contents(path);

    oxMessage next = sentinel();
    if (failure == "value")
        next.set("int", 7, true);
    else
        path = dir.path() + "/missing/hood.json";
    QVERIFY(!oxProjectFile::write(path.toStdString(), next, why));

    const QString message = QString::fromStdString(why);
    QVERIFY2(message.startsWith("cannot save project \"" + path + "\": "), qPrintable(message));
    QVERIFY2(message.contains(error), qPrintable(message));
    QCOMPARE(contents(dir.path() + "/hood.json"), before);
    QCOMPARE(strayFiles(dir.path()), QStringList());
}

QTEST_APPLESS_MAIN(tst_ProjectFile)
#include "tst_projectfile.moc"
