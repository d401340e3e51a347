// Bytes as a project message: keys from the project's own and random ones, values of every
// type a message can hold. After the load the module's invariants must hold.

#include "fuzzinput.h"

#include "moduletestsupport.h"
#include "oxSurfaceAnalysisLightFrame.h"
#include "oxSurfaceAnalysisSettings.h"

#include <QApplication>

#include <cstdlib>
#include <iterator>

namespace
{
// The project's own keys, in the module's table order.
constexpr int KeyCount = int(std::size(oxSurfaceAnalysisProjectKeys));

bool same(float a, float b)
{
    return (a != a && b != b) || a == b;
}

bool same(const osg::Vec3f& a, const osg::Vec3f& b)
{
    return same(a[0], b[0]) && same(a[1], b[1]) && same(a[2], b[2]);
}

boost::any value(FuzzInput& in)
{
    switch (in.byte() % 7)
    {
    case 0:
        return bool(in.byte() & 1);
    case 1:
        return in.raw<unsigned int>();
    case 2:
        return in.real();
    case 3:
    {
        const float x = in.real(), y = in.real(), z = in.real();
        return osg::Vec3f(x, y, z);
    }
    case 4:
        return in.raw<int>();
    case 5:
        return double(in.real());
    default:
        return in.text(16);
    }
}

ModuleHost* host = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication app(*argc, *argv);
    // The module prints every wrong-typed key with a backtrace; the fuzzer makes many of them.
    static ModuleHost moduleHost;
    host = &moduleHost;
    host->reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    oxMessage msg;
    // The first byte decides whether the module starts with the analysis on, so the load has
    // contexts to take away.
    if (in.byte() & 1)
        Access::model()->setAnalysisActive(true);
    for (int i = 0; i < 64 && !in.empty(); ++i)
    {
        const uint8_t k = in.byte();
        const std::string key = k < 4 * KeyCount ? oxSurfaceAnalysisProjectKeys[k % KeyCount].key : in.text(24);
        msg.set(key, value(in), true);
    }
    Access::load(msg);

    osg::SurfaceAnalysisAttachmentPtr r = record();
    fuzzRequire(r != osg::NullFC, "the record outlives a load");
    osg::Vec3f u, v, axis, tangent;
    oxSurfaceAnalysisLightFrame::getLightPlaneAxesFromEuler(r->getLightPlaneEulerRotation(), u, v);
    fuzzRequire(same(u, r->getLightPlaneAxisU()) && same(v, r->getLightPlaneAxisV()),
                "the light plane axes are those of its Euler angles");
    oxSurfaceAnalysisLightFrame::getLightSphereAxesFromEuler(r->getLightSphereEulerRotation(), axis, tangent);
    fuzzRequire(same(axis, r->getLightSphereAxis()) && same(tangent, r->getLightSphereAxisUTangent()),
                "the light sphere axes are those of its Euler angles");
    fuzzRequire(same(r->getLinearLightDirection(),
                     oxSurfaceAnalysisLightFrame::normalized(Access::model()->getLightDirection())),
                "the record's light direction is the normalised own direction");
    fuzzRequire(oxk::interaction::InteractionManager::getInstance()->getContexts().empty(),
                "no context is registered after a load");
    oxUndoStack::get(0).clear();
    oxLog::clear();
    return 0;
}
