#pragma once

#include "OSGGeoProperties.h"
#include "OSGMaterial.h"
#include "OSGNodeCore.h"

#include <functional>

namespace osg
{
// Drawable core: primitive runs described by types and lengths over an index list into the
// positions (no index list means the positions are used in order).
class Geometry : public NodeCore
{
public:
    typedef NodeCore Inherited;
    enum
    {
        TypesFieldId = Inherited::NextFieldId,
        LengthsFieldId,
        PositionsFieldId,
        NormalsFieldId,
        IndicesFieldId,
        MaterialFieldId,
        NextFieldId
    };
    static const BitVector TypesFieldMask = BitVector(1) << TypesFieldId;
    static const BitVector LengthsFieldMask = BitVector(1) << LengthsFieldId;
    static const BitVector PositionsFieldMask = BitVector(1) << PositionsFieldId;
    static const BitVector NormalsFieldMask = BitVector(1) << NormalsFieldId;
    static const BitVector IndicesFieldMask = BitVector(1) << IndicesFieldId;
    static const BitVector MaterialFieldMask = BitVector(1) << MaterialFieldId;

    static FCPtr<Geometry> create();
    const char* getTypeName() const override { return "Geometry"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    GeoPTypesUI8Ptr getTypes() const { return _types.getValue(); }
    void setTypes(const GeoPTypesUI8Ptr& types) { _types.setValue(types); }
    GeoPLengthsUI32Ptr getLengths() const { return _lengths.getValue(); }
    void setLengths(const GeoPLengthsUI32Ptr& lengths) { _lengths.setValue(lengths); }
    GeoPositions3fPtr getPositions() const { return _positions.getValue(); }
    void setPositions(const GeoPositions3fPtr& positions) { _positions.setValue(positions); }
    GeoNormals3fPtr getNormals() const { return _normals.getValue(); }
    void setNormals(const GeoNormals3fPtr& normals) { _normals.setValue(normals); }
    GeoIndicesUI32Ptr getIndices() const { return _indices.getValue(); }
    void setIndices(const GeoIndicesUI32Ptr& indices) { _indices.setValue(indices); }
    MaterialPtr getMaterial() const { return _material.getValue(); }
    void setMaterial(const MaterialPtr& material) { _material.setValue(material); }

    // Calls fn with the position indices of every triangle of the triangle, strip, fan, quad,
    // quad strip and polygon runs; point and line runs are skipped. Without lengths a single
    // run covers the whole vertex list. Triangles that name a missing position are left out,
    // so a malformed geometry is read safely.
    void forEachTriangle(const std::function<void(UInt32 i0, UInt32 i1, UInt32 i2)>& fn) const;

protected:
    Geometry() = default;

private:
    SField<GeoPTypesUI8Ptr> _types;
    SField<GeoPLengthsUI32Ptr> _lengths;
    SField<GeoPositions3fPtr> _positions;
    SField<GeoNormals3fPtr> _normals;
    SField<GeoIndicesUI32Ptr> _indices;
    SField<MaterialPtr> _material;
};

typedef FCPtr<Geometry> GeometryPtr;
} // namespace osg
