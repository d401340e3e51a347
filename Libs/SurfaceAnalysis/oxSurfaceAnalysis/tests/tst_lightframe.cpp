#include "OSGTransform3D.h"
#include "oxSurfaceAnalysisLightFrame.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(osg::Vec3f)
Q_DECLARE_METATYPE(osg::Quaternion)

using namespace osg;
using namespace oxSurfaceAnalysisLightFrame;

namespace
{
const float H = std::sqrt(0.5f);
const float NaN = std::numeric_limits<float>::quiet_NaN();

bool isFinite(const Quaternion& q)
{
    return std::isfinite(q.x()) && std::isfinite(q.y()) && std::isfinite(q.z()) && std::isfinite(q.w());
}
} // namespace

class tst_LightFrame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void orientationFromAxis_data();
    void orientationFromAxis();
    void orientationTurnsFromOntoTo_data();
    void orientationTurnsFromOntoTo();
    void nearlyParallelVectorsStayDefined();
    void planeAndSphereAxes_data();
    void planeAndSphereAxes();
    void handleRotation_data();
    void handleRotation();
};

void tst_LightFrame::orientationFromAxis_data()
{
    QTest::addColumn<Vec3f>("from");
    QTest::addColumn<Vec3f>("to");
    QTest::addColumn<Quaternion>("expected");
    QTest::addColumn<Vec3f>("euler");

    const Quaternion identity;
    QTest::newRow("quarter turn about +Z")
        << Vec3f(1, 0, 0) << Vec3f(0, 1, 0) << Quaternion(0, 0, H, H) << Vec3f(0, 0, 90);
    QTest::newRow("non-unit inputs") << Vec3f(5, 0, 0) << Vec3f(0, 0.1f, 0) << Quaternion(0, 0, H, H)
                                     << Vec3f(0, 0, 90);
    QTest::newRow("opposite vectors") << Vec3f(1, 0, 0) << Vec3f(-1, 0, 0) << identity << Vec3f();
    QTest::newRow("equal vectors") << Vec3f(0.3f, -0.4f, 2) << Vec3f(0.3f, -0.4f, 2) << identity << Vec3f();
    QTest::newRow("zero from") << Vec3f() << Vec3f(0, 1, 0) << identity << Vec3f();
    QTest::newRow("zero to") << Vec3f(0, 1, 0) << Vec3f() << identity << Vec3f();
    QTest::newRow("NaN input") << Vec3f(NaN, 0, 0) << Vec3f(0, 1, 0) << identity << Vec3f();
}

void tst_LightFrame::orientationFromAxis()
{
    QFETCH(Vec3f, from);
    QFETCH(Vec3f, to);
    QFETCH(Quaternion, expected);
    QFETCH(Vec3f, euler);

    Vec3f out(7, 7, 7);
    const Quaternion q = getOrientationFromAxis(from, to, out);
    QVERIFY2(q.equals(expected, 1e-5f),
             qPrintable(QString("q = %1 %2 %3 %4").arg(q.x()).arg(q.y()).arg(q.z()).arg(q.w())));
    QVERIFY(out.equals(euler, 1e-4f));
}

void tst_LightFrame::orientationTurnsFromOntoTo_data()
{
    QTest::addColumn<Vec3f>("from");
    QTest::addColumn<Vec3f>("to");

    QTest::newRow("X to oblique") << Vec3f(1, 0, 0) << Vec3f(0.3f, -0.5f, 0.8f);
    QTest::newRow("Z to -Y") << Vec3f(0, 0, 1) << Vec3f(0, -1, 0);
    QTest::newRow("long to short") << Vec3f(0, 0, 40) << Vec3f(-0.01f, 0.02f, 0.003f);
    QTest::newRow("almost opposite") << Vec3f(1, 0, 0) << Vec3f(-1, 0.01f, 0);
}

// The Euler output is the same rotation as the quaternion, read back through Transform3D.
void tst_LightFrame::orientationTurnsFromOntoTo()
{
    QFETCH(Vec3f, from);
    QFETCH(Vec3f, to);

    Vec3f euler;
    const Quaternion q = getOrientationFromAxis(from, to, euler);
    QVERIFY(std::fabs(q.length() - 1.f) < 1e-5f);
    QVERIFY(q.rotate(normalized(from)).equals(normalized(to), 1e-4f));

    Transform3DPtr t = Transform3D::create();
    t->setRotationAsEuler(euler);
    QVERIFY(t->getRotation().rotate(normalized(from)).equals(normalized(to), 1e-4f));
}

// Rounding pushes the dot product of nearly parallel or opposite unit vectors past ±1; the
// result must stay the rotation that turns one onto the other (or the identity when the cross
// product is too short to name an axis).
void tst_LightFrame::nearlyParallelVectorsStayDefined()
{
    const Vec3f bases[] = {Vec3f(1, 1, 1), Vec3f(0.3f, 0.7f, -0.2f), Vec3f(-5, 2, 9), Vec3f(1, 0, 0)};
    int pastOne = 0;
    for (float sign : {1.f, -1.f})
        for (const Vec3f& base : bases)
            for (int k = 1; k <= 200; ++k)
            {
                const Vec3f a = normalized(base);
                const Vec3f b = normalized(base * sign + Vec3f(2e-7f * k, -1e-7f * k, 3e-7f * (k % 7)));
                pastOne += std::fabs(a.dot(b)) > 1.f;
                Vec3f euler;
                const Quaternion q = getOrientationFromAxis(a, b, euler);
                QVERIFY(isFinite(q));
                QVERIFY(std::isfinite(euler[0]) && std::isfinite(euler[1]) && std::isfinite(euler[2]));
                // Near the 1e-6 threshold either answer is right, and so short a cross product
                // names its axis only roughly.
                const float crossLength = a.cross(b).length();
                if (crossLength > 2e-6f)
                    QVERIFY(q.rotate(a).dot(b) > 0.99f);
                else if (crossLength < 5e-7f)
                    QCOMPARE(q, Quaternion());
            }
    QVERIFY2(pastOne > 0, "the sample reaches a dot product beyond ±1");
}

void tst_LightFrame::planeAndSphereAxes_data()
{
    QTest::addColumn<Vec3f>("euler");
    QTest::addColumn<Vec3f>("u");
    QTest::addColumn<Vec3f>("v");
    QTest::addColumn<Vec3f>("axis");
    QTest::addColumn<Vec3f>("tangent");

    QTest::newRow("identity") << Vec3f() << Vec3f(1, 0, 0) << Vec3f(0, 1, 0) << Vec3f(1, 0, 0) << Vec3f(0, 0, 1);
    QTest::newRow("quarter turn about Z")
        << Vec3f(0, 0, 90) << Vec3f(0, 1, 0) << Vec3f(-1, 0, 0) << Vec3f(0, 1, 0) << Vec3f(0, 0, 1);
    QTest::newRow("quarter turn about Y")
        << Vec3f(0, 90, 0) << Vec3f(0, 0, -1) << Vec3f(0, 1, 0) << Vec3f(0, 0, -1) << Vec3f(1, 0, 0);
    QTest::newRow("quarter turn about X")
        << Vec3f(90, 0, 0) << Vec3f(1, 0, 0) << Vec3f(0, 0, 1) << Vec3f(1, 0, 0) << Vec3f(0, -1, 0);
    QTest::newRow("full turn") << Vec3f(360, 0, 0) << Vec3f(1, 0, 0) << Vec3f(0, 1, 0) << Vec3f(1, 0, 0)
                               << Vec3f(0, 0, 1);
    // The sphere rule reads the quaternion, the plane rule the matrix; both must describe the
    // frame of the matrix Transform3D makes of the angles.
    for (const Vec3f& euler : {Vec3f(10, 20, 30), Vec3f(-75, 40, 160), Vec3f(200, -89, 5)})
    {
        Transform3DPtr t = Transform3D::create();
        t->setRotationAsEuler(euler);
        const Matrix m = t->getMatrix();
        QTest::addRow("oblique %g %g %g", euler[0], euler[1], euler[2])
            << euler << m.getColumn3(0) << m.getColumn3(1) << m.getColumn3(0) << m.getColumn3(2);
    }
}

void tst_LightFrame::planeAndSphereAxes()
{
    QFETCH(Vec3f, euler);
    QFETCH(Vec3f, u);
    QFETCH(Vec3f, v);
    QFETCH(Vec3f, axis);
    QFETCH(Vec3f, tangent);

    Vec3f outU, outV, outAxis, outTangent;
    getLightPlaneAxesFromEuler(euler, outU, outV);
    getLightSphereAxesFromEuler(euler, outAxis, outTangent);
    QVERIFY(outU.equals(u, 1e-5f));
    QVERIFY(outV.equals(v, 1e-5f));
    QVERIFY(outAxis.equals(axis, 1e-5f));
    QVERIFY(outTangent.equals(tangent, 1e-5f));
}

void tst_LightFrame::handleRotation_data()
{
    QTest::addColumn<Vec3f>("direction");
    QTest::addColumn<Quaternion>("expected");

    QTest::newRow("-X leaves the double arrow as it is") << Vec3f(-1, 0, 0) << Quaternion();
    QTest::newRow("+X") << Vec3f(1, 0, 0) << Quaternion();
    QTest::newRow("+Y: quarter turn about +Z") << Vec3f(0, 1, 0) << Quaternion(0, 0, H, H);
    QTest::newRow("+Z: quarter turn about -Y") << Vec3f(0, 0, 1) << Quaternion(0, -H, 0, H);
    QTest::newRow("oblique") << Vec3f(0.48f, -0.6f, 0.64f) << Quaternion(0, -0.371992f, -0.348743f, 0.860233f);
    QTest::newRow("non-unit: turned by acos of x") << Vec3f(0, 2, 0) << Quaternion(0, 0, H, H);
    QTest::newRow("x beyond 1") << Vec3f(2, 0, 0) << Quaternion();
    QTest::newRow("NaN") << Vec3f(NaN, 1, 0) << Quaternion();
}

void tst_LightFrame::handleRotation()
{
    QFETCH(Vec3f, direction);
    QFETCH(Quaternion, expected);

    const Quaternion q = directionToHandleRotation(direction);
    QVERIFY(q.equals(expected, 1e-5f));
    // The drag reads the direction back from the rotation; along -X it reads +X, the same line.
    const Vec3f unit = normalized(direction);
    if (std::isfinite(unit[0]) && unit[0] > -1.f)
        QVERIFY(handleRotationToDirection(q).equals(unit, 1e-5f));
}

QTEST_APPLESS_MAIN(tst_LightFrame)
#include "tst_lightframe.moc"
