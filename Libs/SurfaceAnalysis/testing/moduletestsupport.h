#pragma once

// A host for the module in a test process: raytracer utilities with a record, a main render
// widget, and the module constructed once; a test class over it; and what the light tests share.

#include "InteractionManager.h"
#include "OSGTransform3D.h"
#include "oxController.h"
#include "oxLog.h"
#include "oxMessage.h"
#include "oxOSGWidget.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxSurfaceAnalysisModel.h"
#include "oxSurfaceAnalysisModelAccess.h"
#include "oxUndoCommand.h"
#include "oxUndoStack.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <map>
#include <memory>

typedef oxSurfaceAnalysisModelAccess Access;

// Undo stamps come from this clock. By default every edit is 10 s after the one before, so
// nothing merges; a test that wants merging freezes it.
inline quint64& testClock()
{
    static quint64 t = 0;
    return t;
}
inline void useSteppingClock()
{
    oxUndoCommand::setClock([] { return testClock() += 10000; });
}
inline void useFrozenClock()
{
    oxUndoCommand::setClock([] { return testClock(); });
}
typedef osg::SurfaceAnalysisAttachment Record;

inline osg::SurfaceAnalysisAttachmentPtr record()
{
    return Access::attachment();
}

// A record field's value, whatever its type.
inline QVariant fieldValue(osg::UInt32 fieldId)
{
    const osg::SurfaceAnalysisValues values = record()->getValues();
    QVariant out;
    osg::visitSurfaceAnalysisValue(values, fieldId, [&out](const auto& v) { out = QVariant::fromValue(v); });
    return out;
}

// Host state every test starts from: record present, widget present, defaults loaded, empty undo stack.
class ModuleHost
{
public:
    ModuleHost()
    {
        qRegisterMetaType<osg::Vec3f>("osg::Vec3f");
        oxLog::setEcho(false);
        if (!oxRaytracingManager::getRaytracingUtils())
            oxRaytracingManager::createRaytracingUtils();
        widget = std::make_unique<oxOSGWidget>();
        oxOSGWidget::setMGLW(widget.get());
        model = oxSurfaceAnalysisModel::the();
    }
    ~ModuleHost() { oxOSGWidget::setMGLW(nullptr); }

    // Back to a fresh scene: record present, defaults, nothing recorded, counters zero.
    void reset()
    {
        if (!oxRaytracingManager::getRaytracingUtils())
            oxRaytracingManager::createRaytracingUtils();
        if (record() == osg::NullFC)
            oxRaytracingManager::getRaytracingUtils()->replaceAttachment();
        oxOSGWidget::setMGLW(widget.get());
        oxOSGWidget::resetRenderState();
        Access::setDefault();
        oxUndoStack::get(0).clear();
        oxUndoStack::setMergeWindow(500);
        useSteppingClock();
        oxController::resetCounters();
        oxLog::clear();
    }

    std::unique_ptr<oxOSGWidget> widget;
    oxSurfaceAnalysisModel* model = nullptr;
};

inline bool contextAdded(oxk::interaction::AbstractInteractionContext* context)
{
    auto contexts = oxk::interaction::InteractionManager::getInstance()->getContexts();
    return std::find(contexts.begin(), contexts.end(), context) != contexts.end();
}

// A test class over one host: built before the first test, back to a fresh scene before each.
// A test that needs more around the host overrides these slots and calls them.
class ModuleTest : public QObject
{
    Q_OBJECT

protected Q_SLOTS:
    void initTestCase() { host = std::make_unique<ModuleHost>(); }
    void init() { host->reset(); }
    void cleanupTestCase() { host.reset(); }

protected:
    std::unique_ptr<ModuleHost> host;
};

// The light tests: readable vectors in failures, the frame invariant, and the three light
// visuals with everything a switch or a drag of them may change.
namespace QTest
{
template <> inline char* toString(const osg::Vec3f& v)
{
    return qstrdup(QByteArray("(") + QByteArray::number(v[0], 'g', 9) + ", " + QByteArray::number(v[1], 'g', 9) + ", " +
                   QByteArray::number(v[2], 'g', 9) + ")");
}
} // namespace QTest

namespace lighttest
{
const unsigned int Isophotes = 0, Reflection = 1, Curvature = 3; // AnalysisMode
const unsigned int Spherical = 0, Parallel = 1;                  // ReflectionMode

inline bool near(const osg::Vec3f& a, const osg::Vec3f& b, float tolerance = 1e-4f)
{
    return a.equals(b, tolerance);
}

inline QByteArray describe(const osg::Vec3f& actual, const osg::Vec3f& expected)
{
    QScopedArrayPointer<char> a(QTest::toString(actual)), e(QTest::toString(expected));
    return "actual " + QByteArray(a.data()) + ", expected " + QByteArray(e.data());
}

inline osg::Transform3DPtr transformCore(const osg::NodePtr& node)
{
    return osg::Transform3DPtr::dcast(node->getCore());
}

inline osg::Vec3f normalised(osg::Vec3f v)
{
    v.normalize();
    return v;
}

// The axes in the record are always those its Euler angles give, bit for bit.
inline bool framesAgreeWithTheirAngles()
{
    osg::Vec3f u, v, axis, tangent;
    oxSurfaceAnalysisModel::getLightPlaneAxesFromEuler(record()->getLightPlaneEulerRotation(), u, v);
    oxSurfaceAnalysisModel::getLightSphereAxesFromEuler(record()->getLightSphereEulerRotation(), axis, tangent);
    return record()->getLightPlaneAxisU() == u && record()->getLightPlaneAxisV() == v &&
           record()->getLightSphereAxis() == axis && record()->getLightSphereAxisUTangent() == tangent;
}

struct Light
{
    unsigned int analysisMode, reflectionMode; // a mode that shows it
    void (oxSurfaceAnalysisModel::*setVisibility)(bool);
    void (oxSurfaceAnalysisModel::*visibilityChanged)(bool);
    oxk::manipulator::UniversalTransformManipulator2& (*manipulator)();
    oxSurfaceAnalysisManipulatorContext& (*context)();
    bool (*dragging)();
    bool (*visible)();
    void (oxSurfaceAnalysisModel::*liveSignal)(osg::Vec3f); // what a drag step announces
    QString undoText;                                       // of a whole drag
    QList<osg::Vec3f> (*state)();                           // everything a drag writes, angles first
};

inline const std::map<QString, Light>& allLights()
{
    typedef oxSurfaceAnalysisModel M;
    static const std::map<QString, Light> table = {
        {"plane",
         {Reflection, Parallel, &M::setLightPlaneVisibility, &M::lightPlaneVisibilityChanged,
          &Access::lightPlaneManipulator, &Access::lightPlaneContext, &Access::lightPlaneDragging,
          [] { return Access::lightPlane().isVisible(); }, &M::lightPlaneRotationChanged, "manipulatorStop",
          []
          {
              return QList<osg::Vec3f>{record()->getLightPlaneEulerRotation(), record()->getLightPlaneAxisU(),
                                       record()->getLightPlaneAxisV(), record()->getLightPlaneOrigin()};
          }}},
        {"direction",
         {Isophotes, Spherical, &M::setLightDirectionVisibility, &M::lightDirectionVisibilityChanged,
          &Access::lightDirectionManipulator, &Access::lightDirectionContext, &Access::lightDirectionDragging,
          [] { return Access::lightDirectionHandle().isVisible(); }, &M::lightDirectionChanged, "LightDirection",
          [] {
              return QList<osg::Vec3f>{M::the()->getLightDirection(), record()->getLinearLightDirection()};
          }}},
        {"sphere",
         {Reflection, Spherical, &M::setLightSphereVisibility, &M::lightSphereVisibilityChanged,
          &Access::lightSphereManipulator, &Access::lightSphereContext, &Access::lightSphereDragging,
          [] { return Access::lightSphere().isVisible(); }, &M::lightSphereRotationChanged, "LightSphereRotation",
          []
          {
              return QList<osg::Vec3f>{record()->getLightSphereEulerRotation(), record()->getLightSphereAxis(),
                                       record()->getLightSphereAxisUTangent()};
          }}},
    };
    return table;
}

inline const Light& lightNamed(const QString& name)
{
    return allLights().at(name);
}

// A data column "light" with one row per light.
inline void addLightRows()
{
    QTest::addColumn<QString>("light");
    for (const auto& entry : allLights())
        QTest::newRow(qPrintable(entry.first)) << entry.first;
}

inline void enterMode(unsigned int analysisMode, unsigned int reflectionMode, bool active = true)
{
    oxSurfaceAnalysisModel* m = oxSurfaceAnalysisModel::the();
    m->setReflectionMode(reflectionMode);
    m->setAnalysisMode(analysisMode);
    if (active)
        m->setAnalysisActive(true);
}

// The light's mode, shown, the analysis on: its context is added.
inline void arm(const Light& light)
{
    enterMode(light.analysisMode, light.reflectionMode, false);
    (oxSurfaceAnalysisModel::the()->*light.setVisibility)(true);
    oxSurfaceAnalysisModel::the()->setAnalysisActive(true);
}
} // namespace lighttest

#define VERIFY_NEAR(actual, expected)                                                                                  \
    QVERIFY2(lighttest::near(actual, expected), lighttest::describe(actual, expected).constData())
