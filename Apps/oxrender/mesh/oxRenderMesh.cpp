#include "oxRenderMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace
{
bool finite(const osg::Pnt3f& p)
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

struct PositionKey
{
    float x, y, z;
    bool operator==(const PositionKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct PositionHash
{
    size_t operator()(const PositionKey& k) const
    {
        osg::UInt32 b[3];
        std::memcpy(b, &k, sizeof b);
        return (size_t(b[0]) * 73856093u) ^ (size_t(b[1]) * 19349663u) ^ (size_t(b[2]) * 83492791u);
    }
};

float cornerAngle(const osg::Vec3f& a, const osg::Vec3f& b)
{
    const float la = a.length(), lb = b.length();
    if (la <= 0.f || lb <= 0.f)
        return 0.f;
    const float c = std::clamp(a.dot(b) / (la * lb), -1.f, 1.f);
    return std::acos(c);
}

// Welds equal positions, so that per-face vertices of STL-like files become one vertex: the
// distinct positions, and the triangles' corners as indices into them.
void weld(const std::vector<osg::Pnt3f>& positions, const std::vector<osg::UInt32>& indices,
          std::vector<osg::Pnt3f>& welded, std::vector<osg::UInt32>& tri)
{
    std::vector<osg::UInt32> remap(positions.size());
    std::unordered_map<PositionKey, osg::UInt32, PositionHash> seen;
    seen.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
    {
        const PositionKey key{positions[i][0], positions[i][1], positions[i][2]};
        auto it = seen.emplace(key, osg::UInt32(welded.size()));
        if (it.second)
            welded.push_back(positions[i]);
        remap[i] = it.first->second;
    }
    const size_t corners = indices.size() - indices.size() % 3;
    tri.resize(corners);
    for (size_t i = 0; i < corners; ++i)
        tri[i] = remap[indices[i]];
}

// Unit face normals; 0 for degenerate faces.
std::vector<osg::Vec3f> faceNormals(const std::vector<osg::Pnt3f>& welded, const std::vector<osg::UInt32>& tri)
{
    std::vector<osg::Vec3f> faceNormal(tri.size() / 3);
    for (size_t f = 0; f < faceNormal.size(); ++f)
    {
        const osg::Pnt3f& a = welded[tri[3 * f]];
        const osg::Pnt3f& b = welded[tri[3 * f + 1]];
        const osg::Pnt3f& c = welded[tri[3 * f + 2]];
        osg::Vec3f n = (b - a).cross(c - a);
        const float len = n.length();
        faceNormal[f] = len > 0.f && std::isfinite(len) ? n * (1.f / len) : osg::Vec3f();
    }
    return faceNormal;
}

// The corners around each vertex, as offsets into one list: vertex v's corners are
// around[start[v]] .. around[start[v + 1] - 1], corner c being corner c % 3 of face c / 3.
struct VertexFaces
{
    std::vector<osg::UInt32> start, around;

    VertexFaces(const std::vector<osg::UInt32>& tri, size_t vertices) : start(vertices + 1, 0), around(tri.size())
    {
        for (osg::UInt32 v : tri)
            ++start[v + 1];
        for (size_t v = 0; v < vertices; ++v)
            start[v + 1] += start[v];
        std::vector<osg::UInt32> fill(start.begin(), start.end() - 1);
        for (size_t c = 0; c < tri.size(); ++c)
            around[fill[tri[c]]++] = osg::UInt32(c);
    }
};

// The normal of vertex v's corner faces.around[i]: the angle-weighted normals of the faces around
// v within the crease angle of the corner's own face, so creases stay sharp.
osg::Vec3f cornerNormal(const std::vector<osg::Pnt3f>& welded, const std::vector<osg::UInt32>& tri,
                        const std::vector<osg::Vec3f>& faceNormal, const VertexFaces& faces, size_t v, osg::UInt32 i,
                        float cosCrease)
{
    auto cornerWeight = [&](osg::UInt32 corner)
    {
        const size_t f = corner / 3, k = corner % 3;
        const osg::Pnt3f& p = welded[tri[3 * f + k]];
        return cornerAngle(welded[tri[3 * f + (k + 1) % 3]] - p, welded[tri[3 * f + (k + 2) % 3]] - p);
    };
    const osg::Vec3f& own = faceNormal[faces.around[i] / 3];
    osg::Vec3f sum;
    for (osg::UInt32 j = faces.start[v]; j < faces.start[v + 1]; ++j)
    {
        const osg::Vec3f& other = faceNormal[faces.around[j] / 3];
        if (j == i || own.dot(other) >= cosCrease)
            sum += other * cornerWeight(faces.around[j]);
    }
    const float len = sum.length();
    return len > 0.f ? sum * (1.f / len) : own;
}
} // namespace

size_t oxRenderMesh::sanitize()
{
    const size_t before = triangleCount();
    std::vector<osg::UInt32> kept;
    kept.reserve(indices.size() - indices.size() % 3);
    for (size_t t = 0; t + 2 < indices.size(); t += 3)
    {
        const osg::UInt32 i0 = indices[t], i1 = indices[t + 1], i2 = indices[t + 2];
        if (i0 >= positions.size() || i1 >= positions.size() || i2 >= positions.size())
            continue;
        if (!finite(positions[i0]) || !finite(positions[i1]) || !finite(positions[i2]))
            continue;
        kept.insert(kept.end(), {i0, i1, i2});
    }
    indices.swap(kept);
    if (!normals.empty() && normals.size() != positions.size())
        normals.clear();
    return before - triangleCount();
}

void oxRenderMesh::computeNormals(float creaseAngleDegrees)
{
    std::vector<osg::Pnt3f> welded;
    std::vector<osg::UInt32> tri;
    weld(positions, indices, welded, tri);
    const std::vector<osg::Vec3f> faceNormal = faceNormals(welded, tri);
    const VertexFaces faces(tri, welded.size());
    const float cosCrease = float(std::cos(osg::deg2rad(std::clamp(creaseAngleDegrees, 0.f, 180.f))));
    std::vector<osg::Pnt3f> outPositions;
    std::vector<osg::Vec3f> outNormals;
    std::vector<osg::UInt32> outIndices(tri.size());
    outPositions.reserve(welded.size());
    outNormals.reserve(welded.size());
    for (size_t v = 0; v < welded.size(); ++v)
    {
        // Corners that end up with the same normal share one output vertex.
        const osg::UInt32 first = osg::UInt32(outPositions.size());
        for (osg::UInt32 i = faces.start[v]; i < faces.start[v + 1]; ++i)
        {
            const osg::UInt32 corner = faces.around[i];
            const osg::Vec3f n = cornerNormal(welded, tri, faceNormal, faces, v, i, cosCrease);
            osg::UInt32 index = osg::UInt32(outPositions.size());
            for (osg::UInt32 k = first; k < outPositions.size(); ++k)
                if (outNormals[k].equals(n, 1e-5f))
                {
                    index = k;
                    break;
                }
            if (index == outPositions.size())
            {
                outPositions.push_back(welded[v]);
                outNormals.push_back(n);
            }
            outIndices[corner] = index;
        }
    }
    positions.swap(outPositions);
    normals.swap(outNormals);
    indices.swap(outIndices);
    normalizeNormals();
}

void oxRenderMesh::orientToNormals()
{
    if (!hasNormals())
        return;
    for (size_t t = 0; t + 2 < indices.size(); t += 3)
    {
        const osg::UInt32 a = indices[t], b = indices[t + 1], c = indices[t + 2];
        if (a >= positions.size() || b >= positions.size() || c >= positions.size())
            continue;
        const osg::Vec3f face = (positions[b] - positions[a]).cross(positions[c] - positions[a]);
        if (face.dot(normals[a] + normals[b] + normals[c]) < 0.f)
            std::swap(indices[t + 1], indices[t + 2]);
    }
}

void oxRenderMesh::normalizeNormals()
{
    normals.resize(positions.size(), osg::Vec3f(0.f, 0.f, 1.f));
    for (osg::Vec3f& n : normals)
    {
        const float len = n.length();
        if (!(len > 1e-12f) || !std::isfinite(len))
            n = osg::Vec3f(0.f, 0.f, 1.f);
        else
            n *= 1.f / len;
    }
}

void oxRenderMesh::transform(const osg::Matrix& m)
{
    for (osg::Pnt3f& p : positions)
    {
        osg::Pnt3f q;
        m.multMatrixPnt(p, q);
        p = q;
    }
    osg::Matrix inverse(m);
    if (!inverse.invert())
        return;
    for (osg::Vec3f& n : normals)
    {
        // Inverse transpose: row i of the inverse dotted with n gives component i of the transposed product.
        osg::Vec3f r(inverse.element(0, 0) * n[0] + inverse.element(1, 0) * n[1] + inverse.element(2, 0) * n[2],
                     inverse.element(0, 1) * n[0] + inverse.element(1, 1) * n[1] + inverse.element(2, 1) * n[2],
                     inverse.element(0, 2) * n[0] + inverse.element(1, 2) * n[1] + inverse.element(2, 2) * n[2]);
        n = r;
    }
    normalizeNormals();
}

void oxRenderMesh::append(const oxRenderMesh& other)
{
    const osg::UInt32 offset = osg::UInt32(positions.size());
    const bool withNormals = (positions.empty() || hasNormals()) && other.hasNormals();
    positions.insert(positions.end(), other.positions.begin(), other.positions.end());
    if (withNormals)
        normals.insert(normals.end(), other.normals.begin(), other.normals.end());
    else
        normals.clear();
    for (osg::UInt32 i : other.indices)
        indices.push_back(i + offset);
}

bool oxRenderMesh::bounds(osg::Pnt3f& min, osg::Pnt3f& max) const
{
    bool any = false;
    for (const osg::Pnt3f& p : positions)
    {
        if (!finite(p))
            continue;
        if (!any)
        {
            min = max = p;
            any = true;
            continue;
        }
        for (int i = 0; i < 3; ++i)
        {
            min[i] = std::min(min[i], p[i]);
            max[i] = std::max(max[i], p[i]);
        }
    }
    return any;
}
