#include "oxOverlay.h"

#include "OSGDepthChunk.h"
#include "OSGLineChunk.h"
#include "OSGSimpleMaterial.h"
#include "oxColourMap.h"
#include "oxMeshNodes.h"

#include <QGuiApplication>
#include <QPainter>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>

namespace
{
struct Style
{
    osg::Color3f color{0.8f, 0.8f, 0.8f};
    float alpha = 1.f;
    bool depthTest = true;
    float lineWidth = 1.f;
    osg::Int32 sortKey = 0;
    float depthSlack = 1e-4f; // relative: how far behind the scene a point may lie and still show
};

struct Primitive
{
    Style style;
    int corners = 0; // 2 for a line, 3 for a triangle
    osg::Vec3f c[3]; // camera space
};

Style styleOf(const osg::GeometryPtr& geometry)
{
    Style style;
    const osg::MaterialPtr material = geometry->getMaterial();
    if (material == osg::NullFC)
        return style;
    style.sortKey = material->getSortKey();
    const osg::SimpleMaterialPtr simple = osg::SimpleMaterialPtr::dcast(material);
    if (simple != osg::NullFC)
    {
        style.color = simple->getDiffuse();
        style.alpha = std::clamp(1.f - simple->getTransparency(), 0.f, 1.f);
    }
    const osg::ChunkMaterialPtr chunks = osg::ChunkMaterialPtr::dcast(material);
    if (chunks != osg::NullFC)
    {
        const osg::DepthChunkPtr depth = chunks->find<osg::DepthChunk>();
        if (depth != osg::NullFC)
            style.depthTest = depth->getEnable();
        const osg::LineChunkPtr line = chunks->find<osg::LineChunk>();
        if (line != osg::NullFC)
            style.lineWidth = line->getWidth();
    }
    return style;
}

// The line segments of a geometry's line runs, as position index pairs.
void forEachSegment(const osg::Geometry& geometry, const std::function<void(osg::UInt32, osg::UInt32)>& fn)
{
    const osg::GeoPTypesUI8Ptr types = geometry.getTypes();
    const osg::GeoPositions3fPtr positions = geometry.getPositions();
    if (types == osg::NullFC || positions == osg::NullFC)
        return;
    const osg::GeoPLengthsUI32Ptr lengths = geometry.getLengths();
    const osg::GeoIndicesUI32Ptr indices = geometry.getIndices();
    const size_t count = indices != osg::NullFC ? indices->size() : positions->size();
    auto vertex = [&](size_t k) -> size_t { return indices != osg::NullFC ? indices->getValue(osg::UInt32(k)) : k; };
    auto emit = [&](size_t a, size_t b)
    {
        const size_t i = vertex(a), j = vertex(b);
        if (i < positions->size() && j < positions->size())
            fn(osg::UInt32(i), osg::UInt32(j));
    };
    size_t start = 0;
    for (osg::UInt32 run = 0; run < types->size() && start < count; ++run)
    {
        size_t n = count - start;
        if (lengths != osg::NullFC && run < lengths->size())
            n = std::min<size_t>(lengths->getValue(run), n);
        else if (lengths != osg::NullFC && !lengths->empty())
            break;
        const osg::UInt8 type = types->getValue(run);
        if (type == osg::GL_LINES_)
            for (size_t j = 0; j + 1 < n; j += 2)
                emit(start + j, start + j + 1);
        else if (type == osg::GL_LINE_STRIP_ || type == osg::GL_LINE_LOOP_)
        {
            for (size_t j = 0; j + 1 < n; ++j)
                emit(start + j, start + j + 1);
            if (type == osg::GL_LINE_LOOP_ && n > 2)
                emit(start + n - 1, start);
        }
        start += n;
    }
}

class Canvas
{
public:
    // Draws into the rows [rowBegin, rowEnd) only: canvases on disjoint bands can work side by side.
    Canvas(QImage& image, const oxRenderCamera& camera, const std::vector<float>& depth, int dw, int dh, int rowBegin,
           int rowEnd)
        : _image(image), _camera(camera), _depth(depth), _dw(dw), _dh(dh), _rowBegin(rowBegin), _rowEnd(rowEnd),
          _bits(image.bits()), _stride(size_t(image.bytesPerLine() / 4)), _depthColumn(size_t(image.width())),
          _depthRow(size_t(image.height()))
    {
        // Which depth sample lies under each pixel column and row, worked out once per image.
        for (int x = 0; x < image.width(); ++x)
            _depthColumn[size_t(x)] = std::clamp(int(std::floor((x + 0.5) * _dw / image.width())), 0, _dw - 1);
        for (int y = 0; y < image.height(); ++y)
            _depthRow[size_t(y)] = std::clamp(int(std::floor((y + 0.5) * _dh / image.height())), 0, _dh - 1);
    }

    void draw(const Primitive& p)
    {
        const double near = _camera.nearPlane();
        if (p.corners == 2)
        {
            osg::Vec3f a = p.c[0], b = p.c[1];
            if (a[2] < near && b[2] < near)
                return;
            if (a[2] < near || b[2] < near)
            {
                const float t = float((near - a[2]) / (b[2] - a[2]));
                const osg::Vec3f m = a + (b - a) * t;
                (a[2] < near ? a : b) = m;
            }
            line(a, b, p.style);
            return;
        }
        // Clip the triangle by the near plane, then fan the polygon.
        std::vector<osg::Vec3f> poly;
        for (int i = 0; i < 3; ++i)
        {
            const osg::Vec3f& a = p.c[i];
            const osg::Vec3f& b = p.c[(i + 1) % 3];
            if (a[2] >= near)
                poly.push_back(a);
            if ((a[2] >= near) != (b[2] >= near))
                poly.push_back(a + (b - a) * float((near - a[2]) / (b[2] - a[2])));
        }
        for (size_t i = 1; i + 1 < poly.size(); ++i)
            triangle(poly[0], poly[i], poly[i + 1], p.style);
    }

private:
    // Scene depth under image pixel (x, y).
    float sceneDepth(int x, int y) const
    {
        const int dx = _depthColumn[size_t(x)], dy = _depthRow[size_t(y)];
        return _depth.empty() ? std::numeric_limits<float>::infinity() : _depth[size_t(dy) * size_t(_dw) + size_t(dx)];
    }

    void blend(int x, int y, double z, const Style& s)
    {
        if (x < 0 || y < _rowBegin || x >= _image.width() || y >= _rowEnd)
            return;
        if (s.depthTest)
        {
            const float scene = sceneDepth(x, y);
            if (z > scene + s.depthSlack * std::fabs(scene) + 1e-6)
                return;
        }
        QRgb& px = reinterpret_cast<QRgb*>(_bits)[size_t(y) * _stride + size_t(x)];
        const Mix& mix = mixOf(s);
        px = qRgb(mix[0][qRed(px)], mix[1][qGreen(px)], mix[2][qBlue(px)]);
    }

    // Each channel's value mixed with the style's colour, for every value the channel can have:
    // a large translucent visual costs three look-ups per pixel, not three roundings.
    using Mix = std::array<std::array<std::uint8_t, 256>, 3>;
    const Mix& mixOf(const Style& s)
    {
        if (_mixed && s.color == _mixStyle.color && s.alpha == _mixStyle.alpha)
            return _mix;
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 256; ++c)
                _mix[size_t(k)][size_t(c)] =
                    std::uint8_t(std::lround(c * (1 - s.alpha) + std::clamp(s.color[k], 0.f, 1.f) * 255.f * s.alpha));
        _mixStyle = s;
        _mixed = true;
        return _mix;
    }

    // Depth along the screen: 1 / z is linear in image space for a perspective view.
    double depthAt(double za, double zb, double t) const
    {
        if (_camera.orthographic)
            return za + (zb - za) * t;
        return 1.0 / ((1 - t) / za + t / zb);
    }

    void line(const osg::Vec3f& a, const osg::Vec3f& b, const Style& s)
    {
        double ax, ay, bx, by;
        _camera.toImage(a, ax, ay);
        _camera.toImage(b, bx, by);
        // An end on the eye's plane projects to infinity; such a line has no sensible pixels.
        if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by))
            return;
        // Clip to the image (with a margin) in parameter space, Liang-Barsky style.
        double t0 = 0, t1 = 1;
        const double dx = bx - ax, dy = by - ay;
        const double lo[2] = {-4, -4}, hi[2] = {_image.width() + 4.0, _image.height() + 4.0};
        const double p0[2] = {ax, ay}, dp[2] = {dx, dy};
        for (int k = 0; k < 2; ++k)
        {
            if (std::fabs(dp[k]) < 1e-12)
            {
                if (p0[k] < lo[k] || p0[k] > hi[k])
                    return;
                continue;
            }
            double ta = (lo[k] - p0[k]) / dp[k], tb = (hi[k] - p0[k]) / dp[k];
            if (ta > tb)
                std::swap(ta, tb);
            t0 = std::max(t0, ta);
            t1 = std::min(t1, tb);
        }
        if (t0 > t1)
            return;
        const double steps = std::ceil(std::max(std::fabs(dx), std::fabs(dy)) * (t1 - t0));
        const int half = std::max(0, int(std::lround(s.lineWidth)) - 1);
        const bool steep = std::fabs(dy) > std::fabs(dx);
        int lastX = INT32_MIN, lastY = INT32_MIN;
        for (double i = 0; i <= steps; ++i)
        {
            const double t = steps > 0 ? t0 + (t1 - t0) * i / steps : t0;
            const int x = int(std::floor(ax + dx * t)), y = int(std::floor(ay + dy * t));
            if (x == lastX && y == lastY)
                continue;
            lastX = x;
            lastY = y;
            const double z = depthAt(a[2], b[2], t);
            // Wider lines grow across their direction, about the centre pixel.
            for (int w = -half / 2; w <= half - half / 2; ++w)
                blend(steep ? x + w : x, steep ? y : y + w, z, s);
        }
    }

    void triangle(const osg::Vec3f& a, const osg::Vec3f& b, const osg::Vec3f& c, const Style& s)
    {
        double x[3], y[3];
        _camera.toImage(a, x[0], y[0]);
        _camera.toImage(b, x[1], y[1]);
        _camera.toImage(c, x[2], y[2]);
        const double area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
        if (!(std::fabs(area) > 1e-12) || !std::isfinite(area))
            return;
        // Clamped before the conversion: a corner near the camera's plane projects beyond any int.
        const auto pixel = [](double v, int lo, int hi) { return int(std::clamp(v, lo - 1.0, hi + 1.0)); };
        const int width = _image.width();
        const int minX = std::max(0, pixel(std::floor(std::min({x[0], x[1], x[2]})), 0, width - 1));
        const int maxX = std::min(width - 1, pixel(std::ceil(std::max({x[0], x[1], x[2]})), 0, width - 1));
        const int minY = std::max(_rowBegin, pixel(std::floor(std::min({y[0], y[1], y[2]})), _rowBegin, _rowEnd - 1));
        const int maxY = std::min(_rowEnd - 1, pixel(std::ceil(std::max({y[0], y[1], y[2]})), _rowBegin, _rowEnd - 1));
        const double z[3] = {a[2], b[2], c[2]};
        for (int py = minY; py <= maxY; ++py)
        {
            // Each edge function is linear along the row: the pixels where all three can be
            // non-negative form one span; a pixel's margin keeps the exact test below in charge.
            const double cy = py + 0.5;
            double from = minX, to = maxX;
            for (int e = 0; e < 3; ++e)
            {
                const int i = (e + 1) % 3, j = (e + 2) % 3;
                // w_e(cx) = ((x_i - cx) (y_j - cy) - (x_j - cx) (y_i - cy)) / area = a + b cx
                const double b = ((y[i] - cy) - (y[j] - cy)) / area;
                const double a = (x[i] * (y[j] - cy) - x[j] * (y[i] - cy)) / area;
                if (std::fabs(b) < 1e-12)
                {
                    if (a < -1e-9)
                        from = 1, to = 0;
                    continue;
                }
                const double root = -a / b - 0.5; // pixel index whose centre is on the edge
                if (b > 0)
                    from = std::max(from, std::floor(root) - 1);
                else
                    to = std::min(to, std::ceil(root) + 1);
            }
            for (int px = int(std::max<double>(minX, from)); px <= int(std::min<double>(maxX, to)); ++px)
            {
                const double cx = px + 0.5, cy = py + 0.5;
                const double w0 = ((x[1] - cx) * (y[2] - cy) - (x[2] - cx) * (y[1] - cy)) / area;
                const double w1 = ((x[2] - cx) * (y[0] - cy) - (x[0] - cx) * (y[2] - cy)) / area;
                const double w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0)
                    continue;
                const double depth = _camera.orthographic ? w0 * z[0] + w1 * z[1] + w2 * z[2]
                                                          : 1.0 / (w0 / z[0] + w1 / z[1] + w2 / z[2]);
                blend(px, py, depth, s);
            }
        }
    }

    QImage& _image;
    const oxRenderCamera& _camera;
    const std::vector<float>& _depth;
    int _dw, _dh;
    int _rowBegin, _rowEnd;
    uchar* _bits;
    size_t _stride; // pixels per row
    std::vector<int> _depthColumn, _depthRow;
    Mix _mix;
    Style _mixStyle;
    bool _mixed = false;
};

const char* curvatureName(osg::UInt32 type)
{
    switch (type)
    {
    case osg::GaussianCurvature:
        return "Gaussian curvature";
    case osg::MeanCurvature:
        return "Mean curvature";
    case osg::MinimumCurvature:
        return "Minimum curvature";
    default:
        return "Maximum curvature";
    }
}
} // namespace

class oxOverlay::Visuals
{
public:
    std::vector<Primitive> primitives; // camera space, in drawing order
};

std::shared_ptr<const oxOverlay::Visuals> oxOverlay::collectLightVisuals(const osg::NodePtr& root,
                                                                         oxRenderCamera camera, int width, int height)
{
    auto visuals = std::make_shared<Visuals>();
    if (root == osg::NullFC)
        return visuals;
    camera.setup(std::max(1, width), std::max(1, height));
    std::vector<Primitive>& primitives = visuals->primitives;
    oxMeshNodes::forEachGeometry(root,
                                 [&](const osg::NodePtr&, const osg::GeometryPtr& geometry, const osg::Matrix& toWorld)
                                 {
                                     const osg::GeoPositions3fPtr positions = geometry->getPositions();
                                     if (positions == osg::NullFC)
                                         return;
                                     const Style style = styleOf(geometry);
                                     if (style.alpha <= 0.f)
                                         return;
                                     std::vector<osg::Vec3f> cam(positions->size());
                                     for (osg::UInt32 i = 0; i < positions->size(); ++i)
                                     {
                                         osg::Pnt3f w;
                                         toWorld.multMatrixPnt(positions->getValue(i), w);
                                         cam[i] = camera.toCamera(w);
                                     }
                                     geometry->forEachTriangle(
                                         [&](osg::UInt32 i0, osg::UInt32 i1, osg::UInt32 i2)
                                         {
                                             Primitive p;
                                             p.style = style;
                                             p.corners = 3;
                                             p.c[0] = cam[i0];
                                             p.c[1] = cam[i1];
                                             p.c[2] = cam[i2];
                                             primitives.push_back(p);
                                         });
                                     forEachSegment(*geometry,
                                                    [&](osg::UInt32 i0, osg::UInt32 i1)
                                                    {
                                                        Primitive p;
                                                        p.style = style;
                                                        p.corners = 2;
                                                        p.c[0] = cam[i0];
                                                        p.c[1] = cam[i1];
                                                        primitives.push_back(p);
                                                    });
                                 });
    std::stable_sort(primitives.begin(), primitives.end(),
                     [](const Primitive& a, const Primitive& b) { return a.style.sortKey < b.style.sortKey; });
    return visuals;
}

void oxOverlay::drawLightVisuals(QImage& image, const Visuals& visuals, oxRenderCamera camera,
                                 const std::vector<float>& depth, int depthWidth, int depthHeight)
{
    if (image.isNull())
        return;
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    camera.setup(image.width(), image.height());
    // A band of rows per thread: each pixel is drawn by one thread, in the primitives' order, so
    // the image is the same as drawn by one.
    const int rows = image.height();
    const int bands = rows >= 256 ? std::clamp(tbb::this_task_arena::max_concurrency(), 1, 4) : 1;
    image.bits(); // detached here, before the threads share it
    tbb::parallel_for(0, bands,
                      [&](int band)
                      {
                          Canvas canvas(image, camera, depth, std::max(1, depthWidth), std::max(1, depthHeight),
                                        rows * band / bands, rows * (band + 1) / bands);
                          for (const Primitive& p : visuals.primitives)
                              canvas.draw(p);
                      });
}

void oxOverlay::drawLightVisuals(QImage& image, const osg::NodePtr& root, oxRenderCamera camera,
                                 const std::vector<float>& depth, int depthWidth, int depthHeight)
{
    if (root == osg::NullFC || image.isNull())
        return;
    drawLightVisuals(image, *collectLightVisuals(root, camera, image.width(), image.height()), camera, depth,
                     depthWidth, depthHeight);
}

void oxOverlay::drawPolylines(QImage& image, const std::vector<Polyline>& polylines, oxRenderCamera camera,
                              const std::vector<float>& depth, int depthWidth, int depthHeight, float depthSlack)
{
    camera.setup(image.width(), image.height());
    Canvas canvas(image, camera, depth, std::max(1, depthWidth), std::max(1, depthHeight), 0, image.height());
    for (const Polyline& polyline : polylines)
    {
        Primitive p;
        p.corners = 2;
        p.style.color = polyline.color;
        p.style.lineWidth = polyline.width;
        p.style.depthSlack = depthSlack;
        for (size_t i = 0; i + 1 < polyline.points.size(); ++i)
        {
            p.c[0] = camera.toCamera(polyline.points[i]);
            p.c[1] = camera.toCamera(polyline.points[i + 1]);
            canvas.draw(p);
        }
    }
}

void oxOverlay::scaleTicks(Legend& legend, const oxColourScale& scale)
{
    legend.colour = [&scale](float v) { return scale.colourAt((v + 1.f) / 2.f); };
    auto tick = [&](float position, float value)
    { legend.ticks.emplace_back(2.f * position - 1.f, QString::number(double(value), 'g', 3)); };
    const std::vector<float>& edges = scale.edges();
    if (edges.empty())
    {
        for (int i = 0; i <= 4; ++i)
            tick(0.25f * float(i), scale.valueAt(0.25f * float(i)));
        return;
    }
    const size_t steps = edges.size() - 1, every = (steps + 15) / 16;
    for (size_t k = 0; k <= steps; ++k)
        if (k % every == 0 || k == steps)
            tick(float(k) / float(steps), edges[k]);
}

void oxOverlay::drawCurvatureLegend(QImage& image, const oxAnalysisShader& shader, const std::vector<double>& histogram)
{
    Legend legend;
    if (const oxColourScale* scale = shader.colourScale())
        oxOverlay::scaleTicks(legend, *scale);
    else
    {
        legend.colour = [&shader](float v) { return shader.curvatureColor(v); };
        const float range = shader.legendRange();
        for (int i = 0; i <= 4; ++i)
        {
            const float v = 1.f - 0.5f * float(i);
            legend.ticks.emplace_back(v, QString::number(double(v * range), 'g', 3));
        }
    }
    legend.title = QString::fromLatin1(curvatureName(shader.settings().CurvatureEvaluationType));
    legend.histogram = histogram;
    drawLegend(image, legend);
}

void oxOverlay::drawLegend(QImage& image, const Legend& legend)
{
    if (image.isNull())
        return;
    const int h = image.height(), w = image.width();
    const int barHeight = std::max(8, h * 3 / 5), barWidth = std::max(6, std::min(24, w / 40));
    const int top = (h - barHeight) / 2, right = w - std::max(4, w / 80);
    // Text needs a GUI application (fonts); without one the bar is drawn alone.
    const bool text = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    const int labelWidth = text ? std::max(40, w / 12) : 0;
    const int left = right - barWidth - labelWidth;
    if (left < 0)
        return;
    const std::vector<double>& histogram = legend.histogram;
    // The histogram's bars grow leftwards from the ramp, the fullest bin to histWidth.
    const int histWidth = std::min(left, std::max(12, w / 16));
    const double fullest = histogram.empty() ? 0.0 : *std::max_element(histogram.begin(), histogram.end());
    if (fullest > 0 && histWidth > 0)
    {
        const int bins = int(histogram.size());
        for (int y = 0; y < barHeight; ++y)
        {
            const int bin = std::clamp(bins - 1 - y * bins / barHeight, 0, bins - 1);
            const int length = int(std::lround(histogram[size_t(bin)] / fullest * double(histWidth - 2)));
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(top + y));
            // One pixel of gap between bins, so that they read as bars.
            const bool gap = bins < barHeight / 2 && (y * bins / barHeight) != ((y + 1) * bins / barHeight);
            for (int x = left - 2 - length; x < left - 2 && !gap; ++x)
                line[x] = qRgb(230, 230, 230);
        }
    }
    for (int y = 0; y < barHeight; ++y)
    {
        const float v = 1.f - 2.f * (float(y) + 0.5f) / float(barHeight);
        const osg::Color3f c = legend.colour(v);
        const QRgb rgb = qRgb(int(c[0] * 255.f + 0.5f), int(c[1] * 255.f + 0.5f), int(c[2] * 255.f + 0.5f));
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(top + y));
        for (int x = left; x < left + barWidth; ++x)
            line[x] = rgb;
    }
    auto rowOf = [&](float v) { return top + int(std::lround((1.f - v) / 2.f * float(barHeight - 1))); };
    for (const std::pair<float, QRgb>& mark : legend.marks)
    {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(std::clamp(rowOf(mark.first), top, top + barHeight - 1)));
        for (int x = left; x < left + barWidth; ++x)
            line[x] = mark.second;
    }
    if (!text)
        return;
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(std::max(8, std::min(14, h / 40)));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawRect(left - 1, top - 1, barWidth + 1, barHeight + 1);
    for (const std::pair<float, QString>& tick : legend.ticks)
    {
        const int y = rowOf(tick.first);
        painter.drawLine(left + barWidth, y, left + barWidth + 3, y);
        painter.drawText(QRect(left + barWidth + 5, y - 10, labelWidth - 5, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         tick.second);
    }
    painter.drawText(QRect(0, top - 24, right, 20), Qt::AlignRight | Qt::AlignVCenter, legend.title);
}
