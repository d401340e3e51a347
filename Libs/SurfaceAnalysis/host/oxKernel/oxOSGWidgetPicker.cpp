#include "oxOSGWidgetPicker.h"

#include "OSGGeometry.h"
#include "oxScenegraph.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace
{
typedef std::array<double, 3> Vec3d;

Vec3d sub(const Vec3d& a, const Vec3d& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec3d cross(const Vec3d& a, const Vec3d& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec3d& a, const Vec3d& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
double length(const Vec3d& a)
{
    return std::sqrt(dot(a, a));
}
bool isFinite(const Vec3d& a)
{
    return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}

// A node's world matrix in double precision, with the cofactors of its 3 x 3 part, which
// carry normals (the inverse transpose up to the determinant).
struct WorldTransform
{
    explicit WorldTransform(const osg::Matrix& m)
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                a[r][c] = m.element(r, c);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
            {
                const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
                cof[r][c] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
            }
        det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];
    }

    Vec3d point(const osg::Pnt3f& p) const
    {
        Vec3d out;
        for (int r = 0; r < 3; ++r)
            out[r] = a[r][0] * p[0] + a[r][1] * p[1] + a[r][2] * p[2] + a[r][3];
        return out;
    }

    Vec3d normal(const Vec3d& n) const
    {
        Vec3d out;
        for (int r = 0; r < 3; ++r)
            out[r] = (cof[r][0] * n[0] + cof[r][1] * n[1] + cof[r][2] * n[2]) * (det < 0 ? -1.0 : 1.0);
        return out;
    }

    double a[3][4];
    double cof[3][3];
    double det;
};

struct Ray
{
    Vec3d origin;
    Vec3d direction;
};

// Moller-Trumbore, both faces. Returns the ray parameter and the barycentric u, v of the hit.
bool intersect(const Ray& ray, const Vec3d& p0, const Vec3d& p1, const Vec3d& p2, double& t, double& u, double& v)
{
    const Vec3d e1 = sub(p1, p0);
    const Vec3d e2 = sub(p2, p0);
    const Vec3d p = cross(ray.direction, e2);
    const double det = dot(e1, p);
    // Relative to the sizes involved, so tiny and huge models are treated alike.
    const double scale = length(e1) * length(e2) * length(ray.direction);
    if (!(std::fabs(det) > 1e-12 * scale))
        return false;
    const double inv = 1.0 / det;
    const Vec3d s = sub(ray.origin, p0);
    u = dot(s, p) * inv;
    if (u < 0.0 || u > 1.0)
        return false;
    const Vec3d q = cross(s, e1);
    v = dot(ray.direction, q) * inv;
    if (v < 0.0 || u + v > 1.0)
        return false;
    t = dot(e2, q) * inv;
    return t > 0.0;
}

Vec3d toVec3d(const osg::Vec3f& v)
{
    return {v[0], v[1], v[2]};
}
osg::Vec3f toVec3f(const Vec3d& v)
{
    return osg::Vec3f(float(v[0]), float(v[1]), float(v[2]));
}

Vec3d unit(const Vec3d& v)
{
    const double len = length(v);
    return len > 0 ? Vec3d{v[0] / len, v[1] / len, v[2] / len} : v;
}
} // namespace

oxOSGWidgetPicker::oxOSGWidgetPicker() = default;
oxOSGWidgetPicker::~oxOSGWidgetPicker() = default;

void oxOSGWidgetPicker::setDisableRaytracingIntersection(bool disable)
{
    m_disableRaytracingIntersection = disable;
}
bool oxOSGWidgetPicker::getDisableRaytracingIntersection() const
{
    return m_disableRaytracingIntersection;
}
void oxOSGWidgetPicker::setPickOnlyAuxiliaryGeometry(bool only)
{
    m_pickOnlyAuxiliaryGeometry = only;
}
bool oxOSGWidgetPicker::getPickOnlyAuxiliaryGeometry() const
{
    return m_pickOnlyAuxiliaryGeometry;
}

bool oxOSGWidgetPicker::pick(const osg::Pnt3f& origin, const osg::Vec3f& direction)
{
    m_hits.clear();
    const Ray ray{{origin[0], origin[1], origin[2]}, toVec3d(direction)};
    if (!isFinite(ray.origin) || !isFinite(ray.direction) || length(ray.direction) == 0.0)
        return false;

    const osg::NodePtr root = m_pickOnlyAuxiliaryGeometry ? oxScenegraph::getInternalRoot() : oxScenegraph::getRoot();
    std::vector<osg::NodePtr> pending;
    if (root != osg::NullFC)
        pending.push_back(root);
    while (!pending.empty())
    {
        const osg::NodePtr node = pending.back();
        pending.pop_back();
        if (!node->getActive())
            continue;
        for (osg::UInt32 i = node->getNChildren(); i > 0; --i)
            if (node->getChild(i - 1) != osg::NullFC)
                pending.push_back(node->getChild(i - 1));

        const osg::GeometryPtr geometry = osg::GeometryPtr::dcast(node->getCore());
        if (geometry == osg::NullFC || geometry->getPositions() == osg::NullFC)
            continue;
        const WorldTransform world(node->getToWorld());
        const osg::GeoPositions3fPtr positions = geometry->getPositions();
        const osg::GeoNormals3fPtr normals = geometry->getNormals();
        const bool vertexNormals = normals != osg::NullFC && normals->size() == positions->size();

        std::vector<Vec3d> points;
        points.reserve(positions->size());
        for (osg::UInt32 i = 0; i < positions->size(); ++i)
            points.push_back(world.point(positions->getValue(i)));

        geometry->forEachTriangle(
            [&](osg::UInt32 i0, osg::UInt32 i1, osg::UInt32 i2)
            {
                double t, u, v;
                if (!intersect(ray, points[i0], points[i1], points[i2], t, u, v))
                    return;
                Vec3d normal = cross(sub(points[i1], points[i0]), sub(points[i2], points[i0]));
                if (vertexNormals)
                {
                    const Vec3d n0 = toVec3d(normals->getValue(i0));
                    const Vec3d n1 = toVec3d(normals->getValue(i1));
                    const Vec3d n2 = toVec3d(normals->getValue(i2));
                    const double w0 = 1.0 - u - v;
                    const Vec3d local{w0 * n0[0] + u * n1[0] + v * n2[0], w0 * n0[1] + u * n1[1] + v * n2[1],
                                      w0 * n0[2] + u * n1[2] + v * n2[2]};
                    const Vec3d interpolated = world.normal(local);
                    // Opposite vertex normals can cancel out; the face still has a normal.
                    if (length(interpolated) > 1e-12 && isFinite(interpolated))
                        normal = interpolated;
                }
                const Vec3d at{ray.origin[0] + t * ray.direction[0], ray.origin[1] + t * ray.direction[1],
                               ray.origin[2] + t * ray.direction[2]};
                m_hits.push_back(Hit{t, node, toVec3f(at), toVec3f(unit(normal))});
            });
    }

    std::stable_sort(m_hits.begin(), m_hits.end(), [](const Hit& a, const Hit& b) { return a.distance < b.distance; });
    // A ray through a shared edge or corner hits each triangle there: keep one hit per node.
    auto same = [](const Hit& a, const Hit& b)
    { return a.node == b.node && std::fabs(a.distance - b.distance) <= 1e-9 * std::max(1.0, a.distance); };
    m_hits.erase(std::unique(m_hits.begin(), m_hits.end(), same), m_hits.end());
    return !m_hits.empty();
}

const oxOSGWidgetPicker::Hit* oxOSGWidgetPicker::hit(int index) const
{
    if (index < 0 || index >= int(m_hits.size()))
        return nullptr;
    return &m_hits[std::size_t(index)];
}

bool oxOSGWidgetPicker::getHitPoint(osg::Vec3f& point, int index)
{
    const Hit* h = hit(index);
    if (!h)
        return false;
    point = h->point;
    return true;
}

bool oxOSGWidgetPicker::getHitNode(osg::NodePtr& node, int index)
{
    const Hit* h = hit(index);
    if (!h)
        return false;
    node = h->node;
    return true;
}

bool oxOSGWidgetPicker::getHitNormal(osg::Vec3f& normal, int index)
{
    const Hit* h = hit(index);
    if (!h)
        return false;
    normal = h->normal;
    return true;
}

int oxOSGWidgetPicker::getHitCount() const
{
    return int(m_hits.size());
}
