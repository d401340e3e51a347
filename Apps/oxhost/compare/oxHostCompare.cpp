#include "oxHostCompare.h"

#include "oxCadImporter.h"
#include "oxHostResultJson.h"
#include "oxModelImporter.h"
#include "oxRenderScene.h"
#include "oxRenderer.h"

#include <cstdio>
#include <memory>

namespace
{
typedef oxResultFormat F;
typedef oxFaceChange C;

std::shared_ptr<const oxHostComparison> shownComparison;
} // namespace

bool oxHostCompare::read(const std::string& path, oxRenderScene& scene, std::string& error)
{
    error = oxModelImporter::missingFileError(path);
    if (!error.empty())
        return false;
    if (oxCadImporter::isCadFile(path))
    {
        auto mesh = std::make_shared<oxRenderMesh>();
        std::shared_ptr<oxCadMesh> cad;
        if (!oxCadImporter::load(path, oxCadOptions(), *mesh, cad, error))
            return false;
        scene.setMeshes({mesh}, {cad});
    }
    else
    {
        std::vector<oxRenderMesh> meshes;
        if (!oxModelImporter::load(path, meshes, error))
            return false;
        std::vector<std::shared_ptr<const oxRenderMesh>> shared;
        for (oxRenderMesh& m : meshes)
            shared.push_back(std::make_shared<oxRenderMesh>(std::move(m)));
        scene.setMeshes(shared);
    }
    if (scene.triangleCount() > 0)
        return true;
    error = "cannot compare \"" + path + "\": it has no surface";
    return false;
}

namespace
{

void writeFaces(rapidjson::PrettyWriter<rapidjson::StringBuffer>& w, const char* key,
                const std::vector<oxFaceChange>& faces)
{
    w.Key(key);
    w.StartArray();
    for (const oxFaceChange& f : faces)
    {
        w.StartObject();
        oxResultFields::writeJson(w, oxHostCompare::faceFields(), f);
        w.Key("matches");
        w.StartArray();
        for (size_t m : f.matches)
            w.Uint64(m);
        w.EndArray();
        w.EndObject();
    }
    w.EndArray();
}

size_t changed(const oxHostComparison& c, const std::vector<oxFaceChange>& faces, C::Class k)
{
    return c.result.count(faces, k);
}
} // namespace

const std::vector<oxResultField<oxFaceChange>>& oxHostCompare::faceFields()
{
    typedef oxFaceChange S;
    static const std::vector<oxResultField<S>> fields = {
        {"face", "", F::Count, [](const S& f) { return oxResultValue(f.face); }},
        {"class", "", F::Text, [](const S& f) { return oxResultValue(C::className(f.change)); }},
        {"largest", "", F::Number, [](const S& f) { return oxResultValue(f.largest); }},
        {"area", "", F::Number, [](const S& f) { return oxResultValue(f.area); }},
        {"x", "", F::Number, [](const S& f) { return oxResultValue(double(f.centroid[0])); }},
        {"y", "", F::Number, [](const S& f) { return oxResultValue(double(f.centroid[1])); }},
        {"z", "", F::Number, [](const S& f) { return oxResultValue(double(f.centroid[2])); }}};
    return fields;
}

const std::vector<oxResultField<oxHostComparison>>& oxHostCompare::summaryFields()
{
    typedef oxHostComparison S;
    static const std::vector<oxResultField<S>> fields = {
        {"old", "", F::Text, [](const S& c) { return oxResultValue(c.oldSource.c_str()); }},
        {"new", "", F::Text, [](const S& c) { return oxResultValue(c.newSource.c_str()); }},
        {"verdict", "Verdict", F::Text,
         [](const S& c) { return oxResultValue(c.result.unchanged() ? "unchanged" : "changed"); }, 0},
        {"tolerance", "Tolerance", F::Number, [](const S& c) { return oxResultValue(c.result.tolerance); }, 1},
        {"hausdorff", "Hausdorff distance", F::Number, [](const S& c) { return oxResultValue(c.result.hausdorff()); },
         2},
        {"new_to_old", "Largest distance, new to old", F::Number,
         [](const S& c) { return oxResultValue(c.result.newToOld); }, 3},
        {"old_to_new", "Largest distance, old to new", F::Number,
         [](const S& c) { return oxResultValue(c.result.oldToNew); }, 4},
        {"unchanged", "Unchanged faces (new)", F::Count,
         [](const S& c) { return oxResultValue(changed(c, c.result.newFaces, C::Unchanged)); }, 5},
        {"modified", "Modified faces (new)", F::Count,
         [](const S& c) { return oxResultValue(changed(c, c.result.newFaces, C::Modified)); }, 6},
        {"added", "Added faces (new)", F::Count,
         [](const S& c) { return oxResultValue(changed(c, c.result.newFaces, C::Added)); }, 7},
        {"removed", "Removed faces (old)", F::Count,
         [](const S& c) { return oxResultValue(changed(c, c.result.oldFaces, C::Removed)); }, 8},
        {"aligned", "Best-fitted first", F::Count, [](const S& c) { return oxResultValue(size_t(c.aligned)); }, 9}};
    return fields;
}

bool oxHostCompare::files(const std::string& oldPath, const std::string& newPath, const oxCompareOptions& options,
                          oxHostComparison& out, std::string& error)
{
    oxHostCompareParts parts;
    return files(oldPath, newPath, options, parts, out, error);
}

bool oxHostCompare::files(const std::string& oldPath, const std::string& newPath, const oxCompareOptions& options,
                          oxHostCompareParts& parts, oxHostComparison& out, std::string& error)
{
    if (!read(oldPath, parts.oldPart, error) || !read(newPath, parts.newPart, error))
        return false;
    out = oxHostComparison();
    out.oldSource = oldPath;
    out.newSource = newPath;
    out.aligned = options.align;
    return oxCompare::run(parts.oldPart, parts.newPart, options, out.result, error);
}

void oxHostCompare::show(std::shared_ptr<const oxHostComparison> comparison)
{
    shownComparison = std::move(comparison);
}

std::shared_ptr<const oxHostComparison> oxHostCompare::shown()
{
    return oxRenderer::the().comparison() ? shownComparison : nullptr;
}

std::string oxHostCompare::json(const oxHostComparison& comparison)
{
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("schema");
    w.String("oxhost-compare");
    w.Key("version");
    w.Int(JsonVersion);
    oxResultFields::writeJson(w, summaryFields(), comparison);
    writeFaces(w, "old_faces", comparison.result.oldFaces);
    writeFaces(w, "new_faces", comparison.result.newFaces);
    w.EndObject();
    return std::string(buffer.GetString()) + "\n";
}

std::string oxHostCompare::csv(const oxHostComparison& comparison)
{
    std::string text = "part," + oxResultFields::csvHeader(faceFields());
    for (const char* part : {"old", "new"})
        for (const oxFaceChange& f : part[0] == 'o' ? comparison.result.oldFaces : comparison.result.newFaces)
            text += std::string(part) + "," + oxResultFields::csvLine(faceFields(), f);
    return text;
}

std::string oxHostCompare::verdict(const oxHostComparison& c)
{
    const oxCompareResult& r = c.result;
    char line[512];
    std::snprintf(line, sizeof line,
                  "%zu modified, %zu added, %zu removed faces; Hausdorff distance %.6g (tolerance %.6g)",
                  changed(c, r.newFaces, C::Modified), changed(c, r.newFaces, C::Added),
                  changed(c, r.oldFaces, C::Removed), r.hausdorff(), r.tolerance);
    return c.oldSource + " -> " + c.newSource + ": " + (r.unchanged() ? "unchanged: " : "changed: ") + line;
}
