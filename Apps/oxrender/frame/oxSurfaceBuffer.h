#pragma once

#include "oxRenderCamera.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Every sample's surface under the pixels of one view: what the shading reads (hit or miss,
// point, normal turned to the viewer, side, ray direction, curvatures when asked for, triangle and
// barycentrics), and each pixel's depth. A frame with other analysis settings re-shades it instead
// of tracing again. Kept tile by tile and, within a tile, sample by sample in the order the rays
// were traced, so that the re-shaded batches are the traced frame's own, pixel for pixel.
class oxSurfaceBuffer
{
public:
    static constexpr int TileSize = 16;

    // What the surface data depends on.
    struct Key
    {
        oxRenderCamera camera;
        int width = 1, height = 1;
        int samples = 1;
        size_t sceneVersion = 0;
        bool exact = true;
        bool curvature = false; // the principal curvatures are kept
        // The same rays into the same scene: camera, size, samples and scene version.
        bool sameView(const Key& o) const;
        bool operator==(const Key& o) const { return sameView(o) && exact == o.exact && curvature == o.curvature; }
    };

    // Whether the buffer holds a whole trace for key; one with curvatures also serves a key without.
    bool serves(const Key& key) const;
    // Whether it holds at least the pixels with even x and y of key's view (one sample): a frame at
    // half the size that the rest of the pixels complete.
    bool servesEvenPixels(const Key& key) const;
    const Key& key() const { return _key; }

    // Sizes the buffer for key and marks it incomplete until setComplete (or setEvenPixels).
    void reset(const Key& key);
    void setComplete() { _filled = Filled::All; }
    void setEvenPixels() { _filled = Filled::EvenPixels; }
    // Marks the buffer incomplete while the rest of the pixels are added to its even ones.
    void beginRest() { _filled = Filled::None; }
    void clear();

    // The hits of one sample's rays over one tile, in trace order.
    struct Segment
    {
        int* count;
        std::uint8_t* pixel; // y * TileSize + x within the tile
        float *px, *py, *pz, *nx, *ny, *nz, *dx, *dy, *dz;
        float *side, *kMax, *kMin; // kMax and kMin null without curvatures
        float *u, *v;
        std::uint32_t *geomID, *primID;
    };
    Segment segment(int tile, int sample);
    int tilesX() const { return _tilesX; }
    int tilesY() const { return _tilesY; }
    // Each pixel's camera-space depth (the nearest of its samples), infinity where nothing is hit.
    std::vector<float>& depth() { return _depth; }
    const std::vector<float>& depth() const { return _depth; }

    // The first sample's hit under pixel (x, y) of a complete buffer: false where it hit nothing.
    struct Hit
    {
        unsigned geomID = 0, primID = 0;
        float u = 0, v = 0;
        osg::Pnt3f point;
        osg::Vec3f normal, direction;
    };
    bool hit(int x, int y, Hit& out) const;

    // How many times the buffer was filled by a trace: tests count retraces with it.
    size_t traces() const { return _traces; }

    // Memory for key's view, for callers that keep buffers only up to a size.
    static size_t bytesFor(const Key& key);

private:
    Key _key;
    enum class Filled
    {
        None,
        EvenPixels,
        All
    };
    Filled _filled = Filled::None;
    size_t _traces = 0;
    int _tilesX = 0, _tilesY = 0;
    std::vector<int> _counts; // per tile and sample
    std::vector<std::uint8_t> _pixel;
    std::vector<float> _p[3], _n[3], _d[3], _side, _kMax, _kMin, _u, _v;
    std::vector<std::uint32_t> _geomID, _primID;
    std::vector<float> _depth;
};
