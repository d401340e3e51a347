// The results' field lists: each cell as the report and the CSV write it, every list's report
// rows in one order without gaps, and a table and the CSV lines the lists make, byte for byte.
#include "oxHostDeviationResults.h"
#include "oxHostDraftResults.h"
#include "oxHostReport.h"
#include "oxHostResults.h"

#include <QtTest>

#include <algorithm>
#include <functional>
#include <set>

class tst_ResultFields : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cells_data();
    void cells();
    void csvTextIsOneCell_data();
    void csvTextIsOneCell();
    void listsAreWhole_data();
    void listsAreWhole();
    void table();
    void continuityCsv();
};

namespace
{
typedef oxResultFormat F;

// Keys and report rows of one list, without its result type.
struct Shape
{
    std::vector<std::string> keys;
    std::vector<int> rows;
};

template <typename R> Shape shape(const std::vector<oxResultField<R>>& fields)
{
    Shape s;
    for (const oxResultField<R>& f : fields)
    {
        s.keys.push_back(f.key);
        if (f.row >= 0)
            s.rows.push_back(f.row);
    }
    return s;
}
} // namespace

Q_DECLARE_METATYPE(oxResultFormat)
Q_DECLARE_METATYPE(std::function<Shape()>)

void tst_ResultFields::cells_data()
{
    QTest::addColumn<oxResultFormat>("format");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("csv");
    QTest::newRow("number") << F::Number << 1.0 / 3 << "0.33333"
                            << "0.333333333";
    QTest::newRow("large number") << F::Number << 123456789.0 << "1.2346e+08"
                                  << "123456789";
    QTest::newRow("share") << F::Percent << 0.25 << "25.00 %"
                           << "0.25";
    QTest::newRow("degrees") << F::Degrees << 3.14159 << "3.14&deg;"
                             << "3.14159";
    // Sampling noise around 0 must not read as a negative draft.
    QTest::newRow("degrees just below 0") << F::Degrees << -3.6e-11 << "0.00&deg;"
                                          << "-3.6e-11";
}

void tst_ResultFields::cells()
{
    QFETCH(oxResultFormat, format);
    QFETCH(double, number);
    QFETCH(QString, report);
    QFETCH(QString, csv);
    QCOMPARE(oxResultFields::reportText(format, oxResultValue(number), 5), report);
    QCOMPARE(QString::fromStdString(oxResultFields::csvText(format, oxResultValue(number))), csv);
    // Counts, pairs and texts keep every digit and escape what HTML would read.
    QCOMPARE(oxResultFields::reportText(F::Count, oxResultValue(size_t(123456789)), 5), QString("123456789"));
    QCOMPARE(oxResultFields::reportText(F::FaceCount, oxResultValue(size_t(0)), 5), QString("&ndash; (mesh input)"));
    QCOMPARE(oxResultFields::reportText(F::FaceCount, oxResultValue(size_t(40)), 5), QString("40"));
    QCOMPARE(oxResultFields::reportText(F::Pair, oxResultValue(size_t(3), size_t(4)), 5), QString("3, 4"));
    QCOMPARE(oxResultFields::reportText(F::Text, oxResultValue("a<b"), 5), QString("a&lt;b"));
    QCOMPARE(oxResultFields::csvText(F::Pair, oxResultValue(size_t(3), size_t(4))), std::string("3,4"));
    QCOMPARE(oxResultFields::csvText(F::Count, oxResultValue(size_t(123456789))), std::string("123456789"));
}

// A finding's message may hold commas and quotes; each text stays one CSV cell.
void tst_ResultFields::csvTextIsOneCell_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cell");
    QTest::newRow("plain") << "G1"
                           << "G1";
    QTest::newRow("comma") << "at (1, 2)"
                           << "\"at (1, 2)\"";
    QTest::newRow("quote") << "say \"x\""
                           << "\"say \"\"x\"\"\"";
    QTest::newRow("line break") << "a\nb"
                                << "\"a\nb\"";
}

void tst_ResultFields::csvTextIsOneCell()
{
    QFETCH(QString, text);
    QFETCH(QString, cell);
    const std::string bytes = text.toStdString();
    QCOMPARE(QString::fromStdString(oxResultFields::csvText(F::Text, oxResultValue(bytes.c_str()))), cell);
}

void tst_ResultFields::listsAreWhole_data()
{
    QTest::addColumn<std::function<Shape()>>("list");
    QTest::newRow("draft") << std::function<Shape()>([] { return shape(oxHostDraftResults::fields()); });
    QTest::newRow("deviation") << std::function<Shape()>([] { return shape(oxHostDeviationResults::fields()); });
    QTest::newRow("curvature") << std::function<Shape()>([] { return shape(oxHostResults::curvature()); });
    QTest::newRow("model") << std::function<Shape()>([] { return shape(oxHostResults::model()); });
    QTest::newRow("continuity") << std::function<Shape()>([] { return shape(oxHostResults::continuity()); });
}

// A key given twice would leave one value out of the dict; a row place given twice or skipped
// would lose a row of the report.
void tst_ResultFields::listsAreWhole()
{
    QFETCH(std::function<Shape()>, list);
    const Shape s = list();
    QCOMPARE(std::set<std::string>(s.keys.begin(), s.keys.end()).size(), s.keys.size());
    std::vector<int> rows = s.rows;
    std::sort(rows.begin(), rows.end());
    for (size_t i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i], int(i));
}

// A statistics table as the page has always written it. Every list's rows come the same way;
// each format's cell is cells', each list's order listsAreWhole's.
void tst_ResultFields::table()
{
    oxDraftStats draft;
    draft.positive = 0.5;
    draft.negative = 0.125;
    draft.insufficient = 0.375;
    draft.min = -12.345;
    draft.max = 30;
    QCOMPARE(oxHostReport::table(oxResultFields::rows(oxHostDraftResults::fields(), draft)),
             QString("<table>\n"
                     "<tr><th>Positive (&ge; angle)</th><td class=\"n\">50.00 %</td></tr>\n"
                     "<tr><th>Negative (&le; &minus;angle)</th><td class=\"n\">12.50 %</td></tr>\n"
                     "<tr><th>Insufficient (between)</th><td class=\"n\">37.50 %</td></tr>\n"
                     "<tr><th>Minimum</th><td class=\"n\">-12.35&deg;</td></tr>\n"
                     "<tr><th>Maximum</th><td class=\"n\">30.00&deg;</td></tr>\n"
                     "</table>\n"));
}

void tst_ResultFields::continuityCsv()
{
    oxEdgeContinuity e;
    e.edge = 3;
    e.faces[0] = 1;
    e.faces[1] = 2;
    e.length = 0.5;
    e.g0 = 1e-5;
    e.g1 = 0.25;
    e.g2 = 1.0 / 3;
    e.g2abs = 2;
    e.g3 = 0.5;
    e.continuity = oxEdgeContinuity::G1;
    QCOMPARE(oxResultFields::csvHeader(oxHostResults::continuity()),
             std::string("edge,face1,face2,length,g0,g1,g2,g2abs,g3,class\n"));
    QCOMPARE(oxResultFields::csvLine(oxHostResults::continuity(), e),
             std::string("3,1,2,0.5,1e-05,0.25,0.333333333,2,0.5,G1\n"));
}

QTEST_GUILESS_MAIN(tst_ResultFields)
#include "tst_resultfields.moc"
