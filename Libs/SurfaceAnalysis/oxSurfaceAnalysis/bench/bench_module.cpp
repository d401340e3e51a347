// Interactive costs of the module, each against a baseline measured in the same run where one
// is named. Figures, not assertions: BENCHMARKS.md records them.
#include "moduletestsupport.h"

#include "InteractionEvent.h"
#include "OSGTransform3D.h"

#include <QUndoCommand>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <map>
#include <string>

typedef oxSurfaceAnalysisModel M;

namespace
{
ModuleHost* host()
{
    static ModuleHost* h = new ModuleHost;
    return h;
}

void freshScene()
{
    host()->reset();
}

// The least a merging undoable float edit can cost: write one float, call one slot.
class Receiver : public QObject
{
public:
    void apply(float v) { benchmark::DoNotOptimize(last = v); }
    float last = 0;
};

class MinimalFloatEdit : public QUndoCommand
{
public:
    MinimalFloatEdit(float* target, float value, Receiver* receiver)
        : m_target(target), m_value(value), m_receiver(receiver)
    {
    }
    void redo() override { swap(); }
    void undo() override { swap(); }
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override { return other->id() == 1; }

private:
    void swap()
    {
        const float previous = *m_target;
        *m_target = m_value;
        m_receiver->apply(m_value);
        m_value = previous;
    }
    float* m_target;
    float m_value;
    Receiver* m_receiver;
};

void BM_BaselineQUndoStackPush(benchmark::State& state)
{
    QUndoStack stack;
    Receiver receiver;
    float value = 0;
    float v = 0;
    for (auto _ : state)
        stack.push(new MinimalFloatEdit(&value, v += 0.001f, &receiver));
    state.counters["undoEntries"] = stack.count();
}
BENCHMARK(BM_BaselineQUndoStackPush);

void BM_SetStripeThicknessMerging(benchmark::State& state)
{
    freshScene();
    useFrozenClock();
    M* m = host()->model;
    float v = 0;
    for (auto _ : state)
        m->setStripeThickness(v += 0.001f);
    state.counters["undoEntries"] = oxUndoStack::get(0).count();
}
BENCHMARK(BM_SetStripeThicknessMerging);

size_t heapInUse()
{
    return mallinfo2().uordblks;
}

long residentKiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

// A slider dragged for a long time: one undo entry, no growth.
void BM_MillionSliderSteps(benchmark::State& state)
{
    for (auto _ : state)
    {
        freshScene();
        useFrozenClock();
        M* m = host()->model;
        for (int i = 0; i < 1000; ++i)
            m->setStripeThickness(float(i));
        const size_t heapBefore = heapInUse();
        const long rssBefore = residentKiB();
        for (int i = 0; i < 1000000; ++i)
            m->setStripeThickness(float(i) * 1e-6f);
        state.counters["undoEntries"] = oxUndoStack::get(0).count();
        state.counters["heapGrowthBytes"] = double(heapInUse()) - double(heapBefore);
        state.counters["rssGrowthKiB"] = double(residentKiB() - rssBefore);
    }
}
BENCHMARK(BM_MillionSliderSteps)->Iterations(1)->Unit(benchmark::kMillisecond);

// Different setters in turn never merge: what one undo entry costs.
void BM_BytesPerUndoEntry(benchmark::State& state)
{
    for (auto _ : state)
    {
        freshScene();
        useSteppingClock();
        M* m = host()->model;
        const size_t before = heapInUse();
        for (int i = 0; i < 10000; ++i)
        {
            switch (i % 4)
            {
            case 0:
                m->setStripeThickness(float(i));
                break;
            case 1:
                m->setIsoLineCount(unsigned(i % 50));
                break;
            case 2:
                m->setBaseColor(osg::Vec3f(float(i), 0.f, 0.f));
                break;
            default:
                m->setUseBands(i % 8 == 3);
                break;
            }
        }
        const int entries = oxUndoStack::get(0).count();
        state.counters["undoEntries"] = entries;
        state.counters["bytesPerEntry"] = double(heapInUse() - before) / entries;
    }
}
BENCHMARK(BM_BytesPerUndoEntry)->Iterations(1)->Unit(benchmark::kMillisecond);

// One live drag step of a light visual, as the manipulator delivers it.
void dragStep(benchmark::State& state, oxSurfaceAnalysisManipulatorContext& context, const osg::NodePtr& node,
              bool translate)
{
    osg::Transform3DPtr core = osg::Transform3DPtr::dcast(node->getCore());
    const oxk::interaction::InteractionEvent drag("drag");
    float angle = 0;
    context.triggerEvent(nullptr, drag);
    for (auto _ : state)
    {
        angle += 0.01f;
        core->setRotationAsEuler(osg::Vec3f(angle, angle * 0.5f, 0.f));
        if (translate)
            core->setTranslation(osg::Vec3f(angle, 0.f, 0.f));
        context.triggerEvent(nullptr, drag);
    }
    context.triggerEvent(nullptr, oxk::interaction::InteractionEvent("stop"));
}

void BM_DragStepLightPlane(benchmark::State& state)
{
    freshScene();
    M* m = host()->model;
    m->setAnalysisActive(true);
    m->setAnalysisMode(1);
    m->setReflectionMode(1);
    m->setIsoLineCount(100);
    dragStep(state, Access::lightPlaneContext(), Access::lightPlane().getTransformNode(), true);
}
BENCHMARK(BM_DragStepLightPlane);

void BM_DragStepLightDirection(benchmark::State& state)
{
    freshScene();
    M* m = host()->model;
    m->setAnalysisActive(true);
    m->setLightDirectionVisibility(true);
    dragStep(state, Access::lightDirectionContext(), Access::lightDirectionHandle().getTransformNode(), false);
}
BENCHMARK(BM_DragStepLightDirection);

void BM_DragStepLightSphere(benchmark::State& state)
{
    freshScene();
    M* m = host()->model;
    m->setAnalysisActive(true);
    m->setAnalysisMode(1);
    m->setReflectionMode(0);
    m->setIsoLineCount(100);
    dragStep(state, Access::lightSphereContext(), Access::lightSphere().getTransformNode(), false);
}
BENCHMARK(BM_DragStepLightSphere);

void isoLineCount(benchmark::State& state, unsigned int reflectionMode)
{
    freshScene();
    M* m = host()->model;
    m->setAnalysisActive(true);
    m->setAnalysisMode(1);
    m->setReflectionMode(reflectionMode);
    // Alternating between count and count - 1, so that every step really regenerates the lights.
    const unsigned int count = unsigned(state.range(0));
    unsigned int step = 0;
    for (auto _ : state)
    {
        m->setIsoLineCount(count - (step++ & 1));
        state.PauseTiming();
        oxUndoStack::get(0).clear();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}

void BM_IsoLineCountParallelLights(benchmark::State& state)
{
    isoLineCount(state, 1);
}
BENCHMARK(BM_IsoLineCountParallelLights)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(4096)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

void BM_IsoLineCountSphericalLights(benchmark::State& state)
{
    isoLineCount(state, 0);
}
BENCHMARK(BM_IsoLineCountSphericalLights)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(4096)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

void cameraFollowUp(benchmark::State& state, bool moving)
{
    freshScene();
    M* m = host()->model;
    m->setAnalysisActive(true);
    m->setLightDirectionVisibility(true);
    oxMessage msg;
    float z = 100;
    for (auto _ : state)
    {
        if (moving)
            oxOSGWidget::setCamera(osg::Pnt3f(0.f, 0.f, z += 0.01f), 45.f);
        oxController::raiseCB("updateFOV", msg);
    }
}

void BM_UpdateCameraUnchanged(benchmark::State& state)
{
    cameraFollowUp(state, false);
}
BENCHMARK(BM_UpdateCameraUnchanged);

void BM_UpdateCameraMoved(benchmark::State& state)
{
    cameraFollowUp(state, true);
}
BENCHMARK(BM_UpdateCameraMoved);

void BM_LoadEmptyMessageWhileActive(benchmark::State& state)
{
    freshScene();
    M* m = host()->model;
    for (auto _ : state)
    {
        state.PauseTiming();
        m->setAnalysisActive(true);
        state.ResumeTiming();
        oxMessage empty;
        Access::load(empty);
    }
}
BENCHMARK(BM_LoadEmptyMessageWhileActive)->Unit(benchmark::kMicrosecond);

// Remembers each benchmark's CPU time per iteration (the machine may be busy with other work), to print the ratios to
// the baselines.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& t = reporter.times;
    auto ratio = [&t](const char* name, const char* baseline, double target)
    {
        auto a = t.find(name), b = t.find(baseline);
        if (a == t.end() || b == t.end() || b->second <= 0)
            return;
        std::printf("%-40s %6.2f x %s (target at most %.0f x)\n", name, a->second / b->second, baseline, target);
    };
    std::printf("\n");
    ratio("BM_SetStripeThicknessMerging", "BM_BaselineQUndoStackPush", 3);
    benchmark::Shutdown();
    return 0;
}
