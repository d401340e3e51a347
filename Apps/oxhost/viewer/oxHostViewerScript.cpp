#include "oxHostValues.h"

#include "oxHostViewerScript.h"

#include "oxHostScript.h"
#include "oxRenderer.h"
#include "oxViewerCamera.h"
#include "oxViewerRenderer.h"
#include "oxViewerView.h"
#include "oxViewerWindow.h"

#include <QApplication>
#include <QImageWriter>
#include <QKeySequence>
#include <QMouseEvent>
#include <QWheelEvent>

namespace bp = boost::python;
typedef oxHostValues V;

// Qt's own route for a key press to the window's shortcuts, as its test library takes it.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace
{
bool s_quit = false;
Qt::MouseButtons s_buttons = Qt::NoButton;

oxViewerWindow* window(const char* function)
{
    oxViewerWindow* w = oxViewerWindow::instance();
    if (!w)
        V::raise(PyExc_RuntimeError, std::string("oxHost.") + function +
                                         " needs the viewer window, and there is none: start oxhost with --gui");
    return w;
}

Qt::KeyboardModifiers parseModifiers(const std::string& text)
{
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    const QStringList parts = QString::fromStdString(text).toLower().split('+', Qt::SkipEmptyParts);
    for (const QString& part : parts)
    {
        const QString name = part.trimmed();
        if (name == "shift")
            modifiers |= Qt::ShiftModifier;
        else if (name == "ctrl" || name == "control")
            modifiers |= Qt::ControlModifier;
        else if (name == "alt")
            modifiers |= Qt::AltModifier;
        else if (name == "meta")
            modifiers |= Qt::MetaModifier;
        else
            V::raise(PyExc_ValueError, "unknown modifier \"" + name.toStdString() + "\" in \"" + text +
                                           "\"; the modifiers are shift, ctrl, alt and meta, joined by +");
    }
    return modifiers;
}

Qt::MouseButton parseButton(const bp::object& button)
{
    bp::extract<std::string> name(button);
    const std::string b = name.check() ? name() : std::string();
    if (b == "left")
        return Qt::LeftButton;
    if (b == "middle")
        return Qt::MiddleButton;
    if (b == "right")
        return Qt::RightButton;
    V::raise(PyExc_ValueError, "unknown mouse button; the buttons are \"left\", \"middle\" and \"right\"");
}

bp::tuple viewSize()
{
    const QSize size = window("viewSize")->view()->size();
    return bp::make_tuple(size.width(), size.height());
}

bp::object viewPoint(float x, float y, float z)
{
    oxViewerWindow* w = window("viewPoint");
    QPointF pixel;
    if (!oxViewerCamera::project(osg::Pnt3f(x, y, z), w->view()->size(), pixel))
        return bp::object();
    return bp::make_tuple(pixel.x(), pixel.y());
}

void sendMouse(QWidget* view, QEvent::Type type, const QPointF& at, Qt::MouseButton button,
               Qt::KeyboardModifiers modifiers)
{
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
        s_buttons |= button;
    else if (type == QEvent::MouseButtonRelease)
        s_buttons &= ~Qt::MouseButtons(button);
    QMouseEvent event(type, at, view->mapToGlobal(at.toPoint()), type == QEvent::MouseMove ? Qt::NoButton : button,
                      s_buttons, modifiers);
    QApplication::sendEvent(view, &event);
}

void mouse(const std::string& action, float x, float y, const bp::object& button, const std::string& modifiers)
{
    oxViewerView* view = window("mouse")->view();
    const QPointF at(x, y);
    const Qt::KeyboardModifiers mods = parseModifiers(modifiers);
    if (action == "wheel")
    {
        bp::extract<int> delta(button);
        if (!delta.check())
            V::raise(PyExc_TypeError,
                     "mouse(\"wheel\", x, y, delta): the delta is a whole number of eighths of a degree");
        QWheelEvent event(at, view->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, delta()), s_buttons, mods,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &event);
        return;
    }
    const Qt::MouseButton b = parseButton(button);
    if (action == "press")
        sendMouse(view, QEvent::MouseButtonPress, at, b, mods);
    else if (action == "move")
        sendMouse(view, QEvent::MouseMove, at, b, mods);
    else if (action == "release")
        sendMouse(view, QEvent::MouseButtonRelease, at, b, mods);
    else if (action == "click" || action == "double")
    {
        sendMouse(view, QEvent::MouseButtonPress, at, b, mods);
        sendMouse(view, QEvent::MouseButtonRelease, at, b, mods);
        if (action == "double")
        {
            sendMouse(view, QEvent::MouseButtonDblClick, at, b, mods);
            sendMouse(view, QEvent::MouseButtonRelease, at, b, mods);
        }
    }
    else
        V::raise(PyExc_ValueError, "unknown mouse action \"" + action +
                                       "\"; the actions are press, move, release, click, double and wheel");
}

void key(const std::string& sequence)
{
    oxViewerWindow* w = window("key");
    // Shortcuts go to the active window; a window shown on the offscreen platform is not yet.
    QApplication::setActiveWindow(w);
    const QKeySequence keys(QString::fromStdString(sequence));
    if (keys.isEmpty() || keys[0] == Qt::Key_unknown)
        V::raise(PyExc_ValueError, "cannot read the key sequence \"" + sequence + "\" (for example \"Ctrl+Z\")");
    for (int i = 0; i < keys.count(); ++i)
    {
        const int code = keys[i] & ~int(Qt::KeyboardModifierMask);
        const auto mods = Qt::KeyboardModifiers(keys[i] & int(Qt::KeyboardModifierMask));
        QWidget* target = QApplication::focusWidget();
        if (!target || target->window() != w)
            target = w->view();
        const QString text = mods & ~Qt::ShiftModifier ? QString() : QKeySequence(code).toString().toLower();
        if (qt_sendShortcutOverrideEvent(target, 0, code, mods, text, false, 1))
            continue;
        QKeyEvent press(QEvent::KeyPress, code, mods, text);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, code, mods, text);
        QApplication::sendEvent(target, &release);
    }
}

std::string screenshot(const std::string& path)
{
    oxViewerWindow* w = window("screenshot");
    if (!w->waitForFrame())
        V::raise(PyExc_RuntimeError, "cannot take the screenshot \"" + path + "\": the view did not finish its frame");
    const QImage image = w->grab().toImage();
    QImageWriter writer(QString::fromStdString(path));
    if (!writer.write(image))
        V::raise(PyExc_RuntimeError,
                 "cannot write the screenshot \"" + path + "\": " + writer.errorString().toStdString());
    return path;
}

bp::object toPython(const QVariant& value)
{
    switch (value.type())
    {
    case QVariant::Bool:
        return bp::object(value.toBool());
    case QVariant::Int:
        return bp::object(value.toInt());
    case QVariant::Double:
        return bp::object(value.toDouble());
    case QVariant::List:
    {
        bp::list items;
        for (const QVariant& item : value.toList())
            items.append(toPython(item));
        return bp::tuple(items);
    }
    default:
        return bp::object(value.toString().toStdString());
    }
}

bp::dict panel()
{
    oxViewerWindow* w = window("panel");
    bp::dict d;
    QVariantMap state;
    if (!w->panel() || !QMetaObject::invokeMethod(w->panel(), "state", Q_RETURN_ARG(QVariantMap, state)))
        return d;
    for (auto it = state.constBegin(); it != state.constEnd(); ++it)
        d[it.key().toStdString()] = toPython(it.value());
    return d;
}

void quit()
{
    window("quit");
    s_quit = true;
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

std::string viewUp(const bp::object& axis)
{
    oxViewerWindow* w = window("viewUp");
    if (!axis.is_none())
    {
        bp::extract<std::string> name(axis);
        if (!name.check() || (name() != "z" && name() != "y"))
            V::raise(PyExc_ValueError, "viewUp takes \"z\" or \"y\"");
        oxViewerCamera::setUpAxis(name() == "y" ? oxViewerCamera::YUp : oxViewerCamera::ZUp);
        w->showModel();
    }
    return oxViewerCamera::upAxis() == oxViewerCamera::YUp ? "y" : "z";
}

// Works without a window too, for images: framed for the last render's size.
std::string setView(const std::string& name)
{
    oxViewerCamera::View which;
    if (!oxViewerCamera::viewNamed(name, which))
    {
        std::string names;
        for (const std::string& view : oxViewerCamera::viewNames())
            names += (names.empty() ? "" : ", ") + view;
        V::raise(PyExc_ValueError, "unknown view \"" + name + "\"; the views are " + names);
    }
    oxViewerWindow* w = oxViewerWindow::instance();
    const oxRenderer& r = oxRenderer::the();
    oxViewerCamera::setView(which, w ? w->view()->size() : QSize(r.viewWidth(), r.viewHeight()));
    if (w)
        w->view()->changed(false);
    return name;
}

bp::dict frameInfo()
{
    const oxViewerRenderer* r = window("frameInfo")->view()->renderer();
    bp::dict d;
    d["width"] = r->image().width();
    d["height"] = r->image().height();
    d["downscale"] = r->imageDownscale();
    d["frames"] = r->framesDrawn();
    d["idle"] = r->isIdle();
    d["traceMs"] = r->lastTraceMs();
    d["latencyMs"] = r->lastLatencyMs();
    return d;
}

void define()
{
    using bp::arg;
    bp::def("viewSize", &viewSize, "viewSize()\n\nThe viewer's view: (width, height) in pixels.");
    bp::def("viewPoint", &viewPoint, (arg("x"), arg("y"), arg("z")),
            "viewPoint(x, y, z)\n\nThe view pixel (x, y) of a world point, or None when it is behind the camera.");
    bp::def("mouse", &mouse, (arg("action"), arg("x"), arg("y"), arg("button") = "left", arg("modifiers") = ""),
            "mouse(action, x, y, button=\"left\", modifiers=\"\")\n\nA real mouse event on the view at pixel (x, y): "
            "action \"press\", \"move\", \"release\", \"click\", \"double\" or \"wheel\" (then button is the wheel "
            "delta in eighths of a degree, 120 a notch). modifiers: \"shift\", \"ctrl\", \"alt\", joined by +.");
    bp::def("key", &key, (arg("sequence")),
            "key(sequence)\n\nPresses and releases keys in the main window, shortcuts included: \"Ctrl+Z\", \"F\".");
    bp::def("screenshot", &screenshot, (arg("path")),
            "screenshot(path)\n\nWaits for the view's full frame, then writes the whole window as an image; returns "
            "the path.");
    bp::def("panel", &panel,
            "panel()\n\nThe surface analysis panel's controls by property name (with \"<name>.enabled\" and "
            "\"<name>.visible\").");
    bp::def("quit", &quit, "quit()\n\nCloses the viewer once the script has finished.");
    bp::def("viewUp", &viewUp, (arg("axis") = bp::object()),
            "viewUp(axis=None)\n\nThe viewer's up axis, \"z\" (the default) or \"y\": the turntable turns about it "
            "and the standard views stand on it. Given an axis, sets it and looks at the model anew; returns the "
            "axis.");
    bp::def("setView", &setView, (arg("name")),
            "setView(name)\n\nLooks at the model from a standard direction on the viewer's up axis and frames it: "
            "'iso' (the three-quarter view the viewer opens with), 'top', 'bottom', 'front', 'back', 'left' or "
            "'right'. Works without the viewer window too. An unknown name raises ValueError. Returns the name.");
    bp::def("frameInfo", &frameInfo,
            "frameInfo()\n\nThe view's newest frame: width, height, downscale, frames (drawn so far), idle (the full "
            "frame is shown and nothing waits), traceMs, latencyMs (from the request it answered to its display).");
}
} // namespace

void oxHostViewerScript::install()
{
    oxHostScript::addExtension(&define);
}

void oxHostViewerScript::uninstall()
{
    oxHostScript::removeExtension(&define);
}

bool oxHostViewerScript::quitRequested()
{
    return s_quit;
}
