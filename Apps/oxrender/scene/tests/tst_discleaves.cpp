// A cloud's discs as eight-disc leaves, traced through Embree one ray at a time and in packets of
// eight: each ray gets the nearest disc it meets, and a packet's invalid lanes are left alone.
#include "oxDiscLeaves.h"

#include <embree3/rtcore.h>

#include <QtTest>

#include <limits>
#include <memory>
#include <vector>

namespace
{
using Floats = std::vector<float>;

struct Ray
{
    float o[3], d[3];
};

class Cloud
{
public:
    // discs: x, y, z, radius per disc; normals: three floats per disc. Leaves of discs far off in y
    // come first, so that Embree's tree has boxes to test before a leaf is reached; disc numbers
    // below are the caller's.
    Cloud(const Floats& discs, const Floats& normals)
    {
        for (int p = 0; p < Far; ++p)
        {
            _discs.insert(_discs.end(), {3.f * float(p % 8), 1000.f + 100.f * float(p / 8), 0.f, 1.f});
            _normals.insert(_normals.end(), {0.f, 0.f, 1.f});
        }
        _discs.insert(_discs.end(), discs.begin(), discs.end());
        _normals.insert(_normals.end(), normals.begin(), normals.end());
        _device = rtcNewDevice(nullptr);
        _scene = rtcNewScene(_device);
        RTCGeometry geometry = oxDiscLeaves::make(_device, _discs.data(), _normals.data(), _discs.size() / 4, _owner);
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(_scene, geometry);
        rtcReleaseGeometry(geometry);
        rtcCommitScene(_scene);
    }
    ~Cloud()
    {
        rtcReleaseScene(_scene);
        rtcReleaseDevice(_device);
    }
    Cloud(const Cloud&) = delete;
    Cloud& operator=(const Cloud&) = delete;

    // The disc the ray hits, or -1, and at what distance.
    int trace1(const Ray& r, float& t) const
    {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit rh{};
        rh.ray.org_x = r.o[0], rh.ray.org_y = r.o[1], rh.ray.org_z = r.o[2];
        rh.ray.dir_x = r.d[0], rh.ray.dir_y = r.d[1], rh.ray.dir_z = r.d[2];
        rh.ray.tfar = std::numeric_limits<float>::infinity();
        rh.ray.mask = ~0u;
        rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(_scene, &context, &rh);
        t = rh.ray.tfar;
        return rh.hit.geomID == RTC_INVALID_GEOMETRY_ID ? -1 : int(rh.hit.primID) - Far;
    }

    // The same ray in the lanes of a packet that valid marks; the others carry it too but must
    // come back untouched (-2).
    void trace8(const Ray& r, const int (&valid)[8], int (&prim)[8], float (&t)[8]) const
    {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
        alignas(32) RTCRayHit8 packet{};
        alignas(32) int lanes[8];
        for (int k = 0; k < 8; ++k)
        {
            lanes[k] = valid[k] ? -1 : 0;
            packet.ray.org_x[k] = r.o[0], packet.ray.org_y[k] = r.o[1], packet.ray.org_z[k] = r.o[2];
            packet.ray.dir_x[k] = r.d[0], packet.ray.dir_y[k] = r.d[1], packet.ray.dir_z[k] = r.d[2];
            packet.ray.tfar[k] = std::numeric_limits<float>::infinity();
            packet.ray.mask[k] = ~0u;
            packet.hit.geomID[k] = RTC_INVALID_GEOMETRY_ID;
            packet.hit.primID[k] = 12345u;
        }
        rtcIntersect8(lanes, _scene, &context, &packet);
        for (int k = 0; k < 8; ++k)
        {
            t[k] = packet.ray.tfar[k];
            const bool untouched =
                packet.hit.geomID[k] == RTC_INVALID_GEOMETRY_ID && packet.hit.primID[k] == 12345u && std::isinf(t[k]);
            prim[k] = untouched ? (valid[k] ? -1 : -2) : int(packet.hit.primID[k]) - Far;
        }
    }

private:
    static constexpr int Far = 8 * 32;
    Floats _discs, _normals;
    std::shared_ptr<const void> _owner;
    RTCDevice _device = nullptr;
    RTCScene _scene = nullptr;
};

// n flat discs of radius 1 along the x axis, 3 apart, facing up.
void row(int n, Floats& discs, Floats& normals)
{
    for (int p = 0; p < n; ++p)
    {
        discs.insert(discs.end(), {3.f * float(p), 0.f, 0.f, 1.f});
        normals.insert(normals.end(), {0.f, 0.f, 1.f});
    }
}

// A ray down the z axis through (x, y) from z = 10.
Ray down(float x, float y)
{
    return {{x, y, 10.f}, {0.f, 0.f, -1.f}};
}
} // namespace

Q_DECLARE_METATYPE(Floats)
Q_DECLARE_METATYPE(Ray)

class tst_DiscLeaves : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rayGetsNearestDisc_data();
    void rayGetsNearestDisc();
};

void tst_DiscLeaves::rayGetsNearestDisc_data()
{
    QTest::addColumn<Floats>("discs");
    QTest::addColumn<Floats>("normals");
    QTest::addColumn<Ray>("ray");
    QTest::addColumn<int>("disc"); // -1: none
    QTest::addColumn<float>("t");

    Floats discs, normals;
    row(2, discs, normals);
    QTest::newRow("centre of the first") << discs << normals << down(0.f, 0.f) << 0 << 10.f;
    QTest::newRow("just inside the second's rim") << discs << normals << down(3.f, 0.99f) << 1 << 10.f;
    QTest::newRow("just outside the first's rim") << discs << normals << down(1.01f, 0.f) << -1 << 0.f;
    QTest::newRow("between two discs of a leaf") << discs << normals << down(1.5f, 0.f) << -1 << 0.f;
    QTest::newRow("edge on") << discs << normals << Ray{{-5.f, 0.f, 0.f}, {1.f, 0.f, 0.f}} << -1 << 0.f;
    QTest::newRow("behind the origin") << discs << normals << Ray{{0.f, 0.f, -1.f}, {0.f, 0.f, -1.f}} << -1 << 0.f;

    // Two stacked discs in one leaf: the nearer wins wherever it is stored.
    const Floats stacked = {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 2.f, 1.f};
    const Floats up = {0.f, 0.f, 1.f, 0.f, 0.f, 1.f};
    QTest::newRow("nearer disc stored second") << stacked << up << down(0.5f, 0.f) << 1 << 8.f;
    QTest::newRow("nearer disc stored first") << stacked << up << Ray{{0.5f, 0.f, -10.f}, {0.f, 0.f, 1.f}} << 0 << 10.f;

    // Nine discs: the second leaf has one disc and seven spare places, none of which is hit.
    discs.clear(), normals.clear();
    row(9, discs, normals);
    QTest::newRow("the last leaf's one disc") << discs << normals << down(24.f, 0.f) << 8 << 10.f;

    // A disc tilted about y: it reaches 0.8 along x and 0.6 along z from its centre, and the
    // leaf's box must hold both rims.
    const Floats tilted = {0.f, 0.f, 0.f, 1.f};
    const Floats leaning = {0.6f, 0.f, 0.8f};
    QTest::newRow("tilted disc near its rim along x")
        << tilted << leaning << down(0.79f, 0.f) << 0 << 10.f + 0.6f * 0.79f / 0.8f;
    QTest::newRow("tilted disc near its rim along z")
        << tilted << leaning << Ray{{-10.f, 0.f, 0.59f}, {1.f, 0.f, 0.f}} << 0 << 10.f - 0.8f * 0.59f / 0.6f;
}

void tst_DiscLeaves::rayGetsNearestDisc()
{
    QFETCH(Floats, discs);
    QFETCH(Floats, normals);
    QFETCH(Ray, ray);
    QFETCH(int, disc);
    QFETCH(float, t);
    const Cloud cloud(discs, normals);
    float single = 0.f;
    QCOMPARE(cloud.trace1(ray, single), disc);
    if (disc >= 0)
        QVERIFY2(qAbs(single - t) < 1e-4f, qPrintable(QString("t %1, not %2").arg(double(single)).arg(double(t))));
    // Packets of all lanes, of some, and of one.
    for (const auto& valid : {std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1}, std::vector<int>{0, 1, 0, 0, 1, 1, 0, 0},
                              std::vector<int>{0, 0, 0, 0, 0, 0, 0, 1}})
    {
        int lanes[8], prim[8];
        float tk[8];
        std::copy(valid.begin(), valid.end(), lanes);
        cloud.trace8(ray, lanes, prim, tk);
        for (int k = 0; k < 8; ++k)
        {
            QCOMPARE(prim[k], lanes[k] ? disc : -2);
            if (lanes[k] && disc >= 0)
                QCOMPARE(tk[k], single);
        }
    }
}

QTEST_GUILESS_MAIN(tst_DiscLeaves)
#include "tst_discleaves.moc"
