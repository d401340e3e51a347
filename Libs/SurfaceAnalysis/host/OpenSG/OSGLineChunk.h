#pragma once

#include "OSGStateChunk.h"

namespace osg
{
// Line rasterisation: width in pixels and antialiasing.
class LineChunk : public StateChunk
{
public:
    typedef StateChunk Inherited;
    enum
    {
        WidthFieldId = Inherited::NextFieldId,
        SmoothFieldId,
        NextFieldId
    };
    static const BitVector WidthFieldMask = BitVector(1) << WidthFieldId;
    static const BitVector SmoothFieldMask = BitVector(1) << SmoothFieldId;

    static FCPtr<LineChunk> create();
    const char* getTypeName() const override { return "LineChunk"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    Real32 getWidth() const { return _width.getValue(); }
    void setWidth(Real32 width) { _width.setValue(width); }
    bool getSmooth() const { return _smooth.getValue(); }
    void setSmooth(bool smooth) { _smooth.setValue(smooth); }

protected:
    LineChunk();

private:
    SField<Real32> _width;
    SField<bool> _smooth;
};

typedef FCPtr<LineChunk> LineChunkPtr;
} // namespace osg
