// The Checks dock on a real window: the check runs beside the event loop, its findings fill the
// tree by criterion, choosing one frames and highlights it, markers follow the dock, a result
// whose model changed meanwhile is dropped, and Cancel stops a long check.
#include "viewertestsupport.h"

#include "oxHostCheck.h"
#include "oxHostScene.h"
#include "oxViewerChecks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>

namespace
{
const osg::Color3f Highlight(1.f, 0.f, 1.f);

bool isHighlight(const oxOverlay::Polyline& line)
{
    return line.color == Highlight;
}
} // namespace

class tst_ViewerChecks : public ViewerTestCase
{
    Q_OBJECT

    oxViewerChecks* checks = nullptr;
    QTemporaryDir dir;

    QTreeWidget* tree() const { return checks->findChild<QTreeWidget*>("checkFindings"); }
    QString verdict() const { return checks->findChild<QLabel*>("checkVerdict")->text(); }

    void chooseProfile(const QString& nameOrPath)
    {
        auto* profile = checks->findChild<QComboBox*>("checkProfile");
        int index = profile->findData(nameOrPath);
        if (index < 0)
        {
            profile->insertItem(0, nameOrPath, nameOrPath);
            index = 0;
        }
        profile->setCurrentIndex(index);
    }

    // Check pressed, the button off and the busy bar on until the result comes.
    bool checkAndWait(bool expectKept = true)
    {
        QSignalSpy done(checks, &oxViewerChecks::checked);
        QTest::mouseClick(checks->findChild<QPushButton*>("check"), Qt::LeftButton);
        if (!checks->isBusy() || checks->findChild<QPushButton*>("check")->isEnabled())
            return false;
        return done.wait(60000) && done.first().first().toBool() == expectKept && !checks->isBusy();
    }

private Q_SLOTS:
    void initTestCase()
    {
        setUp();
        checks = window->checks();
        QVERIFY(checks);
        QVERIFY(dir.isValid());
        // The fillets' edges are far longer than 1 mm: with a 5 mm threshold the box seeds short edges.
        QVERIFY(writeTestFile(dir.filePath("short.json"),
                              "{\"base\": \"default\", \"criteria\": {\"TINY_EDGE\": {\"threshold\": 50}}}"));
        // Open CASCADE's self-intersection test takes half a minute on the 80 B-spline faces of a panel.
        QVERIFY(writeTestFile(dir.filePath("crossing.json"),
                              "{\"base\": \"default\", \"criteria\": {\"SELF_INTERSECTION\": {\"severity\": "
                              "\"error\"}}}"));
    }
    void init()
    {
        reset();
        showCadSample("filletedbox", dir.filePath("box.brep"));
        checks->sceneChanged();
        window->checksDock()->show();
        window->checksDock()->raise();
        chooseProfile("default");
    }

    // Each profile's findings come grouped by criterion, with the count and one line per finding.
    void findingsFillTheTreeByCriterion_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("count");
        QTest::newRow("default passes") << "default"
                                        << "PASS" << QString() << 0;
        QTest::newRow("class-a warns of curvature jumps") << "class-a"
                                                          << "WARNING"
                                                          << "G2_BREAK" << 8;
        QTest::newRow("a profile file") << "short.json"
                                        << "FAIL"
                                        << "TINY_EDGE" << -1;
    }
    void findingsFillTheTreeByCriterion()
    {
        QFETCH(QString, profile);
        QFETCH(QString, verdict);
        QFETCH(QString, code);
        QFETCH(int, count);
        chooseProfile(profile.endsWith(".json") ? dir.filePath(profile) : profile);
        QVERIFY(checkAndWait());
        QVERIFY2(this->verdict().startsWith(verdict), qPrintable(this->verdict()));
        if (code.isEmpty())
        {
            QCOMPARE(tree()->topLevelItemCount(), 0);
            return;
        }
        const QList<QTreeWidgetItem*> groups = tree()->findItems(code, Qt::MatchExactly);
        QCOMPARE(groups.size(), 1);
        const int counted = groups[0]->text(1).toInt();
        QCOMPARE(size_t(counted), checks->result().counts[size_t(checks->result().findings[0].criterion)]);
        if (count >= 0)
            QCOMPARE(counted, count);
        QVERIFY(counted > 0);
        QCOMPARE(groups[0]->childCount(), std::min(counted, 20) + (counted > 20 ? 1 : 0));
        QVERIFY2(groups[0]->child(0)->text(0).contains(QRegularExpression("^edge \\d+: ")),
                 qPrintable(groups[0]->child(0)->text(0)));
    }

    // Choosing a finding moves the camera onto its location and draws its marker in the highlight.
    void choosingAFindingFramesAndHighlightsIt()
    {
        chooseProfile("class-a");
        QVERIFY(checkAndWait());
        QTreeWidgetItem* item = tree()->topLevelItem(0)->child(3);
        tree()->scrollToItem(item);
        const QRect rect = tree()->visualItemRect(item);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QCOMPARE(checks->highlighted(), 3L);
        const double* at = checks->result().findings[3].location;
        const osg::Pnt3f target = oxRenderer::the().target();
        QVERIFY((target - osg::Pnt3f(float(at[0]), float(at[1]), float(at[2]))).length() < 1e-3f);
        const std::vector<oxOverlay::Polyline>& markers = oxRenderer::the().markers();
        QCOMPARE(markers.size(), 3 * checks->result().findings.size());
        QCOMPARE(std::count_if(markers.begin(), markers.end(), isHighlight), 3L);
        // The highlight shows in the frame: magenta where nothing else is coloured so.
        QVERIFY(window->waitForFrame());
        const QImage frame = tracedView(320, 200);
        int lit = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                lit += frame.pixel(x, y) == qRgb(255, 0, 255);
        QVERIFY2(lit > 10, qPrintable(QString::number(lit)));
    }

    // Markers show while the dock does and its Markers box is on.
    void markersFollowTheDock()
    {
        chooseProfile("class-a");
        QVERIFY(checkAndWait());
        QVERIFY(!oxRenderer::the().markers().empty());
        window->checksDock()->hide();
        QVERIFY(oxRenderer::the().markers().empty());
        window->checksDock()->show();
        QVERIFY(!oxRenderer::the().markers().empty());
        checks->findChild<QCheckBox*>("checkMarkers")->setChecked(false);
        QVERIFY(oxRenderer::the().markers().empty());
        checks->findChild<QCheckBox*>("checkMarkers")->setChecked(true);
        QVERIFY(!oxRenderer::the().markers().empty());
    }

    // The model changes while its check runs: the result is not shown for the new model.
    void resultOfAChangedModelIsDropped()
    {
        chooseProfile("class-a");
        QSignalSpy done(checks, &oxViewerChecks::checked);
        QVERIFY(checks->check());
        // The result arrives through the event loop, so this change comes first.
        std::string error;
        QVERIFY(oxHostRender::addSample("sphere", error) != osg::NullFC);
        QVERIFY(done.wait(60000));
        QCOMPARE(done.first().first().toBool(), false);
        QVERIFY(!checks->hasResult());
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QVERIFY(oxRenderer::the().markers().empty());
        QVERIFY2(verdict().contains("changed"), qPrintable(verdict()));
    }

    // A long check cut short, by Cancel or by closing the window, ends soon as cancelled: the
    // findings and the report's result of the check before stay, and the controls come back.
    void cancelledCheckChangesNothing_data() { cutShortRows(); }
    void cancelledCheckChangesNothing()
    {
        QFETCH(bool, closeWindow);
        showCadSample("panel", dir.filePath("panel.brep"), 8, 10);
        checks->sceneChanged();
        QVERIFY(checkAndWait());
        const oxCheckResult before = checks->result();
        const QString shown = verdict();

        chooseProfile(dir.filePath("crossing.json"));
        auto* cancel = checks->findChild<QPushButton*>("checkCancel");
        QVERIFY(cancel && !cancel->isVisible());
        QSignalSpy done(checks, &oxViewerChecks::checked);
        QVERIFY(checks->check());
        QVERIFY(cancel->isVisible());
        // Into the long step, so that the cancel must reach the work there, not only between steps.
        QTest::qWait(1500);
        QVERIFY2(checks->isBusy(), "the check ended before it could be cancelled");
        saveShot(window->checksDock(), "viewer-check-running.png");
        cutShort(cancel, closeWindow);
        // Without the cancel reaching the work this waits for the whole check, twice as long.
        QVERIFY(done.wait(15000));
        QCOMPARE(done.first().first().toBool(), false);
        QVERIFY(!checks->isBusy());
        QVERIFY2(verdict().startsWith("Check cancelled."), qPrintable(verdict()));
        QVERIFY2(verdict().contains(shown), qPrintable(verdict()));
        QVERIFY(checks->findChild<QPushButton*>("check")->isEnabled());
        QVERIFY(!cancel->isVisible());
        QVERIFY(checks->hasResult());
        QCOMPARE(checks->result().counts, before.counts);
        oxCheckResult kept;
        QVERIFY(oxHostCheck::kept(kept));
        QCOMPARE(kept.profile, before.profile);
        QCOMPARE(kept.counts, before.counts);
        reopen(closeWindow);
    }

    // What cannot be checked says why, in the verdict's place.
    void whatCannotBeCheckedSaysWhy()
    {
        oxHostScene::clear();
        QVERIFY(checkAndWait());
        QVERIFY2(verdict().contains("nothing to check"), qPrintable(verdict()));
        QVERIFY(writeTestFile(dir.filePath("bad.json"), "{\n\"treshold\": 1}"));
        chooseProfile(dir.filePath("bad.json"));
        QVERIFY(!checks->check());
        QVERIFY2(verdict().contains("line 2: unknown key \"treshold\""), qPrintable(verdict()));
    }
};

QTEST_MAIN(tst_ViewerChecks)
#include "tst_viewerchecks.moc"
