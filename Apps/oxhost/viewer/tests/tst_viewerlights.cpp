// The light visuals in the viewer: dragged through their manipulators, aimed by the panel's
// buttons and the normal pick, one undo step each; random events replay to the same record.
#include "viewertestsupport.h"

namespace
{
// The record's fields, for comparing whole states.
QList<QVariant> recordState()
{
    const osg::SurfaceAnalysisValues values = record()->getValues();
    QList<QVariant> state;
    for (osg::UInt32 id = Record::LinearLightDirectionFieldId; id < Record::NextFieldId; ++id)
        osg::visitSurfaceAnalysisValue(values, id, [&state](const auto& v) { state << QVariant::fromValue(v); });
    return state;
}
} // namespace

class tst_ViewerLights : public ViewerTestCase
{
    Q_OBJECT

private Q_SLOTS:
    // The direction buttons aim the light, one undo step each.
    void directionButtonsAimTheLight_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Vec3f>("direction");
        QTest::newRow("X") << "LightDirection.X" << Vec3f(1, 0, 0);
        QTest::newRow("Y") << "LightDirection.Y" << Vec3f(0, 1, 0);
        QTest::newRow("Z") << "LightDirection.Z" << Vec3f(0, 0, 1);
    }
    void directionButtonsAimTheLight()
    {
        QFETCH(QString, button);
        QFETCH(Vec3f, direction);
        qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>(button))->click();
        QCOMPARE(model->getLightDirection(), direction);
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QCOMPARE(panel()["LightDirection"].toList(),
                 (QVariantList{double(direction[0]), double(direction[1]), double(direction[2])}));
    }

    // Each light: a 100-pixel drag is one undo step that changes the property, Ctrl+Z undoes it.
    void lightDragIsOneUndoStep_data()
    {
        QTest::addColumn<unsigned>("analysis");
        QTest::addColumn<unsigned>("reflection");
        QTest::addColumn<QString>("light");
        QTest::newRow("plane body moves") << 1u << 1u << "plane";
        QTest::newRow("sphere turns") << 1u << 0u << "sphere";
        QTest::newRow("arrow turns") << 0u << 0u << "arrow";
    }
    void lightDragIsOneUndoStep()
    {
        QFETCH(unsigned, analysis);
        QFETCH(unsigned, reflection);
        QFETCH(QString, light);
        if (light == "plane")
            model->setLightPlaneOrigin(Vec3f(0, 0, 30));
        if (light == "arrow")
            model->setLightDirectionVisibility(true);
        showAnalysis(analysis, reflection);
        Manipulator& manipulator = light == "plane"    ? Access::lightPlaneManipulator()
                                   : light == "sphere" ? Access::lightSphereManipulator()
                                                       : Access::lightDirectionManipulator();
        QVERIFY(contextAdded(manipulator.getContext()));
        const auto value = [&]
        {
            return light == "plane"    ? model->getLightPlaneOrigin()
                   : light == "sphere" ? model->getLightSphereRotation()
                                       : model->getLightDirection();
        };
        const Vec3f before = value();
        const QPointF at = pixelOver(manipulator);
        QVERIFY2(at.x() >= 0, "the visual is not under the cursor anywhere near its origin");
        const oxRenderCamera camera = oxViewerCamera::current();

        QSignalSpy live(model, light == "plane"    ? SIGNAL(lightPlaneRotationChanged(osg::Vec3f))
                               : light == "sphere" ? SIGNAL(lightSphereRotationChanged(osg::Vec3f))
                                                   : SIGNAL(lightDirectionChanged(osg::Vec3f)));
        drag(view, at, at + QPointF(100, 0));
        QVERIFY(live.count() > 2); // the stripes followed during the drag
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        const Vec3f after = value();
        QVERIFY((after - before).length() > 1e-3f);
        if (light == "plane")
        {
            const Vec3f moved = after - before;
            QVERIFY(qAbs(moved.dot(unit(camera.at - camera.from))) < 1e-3f * moved.length()); // in the view plane
            QVERIFY(qAbs(pixelOf(after).x() - pixelOf(before).x() - 100) < 2.0);
        }
        // The Edit menu names the step; Ctrl+Z undoes it.
        auto* undo = window->findChild<QAction*>("undo");
        QVERIFY(undo && undo->isEnabled() && undo->text().startsWith("&Undo ") && undo->text().size() > 7);
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY((value() - before).length() < 1e-4f);
        QVERIFY(!undo->isEnabled());
        QVERIFY(window->findChild<QAction*>("redo")->text().startsWith("&Redo "));
        QTest::keyClick(window, Qt::Key_Y, Qt::ControlModifier);
        QVERIFY((value() - after).length() < 1e-4f);
    }

    void planeHandleTurnsThePlane()
    {
        model->setLightPlaneOrigin(Vec3f(0, 0, 30));
        showAnalysis(1, 1);
        Manipulator& manipulator = Access::lightPlaneManipulator();
        const QPointF body = pixelOver(manipulator);
        send(view, QEvent::MouseMove, body, Qt::NoButton, Qt::NoButton);
        QCOMPARE(view->hover().manipulator, &manipulator);
        // A corner handle: the hover there says so.
        QPointF handle(-1, -1);
        for (int x = 0; x < view->width() && handle.x() < 0; x += 3)
            for (int y = 0; y < view->height(); y += 3)
                if (view->hoverAt(QPointF(x, y)).handle)
                {
                    handle = QPointF(x, y);
                    break;
                }
        QVERIFY(handle.x() >= 0);
        const Vec3f origin = model->getLightPlaneOrigin(), euler = model->getLightPlaneRotation();
        drag(view, handle, handle + QPointF(0, 60));
        QCOMPARE(oxUndoStack::get(0).count(), 1);
        QVERIFY((model->getLightPlaneRotation() - euler).length() > 1.f);
        QVERIFY((model->getLightPlaneOrigin() - origin).length() < 1e-4f);
    }

    void normalPickClickAimsTheLight()
    {
        showAnalysis(0, 0);
        const QPointF centre = pixelOf(Vec3f(0, 0, 0)) + QPointF(30, -20);
        osg::Pnt3f o;
        Vec3f d;
        oxViewerCamera::ray(centre, view->size(), o, d);
        oxOSGWidgetPicker picker;
        Vec3f normal;
        QVERIFY(picker.pick(o, d) && picker.getHitNormal(normal, 0));

        // Off: a click neither turns the camera nor aims anything.
        const oxRenderCamera camera = oxViewerCamera::current();
        const Vec3f direction = model->getLightDirection();
        click(view, centre);
        QCOMPARE(oxViewerCamera::current().from, camera.from);
        QCOMPARE(model->getLightDirection(), direction);
        QCOMPARE(oxUndoStack::get(0).count(), 0);

        qobject_cast<QAbstractButton*>(window->panel()->findChild<QWidget*>("PickNormal"))->click();
        QVERIFY(model->getPickNormal());
        click(view, centre);
        QVERIFY((unit(model->getLightDirection()) - normal).length() < 1e-4f);
        QCOMPARE(oxViewerCamera::current().from, camera.from);
    }

    // Random events over the window: no crash, and the history replays to the same record.
    void monkey()
    {
        showAnalysis(1, 1);
        model->setLightPlaneOrigin(Vec3f(0, 0, 30));
        model->setLightSphereVisibility(true);
        model->setLightDirectionVisibility(true);
        oxUndoStack::get(0).clear();
        const QList<QVariant> start = recordState();
        QRandomGenerator random(20261207);
        const int keys[] = {Qt::Key_F, Qt::Key_1, Qt::Key_3, Qt::Key_7, Qt::Key_O, Qt::Key_Z, Qt::Key_Y};
        Qt::MouseButtons held = Qt::NoButton;
        QPointF at(view->width() / 2, view->height() / 2);
        for (int i = 0; i < 5000; ++i)
        {
            const int kind = random.bounded(100);
            const QPointF to(random.bounded(view->width()), random.bounded(view->height()));
            const Qt::MouseButton button = random.bounded(4) == 0 ? Qt::MiddleButton : Qt::LeftButton;
            if (kind < 50)
                send(view, QEvent::MouseMove, at = at + (to - at) * 0.2, Qt::NoButton, held);
            else if (kind < 62 && !(held & button))
            {
                send(view, QEvent::MouseButtonPress, at, button, held |= button,
                     random.bounded(5) == 0 ? Qt::ShiftModifier : Qt::NoModifier);
            }
            else if (kind < 76 && held)
            {
                const Qt::MouseButton up = held & Qt::LeftButton ? Qt::LeftButton : Qt::MiddleButton;
                send(view, QEvent::MouseButtonRelease, at, up, held &= ~Qt::MouseButtons(up));
            }
            else if (kind < 82)
            {
                QWheelEvent wheel(at, view->mapToGlobal(at.toPoint()), QPoint(),
                                  QPoint(0, random.bounded(2) ? 120 : -120), held, Qt::NoModifier, Qt::NoScrollPhase,
                                  false);
                QApplication::sendEvent(view, &wheel);
            }
            else if (kind < 86 && !held)
                send(view, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
            else if (kind < 94 && !held)
            {
                const int key = keys[random.bounded(int(sizeof keys / sizeof *keys))];
                QTest::keyClick(window, Qt::Key(key),
                                key == Qt::Key_Z || key == Qt::Key_Y ? Qt::ControlModifier : Qt::NoModifier);
            }
            else if (!held)
                model->setPickNormal(!model->getPickNormal());
            if (i % 250 == 0)
                QCoreApplication::processEvents();
        }
        for (const Qt::MouseButton up : {Qt::LeftButton, Qt::MiddleButton})
            if (held & up)
                send(view, QEvent::MouseButtonRelease, at, up, held &= ~Qt::MouseButtons(up));
        QVERIFY(window->waitForFrame());

        QUndoStack* stack = oxUndoStack::get(0).undoStack();
        while (stack->canRedo())
            stack->redo();
        const QList<QVariant> end = recordState();
        while (stack->canUndo())
            stack->undo();
        QCOMPARE(recordState(), start);
        while (stack->canRedo())
            stack->redo();
        QCOMPARE(recordState(), end);
    }
};

QTEST_MAIN(tst_ViewerLights)
#include "tst_viewerlights.moc"
