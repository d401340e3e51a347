#pragma once

// What the light tests share: readable vectors in failures, and the frame invariant.

#include "moduletestsupport.h"

#include "OSGTransform3D.h"

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
    char* a = QTest::toString(actual);
    char* e = QTest::toString(expected);
    QByteArray text("actual ");
    text.append(a).append(", expected ").append(e);
    delete[] a;
    delete[] e;
    return text;
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
} // namespace lighttest

#define VERIFY_NEAR(actual, expected)                                                                                  \
    QVERIFY2(lighttest::near(actual, expected), lighttest::describe(actual, expected).constData())
