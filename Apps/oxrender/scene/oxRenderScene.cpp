#include "oxRenderScene.h"

#include "oxDiscLeaves.h"
#include "oxMeshNodes.h"
#include "oxRenderMath.h"

#include <embree3/rtcore.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace
{
void reportError(void*, RTCError code, const char* message)
{
    qWarning("Embree error %d: %s", int(code), message ? message : "");
}

template <class T> void appendKey(std::vector<osg::UInt64>& key, const osg::FCPtr<T>& p)
{
    key.push_back(p == osg::NullFC ? 0 : p->getId());
    key.push_back(p == osg::NullFC ? 0 : p->getChangeCount());
}

std::vector<osg::UInt64> geometryKey(const osg::GeometryPtr& geometry, const osg::Matrix& toWorld)
{
    std::vector<osg::UInt64> key;
    key.push_back(geometry->getId());
    key.push_back(geometry->getChangeCount());
    appendKey(key, geometry->getPositions());
    appendKey(key, geometry->getNormals());
    appendKey(key, geometry->getIndices());
    appendKey(key, geometry->getTypes());
    appendKey(key, geometry->getLengths());
    for (int i = 0; i < 16; ++i)
    {
        osg::UInt32 bits;
        std::memcpy(&bits, &toWorld.getValues()[i], sizeof bits);
        key.push_back(bits);
    }
    return key;
}

// Which corners of each triangle lie on their face's boundary, one bit per corner. CAD meshes share no vertex between
// faces, so a vertex lies on the boundary where the fan of triangles around it is open: there the corners that follow
// it in its triangles are not the same set as those before it. Each set is summed as hashes, which match for a closed
// fan.
std::vector<std::uint8_t> nearEdge(const oxRenderMesh& mesh)
{
    auto hash = [](osg::UInt64 x)
    {
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        return x ^ (x >> 31);
    };
    const size_t triangles = mesh.triangleCount();
    std::vector<osg::UInt64> after(mesh.vertexCount()), before(mesh.vertexCount());
    for (size_t t = 0; t < triangles; ++t)
        for (size_t k = 0; k < 3; ++k)
        {
            const osg::UInt32 v = mesh.indices[3 * t + k];
            after[v] += hash(mesh.indices[3 * t + (k + 1) % 3]);
            before[v] += hash(mesh.indices[3 * t + (k + 2) % 3]);
        }
    std::vector<std::uint8_t> out(triangles);
    for (size_t t = 0; t < triangles; ++t)
        for (size_t k = 0; k < 3; ++k)
        {
            const osg::UInt32 v = mesh.indices[3 * t + k];
            out[t] |= std::uint8_t(after[v] != before[v]) << k;
        }
    return out;
}
} // namespace

// Only a rigid placement keeps the exact data: its inverse is the transposed rotation, and
// normals turn as points do. False for one that scales or shears.
bool oxRenderScene::setPlacement(Entry& entry, const osg::Matrix& toWorld)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            const float dot =
                toWorld[i][0] * toWorld[j][0] + toWorld[i][1] * toWorld[j][1] + toWorld[i][2] * toWorld[j][2];
            if (!(std::fabs(dot - (i == j ? 1.f : 0.f)) < 1e-5f))
                return false;
        }
    entry.placed = true;
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
        {
            entry.toWorld[i][j] = toWorld[j][i];
            entry.toModel[j][i] = toWorld[j][i];
        }
        entry.toWorld[i][3] = toWorld[3][i];
    }
    for (int i = 0; i < 3; ++i)
        entry.toModel[i][3] = -(entry.toModel[i][0] * entry.toWorld[0][3] + entry.toModel[i][1] * entry.toWorld[1][3] +
                                entry.toModel[i][2] * entry.toWorld[2][3]);
    return true;
}

bool oxRenderScene::placement(size_t index, double toWorld[3][4]) const
{
    const Entry& entry = *_entries[index];
    if (!entry.placed)
        return false;
    std::copy(&entry.toWorld[0][0], &entry.toWorld[0][0] + 12, &toWorld[0][0]);
    return true;
}

bool oxRenderScene::rayHit(size_t index, size_t& face, double u, double v, const float hit[3], const float direction[3],
                           float point[3], float n[3], float* kMax, float* kMin, const oxCadRayOptions& options) const
{
    const Entry& entry = *_entries[index];
    if (!entry.cad)
        return false;
    if (!entry.placed)
        return entry.cad->model->rayHit(face, u, v, hit, direction, point, n, kMax, kMin, options);
    float modelHit[3], modelDirection[3], modelPoint[3], modelNormal[3];
    oxRenderMath::transform(entry.toModel, hit, modelHit, 1);
    oxRenderMath::transform(entry.toModel, direction, modelDirection, 0);
    if (!entry.cad->model->rayHit(face, u, v, modelHit, modelDirection, modelPoint, modelNormal, kMax, kMin, options))
        return false;
    oxRenderMath::transform(entry.toWorld, modelPoint, point, 1);
    oxRenderMath::transform(entry.toWorld, modelNormal, n, 0);
    return true;
}

template <class T> T* oxHugePageAllocator<T>::allocate(size_t n)
{
    const size_t HugePage = size_t(2) << 20;
    const size_t bytes = n * sizeof(T);
    if (bytes < HugePage)
    {
        if (void* p = std::malloc(std::max<size_t>(bytes, 1)))
            return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    // Whole huge pages, asked for before the first touch so that the pages come in as huge ones.
    void* p = std::aligned_alloc(HugePage, (bytes + HugePage - 1) / HugePage * HugePage);
    if (!p)
        throw std::bad_alloc();
    madvise(p, bytes, MADV_HUGEPAGE);
    return static_cast<T*>(p);
}
template struct oxHugePageAllocator<float>;

RTCDeviceTy* oxRenderScene::device()
{
    // One device for the process; Embree keeps its thread pool there.
    static RTCDevice device = []
    {
        RTCDevice d = rtcNewDevice(nullptr);
        if (d)
            rtcSetDeviceErrorFunction(d, reportError, nullptr);
        return d;
    }();
    return device;
}

oxRenderScene::oxRenderScene()
{
    rebuild();
}

oxRenderScene::~oxRenderScene()
{
    if (_scene)
        rtcReleaseScene(_scene);
}

void oxRenderScene::setMeshes(std::vector<std::shared_ptr<const oxRenderMesh>> meshes,
                              std::vector<std::shared_ptr<const oxCadMesh>> cad)
{
    _entries.clear();
    for (size_t i = 0; i < meshes.size(); ++i)
    {
        auto entry = std::make_unique<Entry>();
        entry->mesh = std::move(meshes[i]);
        if (i < cad.size())
            entry->cad = std::move(cad[i]);
        _entries.push_back(std::move(entry));
    }
    rebuild();
}

bool oxRenderScene::sync(const osg::NodePtr& root)
{
    std::vector<std::unique_ptr<Entry>> next;
    bool changed = false;
    oxMeshNodes::forEachGeometry(
        root,
        [&](const osg::NodePtr& node, const osg::GeometryPtr& geometry, const osg::Matrix& toWorld)
        {
            std::vector<osg::UInt64> key = geometryKey(geometry, toWorld);
            for (auto& entry : _entries)
                if (entry && entry->key == key)
                {
                    if (next.size() != size_t(&entry - &_entries[0]))
                        changed = true; // same meshes in another order
                    next.push_back(std::move(entry));
                    return;
                }
            auto entry = std::make_unique<Entry>();
            if (std::shared_ptr<const oxPointCloud> cloud = oxPointCloud::of(*geometry))
            {
                setPoints(*entry, std::move(cloud), toWorld);
                entry->key = std::move(key);
                next.push_back(std::move(entry));
                changed = true;
                return;
            }
            auto mesh = std::make_shared<oxRenderMesh>(oxMeshNodes::fromGeometry(*geometry, toWorld));
            // Named after its node, or the nearest named node above it (a file's parts).
            for (osg::NodePtr n = node; n != osg::NullFC && mesh->name.empty(); n = n->getParent())
                mesh->name = n->getName();
            entry->mesh = mesh;
            entry->key = std::move(key);
            entry->cad = oxCadMesh::of(*geometry);
            // The surfaces are in the file's space: a moved mesh's rays are taken there.
            if (entry->cad && !toWorld.equals(osg::Matrix(), 0.f) && !setPlacement(*entry, toWorld))
                entry->cad.reset();
            next.push_back(std::move(entry));
            changed = true;
        });
    for (auto& entry : _entries)
        if (entry)
            changed = true; // a mesh left the scene
    _entries = std::move(next);
    if (changed)
        rebuild();
    return changed;
}

void oxRenderScene::setPoints(Entry& entry, std::shared_ptr<const oxPointCloud> cloud, const osg::Matrix& toWorld)
{
    if (!toWorld.equals(osg::Matrix(), 0.f))
    {
        auto placed = std::make_shared<oxPointCloud>(*cloud);
        placed->transform(toWorld);
        cloud = std::move(placed);
    }
    auto mesh = std::make_shared<oxRenderMesh>();
    mesh->name = cloud->name;
    mesh->positions = cloud->positions;
    // Twice the mean spacing: points scattered at random leave 4 % of the surface uncovered
    // then (e^-pi), a regular scan none.
    const float spacing = cloud->spacing();
    osg::Pnt3f low, high;
    const float size = cloud->bounds(low, high) ? (high - low).length() : 0.f;
    entry.pointRadius = spacing > 0.f ? 2.f * spacing : std::max(size * 1e-3f, 1e-3f);
    entry.mesh = std::move(mesh);
    entry.points = std::move(cloud);
    setPointCorners(entry);
}

void oxRenderScene::setPointCorners(Entry& entry)
{
    const oxPointCloud& cloud = *entry.points;
    entry.cornerNormalStride = cloud.hasNormals() ? 3 : 0;
    // One float more than the normals: Embree shares this array and reads its last normal with a
    // four-float load.
    entry.cornerNormals.resize(cloud.hasNormals() ? 3 * cloud.size() + 1 : 3);
    static_assert(sizeof(osg::Vec3f) == 3 * sizeof(float), "normals are packed floats");
    if (cloud.hasNormals())
        std::memcpy(entry.cornerNormals.data(), cloud.normals.data(), 3 * cloud.size() * sizeof(float));
    entry.cornerNormals.back() = 0.f;
    if (!cloud.hasNormals())
        std::fill(entry.cornerNormals.begin(), entry.cornerNormals.end(), 0.f);
}

void oxRenderScene::rebuild()
{
    // Models up to a million keep their own coordinates, and their BVH its bits.
    float reach = 0.f;
    for (const auto& entry : _entries)
        for (const osg::Pnt3f& p : entry->mesh->positions)
            for (int c = 0; c < 3; ++c)
                if (std::isfinite(p[c]))
                    reach = std::max(reach, std::fabs(p[c]));
    int exponent = 0;
    std::frexp(reach, &exponent);
    _traceExponent = exponent > 20 ? exponent : 0;
    {
        std::lock_guard<std::mutex> lock(_bvhMutex);
        if (_scene)
            rtcReleaseScene(_scene);
        _scene = nullptr;
        _bvhBuilt = false;
    }
    for (size_t i = 0; i < _entries.size(); ++i)
    {
        const oxRenderMesh& mesh = *_entries[i]->mesh;
        const size_t triangles = mesh.triangleCount();
        if (_entries[i]->points)
            continue;
        if (_entries[i]->cornerNormals.size() != triangles * 9)
        {
            oxShadingArray& corners = _entries[i]->cornerNormals;
            corners.resize(triangles * 9);
            const bool normals = mesh.hasNormals();
            for (size_t t = 0; t < triangles; ++t)
                for (int k = 0; k < 3; ++k)
                {
                    const osg::Vec3f n = normals ? mesh.normals[mesh.indices[3 * t + size_t(k)]] : osg::Vec3f();
                    std::copy(n.getValues(), n.getValues() + 3, corners.begin() + long(9 * t + 3 * size_t(k)));
                }
        }
        Entry& entry = *_entries[i];
        if (entry.cad && entry.cad->vertexFace.size() == mesh.vertexCount() && entry.triangleFace.size() != triangles)
        {
            // Twice the largest vertex curvature: between the vertices a face bends little more.
            const oxPrincipalCurvatures& k = entry.cad->curvatures;
            entry.faceCurvatureBound.assign(entry.cad->model->faceCount(), 0.f);
            for (size_t v = 0; v < mesh.vertexCount() && k.kMax.size() == mesh.vertexCount(); ++v)
            {
                float& bound = entry.faceCurvatureBound[std::min<size_t>(entry.cad->vertexFace[v],
                                                                         entry.faceCurvatureBound.size() - 1)];
                bound = std::max({bound, 2 * std::fabs(k.kMax[v]), 2 * std::fabs(k.kMin[v])});
            }
            if (k.kMax.size() != mesh.vertexCount())
                std::fill(entry.faceCurvatureBound.begin(), entry.faceCurvatureBound.end(), INFINITY);
            entry.triangleNearEdge = nearEdge(mesh);
            entry.triangleFace.resize(triangles);
            entry.cornerUV.resize(triangles * 6);
            for (size_t t = 0; t < triangles; ++t)
            {
                entry.triangleFace[t] = entry.cad->vertexFace[mesh.indices[3 * t]];
                for (size_t k = 0; k < 3; ++k)
                {
                    const size_t v = mesh.indices[3 * t + k];
                    entry.cornerUV[6 * t + 2 * k] = entry.cad->uv[2 * v];
                    entry.cornerUV[6 * t + 2 * k + 1] = entry.cad->uv[2 * v + 1];
                }
            }
        }
        else if (!entry.cad || entry.cad->vertexFace.size() != mesh.vertexCount())
            entry.cad.reset();
    }
}

RTCSceneTy* oxRenderScene::handle() const
{
    if (!_bvhBuilt.load(std::memory_order_acquire))
    {
        std::lock_guard<std::mutex> lock(_bvhMutex);
        if (!_bvhBuilt.load(std::memory_order_relaxed))
        {
            // Isolated: a thread waiting for Embree's build takes no task that asks for the handle.
            tbb::this_task_arena::isolate([this] { buildBvh(); });
            _bvhBuilt.store(true, std::memory_order_release);
        }
    }
    return _scene;
}

void oxRenderScene::attachPoints(RTCDeviceTy* dev, const Entry& entry, unsigned id) const
{
    const oxPointCloud& cloud = *entry.points;
    const bool oriented = cloud.hasNormals();
    const size_t n = cloud.size();
    const float radius = toTrace(entry.pointRadius);
    // toTrace by a product: a power of two scales as ldexp does, bit for bit, at a fraction of its cost.
    const float scale = toTrace(1.f);
    entry.discs.resize(4 * n);
    float* v = entry.discs.data();
    tbb::parallel_for(tbb::blocked_range<size_t>(0, n, 1 << 16),
                      [&](const tbb::blocked_range<size_t>& range)
                      {
                          for (size_t p = range.begin(); p < range.end(); ++p)
                          {
                              for (int c = 0; c < 3; ++c)
                                  v[4 * p + size_t(c)] = cloud.positions[p][c] * scale;
                              v[4 * p + 3] = radius;
                          }
                      });
    RTCGeometry geometry = nullptr;
    if (oriented && oxDiscLeaves::compact(v, n, radius))
    {
        geometry = oxDiscLeaves::make(dev, v, entry.cornerNormals.data(), n, entry.leaves);
    }
    else
    {
        geometry =
            rtcNewGeometry(dev, oriented ? RTC_GEOMETRY_TYPE_ORIENTED_DISC_POINT : RTC_GEOMETRY_TYPE_SPHERE_POINT);
        rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT4, v, 0, 4 * sizeof(float), n);
        if (oriented)
            rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_NORMAL, 0, RTC_FORMAT_FLOAT3,
                                       entry.cornerNormals.data(), 0, 3 * sizeof(float), n);
        // Millions of overlapping discs: a quick build pays more than a tight one.
        rtcSetGeometryBuildQuality(geometry, RTC_BUILD_QUALITY_LOW);
    }
    rtcCommitGeometry(geometry);
    rtcAttachGeometryByID(_scene, geometry, id);
    rtcReleaseGeometry(geometry);
}

void oxRenderScene::buildBvh() const
{
    RTCDevice dev = device();
    _scene = dev ? rtcNewScene(dev) : nullptr;
    if (!_scene)
        return;
    rtcSetSceneBuildQuality(_scene, _forPointQueries ? RTC_BUILD_QUALITY_HIGH : RTC_BUILD_QUALITY_MEDIUM);
    // Watertight: a ray through a shared edge must hit one of its triangles, or grid-aligned
    // views show dotted gaps.
    rtcSetSceneFlags(_scene, RTC_SCENE_FLAG_ROBUST);
    for (size_t i = 0; i < _entries.size(); ++i)
    {
        if (_entries[i]->points)
        {
            attachPoints(dev, *_entries[i], unsigned(i));
            continue;
        }
        const oxRenderMesh& mesh = *_entries[i]->mesh;
        RTCGeometry geometry = rtcNewGeometry(dev, RTC_GEOMETRY_TYPE_TRIANGLE);
        const size_t vertices = std::max<size_t>(mesh.positions.size(), 1);
        const size_t triangles = mesh.triangleCount();
        // Embree's own buffers: they are padded as its SIMD loads need.
        float* v = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                               3 * sizeof(float), vertices));
        if (!mesh.positions.empty())
            for (size_t p = 0; p < mesh.positions.size(); ++p)
                for (int c = 0; c < 3; ++c)
                    v[3 * p + size_t(c)] = toTrace(mesh.positions[p][c]);
        else
            std::fill(v, v + 3, 0.f);
        unsigned* idx =
            static_cast<unsigned*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                           3 * sizeof(unsigned), std::max<size_t>(triangles, 1)));
        if (triangles > 0)
            std::memcpy(idx, mesh.indices.data(), triangles * 3 * sizeof(unsigned));
        else
            std::fill(idx, idx + 3, 0u); // a degenerate triangle, never hit
        rtcCommitGeometry(geometry);
        rtcAttachGeometryByID(_scene, geometry, unsigned(i));
        rtcReleaseGeometry(geometry);
    }
    rtcCommitScene(_scene);
}

const oxPrincipalCurvatures& oxRenderScene::curvatures(size_t index) const
{
    const Entry& entry = *_entries[index];
    std::call_once(entry.curvatureOnce,
                   [&entry]
                   {
                       if (entry.points)
                       {
                           // A cloud has no surface to bend yet: zero curvatures, one corner entry for all.
                           const size_t n = entry.points->size();
                           entry.curvatures.kMax.assign(n, 0.f);
                           entry.curvatures.kMin.assign(n, 0.f);
                           entry.cornerCurvatures.assign(6, 0.f);
                           return;
                       }
                       const bool exact = entry.cad && entry.cad->curvatures.kMax.size() == entry.mesh->vertexCount();
                       entry.curvatures = exact ? entry.cad->curvatures : oxCurvature::estimate(*entry.mesh);
                       if (exact && entry.placed)
                           for (auto* directions : {&entry.curvatures.dirMax, &entry.curvatures.dirMin})
                               for (osg::Vec3f& d : *directions)
                               {
                                   const float model[3] = {d[0], d[1], d[2]};
                                   oxRenderMath::transform(entry.toWorld, model, d.getValues(), 0);
                               }
                       const oxRenderMesh& mesh = *entry.mesh;
                       entry.cornerCurvatures.resize(mesh.triangleCount() * 6);
                       for (size_t c = 0; c < mesh.triangleCount() * 3; ++c)
                       {
                           entry.cornerCurvatures[2 * c] = entry.curvatures.kMax[mesh.indices[c]];
                           entry.cornerCurvatures[2 * c + 1] = entry.curvatures.kMin[mesh.indices[c]];
                       }
                   });
    return entry.curvatures;
}

void oxRenderScene::prepareCurvatures() const
{
    tbb::parallel_for(size_t(0), _entries.size(), [this](size_t i) { curvatures(i); });
}

bool oxRenderScene::bounds(osg::Pnt3f& min, osg::Pnt3f& max) const
{
    bool any = false;
    for (const auto& entry : _entries)
    {
        osg::Pnt3f a, b;
        if (!entry->mesh->bounds(a, b))
            continue;
        if (!any)
        {
            min = a;
            max = b;
            any = true;
            continue;
        }
        for (int i = 0; i < 3; ++i)
        {
            min[i] = std::min(min[i], a[i]);
            max[i] = std::max(max[i], b[i]);
        }
    }
    return any;
}

size_t oxRenderScene::triangleCount() const
{
    size_t n = 0;
    for (const auto& entry : _entries)
        n += entry->mesh->triangleCount();
    return n;
}
