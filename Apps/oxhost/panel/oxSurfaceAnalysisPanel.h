#pragma once

#include "oxSurfaceAnalysisMetaTypes.h"

#include <boost/any.hpp>

#include <QObject>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QDockWidget;
class QWidget;

// The reference host's panel for the surface analysis module: what a host's user interface does
// with the module's class interface. It constructs the module, listens to its 33 signals, and
// gives scripts the oxHost functions get, set, properties, signals, contexts, visuals and drag.
// oxhost loads it as a plug-in after the module library; the entry points are below.
class oxSurfaceAnalysisPanel : public QObject
{
    Q_OBJECT

public:
    // Constructs the module (if it is not yet) and listens to every one of its signals.
    oxSurfaceAnalysisPanel();
    ~oxSurfaceAnalysisPanel() override;

    // The panel the host created, or null.
    static oxSurfaceAnalysisPanel* instance();

    // The signals heard since the last call, oldest first: (signal name, value).
    std::vector<std::pair<std::string, boost::any>> takeSignals();

    // Adds get, set, properties, signals, contexts, visuals and drag to oxHost.
    static void defineScriptFunctions();

    // Runs switchOn, the module's analysis switched on, with the host analysis that colours the
    // surface switched off before it, as one undo step: they colour the surface in turn.
    static void switchModuleAnalysisOn(const std::function<void()>& switchOn);

private Q_SLOTS:
    void heardBool(bool value);
    void heardUnsigned(unsigned int value);
    void heardFloat(float value);
    void heardVector(osg::Vec3f value);

private:
    void heard(const boost::any& value);

    std::vector<std::pair<std::string, boost::any>> _heard;
};

// The plug-in entry points, called by oxhost in this order.
extern "C"
{
    // Right after loading, before the interpreter starts: the panel's functions join oxHost.
    void oxhostPanelAttach();
    // Once the interpreter runs: the module is constructed as the host's user interface does.
    void oxhostPanelCreate();
    // Before the host shuts down.
    void oxhostPanelDetach();
    // A host with a window: the panel's widget for the dock, which it shows and hides with the
    // module's interface visibility.
    QWidget* oxhostPanelWidget(QDockWidget* dock);
}
