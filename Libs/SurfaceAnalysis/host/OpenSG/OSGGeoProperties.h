#pragma once

#include "OSGFieldContainer.h"
#include "OSGVector.h"

namespace osg
{
// Primitive kinds of GeoPTypes beyond those in OSGBaseTypes.h.
const UInt8 GL_LINE_LOOP_ = 0x0002;
const UInt8 GL_TRIANGLE_FAN_ = 0x0006;
const UInt8 GL_QUADS_ = 0x0007;
const UInt8 GL_QUAD_STRIP_ = 0x0008;
const UInt8 GL_POLYGON_ = 0x0009;

// One geometry attribute array: a container holding a single multi-value field.
// Desc supplies the value type and the type name, so GeoIndicesUI32 and GeoPLengthsUI32
// stay distinct types although both store UInt32.
template <class Desc> class GeoProperty : public FieldContainer
{
public:
    typedef FieldContainer Inherited;
    typedef typename Desc::StoredType StoredType;
    typedef MField<StoredType> StoredFieldType;
    typedef FCPtr<GeoProperty> PtrType;
    enum
    {
        GeoPropDataFieldId = Inherited::NextFieldId,
        NextFieldId
    };
    static const BitVector GeoPropDataFieldMask = BitVector(1) << GeoPropDataFieldId;

    static PtrType create() { return PtrType(new GeoProperty); }
    const char* getTypeName() const override { return Desc::getTypeName(); }
    Field* getField(UInt32 fieldId) override
    {
        return fieldId == GeoPropDataFieldId ? &_data : Inherited::getField(fieldId);
    }
    const char* getFieldName(UInt32 fieldId) const override
    {
        return fieldId == GeoPropDataFieldId ? "GeoPropData" : Inherited::getFieldName(fieldId);
    }
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    StoredFieldType& getField() { return _data; }
    const StoredFieldType& getField() const { return _data; }
    StoredFieldType* getFieldPtr() { return &_data; }

    UInt32 size() const { return _data.size(); }
    bool empty() const { return _data.empty(); }
    void clear() { _data.clear(); }
    void resize(UInt32 n) { _data.resize(n); }
    void push_back(const StoredType& value) { _data.push_back(value); }
    const StoredType& getValue(UInt32 index) const { return _data[index]; }
    void setValue(const StoredType& value, UInt32 index) { _data[index] = value; }

protected:
    GeoProperty() = default;

private:
    StoredFieldType _data;
};

struct GeoPositions3fDesc
{
    typedef Pnt3f StoredType;
    static const char* getTypeName() { return "GeoPositions3f"; }
};
struct GeoNormals3fDesc
{
    typedef Vec3f StoredType;
    static const char* getTypeName() { return "GeoNormals3f"; }
};
struct GeoIndicesUI32Desc
{
    typedef UInt32 StoredType;
    static const char* getTypeName() { return "GeoIndicesUI32"; }
};
struct GeoPTypesUI8Desc
{
    typedef UInt8 StoredType;
    static const char* getTypeName() { return "GeoPTypesUI8"; }
};
struct GeoPLengthsUI32Desc
{
    typedef UInt32 StoredType;
    static const char* getTypeName() { return "GeoPLengthsUI32"; }
};

typedef GeoProperty<GeoPositions3fDesc> GeoPositions3f;
typedef GeoProperty<GeoNormals3fDesc> GeoNormals3f;
typedef GeoProperty<GeoIndicesUI32Desc> GeoIndicesUI32;
typedef GeoProperty<GeoPTypesUI8Desc> GeoPTypesUI8;
typedef GeoProperty<GeoPLengthsUI32Desc> GeoPLengthsUI32;

typedef FCPtr<GeoPositions3f> GeoPositions3fPtr;
typedef FCPtr<GeoNormals3f> GeoNormals3fPtr;
typedef FCPtr<GeoIndicesUI32> GeoIndicesUI32Ptr;
typedef FCPtr<GeoPTypesUI8> GeoPTypesUI8Ptr;
typedef FCPtr<GeoPLengthsUI32> GeoPLengthsUI32Ptr;
} // namespace osg
