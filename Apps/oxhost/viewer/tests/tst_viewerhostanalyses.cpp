// The Draft, Combs, Deviation and Zebra stripes sections of the viewer's panel: they follow the host
// analyses' model, span each setting's domain, edit in undo steps, pick a face; the reference's menu.
#include "hostanalysisaccess.h"
#include "viewertestsupport.h"

#include <QComboBox>
#include <QStatusBar>

#include <thread>

class tst_ViewerHostAnalyses : public ViewerTestCase
{
    Q_OBJECT

private Q_SLOTS:
    // The Draft and Combs sections follow the host analyses' model, whoever changes it.
    void hostAnalysisSectionsFollowTheModel_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("shown");
        QTest::newRow("DraftActive") << "DraftActive" << QVariant(true);
        QTest::newRow("DraftDirection") << "DraftDirection" << QVariant(QVariantList{0.0, -1.0, 0.0});
        QTest::newRow("DraftAngle") << "DraftAngle" << QVariant(4.5);
        QTest::newRow("DraftRamp") << "DraftRamp" << QVariant(true);
        QTest::newRow("CombActive") << "CombActive" << QVariant(true);
        QTest::newRow("CombEdges") << "CombEdges" << QVariant(false);
        QTest::newRow("CombSections") << "CombSections" << QVariant(6);
        QTest::newRow("CombSectionNormal") << "CombSectionNormal" << QVariant(QVariantList{0.0, 0.0, 1.0});
        QTest::newRow("CombSamples") << "CombSamples" << QVariant(17);
        QTest::newRow("CombScale") << "CombScale" << QVariant(0.25);
        QTest::newRow("DeviationActive") << "DeviationActive" << QVariant(true);
        QTest::newRow("DeviationTolerance") << "DeviationTolerance" << QVariant(0.25);
        QTest::newRow("DeviationRange") << "DeviationRange" << QVariant(0.5);
        QTest::newRow("StripesActive") << "StripesActive" << QVariant(true);
        QTest::newRow("StripesAxis") << "StripesAxis" << QVariant(2);
        QTest::newRow("StripesCount") << "StripesCount" << QVariant(12);
        QTest::newRow("StripesWidth") << "StripesWidth" << QVariant(0.25);
        QTest::newRow("StripesSharpness") << "StripesSharpness" << QVariant(0.5);
        QTest::newRow("StripesLocked") << "StripesLocked" << QVariant(true);
        QTest::newRow("EnvironmentMap") << "EnvironmentMap" << QVariant(2);
        QTest::newRow("EnvironmentImage") << "EnvironmentImage" << QVariant(QString("/studio/hall.png"));
        QTest::newRow("EnvironmentBlend") << "EnvironmentBlend" << QVariant(0.5);
        QTest::newRow("ColourMap") << "ColourMap" << QVariant(3);
        QTest::newRow("ColourMapSteps") << "ColourMapSteps" << QVariant(5);
        QTest::newRow("CurvatureLogScale") << "CurvatureLogScale" << QVariant(true);
    }

    void hostAnalysisSectionsFollowTheModel()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, shown);
        H::the()->load(oxMessage());
        oxRenderer::the().setReference({referenceTriangle()});
        QVERIFY(panel().value(property) != shown);
        accessors()[property].set(shown, nullptr);
        QCOMPARE(panel().value(property), shown);
        oxUndoStack::get(0).undo();
        QVERIFY(panel().value(property) != shown);
        oxRenderer::the().setReference({});
    }

    // A number control reaches the ends of its setting's domain, as many steps in as an open end
    // needs, and the model takes what it shows there.
    void hostAnalysisNumberControlsSpanTheDomain_data()
    {
        QTest::addColumn<QString>("property");
        for (int i = 0; i < oxHostAnalysisRows::count(); ++i)
            if (oxHostAnalysisRows::at(i).domain.numeric)
                QTest::newRow(oxHostAnalysisRows::at(i).name) << QString(oxHostAnalysisRows::at(i).name);
    }

    void hostAnalysisNumberControlsSpanTheDomain()
    {
        QFETCH(QString, property);
        const oxSettingDomain& d = oxHostAnalysisRows::find(qPrintable(property))->domain;
        QWidget* control = window->panel()->findChild<QWidget*>(property);
        auto* count = qobject_cast<QSpinBox*>(control);
        auto* number = qobject_cast<QDoubleSpinBox*>(control);
        // A choice (the stripes' axis, the colour map) offers every value of its domain, one item
        // each, numbered from the domain's minimum to its maximum.
        if (auto* choice = qobject_cast<QComboBox*>(control))
        {
            QCOMPARE(double(choice->count()), d.max - d.min + 1);
            for (int end : {choice->count() - 1, int(d.min)})
            {
                H::the()->load(oxMessage());
                choice->setCurrentIndex(end);
                QCOMPARE(accessors()[property].get().toDouble(), double(end));
            }
            H::the()->load(oxMessage());
            oxUndoStack::get(0).clear();
            return;
        }
        QVERIFY(count || number);
        const double step = count ? 1.0 : std::pow(10.0, -number->decimals());
        const double lo = count ? count->minimum() : number->minimum();
        const double hi = count ? count->maximum() : number->maximum();
        QCOMPARE(hi, d.maxOpen ? d.max - step : d.max);
        QVERIFY2(lo == d.min || (d.minOpen && lo == d.min + step), qPrintable(QString::number(lo)));
        for (double end : {hi, d.contains(lo) ? lo : lo + step})
        {
            H::the()->load(oxMessage());
            count ? count->setValue(int(end)) : number->setValue(end);
            QCOMPARE(accessors()[property].get().toDouble(), double(float(end)));
        }
        H::the()->load(oxMessage());
        oxUndoStack::get(0).clear();
    }

    // Without a reference the Deviation box refuses to come on and stays clear.
    void deviationBoxWithoutReferenceStaysOff()
    {
        H::the()->load(oxMessage());
        auto* box = qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>("DeviationActive"));
        QVERIFY(box);
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, boxPoint(box));
        QVERIFY(!box->isChecked() && !H::the()->getDeviationActive());
        QCOMPARE(oxUndoStack::get(0).count(), 0);
    }

    // File > Open reference reads a model file as the reference, or explains and keeps the old
    // one; View > Show reference switches its ghost; File > Clear reference drops it.
    void openReferenceLoadsOrExplains()
    {
        const osg::UInt32 children = oxScenegraph::getRoot()->getNChildren();
        QTemporaryDir dir;
        const QString obj = writeTestFile(dir, "tri.obj", "v 0 0 30\nv 5 0 30\nv 0 5 30\nf 1 2 3\n");
        QCOMPARE(window->openReference(obj), oxViewerLoader::Loaded);
        QVERIFY(oxRenderer::the().hasReference());
        QCOMPARE(oxRenderer::the().reference().triangleCount(), size_t(1));
        QCOMPARE(oxScenegraph::getRoot()->getNChildren(), children); // not part of the model

        Answers answers;
        QCOMPARE(window->openReference(dir.filePath("missing.stl")), oxViewerLoader::Failed);
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].startsWith("cannot read") && answers.messages[0].contains("missing.stl"),
                 qPrintable(answers.messages[0]));
        QCOMPARE(oxRenderer::the().reference().triangleCount(), size_t(1));

        auto* ghost = window->findChild<QAction*>("showReference");
        QVERIFY(ghost && ghost->isCheckable() && ghost->isChecked());
        ghost->trigger();
        QVERIFY(!oxRenderer::the().showReference());
        ghost->trigger();
        QVERIFY(oxRenderer::the().showReference());
        auto* clear = window->findChild<QAction*>("clearReference");
        QVERIFY(clear && window->findChild<QAction*>("openReference"));
        clear->trigger();
        QVERIFY(!oxRenderer::the().hasReference());
    }

    // Frames take the model's record with each request: every change of a host analysis setting is a new frame.
    void hostAnalysisChangeDrawsAFrame()
    {
        QSignalSpy frames(view->renderer(), &oxViewerRenderer::frameReady);
        H::the()->setCombSamples(9);
        QVERIFY(frames.wait(5000));
        QCOMPARE(H::the()->settings().CombSamples, 9u);
    }

    // Switching the deviation on measures the field on the renderer's worker, not on the GUI
    // thread; the window shows it is busy (cursor and status) until a frame with the field is shown.
    void deviationIsMeasuredOffTheGuiThreadWhileTheWindowShowsBusy()
    {
        H::the()->load(oxMessage());
        oxRenderer::the().setReference({referenceTriangle()});
        QVERIFY(window->waitForFrame());
        const oxDerivedData& derived = oxRenderer::the().derived();
        const size_t measured = derived.deviationsMeasured();
        QStringList busy, status;
        QList<int> cursors;
        const auto watch = connect(view->renderer(), &oxViewerRenderer::busyChanged,
                                   [&](const QString& text)
                                   {
                                       busy << text;
                                       status << window->statusBar()->currentMessage();
                                       const QCursor* c = QApplication::overrideCursor();
                                       cursors << (c ? int(c->shape()) : -1);
                                   });
        QVERIFY(H::the()->setDeviationActive(true));
        QVERIFY(window->waitForFrame());
        disconnect(watch);
        QCOMPARE(derived.deviationsMeasured(), measured + 1);
        QVERIFY(derived.deviationThread() != std::this_thread::get_id());
        const QString measuring = QString::fromUtf8("Measuring the deviation\u2026");
        QCOMPARE(busy, (QStringList{measuring, QString()}));
        QCOMPARE(status, (QStringList{measuring, QString()}));
        QCOMPARE(cursors, (QList<int>{Qt::BusyCursor, -1}));
        QCOMPARE(view->renderer()->image(), tracedView(view->width(), view->height()));
        H::the()->load(oxMessage());
        oxRenderer::the().setReference({});
    }

    // Edits made with the mouse and keys: one undo step each, a held spin box arrow one in all.
    void hostAnalysisControlsAreUndoableEdits()
    {
        H::the()->load(oxMessage());
        QWidget* p = window->panel();
        auto* draft = qobject_cast<QAbstractButton*>(p->findChild<QWidget*>("DraftActive"));
        QVERIFY(draft);
        QTest::mouseClick(draft, Qt::LeftButton, Qt::NoModifier, boxPoint(draft));
        QVERIFY(H::the()->getDraftActive());
        QCOMPARE(oxUndoStack::get(0).count(), 1);

        const std::pair<const char*, Vec3f> axes[] = {{"+X", Vec3f(1, 0, 0)},  {"-X", Vec3f(-1, 0, 0)},
                                                      {"+Y", Vec3f(0, 1, 0)},  {"-Y", Vec3f(0, -1, 0)},
                                                      {"-Z", Vec3f(0, 0, -1)}, {"+Z", Vec3f(0, 0, 1)}};
        for (const auto& axis : axes)
        {
            auto* button =
                qobject_cast<QAbstractButton*>(p->findChild<QWidget*>(QString("DraftDirection.") + axis.first));
            QVERIFY2(button, axis.first);
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(H::the()->getDraftDirection(), axis.second);
        }
        QCOMPARE(oxUndoStack::get(0).count(), 7);

        // Faces turned to the viewer read +90: the pull points from the part to the eye.
        QTest::mouseClick(qobject_cast<QAbstractButton*>(p->findChild<QWidget*>("DraftDirection.View")),
                          Qt::LeftButton);
        const oxRenderCamera camera = oxViewerCamera::current();
        QVERIFY((H::the()->getDraftDirection() - unit(camera.from - camera.at)).length() < 1e-5f);

        useFrozenClock();
        auto* angle = qobject_cast<QDoubleSpinBox*>(p->findChild<QWidget*>("DraftAngle"));
        QVERIFY(angle);
        const int steps = oxUndoStack::get(0).count();
        angle->setFocus();
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(angle, Qt::Key_Up);
        QCOMPARE(H::the()->getDraftAngle(), 5.f);
        QCOMPARE(oxUndoStack::get(0).count(), steps + 1);
        auto* sections = qobject_cast<QSpinBox*>(p->findChild<QWidget*>("CombSections"));
        sections->setFocus();
        QTest::keyClick(sections, Qt::Key_Up);
        QTest::keyClick(sections, Qt::Key_Up);
        QCOMPARE(H::the()->getCombSections(), 2u);
        QCOMPARE(oxUndoStack::get(0).count(), steps + 2);
        oxUndoStack::get(0).undo();
        oxUndoStack::get(0).undo();
        QCOMPARE(angle->value(), 1.0);
        QCOMPARE(sections->value(), 0);
    }

    // The draft and the module's analysis boxes take turns, each switch one step.
    void draftAndAnalysisBoxesTakeTurns()
    {
        H::the()->load(oxMessage());
        showAnalysis(1, 1);
        QWidget* p = window->panel();
        auto* draft = qobject_cast<QAbstractButton*>(p->findChild<QWidget*>("DraftActive"));
        auto* analysis = qobject_cast<QAbstractButton*>(p->findChild<QWidget*>("AnalysisActive"));
        QVERIFY(analysis->isChecked());
        QTest::mouseClick(draft, Qt::LeftButton, Qt::NoModifier, boxPoint(draft));
        QVERIFY(draft->isChecked() && !analysis->isChecked() && !model->getAnalysisActive());
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QTest::mouseClick(analysis, Qt::LeftButton, Qt::NoModifier, boxPoint(analysis));
        QVERIFY(!draft->isChecked() && analysis->isChecked() && !H::the()->getDraftActive());
        QCOMPARE(oxUndoStack::get(0).count(), 2);
        oxUndoStack::get(0).undo();
        QVERIFY(draft->isChecked() && !analysis->isChecked());
        oxUndoStack::get(0).undo();
        QVERIFY(!draft->isChecked() && analysis->isChecked());
    }

    // "Pick a face" takes the next click on the model: the pull direction becomes the normal
    // oxHost.probe reads at that pixel; the camera stays, and the pick ends.
    void pickAFaceSetsThePullDirection()
    {
        H::the()->load(oxMessage());
        const QPointF at = pixelOf(Vec3f(0, 0, 0)) + QPointF(40, -25);
        auto* pick = qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>("DraftDirection.Pick"));
        QTest::mouseClick(pick, Qt::LeftButton);
        QVERIFY(pick->isChecked() && H::the()->facePick());

        oxRenderCamera camera = oxRenderer::the().hostCamera();
        const osg::Pnt3f eye = camera.from;
        camera.setup(view->width(), view->height());
        osg::Pnt3f o;
        Vec3f d;
        camera.ray(float(std::floor(at.x())) + 0.5f, float(std::floor(at.y())) + 0.5f, o, d);
        oxProbe probe;
        QVERIFY(oxProbe::trace(oxRenderer::the().scene(), o, d, probe));

        click(view, at);
        QVERIFY((H::the()->getDraftDirection() - probe.normal).length() < 1e-5f);
        // On the sample sphere the outward normal points from its centre through the point.
        QVERIFY((H::the()->getDraftDirection() - unit(probe.point.subZero())).length() < 0.02f);
        QCOMPARE(oxViewerCamera::current().from, eye);
        QVERIFY(!pick->isChecked() && !H::the()->facePick());
        QCOMPARE(oxUndoStack::get(0).count(), 1);

        // Disarmed, a click changes nothing; armed, a drag still orbits and picks nothing.
        click(view, at + QPointF(-60, 0));
        QVERIFY((H::the()->getDraftDirection() - probe.normal).length() < 1e-5f);
        QTest::mouseClick(pick, Qt::LeftButton);
        drag(view, at, at + QPointF(60, 0));
        QVERIFY(oxViewerCamera::current().from != eye);
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QTest::mouseClick(pick, Qt::LeftButton);
        QVERIFY(!H::the()->facePick());
    }

    // The rooms' sections and the colour maps' in the dock, as a user sees them; OX_SCREENSHOT
    // names a file to keep.
    void hostAnalysisSectionsScreenshot()
    {
        H::the()->load(oxMessage());
        H::the()->setDraftActive(true);
        H::the()->setCombActive(true);
        QWidget* sections = window->panel()->findChild<QWidget*>("hostAnalysisControls");
        QVERIFY(sections && sections->isVisible());
        const QList<QGroupBox*> boxes = sections->findChildren<QGroupBox*>();
        QCOMPARE(boxes.size(), 6);
        QCOMPARE(boxes[0]->title(), QString("Draft"));
        QCOMPARE(boxes[1]->title(), QString("Combs"));
        QCOMPARE(boxes[2]->title(), QString("Deviation"));
        QCOMPARE(boxes[3]->title(), QString("Zebra stripes"));
        QCOMPARE(boxes[4]->title(), QString("Environment"));
        QCOMPARE(boxes[5]->title(), QString("Colours"));
        const QImage shot = sections->grab().toImage();
        QVERIFY(!shot.isNull() && shot.height() > 200);
        if (qEnvironmentVariableIsSet("OX_SCREENSHOT"))
        {
            QVERIFY(shot.save(qEnvironmentVariable("OX_SCREENSHOT")));
            QVERIFY(window->grab().save(qEnvironmentVariable("OX_SCREENSHOT") + ".window.png"));
        }
        H::the()->load(oxMessage());
    }
};

QTEST_MAIN(tst_ViewerHostAnalyses)
#include "tst_viewerhostanalyses.moc"
