#include "OSGGeometry.h"

#include <algorithm>

namespace osg
{
FCPtr<Geometry> Geometry::create()
{
    return FCPtr<Geometry>(new Geometry);
}

Field* Geometry::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case TypesFieldId:
        return &_types;
    case LengthsFieldId:
        return &_lengths;
    case PositionsFieldId:
        return &_positions;
    case NormalsFieldId:
        return &_normals;
    case IndicesFieldId:
        return &_indices;
    case MaterialFieldId:
        return &_material;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* Geometry::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case TypesFieldId:
        return "types";
    case LengthsFieldId:
        return "lengths";
    case PositionsFieldId:
        return "positions";
    case NormalsFieldId:
        return "normals";
    case IndicesFieldId:
        return "indices";
    case MaterialFieldId:
        return "material";
    default:
        return Inherited::getFieldName(fieldId);
    }
}

void Geometry::forEachTriangle(const std::function<void(UInt32, UInt32, UInt32)>& fn) const
{
    const GeoPTypesUI8Ptr types = getTypes();
    const GeoPositions3fPtr positions = getPositions();
    if (types == NullFC || positions == NullFC || !fn)
        return;
    const GeoPLengthsUI32Ptr lengths = getLengths();
    const GeoIndicesUI32Ptr indices = getIndices();
    const UInt64 vertexCount = indices != NullFC ? indices->size() : positions->size();
    const UInt32 positionCount = positions->size();

    UInt64 start = 0;
    auto vertex = [&](UInt64 k) -> UInt64 { return indices != NullFC ? indices->getValue(UInt32(k)) : k; };
    auto emit = [&](UInt64 a, UInt64 b, UInt64 c)
    {
        const UInt64 i0 = vertex(start + a), i1 = vertex(start + b), i2 = vertex(start + c);
        if (i0 < positionCount && i1 < positionCount && i2 < positionCount)
            fn(UInt32(i0), UInt32(i1), UInt32(i2));
    };

    for (UInt32 run = 0; run < types->size() && start < vertexCount; ++run)
    {
        UInt64 n = vertexCount - start;
        if (lengths != NullFC && run < lengths->size())
            n = std::min<UInt64>(lengths->getValue(run), n);
        else if (lengths != NullFC && !lengths->empty())
            break; // more types than lengths: the rest has no extent
        switch (types->getValue(run))
        {
        case GL_TRIANGLES_:
            for (UInt64 j = 0; j + 2 < n; j += 3)
                emit(j, j + 1, j + 2);
            break;
        case GL_TRIANGLE_STRIP_:
            // Every other triangle swaps its first two corners to keep the winding.
            for (UInt64 j = 0; j + 2 < n; ++j)
                if (j % 2 == 0)
                    emit(j, j + 1, j + 2);
                else
                    emit(j + 1, j, j + 2);
            break;
        case GL_TRIANGLE_FAN_:
        case GL_POLYGON_:
            for (UInt64 j = 1; j + 1 < n; ++j)
                emit(0, j, j + 1);
            break;
        case GL_QUADS_:
            for (UInt64 j = 0; j + 3 < n; j += 4)
            {
                emit(j, j + 1, j + 2);
                emit(j, j + 2, j + 3);
            }
            break;
        case GL_QUAD_STRIP_:
            // Quad k has the corners 2k, 2k+1, 2k+3, 2k+2 in drawing order.
            for (UInt64 j = 0; j + 3 < n; j += 2)
            {
                emit(j, j + 1, j + 3);
                emit(j, j + 3, j + 2);
            }
            break;
        default:
            break; // points and lines have no triangles
        }
        start += n;
    }
}
} // namespace osg
