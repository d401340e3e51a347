#pragma once

#include "OSGNode.h"
#include "oxCadMesh.h"
#include "oxCurvature.h"
#include "oxRenderMesh.h"

#include <atomic>
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
    // CAD geometry (oxCadMesh::of) placed without a transform brings its exact data along.
    bool sync(const osg::NodePtr& root);

    size_t meshCount() const { return _entries.size(); }
    const oxRenderMesh& mesh(size_t index) const { return *_entries[index]->mesh; }
    // The exact data of a CAD mesh; null for other meshes.
    const oxCadMesh* cad(size_t index) const { return _entries[index]->cad.get(); }
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
    // one triangle's normals from one place instead of chasing three vertices.
    const float* cornerNormals(size_t index) const { return _entries[index]->cornerNormals.data(); }
    // kMax and kMin at the three corners, six floats per triangle; after curvatures(index).
    const float* cornerCurvatures(size_t index) const { return _entries[index]->cornerCurvatures.data(); }

    bool bounds(osg::Pnt3f& min, osg::Pnt3f& max) const;
    size_t triangleCount() const;

    // The Embree scene, its BVH built on the first call after a change, so that a loaded mesh's
    // curvatures need not wait for it; safe from several threads.
    RTCSceneTy* handle() const;
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
        std::vector<osg::UInt32> triangleFace;
        std::vector<double> cornerUV;
        std::vector<std::uint8_t> triangleNearEdge;
        std::vector<float> faceCurvatureBound;
    };
    void rebuild();
    void buildBvh() const;

    std::vector<std::unique_ptr<Entry>> _entries;
    mutable RTCSceneTy* _scene = nullptr;
    mutable std::mutex _bvhMutex;
    mutable std::atomic<bool> _bvhBuilt{false};
    bool _exactShading = true;
    bool _forPointQueries = false;
};
