// The viewer's camera: orbit, pan, zoom, standard views and projections, the orbit centre,
// and the probe of the surface under the cursor.
#include "viewertestsupport.h"

class tst_ViewerNavigation : public ViewerTestCase
{
    Q_OBJECT

private Q_SLOTS:
    void orbitTurnsAboutTheTargetWithZUp()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const QPointF c(view->width() / 2, view->height() / 2);
        drag(view, c, c + QPointF(100, 0));
        const oxRenderCamera after = oxViewerCamera::current();
        QCOMPARE(after.at, before.at);
        QVERIFY(qAbs((after.from - after.at).length() - (before.from - before.at).length()) < 1e-3f);
        QVERIFY(qAbs(after.from[2] - before.from[2]) < 1e-3f); // a horizontal drag only turns about Z
        QVERIFY((after.from - before.from).length() > 1.f);
        QCOMPARE(after.up, Vec3f(0, 0, 1));

        drag(view, c, c + QPointF(0, 80));
        QVERIFY(oxViewerCamera::current().from[2] != after.from[2]);
    }

    void panMovesEyeAndTargetTogether()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const QPointF c(view->width() / 2, view->height() / 2);
        drag(view, c, c + QPointF(60, 30), Qt::MiddleButton);
        oxRenderCamera after = oxViewerCamera::current();
        const Vec3f moved = after.at - before.at;
        QVERIFY(moved.length() > 1e-3f);
        QVERIFY(((after.from - before.from) - moved).length() < 1e-3f);
        // The model point that was under the cursor follows it.
        QVERIFY((pixelOf(before.at.subZero()) - (c + QPointF(60, 30))).manhattanLength() < 2.0);

        drag(view, c, c + QPointF(-60, 0), Qt::LeftButton, Qt::ShiftModifier);
        QVERIFY((oxViewerCamera::current().at - after.at).length() > 1e-3f);
    }

    // A second button pressed and released during an orbit leaves the orbit running.
    void onlyTheDragsButtonEndsIt()
    {
        const QPointF c(view->width() / 2, view->height() / 2);
        send(view, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonPress, c, Qt::MiddleButton, Qt::LeftButton | Qt::MiddleButton);
        send(view, QEvent::MouseButtonRelease, c, Qt::MiddleButton, Qt::LeftButton);
        QVERIFY(view->isInteracting());
        const osg::Pnt3f before = oxViewerCamera::current().from;
        send(view, QEvent::MouseMove, c + QPointF(20, 0), Qt::NoButton, Qt::LeftButton);
        QVERIFY(oxViewerCamera::current().from != before);
        send(view, QEvent::MouseButtonRelease, c + QPointF(20, 0), Qt::LeftButton, Qt::NoButton);
        QVERIFY(!view->isInteracting());
    }

    void wheelZoomsTowardTheCursor()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const double distance = (before.at - before.from).length();
        const QPointF corner(view->width() * 0.75, view->height() * 0.5);
        QWheelEvent wheel(corner, view->mapToGlobal(corner.toPoint()), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        const oxRenderCamera after = oxViewerCamera::current();
        QVERIFY(qAbs((after.at - after.from).length() - 0.85 * distance) < 1e-3 * distance);
        QVERIFY(after.at != before.at); // toward the cursor, not the centre
    }

    void doubleClickRecentresOnTheSurface()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const QPointF at = pixelOf(Vec3f(0, 0, 0)) + QPointF(40, 25);
        send(view, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        send(view, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        const oxRenderCamera after = oxViewerCamera::current();
        QVERIFY(qAbs((after.at - osg::Pnt3f(0, 0, 0)).length() - 20.f) < 0.1f); // on the sphere
        QVERIFY(((after.from - after.at) - (before.from - before.at)).length() < 1e-3f);
        QVERIFY((pixelOf(after.at.subZero()) - QPointF(view->width() / 2, view->height() / 2)).manhattanLength() < 2);

        // Off the model, nothing moves.
        send(view, QEvent::MouseButtonDblClick, QPointF(2, 2), Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonRelease, QPointF(2, 2), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(oxViewerCamera::current().at, after.at);
    }

    // The resting cursor reads the surface: the sample sphere has radius 20 everywhere.
    void statusBarShowsTheProbeUnderTheCursor()
    {
        auto* label = window->findChild<QLabel*>("probeLabel");
        QVERIFY(label);
        send(view, QEvent::MouseMove, pixelOf(Vec3f(0, 0, 0)) + QPointF(30, -20), Qt::NoButton, Qt::NoButton);
        QTRY_VERIFY(label->text().startsWith("k1 "));
        const QStringList words = label->text().split(' ', Qt::SkipEmptyParts);
        QVERIFY2(qAbs(words.at(1).toDouble() - 0.05) < 0.003 && qAbs(words.at(3).toDouble() - 0.05) < 0.003,
                 qPrintable(label->text()));
        QVERIFY(label->text().contains("R min 20") || label->text().contains("R min 19."));

        send(view, QEvent::MouseMove, QPointF(2, 2), Qt::NoButton, Qt::NoButton);
        QTRY_COMPARE(label->text(), QString());
    }

    // The probe reads the last full frame's surface where that frame shows the current view: the
    // same surface as a ray through the pixel's centre finds; after a camera move, a ray again.
    void probeReadsTheKeptSurface()
    {
        oxViewerRenderer* r = view->renderer();
        QVERIFY(window->waitForFrame());
        const QPointF at = pixelOf(Vec3f(0, 0, 0)) + QPointF(30, -20);
        bool hit = false;
        oxProbe kept, traced;
        QVERIFY(r->probe(at, hit, kept));
        QVERIFY(hit);
        oxRenderCamera camera = oxViewerCamera::current();
        camera.setup(view->width(), view->height());
        osg::Pnt3f origin;
        osg::Vec3f direction;
        camera.ray(float(int(at.x())) + 0.5f, float(int(at.y())) + 0.5f, origin, direction);
        QVERIFY(oxProbe::trace(oxRenderer::the().scene(), origin, direction, traced));
        QCOMPARE(kept.triangle, traced.triangle);
        QVERIFY((kept.point - traced.point).length() < 1e-3f);
        QVERIFY((kept.normal - traced.normal).length() < 1e-4f);
        QVERIFY(qAbs(kept.k1 - traced.k1) < 1e-5f && qAbs(kept.k2 - traced.k2) < 1e-5f);
        QVERIFY(r->probe(QPointF(2, 2), hit, kept));
        QVERIFY(!hit);
        oxViewerCamera::orbit(5.f, 0.f);
        QVERIFY(!r->probe(at, hit, kept));
        QVERIFY(window->waitForFrame());
        QVERIFY(r->probe(at, hit, kept));
    }

    void fitFramesTheModel()
    {
        for (int i = 0; i < 8; ++i)
            oxViewerCamera::zoom(2.f, QPointF(view->width() / 2, view->height() / 2), view->size());
        QTest::keyClick(window, Qt::Key_F);
        // The sphere of radius 20 at the origin: its silhouette inside the view, and not tiny.
        const oxRenderCamera c = oxViewerCamera::current();
        QVERIFY((c.at - osg::Pnt3f(0, 0, 0)).length() < 1e-2f);
        const Vec3f side = unit((c.at - c.from).cross(c.up)) * 20.f;
        const QPointF left = pixelOf(-side), right = pixelOf(side);
        QVERIFY(left.x() > 0 && right.x() < view->width());
        QVERIFY2(right.x() - left.x() > qMin(view->width(), view->height()) * 0.5,
                 qPrintable(QString("%1 to %2 in %3").arg(left.x()).arg(right.x()).arg(view->height())));
    }

    void standardViewsAndProjection_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Vec3f>("forward");
        QTest::newRow("front") << int(Qt::Key_1) << Vec3f(0, 1, 0);
        QTest::newRow("right") << int(Qt::Key_4) << Vec3f(-1, 0, 0);
        QTest::newRow("top") << int(Qt::Key_5) << Vec3f(0, 0, -1);
    }
    void standardViewsAndProjection()
    {
        QFETCH(int, key);
        QFETCH(Vec3f, forward);
        QTest::keyClick(window, Qt::Key(key));
        const oxRenderCamera c = oxViewerCamera::current();
        QVERIFY((unit(c.at - c.from) - forward).length() < 1e-4f);
        QTest::keyClick(window, Qt::Key_O);
        QVERIFY(oxViewerCamera::isOrthographic());
        QTest::keyClick(window, Qt::Key_O);
        QVERIFY(!oxViewerCamera::isOrthographic());
    }

    void orbitStopsShortOfThePoles()
    {
        const QPointF c(view->width() / 2, view->height() / 2);
        drag(view, c, c + QPointF(0, 2000), Qt::LeftButton, Qt::NoModifier, 40);
        oxRenderCamera cam = oxViewerCamera::current();
        Vec3f toEye = unit(cam.from - cam.at);
        QVERIFY(qAbs(toEye.dot(Vec3f(0, 0, 1))) < std::sin(89.5 * M_PI / 180));
        QVERIFY(std::isfinite(cam.from[0]) && (cam.up - Vec3f(0, 0, 1)).length() < 1e-6f);
        drag(view, c, c - QPointF(0, 4000), Qt::LeftButton, Qt::NoModifier, 40);
        cam = oxViewerCamera::current();
        toEye = unit(cam.from - cam.at);
        QVERIFY(qAbs(toEye.dot(Vec3f(0, 0, 1))) < std::sin(89.5 * M_PI / 180));
    }

    void zoomOutAndInReturns()
    {
        const oxRenderCamera before = oxViewerCamera::current();
        const QPointF at(view->width() * 0.3, view->height() * 0.6);
        oxViewerCamera::zoom(-2.f, at, view->size());
        QVERIFY((oxViewerCamera::current().from - before.at).length() > (before.from - before.at).length());
        oxViewerCamera::zoom(2.f, at, view->size());
        QVERIFY((oxViewerCamera::current().from - before.from).length() < 1e-3f);
        QVERIFY((oxViewerCamera::current().at - before.at).length() < 1e-3f);
    }

    // A world point's pixel and the ray through that pixel agree, in both projections.
    void pixelsAndRaysAgree_data()
    {
        QTest::addColumn<bool>("orthographic");
        QTest::newRow("perspective") << false;
        QTest::newRow("orthographic") << true;
    }
    void pixelsAndRaysAgree()
    {
        QFETCH(bool, orthographic);
        oxViewerCamera::setOrthographic(orthographic);
        const Vec3f p(5, -7, 11);
        QPointF pixel;
        QVERIFY(oxViewerCamera::project(osg::Pnt3f(p[0], p[1], p[2]), view->size(), pixel));
        osg::Pnt3f origin;
        Vec3f direction;
        oxViewerCamera::ray(pixel, view->size(), origin, direction);
        const Vec3f toPoint = p - origin.subZero();
        QVERIFY((toPoint - direction * toPoint.dot(direction)).length() < 1e-3f * toPoint.length());
        oxViewerCamera::setOrthographic(false);
        // Behind the eye there is no pixel.
        const oxRenderCamera c = oxViewerCamera::current();
        const osg::Pnt3f behind = c.from + (c.from - c.at);
        QVERIFY(!oxViewerCamera::project(behind, view->size(), pixel));
    }

    void yUpViewsStandOnY()
    {
        oxViewerCamera::setUpAxis(oxViewerCamera::YUp);
        QTest::keyClick(window, Qt::Key_1);
        oxRenderCamera c = oxViewerCamera::current();
        QVERIFY((unit(c.at - c.from) - Vec3f(0, 0, -1)).length() < 1e-4f);
        QCOMPARE(c.up, Vec3f(0, 1, 0));
        const float height = c.from[1];
        const QPointF centre(view->width() / 2, view->height() / 2);
        drag(view, centre, centre + QPointF(80, 0));
        QVERIFY(qAbs(oxViewerCamera::current().from[1] - height) < 1e-3f); // turns about Y
        oxViewerCamera::setUpAxis(oxViewerCamera::ZUp);
    }

    // A camera moved by a script (as navigation does) is a change the view draws.
    void cameraMovedElsewhereIsDrawn()
    {
        const int frames = view->renderer()->framesDrawn();
        QVERIFY(oxHostRender::frameScene(1.f));
        QVERIFY(window->waitForFrame());
        QVERIFY(view->renderer()->framesDrawn() > frames);
    }
};

QTEST_MAIN(tst_ViewerNavigation)
#include "tst_viewernavigation.moc"
