#include "oxCadDraft.h"

#include "oxCadMesh.h"
#include "oxCadShape.h"
#include "oxRenderMesh.h"

#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>

namespace
{
const double DegToRad = M_PI / 180.0;

// A point of the surface with its outward unit normal.
struct Sample
{
    double p[3];
    double n[3];
};

double dot(const double a[3], const double b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Steps per triangle side: enough that the corners' normals turn by at most a degree a step (a
// quarter of one where the triangle may hold a class boundary), up to 8 (16) steps.
int subdivisions(const Sample* corners[3], const double sines[3], double threshold)
{
    double cosine = 1;
    for (int k = 0; k < 3; ++k)
        cosine = std::min(cosine, dot(corners[k]->n, corners[(k + 1) % 3]->n));
    const double turn = std::acos(std::clamp(cosine, -1.0, 1.0));
    if (turn < 1e-9)
        return 1; // flat: the sine is constant, its split exact
    const double slack = std::sin(std::min(turn, M_PI / 2));
    const double low = std::min({sines[0], sines[1], sines[2]}) - slack;
    const double high = std::max({sines[0], sines[1], sines[2]}) + slack;
    const bool boundary = (low < threshold && high > threshold) || (low < -threshold && high > -threshold);
    const double step = (boundary ? 0.25 : 1.0) * DegToRad;
    return std::clamp(int(std::ceil(turn / step)), 1, boundary ? 16 : 8);
}

// The surface at (u, v) of a face; where its normal is undefined (a pole), fallback's.
void evaluate(const oxCadModel::Impl& model, size_t face, double u, double v, const Sample& fallback, Sample& out)
{
    gp_Pnt point;
    gp_Vec normal;
    if (!model.evaluate(face, u, v, point, normal, nullptr, nullptr))
    {
        out = fallback;
        return;
    }
    out = {{point.X(), point.Y(), point.Z()}, {normal.X(), normal.Y(), normal.Z()}};
}

// The surface at every mesh vertex; the mesh's own point and normal where it has none.
void sampleVertices(const oxCadModel::Impl& model, const oxCadMesh& cad, const oxRenderMesh& mesh,
                    std::vector<Sample>& atVertex)
{
    tbb::parallel_for(size_t(0), atVertex.size(),
                      [&](size_t v)
                      {
                          const osg::Pnt3f& q = mesh.positions[v];
                          Sample fallback = {{q[0], q[1], q[2]}, {0, 0, 0}};
                          if (mesh.hasNormals())
                              for (int j = 0; j < 3; ++j)
                                  fallback.n[j] = mesh.normals[v][j];
                          evaluate(model, cad.vertexFace[v], cad.uv[2 * v], cad.uv[2 * v + 1], fallback, atVertex[v]);
                      });
}

// What one chunk of triangles shares: the inputs, and its scratch grid reused from triangle to
// triangle.
struct ChunkWork
{
    const oxCadModel::Impl& model;
    const oxCadMesh& cad;
    const std::vector<Sample>& atVertex;
    const double* direction;
    double threshold;
    oxDraftStats::Sum& sum;
    std::vector<Sample>& grid;
    std::vector<double>& gridSines;
};

// Index of grid point (i, j) in a barycentric grid of n steps a side.
size_t gridIndex(int n, int i, int j)
{
    return size_t(i * (n + 1) - i * (i - 1) / 2 + j);
}

// The barycentric grid of n steps a side, row i from corner 0 towards corner 1, j towards corner
// 2; every grid point on the surface through its interpolated (u, v). Widens [low, high] by the
// grid's sines.
void fillGrid(ChunkWork& w, const osg::UInt32* index, size_t face, const Sample* corners[3], int n, double& low,
              double& high)
{
    const std::vector<double>& uv = w.cad.uv;
    w.grid.resize(size_t((n + 1) * (n + 2) / 2));
    w.gridSines.resize(w.grid.size());
    for (int i = 0; i <= n; ++i)
        for (int j = 0; i + j <= n; ++j)
        {
            const double b1 = double(i) / n, b2 = double(j) / n, b0 = 1 - b1 - b2;
            Sample& s = w.grid[gridIndex(n, i, j)];
            if ((i == 0 || i == n) && j == 0)
                s = *corners[i == 0 ? 0 : 1];
            else if (i == 0 && j == n)
                s = *corners[2];
            else
            {
                Sample fallback;
                for (int k = 0; k < 3; ++k)
                {
                    fallback.p[k] = b0 * corners[0]->p[k] + b1 * corners[1]->p[k] + b2 * corners[2]->p[k];
                    fallback.n[k] = b0 * corners[0]->n[k] + b1 * corners[1]->n[k] + b2 * corners[2]->n[k];
                }
                const double u = b0 * uv[2 * index[0]] + b1 * uv[2 * index[1]] + b2 * uv[2 * index[2]];
                const double v = b0 * uv[2 * index[0] + 1] + b1 * uv[2 * index[1] + 1] + b2 * uv[2 * index[2] + 1];
                evaluate(w.model, face, u, v, fallback, s);
            }
            const double sine = dot(s.n, w.direction);
            w.gridSines[gridIndex(n, i, j)] = sine;
            low = std::min(low, sine);
            high = std::max(high, sine);
        }
}

// The grid's n * n small triangles into the chunk's sum.
void addGrid(ChunkWork& w, int n)
{
    auto addTriangle = [&](size_t a, size_t b, size_t c)
    {
        const double p[3][3] = {{w.grid[a].p[0], w.grid[a].p[1], w.grid[a].p[2]},
                                {w.grid[b].p[0], w.grid[b].p[1], w.grid[b].p[2]},
                                {w.grid[c].p[0], w.grid[c].p[1], w.grid[c].p[2]}};
        const double s[3] = {w.gridSines[a], w.gridSines[b], w.gridSines[c]};
        w.sum.add(p, s, w.threshold);
    };
    for (int i = 0; i < n; ++i)
        for (int j = 0; i + j < n; ++j)
        {
            addTriangle(gridIndex(n, i, j), gridIndex(n, i + 1, j), gridIndex(n, i, j + 1));
            if (i + j + 1 < n)
                addTriangle(gridIndex(n, i + 1, j), gridIndex(n, i + 1, j + 1), gridIndex(n, i, j + 1));
        }
}

// One mesh triangle of a face into the chunk's sum and the face's sine range.
void sampleTriangle(ChunkWork& w, const osg::UInt32* index, size_t face, double& low, double& high)
{
    const Sample* corners[3] = {&w.atVertex[index[0]], &w.atVertex[index[1]], &w.atVertex[index[2]]};
    const double sines[3] = {dot(corners[0]->n, w.direction), dot(corners[1]->n, w.direction),
                             dot(corners[2]->n, w.direction)};
    const int n = subdivisions(corners, sines, w.threshold);
    if (n == 1)
    {
        const double p[3][3] = {{corners[0]->p[0], corners[0]->p[1], corners[0]->p[2]},
                                {corners[1]->p[0], corners[1]->p[1], corners[1]->p[2]},
                                {corners[2]->p[0], corners[2]->p[1], corners[2]->p[2]}};
        w.sum.add(p, sines, w.threshold);
        low = std::min({low, sines[0], sines[1], sines[2]});
        high = std::max({high, sines[0], sines[1], sines[2]});
        return;
    }
    fillGrid(w, index, face, corners, n, low, high);
    addGrid(w, n);
}
} // namespace

void oxCadDraft::sample(const oxCadMesh& cad, const oxRenderMesh& mesh, const double direction[3], double threshold,
                        oxDraftStats::Sum& sum, std::vector<double>& faceSines)
{
    const oxCadModel::Impl& model = cad.model->impl();
    const size_t faces = cad.model->faceCount(), vertices = mesh.vertexCount(), triangles = mesh.triangleCount();
    faceSines.assign(2 * faces, 0.0);
    for (size_t f = 0; f < faces; ++f)
    {
        faceSines[2 * f] = 2;
        faceSines[2 * f + 1] = -2;
    }
    if (cad.vertexFace.size() != vertices || cad.uv.size() != 2 * vertices)
        return;

    std::vector<Sample> atVertex(vertices);
    sampleVertices(model, cad, mesh, atVertex);

    tbb::enumerable_thread_specific<std::vector<double>> ranges([&] { return faceSines; });
    constexpr size_t Chunk = 4096;
    std::vector<oxDraftStats::Sum> sums((triangles + Chunk - 1) / Chunk);
    tbb::parallel_for(size_t(0), sums.size(),
                      [&](size_t chunk)
                      {
                          std::vector<double>& range = ranges.local();
                          std::vector<Sample> grid;
                          std::vector<double> gridSines;
                          ChunkWork w{model, cad, atVertex, direction, threshold, sums[chunk], grid, gridSines};
                          for (size_t t = chunk * Chunk; t < std::min(triangles, (chunk + 1) * Chunk); ++t)
                          {
                              const osg::UInt32* index = &mesh.indices[3 * t];
                              const size_t face = cad.vertexFace[index[0]];
                              if (face >= faces)
                                  continue;
                              sampleTriangle(w, index, face, range[2 * face], range[2 * face + 1]);
                          }
                      });
    for (const oxDraftStats::Sum& s : sums)
        sum.add(s);
    for (const std::vector<double>& range : ranges)
        for (size_t f = 0; f < faces; ++f)
        {
            faceSines[2 * f] = std::min(faceSines[2 * f], range[2 * f]);
            faceSines[2 * f + 1] = std::max(faceSines[2 * f + 1], range[2 * f + 1]);
        }
}
