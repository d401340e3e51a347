// File > Compare... on a real window: the model against an older release runs beside the event
// loop, then colours the model by class with the removed faces' ghost, says the verdict in the
// status line, gives the report its section, and undo goes back to the analysis shown before; a
// comparison cancelled changes nothing.
#include "viewertestsupport.h"

#include "oxHostCompare.h"
#include "oxHostReportSections.h"
#include "oxViewerCompare.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>

class tst_ViewerCompare : public ViewerTestCase
{
    Q_OBJECT

    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase()
    {
        setUp();
        QVERIFY(dir.isValid());
    }

    void comparingColoursTheModelUntilUndone()
    {
        std::string error;
        const QString oldPath = dir.filePath("draftbox.brep");
        QVERIFY2(oxCadImporter::writeSample("draftbox", oldPath.toStdString(), error), error.c_str());
        showCadSample("filletedbox", dir.filePath("box.brep"));
        QVERIFY(H::the()->setStripesActive(true));
        const int steps = oxUndoStack::get(0).count();

        QSignalSpy compared(window->compare(), &oxViewerCompare::compared);
        auto* action = window->findChild<QAction*>("compareReleases");
        QVERIFY(action);
        action->setData(oldPath);
        action->trigger();
        QVERIFY(window->compare()->isBusy());
        QVERIFY(window->statusBar()->currentMessage().startsWith("Comparing the model with draftbox.brep"));
        QVERIFY(compared.wait(60000));
        QCOMPARE(compared.first().first().toBool(), true);
        QVERIFY2(window->statusBar()->currentMessage().contains("box.brep: changed: "),
                 qPrintable(window->statusBar()->currentMessage()));
        QVERIFY(H::the()->getCompareActive());
        QVERIFY(!H::the()->getStripesActive());
        QCOMPARE(oxUndoStack::get(0).count(), steps + 1);

        oxFrame::Request request = oxFrame::request({320, 240, 1, H::the()->settings()});
        const std::unique_ptr<oxColouring> colouring = oxFrame::colouring(request, oxRenderer::the().scene());
        QVERIFY(colouring->ghost().scene);
        QVERIFY(window->waitForFrame());
        QVERIFY(oxHostReportSections::html(request).contains("<h2>What changed</h2>"));

        oxUndoStack::get(0).undo();
        QVERIFY(!H::the()->getCompareActive());
        QVERIFY(H::the()->getStripesActive());
    }

    // A long comparison cut short, by Cancel or by closing the window, ends soon: the status says
    // so, the model keeps the analysis it showed, and no undo step is added.
    void cancelledComparisonChangesNothing_data() { cutShortRows(); }
    void cancelledComparisonChangesNothing()
    {
        QFETCH(bool, closeWindow);
        std::string error;
        // Two wavy sheets of 1200 B-spline faces each: 300 samples a face, each projected exactly.
        const QString oldPath = dir.filePath("oldpanel.brep");
        QVERIFY2(oxCadImporter::writeSample("panel", oldPath.toStdString(), error, 30, 40, 8), error.c_str());
        // Read once here, the old release comes from the CAD cache at once: the cancel comes while
        // the parts are compared, not while one is read.
        oxRenderScene read;
        QVERIFY2(oxHostCompare::read(oldPath.toStdString(), read, error), error.c_str());
        showCadSample("panel", dir.filePath("newpanel.brep"), 30, 40, 6);
        QVERIFY(H::the()->setStripesActive(true));
        const int steps = oxUndoStack::get(0).count();

        auto* cancel = window->findChild<QPushButton*>("compareCancel");
        QVERIFY(cancel && !cancel->isVisible());
        QSignalSpy compared(window->compare(), &oxViewerCompare::compared);
        QVERIFY(window->compare()->compareWith(oldPath));
        QVERIFY(cancel->isVisible());
        QTest::qWait(1000);
        QVERIFY2(window->compare()->isBusy(), "the comparison ended before it could be cancelled");
        saveShot(window, "viewer-compare-running.png");
        cutShort(cancel, closeWindow);
        // Without the cancel reaching the work this waits for the whole comparison, longer.
        QVERIFY(compared.wait(8000));
        QCOMPARE(compared.first().first().toBool(), false);
        QVERIFY(!window->compare()->isBusy());
        QCOMPARE(window->statusBar()->currentMessage(), QString("Compare cancelled."));
        QVERIFY(!cancel->isVisible());
        QVERIFY(!H::the()->getCompareActive());
        QVERIFY(H::the()->getStripesActive());
        QCOMPARE(oxUndoStack::get(0).count(), steps);
        reopen(closeWindow);
    }
};

QTEST_MAIN(tst_ViewerCompare)
#include "tst_viewercompare.moc"
