#pragma once

#include "OSGNode.h"
#include "oxCadMesh.h"
#include "oxCurvature.h"
#include "oxPointCloud.h"
#include "oxRenderMesh.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Memory for the large per-triangle shading arrays that every frame reads in no particular
// order: big blocks go on huge pages where the system offers them, which saves most of the
// address-translation misses.
template <class T> struct oxHugePageAllocator
{
    using value_type = T;
    oxHugePageAllocator() = default;
    template <class U> oxHugePageAllocator(const oxHugePageAllocator<U>&) {}
    T* allocate(size_t n);
    void deallocate(T* p, size_t) { std::free(p); }
    template <class U> bool operator==(const oxHugePageAllocator<U>&) const { return true; }
    template <class U> bool operator!=(const oxHugePageAllocator<U>&) const { return false; }
};
using oxShadingArray = std::vector<float, oxHugePageAllocator<float>>;

struct RTCDeviceTy;
struct RTCSceneTy;

// The meshes the raytracer sees, in world space, with their Embree BVH. One Embree geometry
// per mesh, its geometry id the mesh's index. Curvatures are estimated once per mesh, when
// first asked for, and kept with the mesh.
class oxRenderScene
{
public:
    oxRenderScene();
    ~oxRenderScene();
    oxRenderScene(const oxRenderScene&) = delete;
    oxRenderScene& operator=(const oxRenderScene&) = delete;

    // Replaces the content; cad, when given, holds the exact data of each mesh (null for a plain
    // mesh). The BVH is built when handle() is first asked for it.
    void setMeshes(std::vector<std::shared_ptr<const oxRenderMesh>> meshes,
                   std::vector<std::shared_ptr<const oxCadMesh>> cad = {});

    // Brings the scene in step with the active geometry under root. Geometry whose container,
    // properties and world placement did not change since the last sync keeps its mesh, its
    // curvatures and its Embree geometry; the BVH is rebuilt (by the next handle()) only when
    // something changed.
    // Returns whether anything changed.
    // CAD geometry (oxCadMesh::of) brings its exact data along, with its placement when it is moved.
    bool sync(const osg::NodePtr& root);

    size_t meshCount() const { return _entries.size(); }
    const oxRenderMesh& mesh(size_t index) const { return *_entries[index]->mesh; }
    // The exact data of a CAD mesh that sits where its file has it; null for other meshes and for
    // a moved CAD mesh, whose surfaces are in the file's space: placedCad gives that one too.
    const oxCadMesh* cad(size_t index) const { return _entries[index]->placed ? nullptr : _entries[index]->cad.get(); }
    const oxCadMesh* placedCad(size_t index) const { return _entries[index]->cad.get(); }
    // A moved CAD mesh's placement, rows of [rotation | translation] from its file's space to the
    // world; false, and toWorld untouched, for a mesh that sits where its file has it.
    bool placement(size_t index, double toWorld[3][4]) const;
    // oxCadModel::rayHit on a CAD mesh in world space: the ray goes into the file's space, the
    // point and the normal come back. False for meshes without exact data.
    // face is in and out, as oxCadModel::rayHit's.
    bool rayHit(size_t index, size_t& face, double u, double v, const float hit[3], const float direction[3],
                float point[3], float n[3], float* kMax = nullptr, float* kMin = nullptr,
                const oxCadRayOptions& options = oxCadRayOptions()) const;
    // Per-pixel evaluation of the exact surfaces of CAD meshes (on by default); off, they are
    // shaded with interpolated vertex data as meshes are.
    void setExactShading(bool exact) { _exactShading = exact; }
    bool exactShading() const { return _exactShading; }
    // A scene searched for closest points more than traced (a reference): its BVH is built to
    // high quality, which pays for itself over a million point queries. Takes effect on the next build.
    void setForPointQueries(bool forPointQueries) { _forPointQueries = forPointQueries; }
    // For exact shading: the face of each triangle and the (u, v) of its corners, six per
    // triangle; empty for meshes without exact data.
    const osg::UInt32* triangleFaces(size_t index) const { return _entries[index]->triangleFace.data(); }
    const double* cornerUV(size_t index) const { return _entries[index]->cornerUV.data(); }
    // Per triangle, bit k set where its corner k lies on its face's boundary: near there the
    // surface's trim, not the triangle, tells which face a point lies on.
    const std::uint8_t* triangleNearEdge(size_t index) const { return _entries[index]->triangleNearEdge.data(); }
    // Per face of a CAD mesh, a bound of its curvatures from its vertices.
    const float* faceCurvatureBounds(size_t index) const { return _entries[index]->faceCurvatureBound.data(); }
    // Estimated on the first call for this mesh (exact for CAD meshes); safe from several threads.
    const oxPrincipalCurvatures& curvatures(size_t index) const;
    // Estimates every mesh's curvatures now, meshes in parallel.
    void prepareCurvatures() const;

    // The three corner normals of every triangle, nine floats per triangle: the shading reads
    // one triangle's normals from one place instead of chasing three vertices. A point cloud
    // has one normal per point, or none (a zero normal for all: the shading takes the hit's).
    const float* cornerNormals(size_t index) const { return _entries[index]->cornerNormals.data(); }
    // Floats from one primitive's corner normals to the next: 9, 3 for a cloud's points, 0.
    size_t cornerNormalStride(size_t index) const { return _entries[index]->cornerNormalStride; }
    // kMax and kMin at the three corners, six floats per triangle; after curvatures(index). A
    // point cloud has none: one zero entry for all its points (stride 0).
    const float* cornerCurvatures(size_t index) const { return _entries[index]->cornerCurvatures.data(); }
    size_t cornerCurvatureStride(size_t index) const { return _entries[index]->points ? 0 : 6; }

    // A point cloud where the entry is one, in world space, else null; its mesh holds the same
    // positions and no triangles. Each point is traced as a disc facing along its normal, or a
    // sphere where the cloud has none, of radius pointRadius (from the points' spacing).
    const oxPointCloud* points(size_t index) const { return _entries[index]->points.get(); }
    float pointRadius(size_t index) const { return _entries[index]->pointRadius; }

    bool bounds(osg::Pnt3f& min, osg::Pnt3f& max) const;
    size_t triangleCount() const;

    // The Embree scene, its BVH built on the first call after a change, so that a loaded mesh's
    // curvatures need not wait for it; safe from several threads.
    RTCSceneTy* handle() const;
    // Embree's ray-triangle test multiplies an edge's square by the ray's distance in single
    // precision, which overflows beyond about 1e12. So a large model's BVH holds its coordinates
    // times 2^-traceExponent(), which changes no bit but the exponent: rays and point queries go
    // in at that scale (see toTrace) and their hits come back in world units (fromTrace).
    int traceExponent() const { return _traceExponent; }
    float toTrace(float worldValue) const { return std::ldexp(worldValue, -_traceExponent); }
    float fromTrace(float traceValue) const { return std::ldexp(traceValue, _traceExponent); }
    static RTCDeviceTy* device();

private:
    struct Entry
    {
        std::shared_ptr<const oxRenderMesh> mesh;
        mutable std::once_flag curvatureOnce;
        mutable oxPrincipalCurvatures curvatures;
        mutable oxShadingArray cornerCurvatures;
        oxShadingArray cornerNormals;
        std::vector<osg::UInt64> key; // what the mesh was made from, for sync
        std::shared_ptr<const oxCadMesh> cad;
        // A moved CAD mesh's placement, rows of [rotation | translation], and its inverse.
        bool placed = false;
        double toWorld[3][4] = {}, toModel[3][4] = {};
        std::vector<osg::UInt32> triangleFace;
        std::vector<double> cornerUV;
        std::vector<std::uint8_t> triangleNearEdge;
        std::vector<float> faceCurvatureBound;
        std::shared_ptr<const oxPointCloud> points;
        float pointRadius = 0.f;
        // A cloud's points in the BVH's units and their radius, four floats each, and what its
        // user primitives read (see oxDiscLeaves).
        mutable oxShadingArray discs;
        mutable std::shared_ptr<const void> leaves;
        size_t cornerNormalStride = 9;
    };
    void rebuild();
    static bool setPlacement(Entry& entry, const osg::Matrix& toWorld);
    static void setPoints(Entry& entry, std::shared_ptr<const oxPointCloud> cloud, const osg::Matrix& toWorld);
    static void setPointCorners(Entry& entry);
    void buildBvh() const;
    void attachPoints(RTCDeviceTy* device, const Entry& entry, unsigned id) const;

    std::vector<std::unique_ptr<Entry>> _entries;
    mutable RTCSceneTy* _scene = nullptr;
    mutable std::mutex _bvhMutex;
    mutable std::atomic<bool> _bvhBuilt{false};
    bool _exactShading = true;
    int _traceExponent = 0;
    bool _forPointQueries = false;
};
