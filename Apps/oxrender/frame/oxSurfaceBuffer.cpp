#include "oxSurfaceBuffer.h"

#include <limits>

bool oxSurfaceBuffer::Key::sameView(const Key& o) const
{
    const oxRenderCamera &a = camera, &b = o.camera;
    return a.from == b.from && a.at == b.at && a.up == b.up && a.fovDegrees == b.fovDegrees &&
           a.orthographic == b.orthographic && a.orthographicHeight == b.orthographicHeight && width == o.width &&
           height == o.height && samples == o.samples && sceneVersion == o.sceneVersion;
}

bool oxSurfaceBuffer::serves(const Key& key) const
{
    return _filled == Filled::All && key.sameView(_key) && key.exact == _key.exact &&
           (_key.curvature || !key.curvature);
}

bool oxSurfaceBuffer::servesEvenPixels(const Key& key) const
{
    return _filled != Filled::None && key.samples == 1 && key.sameView(_key) && key.exact == _key.exact &&
           (_key.curvature || !key.curvature);
}

namespace
{
size_t slotsFor(const oxSurfaceBuffer::Key& key)
{
    constexpr int T = oxSurfaceBuffer::TileSize;
    const size_t tiles = size_t((key.width + T - 1) / T) * size_t((key.height + T - 1) / T);
    return tiles * size_t(key.samples * key.samples) * size_t(T * T);
}
} // namespace

size_t oxSurfaceBuffer::bytesFor(const Key& key)
{
    const size_t perSlot = 1 + 4 * (3 * 3 + 1 + 2) + 2 * 4 + (key.curvature ? 2 * 4 : 0);
    return slotsFor(key) * perSlot + size_t(key.width) * size_t(key.height) * sizeof(float);
}

void oxSurfaceBuffer::reset(const Key& key)
{
    _key = key;
    _filled = Filled::None;
    ++_traces;
    _tilesX = (key.width + TileSize - 1) / TileSize;
    _tilesY = (key.height + TileSize - 1) / TileSize;
    const size_t slots = slotsFor(key);
    _counts.assign(size_t(_tilesX) * size_t(_tilesY) * size_t(key.samples * key.samples), 0);
    // Every slot is written by the trace before it is read: resize, not assign.
    _pixel.resize(slots);
    for (int c = 0; c < 3; ++c)
    {
        _p[c].resize(slots);
        _n[c].resize(slots);
        _d[c].resize(slots);
    }
    _side.resize(slots);
    _u.resize(slots);
    _v.resize(slots);
    _geomID.resize(slots);
    _primID.resize(slots);
    _kMax.resize(key.curvature ? slots : 0);
    _kMin.resize(key.curvature ? slots : 0);
    _kMax.shrink_to_fit();
    _kMin.shrink_to_fit();
    _depth.assign(size_t(key.width) * size_t(key.height), std::numeric_limits<float>::infinity());
}

void oxSurfaceBuffer::clear()
{
    const size_t traces = _traces;
    *this = oxSurfaceBuffer();
    _traces = traces;
}

oxSurfaceBuffer::Segment oxSurfaceBuffer::segment(int tile, int sample)
{
    const size_t index = size_t(tile) * size_t(_key.samples * _key.samples) + size_t(sample);
    const size_t at = index * size_t(TileSize * TileSize);
    const bool k = _key.curvature;
    return Segment{&_counts[index],
                   &_pixel[at],
                   &_p[0][at],
                   &_p[1][at],
                   &_p[2][at],
                   &_n[0][at],
                   &_n[1][at],
                   &_n[2][at],
                   &_d[0][at],
                   &_d[1][at],
                   &_d[2][at],
                   &_side[at],
                   k ? &_kMax[at] : nullptr,
                   k ? &_kMin[at] : nullptr,
                   &_u[at],
                   &_v[at],
                   &_geomID[at],
                   &_primID[at]};
}

bool oxSurfaceBuffer::hit(int x, int y, Hit& out) const
{
    if (_filled != Filled::All || x < 0 || y < 0 || x >= _key.width || y >= _key.height)
        return false;
    const int tile = (y / TileSize) * _tilesX + x / TileSize;
    const size_t index = size_t(tile) * size_t(_key.samples * _key.samples);
    const size_t at = index * size_t(TileSize * TileSize);
    const std::uint8_t pixel = std::uint8_t((y % TileSize) * TileSize + x % TileSize);
    for (size_t i = at; i < at + size_t(_counts[index]); ++i)
        if (_pixel[i] == pixel)
        {
            out.geomID = _geomID[i];
            out.primID = _primID[i];
            out.u = _u[i];
            out.v = _v[i];
            out.point = osg::Pnt3f(_p[0][i], _p[1][i], _p[2][i]);
            out.normal = osg::Vec3f(_n[0][i], _n[1][i], _n[2][i]);
            out.direction = osg::Vec3f(_d[0][i], _d[1][i], _d[2][i]);
            return true;
        }
    return false;
}
