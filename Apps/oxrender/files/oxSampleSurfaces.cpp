#include "oxSampleSurfaces.h"

#include "oxTeapotData.h"

#include <algorithm>
#include <cmath>

namespace
{
const double HalfPi = osg::Pi / 2;

// A (rows + 1) x (cols + 1) vertex grid, quads split into two triangles; wrapCols joins the last
// column to the first.
void gridIndices(oxRenderMesh& mesh, osg::UInt32 base, int rows, int cols, bool wrapCols)
{
    const int stride = wrapCols ? cols : cols + 1;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
        {
            const osg::UInt32 a = base + osg::UInt32(r * stride + c);
            const osg::UInt32 b = base + osg::UInt32(r * stride + (wrapCols ? (c + 1) % cols : c + 1));
            const osg::UInt32 d = base + osg::UInt32((r + 1) * stride + c);
            const osg::UInt32 e = base + osg::UInt32((r + 1) * stride + (wrapCols ? (c + 1) % cols : c + 1));
            mesh.indices.insert(mesh.indices.end(), {a, d, e, a, e, b});
        }
}

void push(oxRenderMesh& mesh, double x, double y, double z, double nx, double ny, double nz)
{
    mesh.positions.emplace_back(float(x), float(y), float(z));
    mesh.normals.emplace_back(float(nx), float(ny), float(nz));
}

// Bernstein basis of degree 3 and its derivative.
void bernstein(double t, double b[4], double d[4])
{
    const double s = 1 - t;
    b[0] = s * s * s;
    b[1] = 3 * t * s * s;
    b[2] = 3 * t * t * s;
    b[3] = t * t * t;
    d[0] = -3 * s * s;
    d[1] = 3 * s * s - 6 * t * s;
    d[2] = 6 * t * s - 3 * t * t;
    d[3] = 3 * t * t;
}

void evalPatch(const int* patch, double u, double v, osg::Vec3f& p, osg::Vec3f& du, osg::Vec3f& dv)
{
    double bu[4], du_[4], bv[4], dv_[4];
    bernstein(u, bu, du_);
    bernstein(v, bv, dv_);
    double P[3] = {0, 0, 0}, U[3] = {0, 0, 0}, V[3] = {0, 0, 0};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            const float* c = oxTeapotData::points[patch[i * 4 + j] - 1];
            for (int k = 0; k < 3; ++k)
            {
                P[k] += bu[i] * bv[j] * c[k];
                U[k] += du_[i] * bv[j] * c[k];
                V[k] += bu[i] * dv_[j] * c[k];
            }
        }
    p = osg::Vec3f(float(P[0]), float(P[1]), float(P[2]));
    du = osg::Vec3f(float(U[0]), float(U[1]), float(U[2]));
    dv = osg::Vec3f(float(V[0]), float(V[1]), float(V[2]));
}
} // namespace

std::vector<std::string> oxSampleSurfaces::names()
{
    return {"sphere", "torus", "cylinder", "saddle", "teapot", "joins"};
}

bool oxSampleSurfaces::make(const std::string& name, oxRenderMesh& mesh, std::string& error)
{
    if (name == "sphere")
        mesh = sphere(20.f, 192);
    else if (name == "torus")
        mesh = torus(20.f, 8.f, 192);
    else if (name == "cylinder")
        mesh = cylinder(15.f, 50.f, 192);
    else if (name == "saddle")
        mesh = saddle(25.f, 25.f, 160);
    else if (name == "teapot")
        mesh = teapot(10.f, 24);
    else if (name == "joins")
        mesh = joins(10.f, 96);
    else
    {
        std::string valid;
        for (const std::string& n : names())
            valid += (valid.empty() ? "" : ", ") + n;
        error = "unknown sample surface \"" + name + "\"; the samples are " + valid;
        return false;
    }
    mesh.name = name;
    return true;
}

oxRenderMesh oxSampleSurfaces::sphere(float radius, int segments)
{
    oxRenderMesh mesh;
    const int rings = std::max(2, segments / 2), cols = std::max(3, segments);
    push(mesh, 0, radius, 0, 0, 1, 0);
    for (int r = 1; r < rings; ++r)
    {
        const double theta = osg::Pi * r / rings;
        for (int c = 0; c < cols; ++c)
        {
            const double phi = 2 * osg::Pi * c / cols;
            const double n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi)};
            push(mesh, radius * n[0], radius * n[1], radius * n[2], n[0], n[1], n[2]);
        }
    }
    push(mesh, 0, -radius, 0, 0, -1, 0);
    const osg::UInt32 south = osg::UInt32(mesh.positions.size() - 1);
    for (int c = 0; c < cols; ++c)
        mesh.indices.insert(mesh.indices.end(), {0u, osg::UInt32(1 + c), osg::UInt32(1 + (c + 1) % cols)});
    gridIndices(mesh, 1, rings - 2, cols, true);
    const osg::UInt32 last = osg::UInt32(1 + (rings - 2) * cols);
    for (int c = 0; c < cols; ++c)
        mesh.indices.insert(mesh.indices.end(), {last + osg::UInt32(c), south, last + osg::UInt32((c + 1) % cols)});
    mesh.orientToNormals();
    return mesh;
}

oxRenderMesh oxSampleSurfaces::torus(float majorRadius, float minorRadius, int segments)
{
    oxRenderMesh mesh;
    const int around = std::max(3, segments), tube = std::max(3, segments / 2);
    for (int i = 0; i <= tube; ++i)
    {
        const double a = 2 * osg::Pi * (i % tube) / tube;
        for (int j = 0; j < around; ++j)
        {
            const double b = 2 * osg::Pi * j / around;
            const double n[3] = {std::cos(a) * std::cos(b), std::sin(a), -std::cos(a) * std::sin(b)};
            const double c[3] = {majorRadius * std::cos(b), 0, -majorRadius * std::sin(b)};
            push(mesh, c[0] + minorRadius * n[0], c[1] + minorRadius * n[1], c[2] + minorRadius * n[2], n[0], n[1],
                 n[2]);
        }
    }
    // The last row repeats the first position; map it back so the tube closes without a seam.
    gridIndices(mesh, 0, tube, around, true);
    const osg::UInt32 seam = osg::UInt32(tube * around);
    for (osg::UInt32& index : mesh.indices)
        if (index >= seam)
            index -= seam;
    mesh.positions.resize(seam);
    mesh.normals.resize(seam);
    mesh.orientToNormals();
    return mesh;
}

oxRenderMesh oxSampleSurfaces::cylinder(float radius, float height, int segments)
{
    oxRenderMesh mesh;
    const int cols = std::max(3, segments);
    const int rows = std::max(1, int(std::lround(segments * height / (2 * osg::Pi * radius))));
    for (int r = 0; r <= rows; ++r)
    {
        const double y = height * (double(r) / rows - 0.5);
        for (int c = 0; c < cols; ++c)
        {
            const double phi = 2 * osg::Pi * c / cols;
            push(mesh, radius * std::sin(phi), y, radius * std::cos(phi), std::sin(phi), 0, std::cos(phi));
        }
    }
    gridIndices(mesh, 0, rows, cols, true);
    mesh.orientToNormals();
    return mesh;
}

oxRenderMesh oxSampleSurfaces::saddle(float halfSize, float scale, int segments)
{
    oxRenderMesh mesh;
    const int n = std::max(1, segments);
    for (int r = 0; r <= n; ++r)
    {
        const double y = halfSize * (2.0 * r / n - 1);
        for (int c = 0; c <= n; ++c)
        {
            const double x = halfSize * (2.0 * c / n - 1);
            // Normal of z = f(x, y): (-f_x, -f_y, 1).
            const double fx = y / scale, fy = x / scale;
            const double len = std::sqrt(fx * fx + fy * fy + 1);
            push(mesh, x, y, x * y / scale, -fx / len, -fy / len, 1 / len);
        }
    }
    gridIndices(mesh, 0, n, n, false);
    mesh.orientToNormals();
    return mesh;
}

oxRenderMesh oxSampleSurfaces::plane(float halfSize, int segments)
{
    oxRenderMesh mesh;
    const int n = std::max(1, segments);
    for (int r = 0; r <= n; ++r)
        for (int c = 0; c <= n; ++c)
            push(mesh, halfSize * (2.0 * c / n - 1), halfSize * (2.0 * r / n - 1), 0, 0, 0, 1);
    gridIndices(mesh, 0, n, n, false);
    mesh.orientToNormals();
    return mesh;
}

oxRenderMesh oxSampleSurfaces::teapot(float scale, int segmentsPerPatch)
{
    oxRenderMesh mesh;
    const int n = std::max(1, segmentsPerPatch);
    for (int patch = 0; patch < oxTeapotData::PatchCount; ++patch)
    {
        const int* net = oxTeapotData::patches[patch];
        // Newell's patches do not all run the same way round. Judge each by its centre: the
        // body, rim, lid and bottom face away from the body's middle, the knob (patches 20 to
        // 23, whose centre lies under its cap) away from the axis, the handle (12 to 15) and the
        // spout (16 to 19) away from their tube's centre line, which at mid-u lies between the
        // patch's two side edges.
        osg::Vec3f centre, du, dv, reference(0.f, 0.f, 1.5f);
        evalPatch(net, 0.5, 0.5, centre, du, dv);
        if (patch >= 20 && patch < 24)
            reference = osg::Vec3f(0.f, 0.f, centre[2]);
        if (patch >= 12 && patch < 20)
        {
            osg::Vec3f a, b, unused;
            evalPatch(net, 0.5, 0.0, a, unused, unused);
            evalPatch(net, 0.5, 1.0, b, unused, unused);
            reference = (a + b) * 0.5f;
        }
        const float sign = du.cross(dv).dot(centre - reference) < 0.f ? -1.f : 1.f;

        const osg::UInt32 base = osg::UInt32(mesh.positions.size());
        for (int i = 0; i <= n; ++i)
            for (int j = 0; j <= n; ++j)
            {
                const double u = double(i) / n, v = double(j) / n;
                osg::Vec3f p;
                evalPatch(net, u, v, p, du, dv);
                osg::Vec3f normal = du.cross(dv);
                if (normal.length() < 1e-6f)
                {
                    // A collapsed patch edge (the lid's tip, the bottom's centre): the normal
                    // just inside the patch, where it is defined.
                    osg::Vec3f q;
                    evalPatch(net, std::clamp(u, 1e-4, 1 - 1e-4), std::clamp(v, 1e-4, 1 - 1e-4), q, du, dv);
                    normal = du.cross(dv);
                }
                normal.normalize();
                normal *= sign;
                // z up to y up: (x, y, z) -> (x, z, -y), lowered so the body's middle is at the origin.
                push(mesh, scale * p[0], scale * (p[2] - 1.5f), -scale * p[1], normal[0], normal[2], -normal[1]);
            }
        if (sign > 0.f)
            gridIndices(mesh, base, n, n, false);
        else
        {
            // Keep the triangles' winding in step with the turned normals.
            const size_t first = mesh.indices.size();
            gridIndices(mesh, base, n, n, false);
            for (size_t t = first; t < mesh.indices.size(); t += 3)
                std::swap(mesh.indices[t + 1], mesh.indices[t + 2]);
        }
    }
    mesh.orientToNormals();
    return mesh;
}

double oxSampleSurfaces::joinAngle(Join join, double s)
{
    if (s <= 0)
        return 0;
    const double kink = osg::deg2rad(JoinKinkDegrees);
    switch (join)
    {
    case JoinG0:
        return std::min(kink + s / JoinRadius, HalfPi);
    case JoinG1:
        return std::min(s / JoinRadius, HalfPi);
    case JoinG2:
    default:
        if (s < JoinClothoidLength)
            return s * s / (2 * JoinClothoidLength * JoinRadius);
        return std::min(JoinClothoidLength / (2 * JoinRadius) + (s - JoinClothoidLength) / JoinRadius, HalfPi);
    }
}

void oxSampleSurfaces::joinPoint(Join join, double s, double& x, double& z)
{
    if (s <= 0)
    {
        x = s;
        z = 0;
        return;
    }
    // The tangent is (cos a, -sin a); integrate it with Simpson's rule in fine steps.
    const int steps = std::max(2, int(std::ceil(s / 1e-3)) * 2);
    const double h = s / steps;
    double sx = 0, sz = 0;
    for (int i = 0; i <= steps; ++i)
    {
        const double w = (i == 0 || i == steps) ? 1 : (i % 2 ? 4 : 2);
        // Just past the join the G0 angle is the kinked one, not the flat one.
        const double a = joinAngle(join, std::max(i * h, 1e-12));
        sx += w * std::cos(a);
        sz -= w * std::sin(a);
    }
    x = sx * h / 3;
    z = sz * h / 3;
}

oxRenderMesh oxSampleSurfaces::joinStrip(Join join, float scale, float y0, float y1, int segments)
{
    oxRenderMesh mesh;
    const int n = std::max(2, segments);
    const double kink = osg::deg2rad(JoinKinkDegrees);
    const double bendLength = join == JoinG0   ? (HalfPi - kink) * JoinRadius
                              : join == JoinG1 ? HalfPi * JoinRadius
                                               : JoinClothoidLength / 2 + HalfPi * JoinRadius;
    const int rows = std::max(1, int(std::lround(n * (y1 - y0) / (scale * JoinFlatLength))));

    // Columns: the flat part, then the bend; the G0 join gets a second column at the same place
    // with the kinked normal.
    std::vector<double> arc;
    for (int i = 0; i <= n; ++i)
        arc.push_back(-JoinFlatLength + JoinFlatLength * i / n);
    const int bendColumns = std::max(2, int(std::lround(n * bendLength / JoinFlatLength)));
    std::vector<bool> split(arc.size(), false);
    for (int i = join == JoinG0 ? 0 : 1; i <= bendColumns; ++i)
    {
        arc.push_back(bendLength * i / bendColumns);
        split.push_back(i == 0);
    }

    const int cols = int(arc.size());
    std::vector<double> px(arc.size()), pz(arc.size());
    for (int c = 0; c < cols; ++c)
        joinPoint(join, arc[c], px[c], pz[c]);
    for (int r = 0; r <= rows; ++r)
    {
        const double y = y0 + (y1 - y0) * double(r) / rows;
        for (int c = 0; c < cols; ++c)
        {
            const double a = split[c] ? kink : joinAngle(join, arc[c]);
            push(mesh, scale * px[c], y, scale * pz[c], std::sin(a), 0, std::cos(a));
        }
    }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c + 1 < cols; ++c)
        {
            if (join == JoinG0 && c == n)
                continue; // the two join columns are one place: no faces between them
            const osg::UInt32 a = osg::UInt32(r * cols + c), b = a + 1;
            const osg::UInt32 d = a + osg::UInt32(cols), e = d + 1;
            mesh.indices.insert(mesh.indices.end(), {a, b, e, a, e, d});
        }
    mesh.orientToNormals();
    return mesh;
}

oxRenderMesh oxSampleSurfaces::joins(float scale, int segments)
{
    oxRenderMesh mesh;
    const float width = float(JoinFlatLength) * scale, gap = 0.25f * scale;
    mesh.append(joinStrip(JoinG0, scale, 0.5f * width + gap, 1.5f * width + gap, segments));
    mesh.append(joinStrip(JoinG1, scale, -0.5f * width, 0.5f * width, segments));
    mesh.append(joinStrip(JoinG2, scale, -1.5f * width - gap, -0.5f * width - gap, segments));
    mesh.orientToNormals();
    return mesh;
}
