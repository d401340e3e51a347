#include "oxHostCheck.h"

#include "oxCadImporter.h"
#include "oxHostResultJson.h"
#include "oxModelImporter.h"
#include "oxRenderer.h"

namespace
{
typedef oxResultFormat F;

oxCheckResult failed(const std::string& source, const oxCheckProfile& profile, const std::string& why)
{
    oxCheckResult r;
    r.source = source;
    r.profile = profile.name;
    r.verdict = oxCheckResult::Error;
    r.reason = why;
    return r;
}

} // namespace

const std::vector<oxResultField<oxCheckFinding>>& oxHostCheck::findingFields()
{
    typedef oxCheckFinding S;
    static const std::vector<oxResultField<S>> fields = {
        {"code", "", F::Text, [](const S& f) { return oxResultValue(f.code()); }},
        {"severity", "", F::Text, [](const S& f) { return oxResultValue(oxCheckCriteria::severityName(f.severity)); }},
        {"value", "", F::Number, [](const S& f) { return oxResultValue(f.value); }},
        {"threshold", "", F::Number, [](const S& f) { return oxResultValue(f.threshold); }},
        {"entity", "", F::Text, [](const S& f) { return oxResultValue(f.entity.c_str()); }},
        {"index", "", F::Count, [](const S& f) { return oxResultValue(f.index); }},
        {"x", "", F::Number, [](const S& f) { return oxResultValue(f.location[0]); }},
        {"y", "", F::Number, [](const S& f) { return oxResultValue(f.location[1]); }},
        {"z", "", F::Number, [](const S& f) { return oxResultValue(f.location[2]); }},
        {"message", "", F::Text, [](const S& f) { return oxResultValue(f.message.c_str()); }}};
    return fields;
}

const std::vector<oxResultField<oxCheckResult>>& oxHostCheck::resultFields()
{
    typedef oxCheckResult S;
    static const std::vector<oxResultField<S>> fields = {
        {"source", "", F::Text, [](const S& r) { return oxResultValue(r.source.c_str()); }},
        {"profile", "", F::Text, [](const S& r) { return oxResultValue(r.profile.c_str()); }},
        {"verdict", "", F::Text, [](const S& r) { return oxResultValue(oxCheckResult::verdictName(r.verdict)); }},
        {"reason", "", F::Text, [](const S& r) { return oxResultValue(r.reason.c_str()); }}};
    return fields;
}

oxCheckResult oxHostCheck::scene(const oxCheckProfile& profile)
{
    oxRenderer::the().syncScene();
    const oxRenderScene& scene = oxRenderer::the().scene();
    std::vector<const oxCadModel*> parts;
    oxCheckNumbering numbering;
    for (size_t i = 0; i < scene.meshCount(); ++i)
        if (const oxCadMesh* cad = scene.placedCad(i))
        {
            parts.push_back(cad->model.get());
            numbering.otherEdges += long(cad->model->sharedEdgeCount());
        }
    if (parts.empty())
        return failed("", profile,
                      "the model has no CAD faces: meshes have no exact geometry to check "
                      "(load a STEP, IGES or B-rep file)");
    ++numbering.otherEdges; // from -1: the other edges follow every shared edge
    oxCheckResult all;
    all.profile = profile.name;
    for (const oxCadModel* part : parts)
    {
        all.merge(oxCheck::run(*part, profile, numbering));
        numbering.faces += part->faceCount();
        numbering.sharedEdges += part->sharedEdgeCount();
        numbering.otherEdges += long(oxCheck::otherEdgeCount(*part));
    }
    return all;
}

oxCheckResult oxHostCheck::file(const std::string& path, const oxCheckProfile& profile)
{
    const std::string missing = oxModelImporter::missingFileError(path);
    if (!missing.empty())
        return failed(path, profile, missing);
    if (!oxCadImporter::isCadFile(path))
        return failed(path, profile,
                      "cannot check \"" + path +
                          "\": a mesh file has no exact geometry to check "
                          "(give a STEP, IGES or B-rep file)");
    const oxCadOptions options;
    oxRenderMesh mesh;
    std::shared_ptr<oxCadMesh> cad;
    std::string error;
    if (!oxCadImporter::load(path, options, mesh, cad, error))
        return failed(path, profile, error);
    oxCheckResult result = oxCheck::run(*cad->model, profile);
    result.source = path;
    if (cad->lostEntities > 0 && result.verdict != oxCheckResult::Error)
    {
        result.verdict = oxCheckResult::Error;
        result.reason =
            "cannot check all of \"" + path + "\": its reader lost " + std::to_string(cad->lostEntities) + " entities";
    }
    return result;
}

std::string oxHostCheck::json(const oxCheckResult& result)
{
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("schema");
    w.String("oxhost-check");
    w.Key("version");
    w.Int(JsonVersion);
    oxResultFields::writeJson(w, resultFields(), result);
    w.Key("counts");
    w.StartObject();
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
    {
        w.Key(c.code);
        w.Uint64(result.counts[size_t(c.criterion)]);
    }
    w.EndObject();
    w.Key("findings");
    w.StartArray();
    for (const oxCheckFinding& f : result.findings)
    {
        w.StartObject();
        oxResultFields::writeJson(w, findingFields(), f);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString()) + "\n";
}

std::string oxHostCheck::csv(const std::vector<oxCheckResult>& results)
{
    std::string text = "file," + oxResultFields::csvHeader(findingFields());
    for (const oxCheckResult& r : results)
        for (const oxCheckFinding& f : r.findings)
            text +=
                oxResultFields::csvText(F::Text, r.source.c_str()) + "," + oxResultFields::csvLine(findingFields(), f);
    return text;
}
