#include "oxHostReport.h"

#include "OSGSurfaceAnalysisAttachment.h"
#include "oxAnalysisFit.h"
#include "oxAnalysisShading.h"
#include "oxAtomicFile.h"
#include "oxCurvatureStats.h"
#include "oxFrame.h"
#include "oxHostAnalysisModel.h"
#include "oxHostCad.h"
#include "oxHostReportSections.h"
#include "oxHostResults.h"
#include "oxHostScene.h"
#include "oxRenderer.h"

#include <QBuffer>
#include <QDateTime>
#include <QString>

#include <algorithm>
#include <map>
#include <tuple>

namespace
{
QString esc(const std::string& s)
{
    return QString::fromStdString(s).toHtmlEscaped();
}

QString num(double v, int digits = 4)
{
    return oxHostReport::number(v, digits);
}

QString vec(const osg::Vec3f& v)
{
    return QString("(%1, %2, %3)").arg(num(v[0])).arg(num(v[1])).arg(num(v[2]));
}

} // namespace

// The histogram as bars over the percentile range, with the end values and zero marked.
QString oxHostReport::histogramSvg(const oxCurvatureStats& s)
{
    const int w = 640, h = 200, left = 10, bottom = 24, top = 8;
    const double fullest = s.hist.empty() ? 0 : *std::max_element(s.hist.begin(), s.hist.end());
    QString svg = QString("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\" class=\"hist\" "
                          "role=\"img\" aria-label=\"histogram\">")
                      .arg(w)
                      .arg(h);
    const int bins = int(s.hist.size());
    const double bw = double(w - 2 * left) / std::max(1, bins);
    for (int i = 0; i < bins && fullest > 0; ++i)
    {
        const double bh = s.hist[size_t(i)] / fullest * (h - bottom - top);
        svg += QString("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"><title>%5 to %6: %7 %</title></rect>")
                   .arg(left + i * bw, 0, 'f', 1)
                   .arg(h - bottom - bh, 0, 'f', 1)
                   .arg(std::max(1.0, bw - 1), 0, 'f', 1)
                   .arg(bh, 0, 'f', 1)
                   .arg(num(s.edges[size_t(i)]))
                   .arg(num(s.edges[size_t(i) + 1]))
                   .arg(num(100 * s.hist[size_t(i)], 3));
    }
    svg += QString("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" class=\"axis\"/>")
               .arg(left)
               .arg(h - bottom)
               .arg(w - left);
    svg += QString("<text x=\"%1\" y=\"%2\">%3</text>").arg(left).arg(h - 6).arg(num(s.low));
    svg += QString("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>").arg(w - left).arg(h - 6).arg(num(s.high));
    if (s.low < 0 && s.high > 0)
    {
        const double x = left + (0 - s.low) / (s.high - s.low) * (w - 2 * left);
        svg += QString("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" class=\"zero\"/>")
                   .arg(x, 0, 'f', 1)
                   .arg(top)
                   .arg(h - bottom);
        svg += QString("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">0</text>").arg(x, 0, 'f', 1).arg(h - 6);
    }
    return svg + "</svg>";
}

namespace
{
const char* const Style = R"(
body { font: 15px/1.45 "DejaVu Sans", Helvetica, Arial, sans-serif; color: #222; max-width: 60rem; margin: 2rem auto; padding: 0 1rem; }
h1 { font-size: 1.6rem; margin-bottom: 0.2rem; }
h2 { font-size: 1.2rem; border-bottom: 1px solid #ccc; padding-bottom: 0.2rem; margin-top: 2rem; }
.meta { color: #666; margin-top: 0; }
table { border-collapse: collapse; margin: 0.5rem 0; }
td, th { border: 1px solid #ddd; padding: 0.2rem 0.6rem; text-align: left; vertical-align: top; }
th { background: #f3f3f3; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
figure { margin: 1rem 0 1.5rem; break-inside: avoid; page-break-inside: avoid; }
figure img { display: block; width: 100%; height: auto; border: 1px solid #bbb; }
figcaption { margin-top: 0.4rem; }
figcaption table { font-size: 0.85rem; }
svg.hist { width: 100%; max-width: 40rem; height: auto; }
svg.hist rect { fill: #4a7ab5; }
svg.hist text { font-size: 12px; fill: #333; }
svg.hist .axis { stroke: #333; }
svg.hist .zero { stroke: #c33; stroke-dasharray: 4 3; }
@page { size: A4; margin: 14mm; }
@media print {
  body { font-size: 10pt; max-width: none; margin: 0; padding: 0; }
  h2 { break-after: avoid; page-break-after: avoid; }
  figure { margin: 0 0 4mm; }
  figure img { max-height: 88mm; width: auto; max-width: 100%; }
  figcaption table { font-size: 8pt; }
}
)";

struct Image
{
    QString title;
    oxAnalysisSettings settings;
    std::vector<std::pair<QString, QString>> shown; // the settings that matter for this kind
    bool stripes = false;                           // the host's zebra stripes rather than the module's analysis
};

std::string failed(const std::string& path, const std::string& why)
{
    return "cannot write the report \"" + path + "\": " + why;
}

// The record's settings, with the lights fitted to the model and the colour range to its
// curvatures, so that every image shows something whatever the record holds.
oxAnalysisSettings fitted(const oxAnalysisSettings& base, const oxRenderScene& scene, const oxCurvatureStats& stats)
{
    oxAnalysisSettings fitted = base;
    osg::Pnt3f min, max;
    oxAnalysisFit::Lights lights;
    if (scene.bounds(min, max) &&
        oxAnalysisFit::lights(min, max, base.LightPlaneAxisU, base.LightPlaneAxisV, base.Isolines, lights))
    {
        fitted.LightPlaneOrigin = lights.planeOrigin;
        fitted.LightLinesDistance = lights.linesDistance;
        fitted.LightLinesLength = lights.linesLength;
    }
    const float scale = oxAnalysisFit::drawScale(stats.low, stats.high, true);
    if (scale > 0.f)
        fitted.CurvatureDrawScale = scale;
    return fitted;
}

// One image per analysis kind, each with the settings that matter for it.
std::vector<Image> analysisImages(const oxAnalysisSettings& fitted, int kind)
{
    std::vector<Image> images;
    {
        Image i{"Isophotes", fitted, {}};
        i.settings.AnalysisMode = osg::IsophotesAnalysis;
        i.shown = {{"Isolines", QString::number(i.settings.Isolines)},
                   {"LinearLightDirection", vec(i.settings.LinearLightDirection)},
                   {"StripeThickness", num(i.settings.StripeThickness)}};
        images.push_back(i);
    }
    {
        // The light plane's reflection lines reach only the faces that face it; the host's
        // stripes reflect a tunnel round the model on every face.
        Image i{"Zebra stripes", fitted, {}, true};
        i.settings.ShadingMode = 1; // as --analysis zebra sets it
        images.push_back(i);
    }
    {
        const osg::AnalysisMode mode = osg::HighlightLinesAnalysis;
        Image i{"Highlight lines", fitted, {}};
        i.settings.AnalysisMode = mode;
        i.settings.ReflectionMode = osg::ParallelLinearLights;
        i.shown = {{"ReflectionMode", "1 (light plane)"},
                   {"Isolines", QString::number(i.settings.Isolines)},
                   {"LightPlaneOrigin", vec(i.settings.LightPlaneOrigin)},
                   {"LightLinesDistance", num(i.settings.LightLinesDistance)},
                   {"StripeThickness", num(i.settings.StripeThickness)}};
        images.push_back(i);
    }
    {
        Image i{QString("Curvature (%1)").arg(oxCurvatureStats::kindName(kind)), fitted, {}};
        i.settings.AnalysisMode = osg::CurvatureAnalysis;
        i.shown = {{"CurvatureEvaluationType", QString("%1 (%2)").arg(kind).arg(oxCurvatureStats::kindName(kind))},
                   {"CurvatureDrawScale",
                    num(i.settings.CurvatureDrawScale) +
                        QString(" (colour range &plusmn;%1)").arg(num(1.0 / i.settings.CurvatureDrawScale))},
                   {"CurvatureUseBands", i.settings.CurvatureUseBands ? "yes" : "no"}};
        images.push_back(i);
    }
    return images;
}

QString header(const QString& title = QStringLiteral("Surface analysis report"))
{
    QString html;
    html += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    html += "<title>" + title.toHtmlEscaped() + "</title>\n<style>" + QString::fromLatin1(Style) +
            "</style>\n</head>\n<body>\n";
    html += "<h1>" + title.toHtmlEscaped() + "</h1>\n";
    html += "<p class=\"meta\">" + QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm 'UTC'") + "</p>\n";
    return html;
}

QString modelSection(const oxHostCad::ModelInfo& model)
{
    QStringList files;
    for (const std::string& f : model.sources)
        files << esc(f);
    oxHostReport::Rows rows = oxResultFields::rows(oxHostResults::model(), model);
    const osg::Vec3f size = model.hasBounds ? model.max - model.min : osg::Vec3f();
    rows.push_back({"Size (x &times; y &times; z)",
                    QString("%1 &times; %2 &times; %3").arg(num(size[0])).arg(num(size[1])).arg(num(size[2]))});
    // The parts are names, not numbers.
    return "<h2>Model</h2>\n<table>\n<tr><th>Parts</th><td>" + files.join("<br>") + "</td></tr>\n" +
           oxHostReport::tableRows(rows) + "</table>\n";
}

// Each image is the view in the analysis with the image's settings, with the legend.
QString imagesSection(oxFrame::Request frame, const std::vector<Image>& images)
{
    QString html = "<h2>Analysis images</h2>\n";
    html += QString("<p>%1 &times; %2 pixels, %3 &times; %3 samples per pixel, from the current view. Lights and "
                    "colour range are fitted to the model; the other settings are the record's.</p>\n")
                .arg(frame.width)
                .arg(frame.height)
                .arg(frame.samples);
    frame.analysis = true;
    frame.legend = true;
    frame.combLines.clear();                    // they have an image of their own
    oxHostReport::withoutHostColourings(frame); // they have sections of their own
    for (const Image& i : images)
    {
        frame.settings = i.settings;
        frame.hostAnalyses.StripesActive = i.stripes;
        oxHostReport::Rows settings;
        const oxHostAnalysisSettings& h = frame.hostAnalyses;
        if (i.stripes)
            settings = {{"StripesAxis", QString::number(h.StripesAxis)},
                        {"StripesCount", QString::number(h.StripesCount)},
                        {"StripesDistance", num(h.StripesDistance)},
                        {"StripesLocked", h.StripesLocked ? "yes" : "no"}};
        else
            settings.push_back({"AnalysisMode", QString::number(i.settings.AnalysisMode)});
        settings.insert(settings.end(), i.shown.begin(), i.shown.end());
        html += oxHostReport::figure(i.title, oxRenderer::the().render(frame), "<strong>" + i.title + "</strong>\n",
                                     settings);
    }
    return html;
}

QString statisticsSection(const oxCurvatureStats& stats, int kind)
{
    QString html = QString("<h2>Curvature statistics (%1)</h2>\n").arg(oxCurvatureStats::kindName(kind));
    html += "<p>Area-weighted: each vertex counts with a third of the area of its triangles.</p>\n";
    html += oxHostReport::table(oxResultFields::rows(oxHostResults::curvature(), stats));
    html += "<p>Distribution between the 2nd and 98th percentiles (values outside count in the end "
            "bars):</p>\n" +
            oxHostReport::histogramSvg(stats) + "\n";
    return html;
}

// The shared edges, worst first: gaps, kinks, curvature jumps, jumps of its rate, each by its size. Empty
// for a model without shared edges.
QString continuitySection(std::vector<oxHostReport::ContinuityRow> continuity)
{
    typedef oxHostReport::ContinuityRow Row;
    auto rank = [](const Row& r)
    {
        return r.continuity == "open" ? 0
               : r.continuity == "G0" ? 1
               : r.continuity == "G1" ? 2
               : r.continuity == "G2" ? 3
                                      : 4;
    };
    std::stable_sort(continuity.begin(), continuity.end(),
                     [&](const Row& a, const Row& b)
                     {
                         if (rank(a) != rank(b))
                             return rank(a) < rank(b);
                         return std::make_tuple(a.gap, a.angleDegrees, a.curvatureJump, a.curvatureRateJump) >
                                std::make_tuple(b.gap, b.angleDegrees, b.curvatureJump, b.curvatureRateJump);
                     });
    if (continuity.empty())
        return QString();
    std::map<std::string, int> counts;
    for (const Row& r : continuity)
        ++counts[r.continuity];
    QString html = "<h2>Continuity of shared edges</h2>\n<p>";
    QStringList summary;
    for (const auto& c : counts)
        summary << QString("%1: %2").arg(esc(c.first)).arg(c.second);
    html += summary.join(", ") + "</p>\n<table>\n<tr><th>Edge</th><th>Faces</th><th>Class</th><th>Gap</th>"
                                 "<th>Angle (&deg;)</th><th>Curvature jump</th><th>Rate jump</th></tr>\n";
    for (const Row& r : continuity)
        html += QString("<tr><td>%1</td><td>%2</td><td>%3</td><td class=\"n\">%4</td><td class=\"n\">%5</td>"
                        "<td class=\"n\">%6</td><td class=\"n\">%7</td></tr>\n")
                    .arg(esc(r.edge), esc(r.faces), esc(r.continuity))
                    .arg(num(r.gap))
                    .arg(num(r.angleDegrees))
                    .arg(num(r.curvatureJump))
                    .arg(num(r.curvatureRateJump));
    return html + "</table>\n";
}
} // namespace

void oxHostReport::withoutHostColourings(oxFrame::Request& view)
{
#define OX_HOST_ANALYSIS_SWITCH_OFF(Name, Type, Default, Domain, Key, Label, Role)                                     \
    if (oxSettingRole::Role == oxSettingRole::Colours)                                                                 \
        view.hostAnalyses.Name = {};
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_SWITCH_OFF)
#undef OX_HOST_ANALYSIS_SWITCH_OFF
}

QString oxHostReport::page(const QString& title, const QString& body)
{
    return header(title) + body + "</body>\n</html>\n";
}

QString oxHostReport::number(double v, int digits)
{
    return QString::number(v, 'g', digits);
}

QString oxHostReport::percent(double share)
{
    return QString::number(100 * share, 'f', 2) + " %";
}

QString oxHostReport::dataUri(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return "data:image/png;base64," + QString::fromLatin1(png.toBase64());
}

QString oxHostReport::tableRows(const Rows& rows)
{
    QString html;
    for (const auto& row : rows)
        html += QString("<tr><th>%1</th><td class=\"n\">%2</td></tr>\n").arg(row.first, row.second);
    return html;
}

QString oxHostReport::table(const Rows& rows)
{
    return "<table>\n" + tableRows(rows) + "</table>\n";
}

QString oxHostReport::figure(const QString& alt, const QImage& image, const QString& caption, const Rows& settings)
{
    QString html = "<figure>\n<img alt=\"" + alt.toHtmlEscaped() + "\" src=\"" + dataUri(image) + "\">\n";
    html += "<figcaption>" + caption + "<table>";
    for (const auto& row : settings)
        html += "<tr><th>" + row.first + "</th><td>" + row.second + "</td></tr>";
    return html + "</table></figcaption>\n</figure>\n";
}

oxHostCad::ModelInfo oxHostReport::modelInfo()
{
    oxHostCad::ModelInfo info = oxHostCad::modelInfo();
    if (info.sources.empty())
        info.sources = oxHostScene::meshNames();
    return info;
}

std::vector<oxHostReport::ContinuityRow> oxHostReport::continuityRows()
{
    std::vector<ContinuityRow> rows;
    // Meshes have no edges to measure; asking would only say so on standard error.
    if (oxHostCad::modelInfo().faces == 0)
        return rows;
    for (const oxEdgeContinuity& e : oxHostCad::continuity(oxContinuityTolerances()))
    {
        ContinuityRow r;
        r.edge = std::to_string(e.edge);
        r.faces = std::to_string(e.faces[0]) + ", " + std::to_string(e.faces[1]);
        r.continuity = oxEdgeContinuity::className(e.continuity);
        r.gap = e.g0;
        r.angleDegrees = e.g1;
        r.curvatureJump = e.g2;
        r.curvatureRateJump = e.g3;
        rows.push_back(r);
    }
    return rows;
}

bool oxHostReport::write(const std::string& path, int width, int height, std::string& error)
{
    const oxHostCad::ModelInfo model = modelInfo();
    if (model.triangles == 0)
    {
        error = failed(path, "the scene has no meshes");
        return false;
    }
    // Opened first, so that a path that cannot be written fails before the images are made.
    oxAtomicFile out(path);
    if (!out.open())
    {
        error = failed(path, out.reason());
        return false;
    }
    // The host's view; each image shows it with the image's settings.
    oxFrame::Request view =
        oxFrame::request({width, height, oxRenderer::DefaultFileSamples, oxHostAnalysisModel::the()->settings()});
    oxRenderer::the().derive(view);
    const oxAnalysisSettings& base = view.settings;
    const oxRenderScene& scene = oxRenderer::the().scene();
    oxCurvatureStats stats;
    std::string why;
    const int kind = int(base.CurvatureEvaluationType);
    if (!oxCurvatureStats::compute(scene, kind, 32, 2, 98, stats, why))
    {
        error = failed(path, why);
        return false;
    }

    QString html = header() + modelSection(model);
    html += imagesSection(view, analysisImages(fitted(base, scene, stats), kind));
    html += oxHostReportSections::html(view);
    html += statisticsSection(stats, kind);
    html += oxHostReportSections::html(view, oxHostReportSections::Place::AfterStatistics);
    html += continuitySection(continuityRows());
    html += "</body>\n</html>\n";
    const QByteArray data = html.toUtf8();
    if (!out.write(data.constData(), std::size_t(data.size())) || !out.commit())
    {
        error = failed(path, out.reason());
        return false;
    }
    return true;
}
