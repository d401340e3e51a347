// The viewer's frames: a quarter, a half and the full frame after a change, the newest request
// first, light drags re-shaded from the kept surface, and the view equal to an image file of it.
#include "viewertestsupport.h"

class tst_ViewerFrames : public ViewerTestCase
{
    Q_OBJECT

private Q_SLOTS:
    // Requests made together start one frame; while one is traced, the newest waiting request
    // replaces the others; after an interaction come a half and exactly one full frame.
    void newestRequestSupersedes()
    {
        oxViewerRenderer* r = view->renderer();
        QVERIFY(window->waitForFrame());
        const int frames = r->framesDrawn();
        oxViewerCamera::orbit(5.f, 0.f);
        r->request(true);
        r->request(true);
        r->request(false);
        QVERIFY(!r->isIdle());
        QVERIFY(window->waitForFrame());
        QCOMPARE(r->framesDrawn(), frames + 3); // a quarter, a half, the full one
        QCOMPARE(r->imageDownscale(), 1);

        const int before = r->framesDrawn();
        r->request(false);
        QTRY_VERIFY(r->framesDrawn() > before || !r->isIdle());
        for (int i = 0; i < 20; ++i)
            r->request(false); // while the first is traced: one waits, the rest replace it
        QVERIFY(window->waitForFrame());
        QVERIFY(r->framesDrawn() <= before + 2);
    }

    // A light drag changes nothing but the shading: every frame of it is re-shaded at full
    // resolution from the last trace, and equals a frame traced afresh with the same settings.
    void lightDragShowsFullFramesEqualToTracedOnes()
    {
        model->setLightPlaneOrigin(Vec3f(0, 0, 30));
        showAnalysis(1, 1);
        QVERIFY(window->waitForFrame());
        oxViewerRenderer* r = view->renderer();
        const int traces = r->fullTraces();
        std::vector<int> downscales;
        const auto record =
            connect(r, &oxViewerRenderer::frameReady, [&] { downscales.push_back(r->imageDownscale()); });
        Manipulator& manipulator = Access::lightPlaneManipulator();
        const QPointF at = pixelOver(manipulator);
        QVERIFY(at.x() >= 0);
        send(view, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= 4; ++i)
        {
            const size_t shown = downscales.size();
            send(view, QEvent::MouseMove, at + QPointF(12 * i, 0), Qt::NoButton, Qt::LeftButton);
            QTRY_VERIFY(downscales.size() > shown);
        }
        send(view, QEvent::MouseButtonRelease, at + QPointF(48, 0), Qt::LeftButton, Qt::NoButton);
        QVERIFY(window->waitForFrame());
        disconnect(record);
        QVERIFY(downscales.size() >= 4);
        QCOMPARE(downscales, std::vector<int>(downscales.size(), 1));
        QCOMPARE(r->fullTraces(), traces);
        QCOMPARE(r->image(), tracedView(view->width(), view->height()));
    }

    // A camera change (a drag over no light visual, which would only re-shade) shows a quarter, a
    // half and the full frame of the view's size, each as soon as the one before is shown, while
    // the button is still down.
    void cameraChangeRefinesToFull()
    {
        showAnalysis(1, 1);
        QVERIFY(window->waitForFrame());
        oxViewerRenderer* r = view->renderer();
        std::vector<int> downscales;
        const auto record =
            connect(r, &oxViewerRenderer::frameReady, [&] { downscales.push_back(r->imageDownscale()); });
        const QPointF c = orbitPixel();
        send(view, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseMove, c + QPointF(30, 0), Qt::NoButton, Qt::LeftButton);
        QTRY_VERIFY(!downscales.empty() && downscales.back() == 1);
        QVERIFY(r->isIdle());
        disconnect(record);
        send(view, QEvent::MouseButtonRelease, c + QPointF(30, 0), Qt::LeftButton, Qt::NoButton);
        QVERIFY(window->waitForFrame());
        QCOMPARE(downscales, (std::vector<int>{oxViewerRenderer::InteractiveDownscale, 2, 1}));
        QCOMPARE(r->image().size(), view->size());
    }

    // A camera change while a refinement is traced ends it at a tile boundary; the newest view
    // refines to full.
    void newerRequestCancelsTheFrameInFlight()
    {
        showAnalysis(1, 1);
        QVERIFY(window->waitForFrame());
        oxViewerRenderer* r = view->renderer();
        const int cancelled = r->framesCancelled();
        QMetaObject::Connection once;
        once = connect(r, &oxViewerRenderer::fullFrameStarted,
                       [&]
                       {
                           disconnect(once);
                           oxViewerCamera::orbit(3.f, 0.f);
                           r->request(true);
                       });
        oxViewerCamera::orbit(3.f, 0.f);
        r->request(true);
        QVERIFY(window->waitForFrame());
        disconnect(once);
        QCOMPARE(r->framesCancelled(), cancelled + 1);
        QCOMPARE(r->imageDownscale(), 1);
        QCOMPARE(r->image(), tracedView(view->width(), view->height()));
    }

    // File > Open of a CAD file (meshes and files that cannot be read are tst_viewerfiles'): it is
    // read and triangulated on a thread, the window's timers keep running, and the node keeps its
    // exact surfaces.
    void openCadModelKeepsTheWindowRunning()
    {
        const osg::NodePtr root = oxScenegraph::getRoot();
        const osg::UInt32 before = root->getNChildren();
        QTemporaryDir dir;
        std::string error;
        const QString step = dir.filePath("sphere.step");
        QVERIFY2(oxCadImporter::writeSample("sphere", step.toStdString(), error), error.c_str());
        int ticks = 0;
        QTimer tick;
        tick.setInterval(5);
        connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
        QTRY_VERIFY_WITH_TIMEOUT(view->renderer()->isIdle(), 30000);
        tick.start();
        window->openModel(step);
        tick.stop();
        QVERIFY(ticks > 0);
        QCOMPARE(root->getNChildren(), before + 1);
        const osg::NodePtr cad = root->getChild(before);
        QCOMPARE(QString::fromStdString(cad->getName()), QString("sphere.step"));
        QVERIFY(oxCadMesh::of(*osg::GeometryPtr::dcast(cad->getCore())) != nullptr);

        osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
        root->subChild(cad);
        osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    }

    // With the continuity display on, the joins piece's shared edges show over the view in the
    // colours of their classes.
    void continuityEdgesShowInTheView()
    {
        QTemporaryDir dir;
        std::string error;
        const QString step = dir.filePath("joins.step");
        QVERIFY2(oxCadImporter::writeSample("joins", step.toStdString(), error), error.c_str());
        // The sample sphere would hide the piece: the model is the piece alone for this test.
        const osg::NodePtr root = oxScenegraph::getRoot();
        std::vector<osg::NodePtr> model;
        osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
        while (root->getNChildren() > 0)
        {
            model.push_back(root->getChild(0));
            root->subChild(root->getChild(0));
        }
        osg::endEditCP(root, osg::Node::ChildrenFieldMask);
        window->openModel(step);
        const osg::NodePtr joins = root->getChild(root->getNChildren() - 1);
        window->showModel();
        QVERIFY(window->waitForFrame());
        auto redShare = [this]
        {
            const QImage image = view->renderer()->image();
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                {
                    const QRgb c = image.pixel(x, y);
                    n += qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
                }
            return double(n) / (image.width() * image.height());
        };
        const double before = redShare();
        oxRenderer::the().setShowContinuity(true);
        oxController::updateRender(false);
        QVERIFY(window->waitForFrame());
        const double shown = redShare();
        oxRenderer::the().setShowContinuity(false);
        oxController::updateRender(false);
        QVERIFY(window->waitForFrame());
        QVERIFY2(shown > before + 0.0003 && redShare() == before,
                 qPrintable(QString("%1 %2 %3").arg(before).arg(shown).arg(redShare())));

        osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
        root->subChild(joins);
        for (const osg::NodePtr& node : model)
            root->addChild(node);
        osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    }

    // Isophote stripes on the sphere: the window shows many dark and many light pixels in the view.
    void screenshotShowsTheAnalysis()
    {
        showAnalysis(0, 0);
        model->setIsoLineCount(12);
        model->setStripeThickness(0.5f);
        QVERIFY(window->waitForFrame());
        const QImage shot = window->grab().toImage();
        const QRect area(view->mapTo(window, QPoint(0, 0)), view->size());
        int dark = 0, light = 0, total = 0;
        for (int y = area.top(); y < area.bottom(); y += 2)
            for (int x = area.left(); x < area.right(); x += 2, ++total)
            {
                const int v =
                    qGray(shot.pixel(x * shot.width() / window->width(), y * shot.height() / window->height()));
                dark += v < 40;
                light += v > 215;
            }
        QVERIFY2(dark > total / 50 && light > total / 50,
                 qPrintable(QString("dark %1, light %2 of %3").arg(dark).arg(light).arg(total)));
    }

    // The view and an image file of the same state are one frame, overlays and legend included,
    // also when the host's downscale makes it coarse.
    void viewAndFileRenderAgree_data()
    {
        QTest::addColumn<unsigned>("analysis");
        QTest::addColumn<unsigned>("downscale");
        QTest::newRow("reflection lines and light visuals") << 1u << 1u;
        QTest::newRow("curvature and legend") << 3u << 1u;
        QTest::newRow("downscaled with light visuals") << 1u << 2u;
    }

    void viewAndFileRenderAgree()
    {
        QFETCH(unsigned, analysis);
        QFETCH(unsigned, downscale);
        showAnalysis(analysis, 1);
        oxOSGWidget::enableRaytracingDownscale(downscale > 1);
        oxOSGWidget::setRaytracingDownscaleFactor(downscale);
        view->renderer()->request(false);
        QVERIFY(window->waitForFrame());
        const QImage shown = view->renderer()->image();
        const QImage file =
            oxRenderer::the().renderView({shown.width(), shown.height(), 1, oxHostAnalysisModel::the()->settings()});
        oxOSGWidget::enableRaytracingDownscale(0);
        oxOSGWidget::setRaytracingDownscaleFactor(1);
        QCOMPARE(file, shown);
    }

    // The report's several images of one view: oxHost.render with other settings traces the view
    // once, and each image equals a frame traced afresh.
    void renderingOneViewTwiceTracesOnce()
    {
        QTemporaryDir dir;
        std::string error;
        showAnalysis(0, 1);
        const std::string first = dir.filePath("first.png").toStdString();
        QVERIFY2(oxHostRender::render(first, 160, 100, error), error.c_str());
        const size_t traces = oxRenderer::the().traces();
        showAnalysis(1, 1);
        const std::string second = dir.filePath("second.png").toStdString();
        QVERIFY2(oxHostRender::render(second, 160, 100, error), error.c_str());
        QCOMPARE(oxRenderer::the().traces(), traces);
        const QImage traced = tracedView(160, 100, oxRenderer::DefaultFileSamples);
        QCOMPARE(QImage(QString::fromStdString(second)).convertToFormat(QImage::Format_RGB32), traced);
    }
};

QTEST_MAIN(tst_ViewerFrames)
#include "tst_viewerframes.moc"
