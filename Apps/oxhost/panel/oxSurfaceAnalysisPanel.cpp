#include "oxSurfaceAnalysisPanel.h"

#include "oxHostAnalysisModel.h"
#include "oxHostAnalysisScript.h"
#include "oxHostScript.h"
#include "oxSurfaceAnalysisModel.h"
#include "oxSurfaceAnalysisPanelWidget.h"
#include "oxUndoStack.h"

#include <QMetaMethod>

namespace
{
oxSurfaceAnalysisPanel* s_panel = nullptr;

// The listening slot for each parameter type of the module's signals.
const char* listenerFor(const QByteArray& type)
{
    if (type == "bool")
        return "heardBool(bool)";
    if (type == "uint")
        return "heardUnsigned(uint)";
    if (type == "float")
        return "heardFloat(float)";
    if (type == "osg::Vec3f")
        return "heardVector(osg::Vec3f)";
    return nullptr;
}
} // namespace

oxSurfaceAnalysisPanel::oxSurfaceAnalysisPanel()
{
    oxSurfaceAnalysisModel* model = oxSurfaceAnalysisModel::the();
    const QMetaObject& mo = oxSurfaceAnalysisModel::staticMetaObject;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
    {
        const QMetaMethod signal = mo.method(i);
        if (signal.methodType() != QMetaMethod::Signal || signal.parameterCount() != 1)
            continue;
        if (const char* slot = listenerFor(signal.parameterTypes().at(0)))
            connect(model, signal, this, metaObject()->method(metaObject()->indexOfSlot(slot)));
    }
    // Whichever way the module's analysis comes on (its own script function, a message), a host
    // analysis that colours goes off; the panel's and oxHost.set's switch have done that already,
    // in the same step.
    connect(model, &oxSurfaceAnalysisModel::analysisActiveChanged, this,
            [](bool on)
            {
                if (on)
                    oxHostAnalysisModel::the()->moduleAnalysisSwitchedOn();
            });
    // A colouring host analysis switched on takes the module's analysis off as a script's
    // enableSurfaceAnalysis(False) does.
    oxHostAnalysisModel::ModuleAnalysis module;
    module.active = [] { return oxSurfaceAnalysisModel::the()->getAnalysisActive(); };
    module.switchOff = [] { oxSurfaceAnalysisModel::python_enableSurfaceAnalysis(false); };
    oxHostAnalysisModel::the()->setModuleAnalysis(module);
}

oxSurfaceAnalysisPanel::~oxSurfaceAnalysisPanel()
{
    oxHostAnalysisModel::the()->setModuleAnalysis({});
}

oxSurfaceAnalysisPanel* oxSurfaceAnalysisPanel::instance()
{
    return s_panel;
}

std::vector<std::pair<std::string, boost::any>> oxSurfaceAnalysisPanel::takeSignals()
{
    std::vector<std::pair<std::string, boost::any>> heard;
    heard.swap(_heard);
    return heard;
}

void oxSurfaceAnalysisPanel::switchModuleAnalysisOn(const std::function<void()>& switchOn)
{
    struct Macro
    {
        Macro() { oxUndoStack::get(0).beginMacro("AnalysisActive"); }
        ~Macro() { oxUndoStack::get(0).endMacro(); }
    } macro;
    oxHostAnalysisModel::the()->moduleAnalysisSwitchedOn();
    switchOn();
}

void oxSurfaceAnalysisPanel::heardBool(bool value)
{
    heard(value);
}

void oxSurfaceAnalysisPanel::heardUnsigned(unsigned int value)
{
    heard(value);
}

void oxSurfaceAnalysisPanel::heardFloat(float value)
{
    heard(value);
}

void oxSurfaceAnalysisPanel::heardVector(osg::Vec3f value)
{
    heard(value);
}

void oxSurfaceAnalysisPanel::heard(const boost::any& value)
{
    const QMetaMethod signal = sender()->metaObject()->method(senderSignalIndex());
    _heard.emplace_back(signal.name().toStdString(), value);
}

void oxhostPanelAttach()
{
    oxHostScript::addExtension(&oxSurfaceAnalysisPanel::defineScriptFunctions);
    // The host's analysis helpers change settings through the module's undoable setters only.
    oxHostAnalysisScript::Setters setters;
    setters.curvatureDrawScale = [](float v) { oxSurfaceAnalysisModel::the()->setCurvatureDrawScale(v); };
    setters.lightPlaneOrigin = [](const osg::Vec3f& v) { oxSurfaceAnalysisModel::the()->setLightPlaneOrigin(v); };
    setters.lightLinesDistance = [](float v) { oxSurfaceAnalysisModel::the()->setLightLinesDistance(v); };
    setters.lightLinesLength = [](float v) { oxSurfaceAnalysisModel::the()->setLightLinesLength(v); };
    setters.curvatureLegend = [](bool v) { oxSurfaceAnalysisModel::the()->setCurvatureLegendOverlayVisibility(v); };
    oxHostAnalysisScript::setSetters(setters);
}

void oxhostPanelCreate()
{
    if (!s_panel)
        s_panel = new oxSurfaceAnalysisPanel;
}

void oxhostPanelDetach()
{
    delete s_panel;
    s_panel = nullptr;
    oxHostScript::removeExtension(&oxSurfaceAnalysisPanel::defineScriptFunctions);
    oxHostAnalysisScript::setSetters({});
}

QWidget* oxhostPanelWidget(QDockWidget* dock)
{
    return new oxSurfaceAnalysisPanelWidget(dock);
}
