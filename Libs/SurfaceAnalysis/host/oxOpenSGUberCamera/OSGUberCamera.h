#pragma once

#include "OSGFieldContainer.h"
#include "OSGVector.h"

namespace osg
{
// The view camera: projection kind, near-plane size and a reference length (the scene size).
class UberCamera : public FieldContainer
{
public:
    typedef FieldContainer Inherited;
    enum
    {
        OrthographicFieldId = Inherited::NextFieldId,
        NearPlaneDiagonalFieldId,
        ReferenceLengthFieldId,
        NextFieldId
    };
    static constexpr BitVector OrthographicFieldMask = BitVector(1) << OrthographicFieldId;
    static constexpr BitVector NearPlaneDiagonalFieldMask = BitVector(1) << NearPlaneDiagonalFieldId;
    static constexpr BitVector ReferenceLengthFieldMask = BitVector(1) << ReferenceLengthFieldId;

    static FCPtr<UberCamera> create();
    const char* getTypeName() const override { return "UberCamera"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    bool isOrthographic() const { return _orthographic.getValue(); }
    void setOrthographic(bool orthographic) { _orthographic.setValue(orthographic); }
    Real32 getNearPlaneDiagonal() const { return _nearPlaneDiagonal.getValue(); }
    void setNearPlaneDiagonal(Real32 diagonal) { _nearPlaneDiagonal.setValue(diagonal); }
    // The camera reference length: the size of the scene the camera frames.
    Real32 getReferenceLength() const { return _referenceLength.getValue(); }
    void setReferenceLength(Real32 length) { _referenceLength.setValue(length); }

protected:
    UberCamera();

private:
    SField<bool> _orthographic;
    SField<Real32> _nearPlaneDiagonal;
    SField<Real32> _referenceLength;
};

typedef FCPtr<UberCamera> UberCameraPtr;
} // namespace osg
