#include "oxRenderMesh.h"

#include "oxParallel.h"
#include "oxRenderMath.h"
#include "oxRenderUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace
{
using oxRenderUtil::finite;
using oxRenderUtil::parallelFor;

// A position's exact bits, mixed so that neighbouring grid values spread over the table.
osg::UInt32 positionHash(const osg::Pnt3f& p)
{
    std::uint32_t b[3];
    std::memcpy(b, p.getValues(), sizeof b);
    std::uint64_t h = ((std::uint64_t(b[0]) << 32) | b[1]) * 0x9E3779B97F4A7C15ull;
    h ^= b[2] * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    return osg::UInt32(h >> 32);
}

float cornerAngle(const osg::Vec3f& a, const osg::Vec3f& b)
{
    const float la = a.length(), lb = b.length();
    if (la <= 0.f || lb <= 0.f)
        return 0.f;
    const float c = std::clamp(a.dot(b) / (la * lb), -1.f, 1.f);
    return std::acos(c);
}

// Welds positions with the same bits, so that per-face vertices of STL-like files become one
// vertex: the distinct positions in the order they first appear, and the triangles' corners as
// indices into them. Every index must name a position.
// Open addressing on a table of (hash, index) pairs: a probe reads a position only when the
// hashes agree, which keeps a million-vertex weld to one cache miss per position.
void weld(const std::vector<osg::Pnt3f>& positions, const std::vector<osg::UInt32>& indices,
          std::vector<osg::Pnt3f>& welded, std::vector<osg::UInt32>& tri)
{
    const std::uint64_t Empty = ~std::uint64_t(0);
    // Sized for a sixth of the positions distinct (a closed mesh with a vertex per corner) and
    // grown when more are: a smaller table takes fewer cache misses.
    size_t capacity = 16;
    while (capacity < positions.size() / 2)
        capacity *= 2;
    std::vector<std::uint64_t> table(capacity, Empty);
    std::vector<osg::UInt32> remap(positions.size());
    welded.clear();
    welded.reserve(positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
    {
        const osg::UInt32 hash = positionHash(positions[i]);
        for (size_t slot = hash & (capacity - 1);; slot = (slot + 1) & (capacity - 1))
        {
            const std::uint64_t entry = table[slot];
            if (entry == Empty)
            {
                remap[i] = osg::UInt32(welded.size());
                table[slot] = (std::uint64_t(hash) << 32) | remap[i];
                welded.push_back(positions[i]);
                break;
            }
            const osg::UInt32 other = osg::UInt32(entry);
            if (osg::UInt32(entry >> 32) == hash && std::memcmp(&welded[other], &positions[i], sizeof(osg::Pnt3f)) == 0)
            {
                remap[i] = other;
                break;
            }
        }
        if (2 * welded.size() > capacity)
        {
            // Half full: twice the slots, the entries placed again by their hashes.
            std::vector<std::uint64_t> larger(2 * capacity, Empty);
            capacity *= 2;
            for (const std::uint64_t entry : table)
                if (entry != Empty)
                {
                    size_t slot = (entry >> 32) & (capacity - 1);
                    while (larger[slot] != Empty)
                        slot = (slot + 1) & (capacity - 1);
                    larger[slot] = entry;
                }
            table.swap(larger);
        }
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
    parallelFor(faceNormal.size(),
                [&](size_t begin, size_t end)
                {
                    for (size_t f = begin; f < end; ++f)
                    {
                        faceNormal[f] = oxRenderMath::TriangleNormal(welded[tri[3 * f]], welded[tri[3 * f + 1]],
                                                                     welded[tri[3 * f + 2]])
                                            .unit();
                    }
                });
    return faceNormal;
}

// The angle at every corner, corner c being corner c % 3 of face c / 3.
std::vector<float> cornerAngles(const std::vector<osg::Pnt3f>& welded, const std::vector<osg::UInt32>& tri)
{
    std::vector<float> angle(tri.size());
    parallelFor(tri.size() / 3,
                [&](size_t begin, size_t end)
                {
                    for (size_t f = begin; f < end; ++f)
                        for (size_t k = 0; k < 3; ++k)
                        {
                            const osg::Pnt3f& p = welded[tri[3 * f + k]];
                            angle[3 * f + k] =
                                cornerAngle(welded[tri[3 * f + (k + 1) % 3]] - p, welded[tri[3 * f + (k + 2) % 3]] - p);
                        }
                });
    return angle;
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

// What the corner normals are made of: face normals, corner angles and the corners around each
// vertex.
struct CornerData
{
    const std::vector<osg::Vec3f>& faceNormal;
    const std::vector<float>& angle;
    const VertexFaces& faces;
    float cosCrease;

    // The normal of vertex v's corner faces.around[i]: the angle-weighted normals of the faces
    // around v within the crease angle of the corner's own face, so creases stay sharp.
    osg::Vec3f cornerNormal(size_t v, osg::UInt32 i) const
    {
        const osg::Vec3f& own = faceNormal[faces.around[i] / 3];
        osg::Vec3f sum;
        for (osg::UInt32 j = faces.start[v]; j < faces.start[v + 1]; ++j)
        {
            const osg::Vec3f& other = faceNormal[faces.around[j] / 3];
            if (j == i || own.dot(other) >= cosCrease)
                sum += other * angle[faces.around[j]];
        }
        const float len = sum.length();
        return len > 0.f ? sum * (1.f / len) : own;
    }

    // Whether every two faces around v lie within the crease angle: then all of v's corners sum
    // the same faces in the same order, and one normal serves them all.
    bool smooth(size_t v) const
    {
        for (osg::UInt32 i = faces.start[v]; i < faces.start[v + 1]; ++i)
            for (osg::UInt32 j = i + 1; j < faces.start[v + 1]; ++j)
                if (!(faceNormal[faces.around[i] / 3].dot(faceNormal[faces.around[j] / 3]) >= cosCrease))
                    return false;
        return true;
    }

    // The normals of v's corners into normal (by position in faces.around), each corner's number
    // among v's distinct normals into which; returns how many distinct ones there are. Corners
    // whose normals agree within 1e-5 share one.
    osg::UInt32 vertexNormals(size_t v, std::vector<osg::Vec3f>& normal, std::vector<osg::UInt32>& which) const
    {
        const osg::UInt32 begin = faces.start[v], end = faces.start[v + 1];
        if (begin == end)
            return 0;
        const bool shared = smooth(v);
        osg::UInt32 distinct = 0;
        for (osg::UInt32 i = begin; i < end; ++i)
        {
            normal[i] = shared && i > begin ? normal[begin] : cornerNormal(v, i);
            // Compared with the first corner of each distinct normal, in the order they came.
            which[i] = distinct;
            for (osg::UInt32 k = begin, seen = 0; k < i && seen < distinct; ++k)
            {
                if (which[k] != seen)
                    continue;
                ++seen;
                if (normal[k].equals(normal[i], 1e-5f))
                {
                    which[i] = which[k];
                    break;
                }
            }
            if (which[i] == distinct)
                ++distinct;
        }
        return distinct;
    }
};
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

void oxRenderMesh::weld()
{
    std::vector<osg::Pnt3f> welded;
    std::vector<osg::UInt32> tri;
    ::weld(positions, indices, welded, tri);
    positions.swap(welded);
    indices.swap(tri);
    normals.clear();
}

void oxRenderMesh::computeNormals(float creaseAngleDegrees, bool positionsWelded)
{
    std::vector<osg::Pnt3f> welded;
    std::vector<osg::UInt32> tri;
    if (positionsWelded)
    {
        welded.swap(positions);
        tri.assign(indices.begin(), indices.end() - long(indices.size() % 3));
    }
    else
        ::weld(positions, indices, welded, tri);
    const std::vector<osg::Vec3f> faceNormal = faceNormals(welded, tri);
    const std::vector<float> angle = cornerAngles(welded, tri);
    const VertexFaces faces(tri, welded.size());
    const CornerData data{faceNormal, angle, faces,
                          float(std::cos(osg::deg2rad(std::clamp(creaseAngleDegrees, 0.f, 180.f))))};
    // Vertices in parallel: each one's corner normals and its number of distinct ones, then the
    // output vertices numbered in vertex order, so the result does not depend on the threads.
    std::vector<osg::Vec3f> normal(tri.size());
    std::vector<osg::UInt32> which(tri.size()), first(welded.size() + 1, 0);
    parallelFor(welded.size(),
                [&](size_t begin, size_t end)
                {
                    for (size_t v = begin; v < end; ++v)
                        first[v + 1] = data.vertexNormals(v, normal, which);
                });
    for (size_t v = 0; v < welded.size(); ++v)
        first[v + 1] += first[v];
    std::vector<osg::Pnt3f> outPositions(first.back());
    std::vector<osg::Vec3f> outNormals(first.back());
    std::vector<osg::UInt32> outIndices(tri.size());
    parallelFor(welded.size(),
                [&](size_t begin, size_t end)
                {
                    for (size_t v = begin; v < end; ++v)
                        for (osg::UInt32 i = faces.start[v]; i < faces.start[v + 1]; ++i)
                        {
                            const osg::UInt32 out = first[v] + which[i];
                            outPositions[out] = welded[v];
                            outNormals[out] = normal[i];
                            outIndices[faces.around[i]] = out;
                        }
                });
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
        const oxRenderMath::TriangleNormal face(positions[a], positions[b], positions[c]);
        if (face.dot(normals[a] + normals[b] + normals[c]) < 0)
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
