#include "oxHostCompareReport.h"

#include "oxAtomicFile.h"
#include "oxCompareView.h"
#include "oxHostReport.h"
#include "oxRaytracer.h"
#include "oxRenderer.h"

#include <algorithm>

namespace
{
struct NamedView
{
    const char* name;
    osg::Vec3f towardsEye, up; // Z is up, as the viewer's default
};

const NamedView Views[] = {{"iso", {1.f, -1.f, 1.f}, {0.f, 0.f, 1.f}},    {"top", {0.f, 0.f, 1.f}, {0.f, 1.f, 0.f}},
                           {"bottom", {0.f, 0.f, -1.f}, {0.f, 1.f, 0.f}}, {"front", {0.f, -1.f, 0.f}, {0.f, 0.f, 1.f}},
                           {"back", {0.f, 1.f, 0.f}, {0.f, 0.f, 1.f}},    {"left", {-1.f, 0.f, 0.f}, {0.f, 0.f, 1.f}},
                           {"right", {1.f, 0.f, 0.f}, {0.f, 0.f, 1.f}}};

// The changed faces of one part as table rows, the largest distance first.
QString faceRows(const char* part, std::vector<oxFaceChange> faces)
{
    faces.erase(std::remove_if(faces.begin(), faces.end(),
                               [](const oxFaceChange& f) { return f.change == oxFaceChange::Unchanged; }),
                faces.end());
    std::stable_sort(faces.begin(), faces.end(),
                     [](const oxFaceChange& a, const oxFaceChange& b) { return a.largest > b.largest; });
    QString html;
    for (const oxFaceChange& f : faces)
        html += QString("<tr><td>%1</td><td class=\"n\">%2</td><td>%3</td><td class=\"n\">%4</td>"
                        "<td class=\"n\">%5</td></tr>\n")
                    .arg(part)
                    .arg(f.face)
                    .arg(oxFaceChange::className(f.change))
                    .arg(f.change == oxFaceChange::Modified ? oxHostReport::number(f.largest) : QString("&ndash;"))
                    .arg(oxHostReport::number(f.area));
    return html;
}
} // namespace

const std::vector<std::string>& oxHostCompareReport::viewNames()
{
    static const std::vector<std::string> names = []
    {
        std::vector<std::string> list;
        for (const NamedView& v : Views)
            list.push_back(v.name);
        return list;
    }();
    return names;
}

bool oxHostCompareReport::isView(const std::string& name)
{
    const std::vector<std::string>& names = viewNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

QImage oxHostCompareReport::image(const oxRenderScene& newPart, const std::shared_ptr<const oxCompareView>& view,
                                  const ImageOptions& options)
{
    const NamedView* named = &Views[0];
    for (const NamedView& v : Views)
        if (options.view == v.name)
            named = &v;
    oxFrame::Request r;
    r.width = std::max(1, options.width);
    r.height = std::max(1, options.height);
    r.samples = std::max(1, options.samples);
    r.settings = options.settings;
    r.hostAnalyses = options.host;
    oxHostReport::withoutHostColourings(r);
    r.hostAnalyses.CompareActive = true;
    r.comparison = view;
    osg::Pnt3f min, max;
    newPart.bounds(min, max);
    r.camera.at = min + (max - min) * 0.5f;
    r.camera.from = r.camera.at + named->towardsEye;
    r.camera.up = named->up;
    r.camera.frame(min, max, float(r.width) / float(r.height));
    std::vector<float> depth;
    return oxFrame::compose(r, newPart, oxRaytracer(), depth);
}

QString oxHostCompareReport::section(const oxHostComparison& c, const Images& images)
{
    QString html = "<h2>What changed</h2>\n";
    html += "<p>" + QString::fromStdString(oxHostCompare::verdict(c)).toHtmlEscaped() + "</p>\n";
    html += oxHostReport::table(oxResultFields::rows(oxHostCompare::summaryFields(), c));
    const QString caption = ": the new release by class, grey unchanged, modified faces by their largest distance, "
                            "added faces bluish green; the old release's removed faces as a reddish purple ghost, "
                            "hatched where the new part covers them.\n";
    for (const auto& image : images)
        html += oxHostReport::figure(image.first, image.second,
                                     "<strong>" + image.first.toHtmlEscaped() + "</strong>" + caption, {});
    const QString rows = faceRows("new", c.result.newFaces) + faceRows("old", c.result.oldFaces);
    if (rows.isEmpty())
        return html + "<p>No face changed beyond the tolerance.</p>\n";
    html += "<p>The changed faces (faces numbered as in the JSON and CSV; the distance of a modified face is its "
            "largest from the other release):</p>\n";
    return html + "<table>\n<tr><th>Part</th><th>Face</th><th>Class</th><th>Largest distance</th><th>Area</th></tr>\n" +
           rows + "</table>\n";
}

bool oxHostCompareReport::write(const std::string& path, const oxHostComparison& comparison, const Images& images,
                                std::string& error)
{
    const QByteArray data = oxHostReport::page("Comparison of two releases", section(comparison, images)).toUtf8();
    std::string why;
    if (oxAtomicFile::save(path, std::string(data.constData(), size_t(data.size())), why))
        return true;
    error = "cannot write the report \"" + path + "\": " + why;
    return false;
}

QString oxHostCompareReport::viewSection(const oxFrame::Request& view)
{
    const std::shared_ptr<const oxHostComparison> shown = oxHostCompare::shown();
    oxRenderer& renderer = oxRenderer::the();
    if (!shown || !renderer.comparison())
        return QString();
    oxFrame::Request coloured = view;
    coloured.analysis = false;
    oxHostReport::withoutHostColourings(coloured);
    coloured.hostAnalyses.CompareActive = true;
    coloured.comparison = renderer.comparison();
    coloured.combLines.clear();
    ImageOptions top;
    top.view = "top";
    top.width = view.width;
    top.height = view.height;
    top.host = view.hostAnalyses;
    top.settings = view.settings;
    return section(*shown, {{"The view", renderer.render(coloured)},
                            {"From above", image(renderer.scene(), renderer.comparison(), top)}});
}
