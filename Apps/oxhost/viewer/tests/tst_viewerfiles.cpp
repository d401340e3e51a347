// The viewer's files with its real widgets: recent files and the layout across a restart, drag
// and drop, the exports through the script's writers, a load cancelled or cut short by closing,
// the About box. With OX_VIEWER_SHOTS set to a folder, the window is saved there while it loads
// and with the About box.
#include "oxCadImporter.h"
#include "oxController.h"
#include "oxHostAnalysisScript.h"
#include "oxHostCad.h"
#include "oxHostProject.h"
#include "oxHostRender.h"
#include "oxInternalCameraConnector.h"
#include "oxIsolatedProcess.h"
#include "oxLog.h"
#include "oxOSGWidget.h"
#include "oxRaytracingManager.h"
#include "oxScenegraph.h"
#include "oxViewerCamera.h"
#include "oxViewerRecentFiles.h"
#include "oxViewerView.h"
#include "oxViewerWindow.h"
#include "testsupport.h"
#include "viewershots.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <memory>

#include <unistd.h>

namespace
{
// The processes whose parent is this one.
QList<int> childProcesses()
{
    QList<int> pids;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs))
    {
        bool number = false;
        const int pid = entry.toInt(&number);
        const QByteArray stat = number ? readTestFile("/proc/" + entry + "/stat") : QByteArray();
        // "pid (name) state ppid ...": the name may hold spaces.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == int(::getpid()))
            pids << pid;
    }
    return pids;
}

} // namespace

class tst_ViewerFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir settingsDir;
    QTemporaryDir dir;
    std::unique_ptr<oxInternalCameraConnector> connector;
    oxViewerWindow* window = nullptr;
    QString cad; // the model every test starts with

    void openWindow()
    {
        window = new oxViewerWindow;
        oxOSGWidget::setMGLW(window->view());
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }

    void restartWindow()
    {
        delete window;
        openWindow();
    }

    static int models() { return int(oxScenegraph::getRoot()->getNChildren()); }

    // Takes every model out but the first.
    static void keepFirstModel()
    {
        const osg::NodePtr root = oxScenegraph::getRoot();
        osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
        while (root->getNChildren() > 1)
            root->subChild(root->getChild(root->getNChildren() - 1));
        osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    }

    QString triangle(const QString& name) const
    {
        return writeTestFile(dir, name, "v 0 0 30\nv 5 0 30\nv 0 5 30\nf 1 2 3\n");
    }

    QStringList recentMenu() const
    {
        QMenu* menu = window->findChild<QMenu*>("recentFiles");
        Q_EMIT menu->aboutToShow();
        QStringList paths;
        for (QAction* action : menu->actions())
            if (!action->data().toString().isEmpty())
                paths << action->data().toString();
        return paths;
    }

    QAction* action(const char* name) const { return window->findChild<QAction*>(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid() && dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        oxLog::setEcho(false);
        oxRaytracingManager::createRaytracingUtils();
        connector = std::make_unique<oxInternalCameraConnector>();
        oxInternalCameraConnector::setInstance(connector.get());
        openWindow();
        // A CAD piece with G0, G1 and G2 joins, so that every export has something to write.
        cad = dir.filePath("joins.step");
        std::string error;
        QVERIFY2(oxCadImporter::writeSample("joins", cad.toStdString(), error), error.c_str());
        QCOMPARE(window->openModel(cad), oxViewerLoader::Loaded);
        QCOMPARE(models(), 1);
    }

    void init() { QSettings().remove("viewer/recentFiles"); }

    void cleanup() { keepFirstModel(); }

    void cleanupTestCase()
    {
        delete window;
        oxOSGWidget::setMGLW(nullptr);
    }

    void recentFilesListNewestFirstAfterARestart()
    {
        const QString a = triangle("a.obj"), b = triangle("b.obj");
        QCOMPARE(window->openModel(a), oxViewerLoader::Loaded);
        QCOMPARE(window->openModel(b), oxViewerLoader::Loaded);
        Answers answers;
        // A file that cannot be read says why in a box, and the model stays as it was.
        QCOMPARE(window->openModel(dir.filePath("missing.obj")), oxViewerLoader::Failed);
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].startsWith("cannot read") && answers.messages[0].contains("missing.obj"),
                 qPrintable(answers.messages[0]));
        QCOMPARE(models(), 3);
        restartWindow();
        QCOMPARE(recentMenu(), QStringList({b, a}));

        // Opening one again brings it to the front; the list keeps the last ten.
        QCOMPARE(window->openModel(a), oxViewerLoader::Loaded);
        QCOMPARE(recentMenu(), QStringList({a, b}));
        for (int i = 0; i < 12; ++i)
            window->recentFiles()->add(dir.filePath(QString("f%1.obj").arg(i)));
        QCOMPARE(recentMenu().size(), oxViewerRecentFiles::MaxFiles);
        QCOMPARE(recentMenu().first(), dir.filePath("f11.obj"));
    }

    // A file removed since is taken off the list, with a message, and nothing is opened.
    void removedRecentFileIsDropped()
    {
        const QString a = triangle("a.obj"), b = triangle("b.obj");
        window->recentFiles()->add(a);
        window->recentFiles()->add(b);
        QVERIFY(QFile::remove(b));
        QMenu* menu = window->findChild<QMenu*>("recentFiles");
        Q_EMIT menu->aboutToShow();
        const int before = models();
        Answers answers;
        menu->actions().first()->trigger();
        QTRY_COMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains("b.obj") && answers.messages[0].contains("no longer exists"),
                 qPrintable(answers.messages[0]));
        QCOMPARE(recentMenu(), QStringList({a}));
        QCOMPARE(models(), before);

        menu->actions().first()->trigger();
        QTRY_COMPARE(models(), before + 1);
    }

    void layoutAndUpAxisSurviveARestart()
    {
        window->resize(900, 620);
        window->findChild<QDockWidget*>("historyDock")->hide();
        oxViewerCamera::setUpAxis(oxViewerCamera::YUp);
        restartWindow();
        QCOMPARE(window->size(), QSize(900, 620));
        QVERIFY(!window->findChild<QDockWidget*>("historyDock")->isVisible());
        QCOMPARE(oxViewerCamera::upAxis(), oxViewerCamera::YUp);

        window->findChild<QDockWidget*>("historyDock")->show();
        oxViewerCamera::setUpAxis(oxViewerCamera::ZUp);
        restartWindow();
        QVERIFY(window->findChild<QDockWidget*>("historyDock")->isVisible());
        QCOMPARE(oxViewerCamera::upAxis(), oxViewerCamera::ZUp);
    }

    void droppedFileOpens_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("added");
        QTest::newRow("mesh") << "dropped.obj" << true << 1;
        QTest::newRow("CAD") << "dropped.step" << true << 1;
        QTest::newRow("project") << "dropped.json" << true << 0;
        QTest::newRow("not a model") << "notes.txt" << false << 0;
    }

    void droppedFileOpens()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        QFETCH(int, added);
        const QString path = dir.filePath(name);
        std::string error;
        if (name.endsWith(".json"))
            QVERIFY2(oxHostProject::save(path.toStdString(), error), error.c_str());
        else if (name.endsWith(".step"))
            QVERIFY(QFile::copy(cad, path) || QFile::exists(path));
        else
            triangle(name);
        const int before = models();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &drop);
        QCOMPARE(drop.isAccepted(), accepted);
        // The file opens after the drop has been answered.
        QTRY_COMPARE(window->recentFiles()->files().value(0), accepted ? path : QString());
        QCOMPARE(models(), before + added);
        if (added)
            QCOMPARE(QString::fromStdString(oxScenegraph::getRoot()->getChild(before)->getName()), name);
    }

    // Each export writes what the script's function writes, and its errors are the script's.
    void exportsWriteAsTheScript_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("image") << "exportImage"
                               << "view.png" << QByteArray("\x89PNG");
        QTest::newRow("report") << "exportReport"
                                << "report.html" << QByteArray("<!DOCTYPE html>");
        QTest::newRow("curvature") << "exportCurvature"
                                   << "curvature.csv" << QByteArray("x,y,z,nx,ny,nz,k1,k2");
        QTest::newRow("continuity") << "exportContinuity"
                                    << "continuity.csv" << QByteArray("edge,face1,face2");
    }

    void exportsWriteAsTheScript()
    {
        QFETCH(QString, action);
        QFETCH(QString, name);
        QFETCH(QByteArray, start);
        Answers answers;
        answers.path = dir.filePath(name);
        answers.size = QSize(96, 64);
        this->action(action.toLatin1())->trigger();
        QCOMPARE(answers.messages, QStringList());
        const QByteArray written = readTestFile(answers.path);
        QVERIFY2(written.startsWith(start), written.left(40).constData());
        const QString script = dir.filePath("script-" + name);
        std::string error;
        if (action == "exportImage")
        {
            QCOMPARE(QImage(answers.path).size(), QSize(96, 64));
            QVERIFY(oxHostRender::render(script.toStdString(), 96, 64, error, 1));
            QCOMPARE(QImage(answers.path), QImage(script));
        }
        else if (action == "exportCurvature")
        {
            QVERIFY(oxHostAnalysisScript::exportCurvature(script.toStdString(), error));
            QCOMPARE(written, readTestFile(script));
        }
        else if (action == "exportContinuity")
        {
            QVERIFY(oxHostCad::writeCsv(oxHostCad::continuity(oxContinuityTolerances()), script.toStdString(), error));
            QCOMPARE(written, readTestFile(script));
            QVERIFY(written.count('\n') > 3); // the piece's joins
        }
        QVERIFY(window->statusBar()->currentMessage().contains(name));
    }

    void exportsFailWithTheScriptsError_data() { exportsWriteAsTheScript_data(); }

    // A path in a folder that does not exist: the writer's sentence, naming the path, in a box.
    void exportsFailWithTheScriptsError()
    {
        QFETCH(QString, action);
        QFETCH(QString, name);
        Answers answers;
        answers.path = dir.filePath("no-such-folder/" + name);
        this->action(action.toLatin1())->trigger();
        QTRY_COMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].startsWith("cannot") && answers.messages[0].contains(answers.path),
                 qPrintable(answers.messages[0]));
        QVERIFY(!QFile::exists(answers.path));
    }

    // Cancel in the status bar, Ctrl+Q or closing the window while the reader works: the reader's
    // process is killed and reaped, nothing is added, and the window is usable again.
    void loadStopsWithoutChangingTheScene_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Ctrl+Q") << "quit";
        QTest::newRow("closing the window") << "close";
    }

    void loadStopsWithoutChangingTheScene()
    {
        QFETCH(QString, how);
        // The reader sleeps in its process as a huge file would keep it busy.
        oxIsolatedProcess::setStandIn({"/bin/sh", "-c", "exec sleep 120"});
        window->activateWindow(); // for Ctrl+Q
        QVERIFY(QTest::qWaitForWindowActive(window));
        Answers answers; // none expected; a failed load would wait for its box
        const int before = models();
        const QString path = triangle("slow.obj");
        QList<int> reader;
        bool barShown = false;
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout,
                [&]
                {
                    reader = childProcesses();
                    if (reader.isEmpty() || !user.isActive())
                        return;
                    user.stop();
                    barShown = window->findChild<QProgressBar*>("loadProgress")->isVisible();
                    saveShot(window, "viewer-loading.png");
                    if (how == "cancel")
                        QTest::mouseClick(window->findChild<QPushButton*>("cancelLoad"), Qt::LeftButton);
                    else if (how == "quit")
                        QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
                    else
                        window->close();
                });
        user.start();
        const oxViewerLoader::Result result = window->openModel(path);
        oxIsolatedProcess::setStandIn({});
        QCOMPARE(answers.messages, QStringList());
        QCOMPARE(result, oxViewerLoader::Cancelled);
        QCOMPARE(reader.size(), 1);
        QVERIFY(barShown);
        QCOMPARE(childProcesses(), QList<int>());
        QCOMPARE(::kill(reader[0], 0), -1);
        QCOMPARE(models(), before);
        QVERIFY(!window->findChild<QProgressBar*>("loadProgress")->isVisible());
        QCOMPARE(window->recentFiles()->files(), QStringList());
        QCOMPARE(window->isVisible(), how == "cancel");

        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(window->openModel(path), oxViewerLoader::Loaded);
        QCOMPARE(models(), before + 1);
    }

    // Help > About names the libraries in use with their versions.
    void aboutNamesTheLibraryVersions()
    {
        Answers answers;
        answers.shot = "viewer-about.png";
        QAction* about = nullptr;
        for (QAction* a : window->findChildren<QAction*>())
            if (a->text() == "&About oxhost")
                about = a;
        QVERIFY(about);
        about->trigger();
        QCOMPARE(answers.messages.size(), 1);
        const QString text = answers.messages[0];
        for (const char* library : {"Qt", "Open CASCADE", "Embree", "Assimp"})
        {
            const QRegularExpression version(QString(library) + "</td><td>\\d+\\.\\d+\\.\\d+");
            QVERIFY2(text.contains(version), qPrintable(QString(library) + " in " + text));
        }
        QVERIFY(text.contains(qVersion()));
    }
};

QTEST_MAIN(tst_ViewerFiles)
#include "tst_viewerfiles.moc"
