#include "oxHostCheck.h"

#include "oxCadImporter.h"
#include "oxModelImporter.h"
#include "oxRenderer.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

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

// A field that a part's JSON is read back into (oxHostCheckOutputs).
template <typename R>
oxResultField<R> field(const char* key, F format, oxResultValue (*get)(const R&),
                       bool (*read)(R&, const oxResultValue&))
{
    oxResultField<R> f{key, "", format, get};
    f.read = read;
    return f;
}

// Fields that are members of S as they are.
template <typename S, std::string S::*M> oxResultField<S> textField(const char* key)
{
    return field<S>(
        key, F::Text, [](const S& s) { return oxResultValue((s.*M).c_str()); },
        [](S& s, const oxResultValue& v)
        {
            s.*M = v.text;
            return true;
        });
}

template <typename S, double S::*M> oxResultField<S> numberField(const char* key)
{
    return field<S>(
        key, F::Number, [](const S& s) { return oxResultValue(s.*M); },
        [](S& s, const oxResultValue& v)
        {
            s.*M = v.number;
            return true;
        });
}

template <typename S, size_t S::*M> oxResultField<S> countField(const char* key)
{
    return field<S>(
        key, F::Count, [](const S& s) { return oxResultValue(s.*M); },
        [](S& s, const oxResultValue& v)
        {
            s.*M = v.pair[0];
            return true;
        });
}

template <int I> oxResultField<oxCheckFinding> locationField(const char* key)
{
    return field<oxCheckFinding>(
        key, F::Number, [](const oxCheckFinding& f) { return oxResultValue(f.location[I]); },
        [](oxCheckFinding& f, const oxResultValue& v)
        {
            f.location[I] = v.number;
            return true;
        });
}

bool verdictNamed(const std::string& name, oxCheckResult::Verdict& out)
{
    for (oxCheckResult::Verdict v :
         {oxCheckResult::Pass, oxCheckResult::Warning, oxCheckResult::Fail, oxCheckResult::Error})
        if (name == oxCheckResult::verdictName(v))
        {
            out = v;
            return true;
        }
    return false;
}
} // namespace

const std::vector<oxResultField<oxCheckFinding>>& oxHostCheck::findingFields()
{
    typedef oxCheckFinding S;
    static const std::vector<oxResultField<S>> fields = {
        field<S>(
            "code", F::Text, [](const S& f) { return oxResultValue(f.code()); },
            [](S& f, const oxResultValue& v) { return oxCheckCriteria::byCode(v.text, f.criterion); }),
        field<S>(
            "severity", F::Text, [](const S& f) { return oxResultValue(oxCheckCriteria::severityName(f.severity)); },
            [](S& f, const oxResultValue& v) { return oxCheckCriteria::severityNamed(v.text, f.severity); }),
        numberField<S, &S::value>("value"),
        numberField<S, &S::threshold>("threshold"),
        textField<S, &S::entity>("entity"),
        countField<S, &S::index>("index"),
        locationField<0>("x"),
        locationField<1>("y"),
        locationField<2>("z"),
        textField<S, &S::message>("message")};
    return fields;
}

const std::vector<oxResultField<oxCheckResult>>& oxHostCheck::resultFields()
{
    typedef oxCheckResult S;
    static const std::vector<oxResultField<S>> fields = {
        textField<S, &S::source>("source"), textField<S, &S::profile>("profile"),
        field<S>(
            "verdict", F::Text, [](const S& r) { return oxResultValue(oxCheckResult::verdictName(r.verdict)); },
            [](S& r, const oxResultValue& v) { return verdictNamed(v.text, r.verdict); }),
        textField<S, &S::reason>("reason")};
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
    writeJsonFields(w, resultFields(), result);
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
        writeJsonFields(w, findingFields(), f);
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
