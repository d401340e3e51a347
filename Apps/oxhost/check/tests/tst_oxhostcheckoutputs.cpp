// The check's outputs merged from a folder of part results, as `oxhost check --merge` writes them:
// JUnit for dashboards, the summary, the CSV and the HTML pages, and results that cannot be read.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>
#include <QtTest>

#include "oxCheck.h"
#include "testsupport.h"

namespace
{
int criteria()
{
    return int(oxCheckCriteria::all().size());
}

const QString Odd = "a<&\">"; // a part's name that HTML and XML must escape

QJsonObject finding(const QString& code, const QString& severity, const QString& message)
{
    return QJsonObject{{"code", code},     {"severity", severity}, {"value", 0.01}, {"threshold", 0.02},
                       {"entity", "edge"}, {"index", 4},           {"x", 1.5},      {"y", -2.0},
                       {"z", 0.0},         {"message", message}};
}

// A part's result as oxhost check writes it (docs/analyses/check.md), with the counts given.
QByteArray part(const QString& source, const QString& verdict, const QJsonArray& findings,
                const QJsonObject& counts = QJsonObject(), const QString& reason = QString())
{
    return QJsonDocument(QJsonObject{{"schema", "oxhost-check"},
                                     {"version", 1},
                                     {"source", source},
                                     {"profile", "class-a"},
                                     {"verdict", verdict},
                                     {"reason", reason},
                                     {"counts", counts},
                                     {"findings", findings}})
        .toJson();
}

// What junit.xml says of one testsuite, and what its elements hold.
struct Suite
{
    int tests = -1, failures = -1, errors = -1, skipped = -1; // the attributes
    int testcases = 0, failureElements = 0, errorElements = 0, skippedElements = 0, outputs = 0;
};

QMap<QString, Suite> readJunit(const QByteArray& xml, Suite& total, QString& error)
{
    QMap<QString, Suite> suites;
    QXmlStreamReader r(xml);
    QString current;
    while (!r.atEnd())
    {
        if (r.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = r.attributes();
        const auto counts = [&a](Suite& s)
        {
            s.tests = a.value("tests").toInt();
            s.failures = a.value("failures").toInt();
            s.errors = a.value("errors").toInt();
            s.skipped = a.value("skipped").toInt();
        };
        if (r.name() == QLatin1String("testsuites"))
            counts(total);
        else if (r.name() == QLatin1String("testsuite"))
            counts(suites[current = a.value("name").toString()]);
        else if (r.name() == QLatin1String("testcase"))
            suites[current].testcases += 1;
        else if (r.name() == QLatin1String("failure"))
            suites[current].failureElements += 1;
        else if (r.name() == QLatin1String("error"))
            suites[current].errorElements += 1;
        else if (r.name() == QLatin1String("skipped"))
            suites[current].skippedElements += 1;
        else if (r.name() == QLatin1String("system-out"))
            suites[current].outputs += 1;
    }
    error = r.hasError() ? r.errorString() : QString();
    return suites;
}
} // namespace

class tst_OxhostCheckOutputs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void junitCountsEachPart_data();
    void junitCountsEachPart();
    void summaryCountsVerdictsAndCriteria();
    void csvHasEveryListedFinding();
    void htmlEscapesNamesAndLinksPagesAndPictures();
    void unreadableResultIsAnErrorPart_data();
    void unreadableResultIsAnErrorPart();
    void exitStatusFollowsTheMergedVerdict_data();
    void exitStatusFollowsTheMergedVerdict();

private:
    QString parts(const QString& name = QString()) const { return m_dir.filePath("parts/" + name); }
    QString out(const QString& name) const { return m_dir.filePath("out/" + name); }
    QTemporaryDir m_dir;
    QMap<QString, QByteArray> m_files; // the parts' folder: file name, bytes
    OxhostResult m_merge;
};

void tst_OxhostCheckOutputs::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QJsonObject twoWarnings{{"G2_BREAK", 3}};
    m_files = {
        {"clean.check.json", part("clean.step", "pass", {})},
        {"warned.check.json", part("warned.step", "warning",
                                   {finding("G2_BREAK", "warning", "edge 4: curvature mismatch 0.2 > 0.05"),
                                    finding("G2_BREAK", "warning", "edge 5: curvature mismatch 0.3 > 0.05")},
                                   twoWarnings)},
        {"failed.check.json", part("failed.step", "fail",
                                   {finding("TINY_EDGE", "error", "edge 4: length 0.01 mm < 0.02 mm"),
                                    finding("G2_BREAK", "warning", "edge 5: curvature mismatch 0.3 > 0.05")},
                                   {{"TINY_EDGE", 1}, {"G2_BREAK", 1}})},
        {"unread.check.json", part("unread.step", "error", {}, {}, "cannot read CAD file \"unread.step\"")},
        {Odd + ".check.json",
         part(Odd + ".step", "fail", {finding("TINY_FACE", "error", "face 4: <b>tiny</b>")}, {{"TINY_FACE", 1}})},
        {Odd + ".png", "\x89PNG"},
        // Another program's JSON and notes beside the results are not results.
        {"notes.json", "{\"schema\": \"other\"}"},
    };
    // A field this oxhost does not know, such as a seal added by a later one, is passed over.
    QByteArray sealed = m_files["clean.check.json"];
    m_files["sealed.check.json"] =
        sealed.replace("\"schema\"", "\"seal\": {\"sha256\": \"00\"}, \"schema\"").replace("clean.step", "sealed.step");
    m_files["truncated.check.json"] = part("cut.step", "pass", {}).left(60);
    QVERIFY(QDir().mkpath(parts()));
    for (auto f = m_files.cbegin(); f != m_files.cend(); ++f)
        QVERIFY(writeTestFile(parts(f.key()), f.value()));
    m_merge = oxhost({"check", "--merge", parts(), "--out", m_dir.filePath("out")});
    QVERIFY2(m_merge.status == 3, qPrintable(m_merge.out + m_merge.err));
}

void tst_OxhostCheckOutputs::junitCountsEachPart_data()
{
    QTest::addColumn<QString>("suite");
    QTest::addColumn<int>("tests");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<int>("outputs");
    // A test per criterion and part; a part that could not be checked has one more, in error, and
    // its criteria are not passed but skipped.
    const int n = criteria();
    QTest::newRow("pass") << "clean.step" << n << 0 << 0 << 0 << 0;
    QTest::newRow("a field unknown") << "sealed.step" << n << 0 << 0 << 0 << 0;
    QTest::newRow("warnings are output") << "warned.step" << n << 0 << 0 << 0 << 1;
    QTest::newRow("errors fail") << "failed.step" << n << 1 << 0 << 0 << 1;
    QTest::newRow("odd name") << Odd + ".step" << n << 1 << 0 << 0 << 0;
    QTest::newRow("not read") << "unread.step" << n + 1 << 0 << 1 << n << 0;
    QTest::newRow("corrupt JSON") << "truncated.check.json" << n + 1 << 0 << 1 << n << 0;
}

void tst_OxhostCheckOutputs::junitCountsEachPart()
{
    QFETCH(QString, suite);
    QFETCH(int, tests);
    QFETCH(int, failures);
    QFETCH(int, errors);
    QFETCH(int, skipped);
    QFETCH(int, outputs);
    Suite total;
    QString error;
    const QMap<QString, Suite> suites = readJunit(readTestFile(out("junit.xml")), total, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(suites.size(), 7);
    QVERIFY2(suites.contains(suite), qPrintable(QStringList(suites.keys()).join(" | ")));
    const Suite s = suites[suite];
    QCOMPARE(s.tests, tests);
    QCOMPARE(s.testcases, tests);
    QCOMPARE(s.failures, failures);
    QCOMPARE(s.failureElements, failures);
    QCOMPARE(s.errors, errors);
    QCOMPARE(s.errorElements, errors);
    QCOMPARE(s.skipped, skipped);
    QCOMPARE(s.skippedElements, skipped);
    QCOMPARE(s.outputs, outputs);
    // The totals are the suites' sums: a test per criterion of 7 parts and two in error; two
    // failures and errors.
    QCOMPARE(total.tests, 7 * criteria() + 2);
    QCOMPARE(total.failures, 2);
    QCOMPARE(total.errors, 2);
}

void tst_OxhostCheckOutputs::summaryCountsVerdictsAndCriteria()
{
    const QJsonObject s = QJsonDocument::fromJson(readTestFile(out("summary.json"))).object();
    QCOMPARE(s["schema"].toString(), QString("oxhost-check-summary"));
    QCOMPARE(s["version"].toInt(), 1);
    QVERIFY(s["program"].toString().startsWith("oxhost "));
    QCOMPARE(s["profile"].toString(), QString("class-a"));
    QCOMPARE(s["verdict"].toString(), QString("error"));
    QCOMPARE(s["verdicts"].toObject(), (QJsonObject{{"pass", 2}, {"warning", 1}, {"fail", 2}, {"error", 2}}));
    // Counts, not the findings listed: three curvature jumps on the warned part, one on the failed.
    QCOMPARE(s["criteria"].toObject()["G2_BREAK"].toObject(), (QJsonObject{{"parts", 2}, {"findings", 4}}));
    QCOMPARE(s["criteria"].toObject()["TINY_EDGE"].toObject(), (QJsonObject{{"parts", 1}, {"findings", 1}}));
    QCOMPARE(s["criteria"].toObject().size(), criteria());
    const QJsonArray list = s["parts"].toArray();
    QCOMPARE(list.size(), 7);
    for (const QJsonValue& v : list)
        if (v.toObject()["json"].toString() == "failed.check.json")
        {
            QCOMPARE(v.toObject()["verdict"].toString(), QString("fail"));
            QCOMPARE(v.toObject()["errors"].toInt(), 1);
            QCOMPARE(v.toObject()["warnings"].toInt(), 1);
            QCOMPARE(v.toObject()["counts"].toObject()["TINY_EDGE"].toInt(), 1);
            return;
        }
    QFAIL("no failed.check.json in the summary's parts");
}

void tst_OxhostCheckOutputs::csvHasEveryListedFinding()
{
    const QStringList lines = QString::fromUtf8(readTestFile(out("findings.csv"))).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 5);
    QCOMPARE(lines[0], QString("file,code,severity,value,threshold,entity,index,x,y,z,message"));
    // The odd name's quote is doubled inside quotes, as CSV readers expect.
    QVERIFY2(lines.contains("\"a<&\"\">.step\",TINY_FACE,error,0.01,0.02,edge,4,1.5,-2,0,face 4: <b>tiny</b>"),
             qPrintable(lines.join('\n')));
}

void tst_OxhostCheckOutputs::htmlEscapesNamesAndLinksPagesAndPictures()
{
    const QString index = QString::fromUtf8(readTestFile(out("index.html")));
    QVERIFY(index.contains("a&lt;&amp;&quot;&gt;.step"));
    QVERIFY(!index.contains(Odd));
    // Every link leads to a page that is there; the odd part's shows its picture from the parts' folder.
    const QRegularExpression link("href=\"([^\"]*)\"");
    QStringList pages;
    for (auto m = link.globalMatch(index); m.hasNext();)
        pages << QUrl::fromPercentEncoding(m.next().captured(1).toLatin1());
    QCOMPARE(pages.size(), 7);
    QVERIFY2(pages.contains(Odd + ".check.html"), qPrintable(pages.join(" | ")));
    for (const QString& page : pages)
        QVERIFY2(QFile::exists(out(page)), qPrintable(page));
    const QString odd = QString::fromUtf8(readTestFile(out(Odd + ".check.html")));
    QVERIFY(odd.contains("face 4: &lt;b&gt;tiny&lt;/b&gt;"));
    QVERIFY(!odd.contains(Odd) && !odd.contains("<b>"));
    const QRegularExpressionMatch image = QRegularExpression("<img src=\"([^\"]*)\"").match(odd);
    QVERIFY2(image.hasMatch(), qPrintable(odd));
    const QString picture = QDir(out("")).absoluteFilePath(QUrl::fromPercentEncoding(image.captured(1).toLatin1()));
    QCOMPARE(QFileInfo(picture).canonicalFilePath(), QFileInfo(parts(Odd + ".png")).canonicalFilePath());
    QVERIFY(!readTestFile(out("clean.check.html")).contains("<img"));
}

void tst_OxhostCheckOutputs::unreadableResultIsAnErrorPart_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");
    QTest::newRow("cut short") << QByteArray(
                                      "{\n  \"schema\": \"oxhost-check\",\n  \"version\": 1,\n  \"source\": \"cut")
                               << "line 4: Missing a closing quotation mark in string.";
    QTest::newRow("not JSON") << QByteArray("\x89PNG") << "line 1: Invalid value.";
    QTest::newRow("another schema") << QByteArray("{\"schema\": \"oxhost-report\", \"version\": 1}")
                                    << "not a part's check result (schema \"oxhost-check\")";
    QTest::newRow("a later version") << part("x.step", "pass", {}).replace("\"version\": 1", "\"version\": 2")
                                     << "version 2 is newer than this oxhost reads (1)";
    QTest::newRow("no verdict") << part("x.step", "pass", {}).replace("\"verdict\"", "\"verdikt\"")
                                << "has no \"verdict\"";
    QTest::newRow("an unknown verdict") << part("x.step", "fine", {}) << "\"verdict\" has an unknown value \"fine\"";
    QTest::newRow("an unknown criterion")
        << part("x.step", "fail", {finding("TINY_THING", "error", "")}) << "finding 1 \"code\" has an unknown value";
    QTest::newRow("a text for a number")
        << part("x.step", "fail", {finding("TINY_EDGE", "error", "")}).replace("\"index\": 4", "\"index\": \"4\"")
        << "finding 1 \"index\" is not a whole number";
    QTest::newRow("counts of nothing known")
        << part("x.step", "pass", {}, {{"TINY_THING", 1}}) << "\"counts\" names an unknown criterion \"TINY_THING\"";
}

void tst_OxhostCheckOutputs::unreadableResultIsAnErrorPart()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(writeTestFile(dir.filePath("good.check.json"), m_files["clean.check.json"]));
    QVERIFY(writeTestFile(dir.filePath("bad.check.json"), json));
    const OxhostResult r = oxhost({"check", "--merge", dir.path()});
    QCOMPARE(r.status, 3);
    // The reason names the file, says what is wrong, and the good part is merged all the same.
    const QString says = "cannot read the check result \"" + dir.filePath("bad.check.json") + "\": ";
    QVERIFY2(r.err.contains(says + reason), qPrintable(r.err));
    const QJsonArray list =
        QJsonDocument::fromJson(readTestFile(dir.filePath("summary.json"))).object()["parts"].toArray();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[0].toObject()["verdict"].toString(), QString("error"));
    QVERIFY2(list[0].toObject()["reason"].toString().startsWith(says + reason), qPrintable(r.err));
    QCOMPARE(list[1].toObject()["verdict"].toString(), QString("pass"));
}

void tst_OxhostCheckOutputs::exitStatusFollowsTheMergedVerdict_data()
{
    QTest::addColumn<QStringList>("jsons");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    const QStringList none;
    QTest::newRow("passes") << QStringList{"clean", "sealed"} << none << 0 << "";
    QTest::newRow("warnings pass") << QStringList{"clean", "warned"} << none << 0 << "";
    QTest::newRow("a failure") << QStringList{"warned", "failed"} << none << 1 << "";
    QTest::newRow("a part in error") << QStringList{"failed", "unread"} << none << 3 << "";
    QTest::newRow("no part") << none << none << 3 << "holds no part results (*.check.json)";
    QTest::newRow("no folder") << none << QStringList{"--merge", "none"} << 2
                               << "cannot merge \"none\": no such folder";
    QTest::newRow("files too") << QStringList{"clean"} << QStringList{"--merge", ".", "part.step"} << 2
                               << "--merge reads the results in a folder and checks no file";
    QTest::newRow("no value") << none << QStringList{"--merge"} << 2 << "--merge needs a value";
}

void tst_OxhostCheckOutputs::exitStatusFollowsTheMergedVerdict()
{
    QFETCH(QStringList, jsons);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    QTemporaryDir dir;
    for (const QString& name : jsons)
        QVERIFY(writeTestFile(dir.filePath(name + ".check.json"), m_files[name + ".check.json"]));
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const OxhostResult r = oxhost(QStringList{"check"} + (args.isEmpty() ? QStringList{"--merge", "."} : args));
    QDir::setCurrent(here);
    QVERIFY2(r.status == status, qPrintable(r.out + r.err));
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    // Outputs of no part would read as a pass.
    QCOMPARE(QFile::exists(dir.filePath("junit.xml")), !jsons.isEmpty() && status != 2);
}

QTEST_GUILESS_MAIN(tst_OxhostCheckOutputs)
#include "tst_oxhostcheckoutputs.moc"
