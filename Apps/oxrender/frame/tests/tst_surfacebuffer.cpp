// Frames re-shaded from a kept surface buffer against frames traced afresh: every kind of
// shading, exact and interpolated, one sample and several, pixel for pixel; and when a buffer
// serves a frame and when it is traced again.
#include "oxDeviation.h"
#include "oxFrame.h"
#include "oxRaytracer.h"
#include "oxRenderScene.h"
#include "oxRenderTestSupport.h"
#include "oxSurfaceBuffer.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace
{
// Frames that keep their traced surface in buffer.
oxFrame::Options kept(oxSurfaceBuffer& buffer)
{
    oxFrame::Options options;
    options.buffer = &buffer;
    return options;
}

enum Kind
{
    Plain,
    Isophotes,
    PlaneLines,
    SphereRings,
    Curvature,
    Draft,
    Deviation
};

// An oblique view of the torus that shows its inside and the back of its far side.
oxRenderCamera obliqueView()
{
    oxRenderCamera camera;
    camera.from = osg::Pnt3f(30.f, -45.f, 35.f);
    camera.at = osg::Pnt3f(0.f, 0.f, 0.f);
    camera.up = osg::Vec3f(0.f, 0.f, 1.f);
    camera.fovDegrees = 40.f;
    return camera;
}

// d = 0.05 x at every vertex.
std::shared_ptr<oxDeviationField> slopeField(const oxRenderMesh& mesh)
{
    auto field = std::make_shared<oxDeviationField>();
    field->distance.resize(1);
    field->closest.resize(1);
    for (const osg::Pnt3f& p : mesh.positions)
    {
        field->distance[0].push_back(0.05f * p[0]);
        field->closest[0].push_back(p);
    }
    return field;
}

oxFrame::Request request(Kind kind, int samples, const std::shared_ptr<const oxDeviationField>& field)
{
    oxFrame::Request r;
    r.camera = obliqueView();
    r.width = 96;
    r.height = 72;
    r.samples = samples;
    r.analysis = kind != Plain;
    oxAnalysisSettings& s = r.settings;
    s.ShadingMode = 1;
    s.Isolines = 12;
    s.LineMode = 1;
    s.StripeThickness = 0.4f;
    s.StripeSharpness = 0.7f;
    s.LinearLightDirection = osg::Vec3f(0.3f, -0.5f, 0.8f);
    switch (kind)
    {
    case Plain:
    case Isophotes:
        s.AnalysisMode = 0;
        break;
    case PlaneLines:
    case SphereRings:
        s.AnalysisMode = 1;
        s.ReflectionMode = kind == PlaneLines ? 1 : 0;
        break;
    case Curvature:
        s.AnalysisMode = 3;
        s.CurvatureEvaluationType = 1;
        s.CurvatureDrawScale = 6.f;
        s.CurvatureUseBands = true;
        break;
    case Draft:
        r.hostAnalyses.DraftActive = true;
        r.hostAnalyses.DraftDirection = osg::Vec3f(0.f, 0.f, 1.f);
        r.hostAnalyses.DraftAngle = 10.f;
        break;
    case Deviation:
        r.hostAnalyses.DeviationActive = true;
        r.hostAnalyses.DeviationTolerance = 0.1f;
        r.hostAnalyses.DeviationRange = 0.8f;
        r.deviationTolerance = 0.1f;
        r.deviation = field;
        break;
    }
    return r;
}

struct Torus
{
    Torus()
    {
        loaded = cadSampleLoads(scene, "torus");
        if (loaded)
            field = slopeField(scene.mesh(0));
    }
    oxRenderScene scene;
    std::shared_ptr<oxDeviationField> field;
    bool loaded = false;
};

Torus& torus()
{
    static Torus t;
    return t;
}
} // namespace

Q_DECLARE_METATYPE(Kind)

class tst_SurfaceBuffer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(torus().loaded); }

    void reshadedFrameEqualsTracedFrame_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<int>("samples");
        const std::pair<Kind, const char*> kinds[] = {{Plain, "plain"},
                                                      {Isophotes, "isophotes"},
                                                      {PlaneLines, "plane lines"},
                                                      {SphereRings, "sphere rings"},
                                                      {Curvature, "curvature"},
                                                      {Draft, "draft"},
                                                      {Deviation, "deviation"}};
        for (const auto& [kind, name] : kinds)
            for (bool exact : {true, false})
                for (int samples : {1, 3})
                    QTest::addRow("%s, %s, %d sample(s)", name, exact ? "exact" : "interpolated", samples)
                        << kind << exact << samples;
    }

    // The buffer is traced for a curvature frame, then every other frame re-shades it: the
    // same pixels (boundary lines of the draft included) and the same depth as a fresh trace.
    void reshadedFrameEqualsTracedFrame()
    {
        QFETCH(Kind, kind);
        QFETCH(bool, exact);
        QFETCH(int, samples);
        oxRenderScene& scene = torus().scene;
        scene.setExactShading(exact);
        const oxFrame::Request wanted = request(kind, samples, torus().field);
        std::vector<float> tracedDepth, reshadedDepth;
        const QImage traced = oxFrame::compose(wanted, scene, oxRaytracer(), tracedDepth);
        QVERIFY(std::count_if(tracedDepth.begin(), tracedDepth.end(), [](float z) { return std::isfinite(z); }) > 1000);

        oxSurfaceBuffer buffer;
        oxFrame::Request primer = request(Curvature, samples, nullptr);
        primer.settings.CurvatureEvaluationType = 0;
        const oxRaytracer tracer;
        oxFrame::compose(primer, scene, tracer, reshadedDepth, kept(buffer));
        QCOMPARE(buffer.traces(), size_t(1));
        const QImage reshaded = oxFrame::compose(wanted, scene, tracer, reshadedDepth, kept(buffer));
        QCOMPARE(buffer.traces(), size_t(1));
        QCOMPARE(reshaded, traced);
        QVERIFY(reshadedDepth == tracedDepth);
        scene.setExactShading(true);
    }

    void halfFrameThenWholeEqualsTracedFrame_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("exact");
        for (const auto& [kind, name] : {std::pair(Isophotes, "isophotes"), std::pair(Curvature, "curvature"),
                                         std::pair(Draft, "draft"), std::pair(Deviation, "deviation")})
            for (bool exact : {true, false})
                QTest::addRow("%s, %s", name, exact ? "exact" : "interpolated") << kind << exact;
    }

    // The half frame shows the surface at the even pixels of the whole frame's trace; the whole frame then adds
    // the other three quarters to the buffer and equals a fresh trace, in one trace.
    void halfFrameThenWholeEqualsTracedFrame()
    {
        QFETCH(Kind, kind);
        QFETCH(bool, exact);
        oxRenderScene& scene = torus().scene;
        scene.setExactShading(exact);
        oxFrame::Request r = request(kind, 1, torus().field);
        r.width = 97; // an odd column and row: traced with the rest
        r.height = 73;
        std::vector<float> depth, tracedDepth;
        const QImage traced = oxFrame::compose(r, scene, oxRaytracer(), tracedDepth);

        const oxRaytracer tracer;
        oxSurfaceBuffer buffer;
        const std::unique_ptr<oxColouring> colouring = oxFrame::colouring(r, scene);
        oxSurfaceBuffer::Key key = oxFrame::surfaceKey(r);
        const QImage half =
            tracer.render(scene, key, *colouring, buffer, &depth, nullptr, nullptr, oxRaytracer::Part::EvenPixels);
        const QImage plain = oxRaytracer().render(scene, r.camera, *colouring, r.width, r.height);
        QCOMPARE(half.size(), QSize(48, 36));
        QCOMPARE(depth.size(), size_t(48 * 36));
        int hits = 0;
        for (int y = 0; y < half.height(); ++y)
            for (int x = 0; x < half.width(); ++x)
                if (std::isfinite(depth[size_t(y * half.width() + x)]) && ++hits)
                    QCOMPARE(half.pixel(x, y), plain.pixel(2 * x, 2 * y)); // the background is the half frame's
        QVERIFY(hits > 200);

        r.downscale = 2;
        oxFrame::Options evenPixels = kept(buffer);
        evenPixels.evenPixels = true;
        oxFrame::compose(r, scene, tracer, depth, evenPixels);
        r.downscale = 1;
        QCOMPARE(oxFrame::compose(r, scene, tracer, depth, kept(buffer)), traced);
        QVERIFY(depth == tracedDepth);
        QCOMPARE(buffer.traces(), size_t(1));
        scene.setExactShading(true);
    }

    void bufferIsTracedAgainOnlyForAnotherView_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("traced");
        for (const char* change : {"camera", "size", "samples", "scene", "exact"})
            QTest::newRow(change) << QString(change) << true;
        QTest::newRow("curvature, not kept") << "curvature" << true;
        QTest::newRow("settings") << "settings" << false;
        QTest::newRow("no curvature, kept") << "no curvature" << false;
    }

    void bufferIsTracedAgainOnlyForAnotherView()
    {
        QFETCH(QString, change);
        QFETCH(bool, traced);
        oxRenderScene& scene = torus().scene;
        const oxRaytracer tracer;
        oxSurfaceBuffer buffer;
        std::vector<float> depth;
        oxFrame::Request first = request(change == "no curvature" ? Curvature : Isophotes, 1, nullptr);
        oxFrame::compose(first, scene, tracer, depth, kept(buffer));
        oxFrame::Request next = request(change == "curvature" ? Curvature : PlaneLines, 1, nullptr);
        if (change == "camera")
            next.camera.from = osg::Pnt3f(31.f, -45.f, 35.f);
        else if (change == "size")
            next.width += 1;
        else if (change == "samples")
            next.samples = 2;
        else if (change == "scene")
            next.sceneVersion = 1;
        else if (change == "exact")
            scene.setExactShading(false);
        oxFrame::compose(next, scene, tracer, depth, kept(buffer));
        scene.setExactShading(true);
        QCOMPARE(buffer.traces(), size_t(traced ? 2 : 1));
    }

    // A trace cancelled before its tiles are done gives no frame and leaves nothing to re-shade.
    void cancelledTraceIsNotKept()
    {
        oxRenderScene& scene = torus().scene;
        const oxRaytracer tracer;
        oxSurfaceBuffer buffer;
        std::vector<float> depth;
        const std::atomic<bool> cancel{true};
        const oxFrame::Request r = request(Isophotes, 1, nullptr);
        oxFrame::Options cancelled = kept(buffer);
        cancelled.cancel = &cancel;
        QVERIFY(oxFrame::compose(r, scene, tracer, depth, cancelled).isNull());
        QVERIFY(!buffer.serves(buffer.key()));
        QVERIFY(!oxFrame::compose(r, scene, tracer, depth, kept(buffer)).isNull());
        QVERIFY(buffer.serves(buffer.key()));
        QCOMPARE(buffer.traces(), size_t(2));
    }
};

QTEST_GUILESS_MAIN(tst_SurfaceBuffer)
#include "tst_surfacebuffer.moc"
