#include "oxHostScene.h"

#include "OSGGeometry.h"
#include "oxScenegraph.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace
{
osg::Vec3f cross(const osg::Vec3f& a, const osg::Vec3f& b)
{
    return osg::Vec3f(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}

// Area-weighted: the unnormalised face normal is twice the triangle's area long.
std::vector<osg::Vec3f> smoothNormals(const std::vector<osg::Pnt3f>& positions,
                                      const std::vector<osg::UInt32>& triangles)
{
    std::vector<osg::Vec3f> normals(positions.size(), osg::Vec3f(0.f, 0.f, 0.f));
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
    {
        const osg::UInt32 i0 = triangles[t], i1 = triangles[t + 1], i2 = triangles[t + 2];
        const osg::Vec3f face = cross(positions[i1] - positions[i0], positions[i2] - positions[i0]);
        if (!std::isfinite(face[0]) || !std::isfinite(face[1]) || !std::isfinite(face[2]))
            continue;
        normals[i0] += face;
        normals[i1] += face;
        normals[i2] += face;
    }
    // A position on no triangle keeps a zero normal; the picker then uses the face normal.
    for (osg::Vec3f& n : normals)
        if (n.length() > 0.f)
            n *= 1.f / n.length();
    return normals;
}

osg::NodePtr makeMeshNode(const std::string& name, const std::vector<osg::Pnt3f>& points,
                          const std::vector<osg::UInt32>& triangles, const std::vector<osg::Vec3f>& vertexNormals)
{
    osg::GeoPositions3fPtr positions = osg::GeoPositions3f::create();
    osg::GeoNormals3fPtr normals = osg::GeoNormals3f::create();
    osg::GeoIndicesUI32Ptr indices = osg::GeoIndicesUI32::create();
    osg::GeoPTypesUI8Ptr types = osg::GeoPTypesUI8::create();
    osg::GeoPLengthsUI32Ptr lengths = osg::GeoPLengthsUI32::create();
    osg::beginEditCP(positions);
    {
        positions->getField().getValues().assign(points.begin(), points.end());
    }
    osg::endEditCP(positions);
    osg::beginEditCP(normals);
    {
        normals->getField().getValues().assign(vertexNormals.begin(), vertexNormals.end());
    }
    osg::endEditCP(normals);
    osg::beginEditCP(indices);
    {
        indices->getField().getValues().assign(triangles.begin(), triangles.end());
    }
    osg::endEditCP(indices);
    osg::beginEditCP(types);
    osg::beginEditCP(lengths);
    {
        types->push_back(osg::GL_TRIANGLES_);
        lengths->push_back(osg::UInt32(triangles.size()));
    }
    osg::endEditCP(lengths);
    osg::endEditCP(types);

    osg::GeometryPtr geometry = osg::Geometry::create();
    osg::beginEditCP(geometry);
    {
        geometry->setTypes(types);
        geometry->setLengths(lengths);
        geometry->setPositions(positions);
        geometry->setNormals(normals);
        geometry->setIndices(indices);
    }
    osg::endEditCP(geometry);

    osg::NodePtr node = osg::Node::create();
    osg::beginEditCP(node, osg::Node::CoreFieldMask);
    {
        node->setCore(geometry);
    }
    osg::endEditCP(node, osg::Node::CoreFieldMask);
    node->setName(name);
    return node;
}

// One OBJ face corner: a position index and, when given, a normal index, both from 0.
struct Corner
{
    long position;
    long normal; // -1: none
    bool operator<(const Corner& o) const { return position != o.position ? position < o.position : normal < o.normal; }
};

class ObjReader
{
public:
    bool read(std::istream& in, std::string& error)
    {
        std::string line;
        while (std::getline(in, line))
        {
            ++_line;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::istringstream words(line);
            std::string keyword;
            if (!(words >> keyword) || keyword[0] == '#')
                continue;
            if (keyword == "v" || keyword == "vn")
            {
                osg::Vec3f v;
                for (int i = 0; i < 3; ++i)
                {
                    std::string word;
                    if (!(words >> word) || !number(word, v[i]))
                        return fail(error, "expected three numbers after \"" + keyword + "\"");
                }
                if (keyword == "v")
                    _positions.push_back(osg::Pnt3f(v[0], v[1], v[2]));
                else
                    _normals.push_back(v);
            }
            else if (keyword == "f")
            {
                std::vector<Corner> face;
                std::string word;
                while (words >> word)
                {
                    Corner corner;
                    if (!parseCorner(word, corner, error))
                        return false;
                    face.push_back(corner);
                }
                if (face.size() < 3)
                    return fail(error, "a face needs at least three corners");
                for (std::size_t i = 1; i + 1 < face.size(); ++i)
                    for (const Corner& c : {face[0], face[i], face[i + 1]})
                        _corners.push_back(c);
            }
        }
        if (in.bad())
            return fail(error, std::strerror(errno));
        if (_corners.empty())
        {
            error = "the file has no faces";
            return false;
        }
        return true;
    }

    // Corners with the same position and normal share one mesh position.
    void build(std::vector<osg::Pnt3f>& positions, std::vector<osg::UInt32>& triangles,
               std::vector<osg::Vec3f>& normals) const
    {
        std::map<Corner, osg::UInt32> index;
        std::vector<Corner> used;
        for (const Corner& c : _corners)
        {
            auto it = index.find(c);
            if (it == index.end())
            {
                it = index.emplace(c, osg::UInt32(used.size())).first;
                used.push_back(c);
            }
            triangles.push_back(it->second);
        }
        // Corners without a normal in the file take the smooth normal of their position.
        std::vector<osg::UInt32> byPosition;
        for (const Corner& c : _corners)
            byPosition.push_back(osg::UInt32(c.position));
        const std::vector<osg::Vec3f> smooth = smoothNormals(_positions, byPosition);
        for (const Corner& c : used)
        {
            positions.push_back(_positions[std::size_t(c.position)]);
            normals.push_back(c.normal >= 0 ? _normals[std::size_t(c.normal)] : smooth[std::size_t(c.position)]);
        }
    }

private:
    bool fail(std::string& error, const std::string& what) const
    {
        error = "line " + std::to_string(_line) + ": " + what;
        return false;
    }

    static bool number(const std::string& word, float& out)
    {
        const char* end = word.data() + word.size();
        const auto result = std::from_chars(word.data(), end, out);
        return result.ec == std::errc() && result.ptr == end && std::isfinite(out);
    }

    // OBJ counts from 1; negative indices count back from the newest element.
    bool resolve(const std::string& text, std::size_t count, const char* what, long& out, std::string& error) const
    {
        long value = 0;
        const char* end = text.data() + text.size();
        const auto result = std::from_chars(text.data(), end, value);
        if (text.empty() || result.ec != std::errc() || result.ptr != end || value == 0)
            return fail(error, "\"" + text + "\" is not a valid " + what + " index");
        out = value > 0 ? value - 1 : long(count) + value;
        if (out < 0 || out >= long(count))
            return fail(error, std::string(what) + " index " + text + " is out of range (there are " +
                                   std::to_string(count) + " so far)");
        return true;
    }

    bool parseCorner(const std::string& word, Corner& corner, std::string& error) const
    {
        const std::size_t slash1 = word.find('/');
        const std::size_t slash2 = slash1 == std::string::npos ? std::string::npos : word.find('/', slash1 + 1);
        if (!resolve(word.substr(0, slash1), _positions.size(), "position", corner.position, error))
            return false;
        corner.normal = -1;
        if (slash2 != std::string::npos && slash2 + 1 < word.size())
            return resolve(word.substr(slash2 + 1), _normals.size(), "normal", corner.normal, error);
        return true;
    }

    int _line = 0;
    std::vector<osg::Pnt3f> _positions;
    std::vector<osg::Vec3f> _normals;
    std::vector<Corner> _corners;
};
} // namespace

osg::NodePtr oxHostScene::addMesh(const std::string& name, const std::vector<osg::Pnt3f>& positions,
                                  const std::vector<osg::UInt32>& triangles, const std::vector<osg::Vec3f>& normals,
                                  std::string& error)
{
    if (triangles.size() % 3 != 0)
    {
        error = "the triangle list of mesh \"" + name + "\" holds " + std::to_string(triangles.size()) +
                " indices, not a multiple of three";
        return osg::NullFC;
    }
    for (osg::UInt32 i : triangles)
        if (i >= positions.size())
        {
            error = "mesh \"" + name + "\" has a triangle with the index " + std::to_string(i) + ", but only " +
                    std::to_string(positions.size()) + " vertices";
            return osg::NullFC;
        }
    if (!normals.empty() && normals.size() != positions.size())
    {
        error = "mesh \"" + name + "\" has " + std::to_string(normals.size()) + " normals for " +
                std::to_string(positions.size()) + " vertices";
        return osg::NullFC;
    }
    osg::NodePtr node =
        makeMeshNode(name, positions, triangles, normals.empty() ? smoothNormals(positions, triangles) : normals);
    osg::NodePtr root = oxScenegraph::getRoot();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    {
        root->addChild(node);
    }
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
    return node;
}

osg::NodePtr oxHostScene::loadObj(const std::string& path, std::string& error)
{
    const std::string prefix = "cannot read mesh \"" + path + "\": ";
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        error = prefix + std::strerror(errno);
        return osg::NullFC;
    }
    ObjReader reader;
    std::string why;
    if (!reader.read(in, why))
    {
        error = prefix + why;
        return osg::NullFC;
    }
    std::vector<osg::Pnt3f> positions;
    std::vector<osg::UInt32> triangles;
    std::vector<osg::Vec3f> normals;
    reader.build(positions, triangles, normals);

    std::string name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return addMesh(name, positions, triangles, normals, error);
}

std::vector<std::string> oxHostScene::meshNames()
{
    std::vector<std::string> names;
    osg::NodePtr root = oxScenegraph::getRoot();
    for (osg::UInt32 i = 0; i < root->getNChildren(); ++i)
        names.push_back(root->getChild(i)->getName());
    return names;
}

bool oxHostScene::removeMesh(const std::string& name)
{
    osg::NodePtr root = oxScenegraph::getRoot();
    for (osg::UInt32 i = 0; i < root->getNChildren(); ++i)
        if (root->getChild(i)->getName() == name)
        {
            osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
            {
                root->subChild(i);
            }
            osg::endEditCP(root, osg::Node::ChildrenFieldMask);
            return true;
        }
    return false;
}

void oxHostScene::clear()
{
    osg::NodePtr root = oxScenegraph::getRoot();
    osg::beginEditCP(root, osg::Node::ChildrenFieldMask);
    {
        while (root->getNChildren() > 0)
            root->subChild(root->getNChildren() - 1);
    }
    osg::endEditCP(root, osg::Node::ChildrenFieldMask);
}
