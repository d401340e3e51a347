#pragma once

#include "OSGMatrix.h"
#include "OSGNodeCore.h"
#include "OSGQuaternion.h"

namespace osg
{
// Transform core made of translation, rotation and scale (applied scale, rotate, translate).
//
// Euler triples (a, b, c) are in degrees and mean R = Rz(c) * Ry(b) * Rx(a): turn about X
// first, then Y, then Z, about fixed axes. This class is the only place that converts
// between triples and rotations. The triple last given is kept, so getEulerRotation returns
// exactly what setRotationAsEuler was given; a rotation set as a quaternion reports the
// canonical triple a, c in (-180, 180], b in [-90, 90], with c = 0 at gimbal lock.
class Transform3D : public NodeCore
{
public:
    typedef NodeCore Inherited;
    enum
    {
        TranslationFieldId = Inherited::NextFieldId,
        RotationFieldId,
        ScaleFieldId,
        NextFieldId
    };
    static constexpr BitVector TranslationFieldMask = BitVector(1) << TranslationFieldId;
    static constexpr BitVector RotationFieldMask = BitVector(1) << RotationFieldId;
    static constexpr BitVector ScaleFieldMask = BitVector(1) << ScaleFieldId;

    static FCPtr<Transform3D> create();
    const char* getTypeName() const override { return "Transform3D"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    const Vec3f& getTranslation() const { return _translation.getValue(); }
    void setTranslation(const Vec3f& t) { _translation.setValue(t); }
    const Vec3f& getScale() const { return _scale.getValue(); }
    void setScale(const Vec3f& s) { _scale.setValue(s); }

    const Quaternion& getRotation() const { return _rotation.getValue(); }
    void setRotationAsQuaternion(const Quaternion& q);
    void setRotationAsEuler(const Vec3f& eulerDeg);
    Vec3f getEulerRotation() const { return _euler; }

    Matrix getMatrix() const;
    void accumulateMatrix(Matrix& result) const override;

    static Quaternion eulerToQuaternion(const Vec3f& eulerDeg);
    static Vec3f quaternionToEuler(const Quaternion& q);

protected:
    Transform3D();

private:
    SField<Vec3f> _translation;
    SField<Quaternion> _rotation;
    SField<Vec3f> _scale;
    Vec3f _euler;
};

typedef FCPtr<Transform3D> Transform3DPtr;
} // namespace osg
