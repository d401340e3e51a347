// File > Compare... on a real window: the model against an older release runs beside the event
// loop, then colours the model by class with the removed faces' ghost, says the verdict in the
// status line, gives the report its section, and undo goes back to the analysis shown before.
#include "viewertestsupport.h"

#include "oxHostReportSections.h"
#include "oxHostScene.h"
#include "oxViewerCompare.h"

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
    void cleanupTestCase() { tearDown(); }

    void comparingColoursTheModelUntilUndone()
    {
        reset();
        oxHostScene::clear();
        std::string error;
        const QString oldPath = dir.filePath("draftbox.brep"), newPath = dir.filePath("box.brep");
        QVERIFY2(oxCadImporter::writeSample("draftbox", oldPath.toStdString(), error), error.c_str());
        QVERIFY2(oxCadImporter::writeSample("filletedbox", newPath.toStdString(), error), error.c_str());
        QVERIFY2(oxHostRender::loadMesh(newPath.toStdString(), error) != osg::NullFC, error.c_str());
        window->showModel();
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
};

QTEST_MAIN(tst_ViewerCompare)
#include "tst_viewercompare.moc"
