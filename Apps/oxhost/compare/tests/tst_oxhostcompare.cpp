// oxhost compare as users run it: exit statuses, verdict line, JSON and CSV, and
// oxHost.compareReleases. How faces are classed is the renderer's tst_compare.
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

class tst_OxhostCompare : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void exitStatusSaysWhatChanged_data();
    void exitStatusSaysWhatChanged();
    void scriptComparesReleases();
    void rendersAndReportsWhatChanged();
    void rendersOnTheColourMap_data();
    void rendersOnTheColourMap();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void tst_OxhostCompare::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const OxhostResult r = oxhost({"-c", QString("oxHost.writeCadSample('filletedbox', r'%1')\n"
                                                 "oxHost.writeCadSample('filletedbox', r'%2')\n"
                                                 "oxHost.writeCadSample('draftbox', r'%3')")
                                             .arg(path("box.brep"), path("box.step"), path("draftbox.brep"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY(writeTestFile(path("broken.step"), "ISO-10303-21;\nthis is not a part\n"));
}

void tst_OxhostCompare::exitStatusSaysWhatChanged_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("B-rep and its STEP") << QStringList{"box.brep", "box.step"} << 0
                                        << "box.step: unchanged: 0 modified";
    // One of its faces has samples the exact closest point misses, left on the triangles.
    const QString crankArm = "/usr/share/opencascade/data/occ/CrankArm.brep";
    QTest::newRow("a Debian part against itself") << QStringList{crankArm, crankArm} << 0 << "unchanged";
    QTest::newRow("another part") << QStringList{"box.brep", "draftbox.brep"} << 1 << "draftbox.brep: changed: ";
    QTest::newRow("within a wide tolerance")
        << QStringList{"box.brep", "draftbox.brep", "--tolerance=50"} << 0 << "unchanged";
    QTest::newRow("an unreadable file") << QStringList{"box.brep", "broken.step"} << 3 << "cannot read CAD file";
    QTest::newRow("a missing file") << QStringList{"none.step", "box.brep"} << 3 << "none.step";
    QTest::newRow("one file") << QStringList{"box.brep"} << 2 << "compare needs two files";
    QTest::newRow("a bad tolerance") << QStringList{"box.brep", "box.step", "--tolerance", "-1"} << 2
                                     << "--tolerance needs a number more than 0, not \"-1\"";
    QTest::newRow("an unknown option") << QStringList{"box.brep", "box.step", "--tol"} << 2
                                       << "unknown option \"--tol\"";
    QTest::newRow("an unknown view") << QStringList{"box.brep", "box.step", "--render", "c.png", "--view", "up"} << 2
                                     << "--view needs iso, top, bottom, front, back, left or right, not \"up\"";
    QTest::newRow("an unknown colour map")
        << QStringList{"box.brep", "box.step", "--colormap", "jet"} << 2 << "--colormap needs a colour map's name";
    QTest::newRow("an image that cannot be written")
        << QStringList{"box.brep", "box.step", "--render", "none/c.png"} << 3 << "cannot write the image";
}

void tst_OxhostCompare::exitStatusSaysWhatChanged()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    QTemporaryDir out;
    const QString here = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const OxhostResult r = oxhost(QStringList{"compare"} + args + QStringList{"--out", out.path()});
    QDir::setCurrent(here);
    QVERIFY2(r.status == status, qPrintable(r.out + r.err));
    QVERIFY2((r.out + r.err).contains(says), qPrintable(r.out + r.err));
}

void tst_OxhostCompare::scriptComparesReleases()
{
    const OxhostResult r = oxhost({"-c", QString("r = oxHost.compareReleases(r'%1', r'%2')\n"
                                                 "print(r['verdict'], r['modified'], r['added'], r['removed'])\n"
                                                 "print(set(f['class'] for f in r['new_faces']))\n"
                                                 "try:\n    oxHost.compareReleases(r'%1', r'%3')\n"
                                                 "except IOError as e:\n    print('IOError')")
                                             .arg(path("box.brep"), path("box.step"), path("broken.step"))});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QCOMPARE(r.out, QString("unchanged 0 0 0\n{'unchanged'}\nIOError\n"));
}

// The versioned JSON and the CSV of every face; the image is of the new part by class; the page
// has the section with a row per changed face.
void tst_OxhostCompare::rendersAndReportsWhatChanged()
{
    QTemporaryDir out;
    const OxhostResult r = oxhost({"compare", path("box.brep"), path("draftbox.brep"), "--out", out.path(), "--render",
                                   out.filePath("c.png"), "--view", "top", "--report", out.filePath("c.html")});
    QVERIFY2(r.status == 1, qPrintable(r.out + r.err));
    const QJsonObject json = QJsonDocument::fromJson(readTestFile(out.filePath("compare.json"))).object();
    QCOMPARE(json["schema"].toString(), QString("oxhost-compare"));
    QCOMPARE(json["version"].toInt(), 1);
    QCOMPARE(json["verdict"].toString(), QString("changed"));
    QVERIFY(json["hausdorff"].toDouble() > json["tolerance"].toDouble());
    const QJsonArray oldFaces = json["old_faces"].toArray(), newFaces = json["new_faces"].toArray();
    QVERIFY(!oldFaces.isEmpty() && !newFaces.isEmpty());
    QCOMPARE(newFaces[0].toObject()["face"].toInt(), 0);
    QVERIFY(newFaces[0].toObject()["area"].toDouble() > 0);
    const QStringList csv =
        QString::fromUtf8(readTestFile(out.filePath("compare.csv"))).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(csv.size(), 1 + oldFaces.size() + newFaces.size());
    QCOMPARE(csv[0], QString("part,face,class,largest,area,x,y,z"));
    QVERIFY(csv[1].startsWith("old,0," + oldFaces[0].toObject()["class"].toString() + ","));
    QCOMPARE(QImage(out.filePath("c.png")).size(), QSize(1200, 900));
    const QString html = QString::fromUtf8(readTestFile(out.filePath("c.html")));
    QVERIFY(html.contains("<h2>What changed</h2>"));
    QCOMPARE(html.count("<img "), 2);
    int changed = 0;
    for (const QJsonArray& faces : {oldFaces, newFaces})
        for (const QJsonValue& face : faces)
            changed += face.toObject()["class"].toString() != "unchanged";
    QVERIFY(changed > 0);
    QCOMPARE(html.count(QRegularExpression("<tr><td>(old|new)</td>")), changed);
}

void tst_OxhostCompare::rendersOnTheColourMap_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QColor>("top"); // the largest distance's end of the legend's bar
    QTest::addColumn<QColor>("bottom");
    QTest::addColumn<int>("bands"); // 0: smooth
    const QColor viridisLow(68, 1, 84), viridisHigh(253, 231, 37);
    QTest::newRow("pale yellow to vermillion") << QStringList() << QColor(213, 94, 0) << QColor(240, 227, 115) << 0;
    QTest::newRow("viridis in 8 steps") << QStringList{"--colormap", "viridis,steps=8"} << viridisHigh << viridisLow
                                        << 8;
    QTest::newRow("viridis reversed") << QStringList{"--colour-map=viridis,reverse"} << viridisLow << viridisHigh << 0;
}

// The modified faces' legend at the right of the image: its bar (oxOverlay::drawLegend's layout at
// 1200 x 900) runs from y 180 to 719, x 1061 to 1084.
void tst_OxhostCompare::rendersOnTheColourMap()
{
    QFETCH(QStringList, args);
    QFETCH(QColor, top);
    QFETCH(QColor, bottom);
    QFETCH(int, bands);
    QTemporaryDir out;
    const OxhostResult r = oxhost(QStringList{"compare", path("box.brep"), path("draftbox.brep"), "--out", out.path(),
                                              "--render", out.filePath("c.png")} +
                                  args);
    QVERIFY2(r.status == 1, qPrintable(r.out + r.err));
    const QImage image(out.filePath("c.png"));
    const auto near = [](QRgb a, const QColor& b)
    { return std::abs(qRed(a) - b.red()) + std::abs(qGreen(a) - b.green()) + std::abs(qBlue(a) - b.blue()) <= 6; };
    QVERIFY2(near(image.pixel(1072, 181), top), qPrintable(QColor(image.pixel(1072, 181)).name()));
    QVERIFY2(near(image.pixel(1072, 718), bottom), qPrintable(QColor(image.pixel(1072, 718)).name()));
    int found = 1;
    for (int y = 182; y <= 718; ++y)
        found += image.pixel(1072, y) != image.pixel(1072, y - 1);
    if (bands > 0)
        QCOMPARE(found, bands);
    else
        QVERIFY2(found > 32, qPrintable(QString::number(found)));
}

QTEST_GUILESS_MAIN(tst_OxhostCompare)
#include "tst_oxhostcompare.moc"
