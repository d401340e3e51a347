#include "oxHostCheck.h"

#include "oxCadImporter.h"
#include "oxHostResultJson.h"
#include "oxModelImporter.h"
#include "oxPointImporter.h"
#include "oxRenderer.h"

#include <algorithm>

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

// The point p of a part's file space where the part lies.
void place(const oxHostCheck::Parts::Placement& m, double p[3])
{
    double out[3];
    for (size_t row = 0; row < 3; ++row)
        out[row] = m[row][0] * p[0] + m[row][1] * p[1] + m[row][2] * p[2] + m[row][3];
    std::copy(out, out + 3, p);
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
    const Parts taken = parts();
    oxCheckResult result = run(taken, profile);
    keep(result, taken.sceneVersion);
    return result;
}

oxHostCheck::Parts oxHostCheck::parts()
{
    oxRenderer& renderer = oxRenderer::the();
    renderer.syncScene();
    Parts parts;
    parts.sceneVersion = renderer.sceneVersion();
    const oxRenderScene& scene = renderer.scene();
    for (size_t i = 0; i < scene.meshCount(); ++i)
        if (const oxCadMesh* cad = scene.placedCad(i))
        {
            double toWorld[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
            scene.placement(i, toWorld);
            Parts::Placement placement;
            for (int row = 0; row < 3; ++row)
                std::copy(toWorld[row], toWorld[row] + 4, placement[size_t(row)].begin());
            parts.models.push_back(cad->model);
            parts.placements.push_back(placement);
        }
        else if (!scene.points(i) && scene.mesh(i).triangleCount() > 0)
        {
            // Positions and triangles are all the check reads: a copy of them, not of the normals.
            const oxRenderMesh& mesh = scene.mesh(i);
            auto copy = std::make_shared<oxRenderMesh>();
            copy->name = mesh.name;
            copy->positions = mesh.positions;
            copy->indices = mesh.indices;
            parts.meshes.push_back(std::move(copy));
        }
    return parts;
}

namespace
{
bool isSet(const std::atomic<bool>* flag)
{
    return flag && flag->load();
}

// The meshes one after another, triangles numbered on across them.
oxCheckResult checkMeshes(const std::vector<const oxRenderMesh*>& meshes, const oxCheckProfile& profile,
                          const std::atomic<bool>* cancel)
{
    oxCheckResult all;
    all.profile = profile.name;
    size_t first = 0;
    for (const oxRenderMesh* mesh : meshes)
    {
        if (isSet(cancel))
            return oxCheck::cancelled(profile);
        all.merge(oxCheck::runMesh(*mesh, profile, first));
        first += mesh->triangleCount();
    }
    return all;
}
} // namespace

oxCheckResult oxHostCheck::run(const Parts& parts, const oxCheckProfile& profile, const RunOptions& options)
{
    if (parts.models.empty() && parts.meshes.empty())
        return failed("", profile,
                      "the model has nothing to check: no CAD part and no triangle mesh (point clouds are not "
                      "checked)");
    std::vector<const oxRenderMesh*> meshes;
    for (const std::shared_ptr<const oxRenderMesh>& mesh : parts.meshes)
        meshes.push_back(mesh.get());
    oxCheckResult all = checkMeshes(meshes, profile, options.cancel);
    oxCheckOptions check;
    check.cancel = options.cancel;
    oxCheckNumbering& numbering = check.numbering;
    // The other edges follow every shared edge of the model.
    numbering.otherEdges = 0;
    for (const std::shared_ptr<const oxCadModel>& part : parts.models)
        numbering.otherEdges += long(part->sharedEdgeCount());
    for (size_t i = 0; i < parts.models.size(); ++i)
    {
        if (all.cancelled || isSet(options.cancel))
            return oxCheck::cancelled(profile);
        const oxCadModel* part = parts.models[i].get();
        oxCheckResult found = oxCheck::run(*part, profile, check);
        // The checked surfaces are in the file's space; the markers go where the part is seen.
        if (i < parts.placements.size())
            for (oxCheckFinding& f : found.findings)
                place(parts.placements[i], f.location);
        all.merge(found);
        numbering.faces += part->faceCount();
        numbering.sharedEdges += part->sharedEdgeCount();
        numbering.otherEdges += long(oxCheck::otherEdgeCount(*part));
        numbering.solids += part->solidCount();
    }
    return all.cancelled ? oxCheck::cancelled(profile) : all;
}

namespace
{
struct Kept
{
    bool held = false;
    oxCheckResult result;
    size_t sceneVersion = 0;
};

Kept& lastCheck()
{
    static Kept last;
    return last;
}
} // namespace

void oxHostCheck::keep(const oxCheckResult& result, size_t sceneVersion)
{
    lastCheck() = {true, result, sceneVersion};
}

bool oxHostCheck::kept(oxCheckResult& result)
{
    oxRenderer::the().syncScene();
    const Kept& last = lastCheck();
    if (!last.held || last.sceneVersion != oxRenderer::the().sceneVersion())
        return false;
    result = last.result;
    return true;
}

void oxHostCheck::forget()
{
    lastCheck() = Kept();
}

std::vector<oxOverlay::Polyline> oxHostCheck::markers(const oxCheckResult& result, double size, long highlighted)
{
    // Errors vermillion, warnings amber; the highlight magenta, which no analysis colours with.
    const osg::Color3f error(0.84f, 0.23f, 0.1f), warning(0.95f, 0.65f, 0.f), highlight(1.f, 0.f, 1.f);
    std::vector<oxOverlay::Polyline> lines;
    for (size_t i = 0; i < result.findings.size(); ++i)
    {
        const oxCheckFinding& f = result.findings[i];
        const bool lit = long(i) == highlighted;
        const float arm = float(size) * (lit ? 0.02f : 0.01f);
        const osg::Color3f colour = lit ? highlight : f.severity == oxCheckSeverity::Error ? error : warning;
        const osg::Pnt3f at(float(f.location[0]), float(f.location[1]), float(f.location[2]));
        for (int axis = 0; axis < 3; ++axis)
        {
            osg::Vec3f d(0.f, 0.f, 0.f);
            d[axis] = arm;
            lines.push_back({{at - d, at + d}, colour, lit ? 4.f : 2.5f});
        }
    }
    // The highlight last, so that it is drawn over its neighbours.
    if (highlighted >= 0 && size_t(highlighted) < result.findings.size())
        std::rotate(lines.begin() + highlighted * 3, lines.begin() + highlighted * 3 + 3, lines.end());
    return lines;
}

double oxHostCheck::sceneSize()
{
    osg::Pnt3f min, max;
    if (!oxRenderer::the().scene().bounds(min, max))
        return 1;
    const double size = (max - min).length();
    return size > 0 ? size : 1;
}

namespace
{
oxCheckResult meshFile(const std::string& path, const oxCheckProfile& profile)
{
    oxMeshImporter::File read;
    std::string error;
    if (oxPointImporter::isPointFile(path))
        return failed(path, profile, "cannot check \"" + path + "\": it holds points, not the triangles of a mesh");
    if (!oxMeshImporter::readFile(path, oxMeshOptions(), read, error))
        return failed(path, profile, error);
    std::vector<const oxRenderMesh*> meshes;
    for (const oxRenderMesh& mesh : read.meshes)
        meshes.push_back(&mesh);
    oxCheckResult result = checkMeshes(meshes, profile, nullptr);
    result.source = path;
    if (read.lostTriangles > 0 && result.verdict != oxCheckResult::Error)
    {
        result.verdict = oxCheckResult::Error;
        result.reason = "cannot check all of \"" + path + "\": its reader lost " + std::to_string(read.lostTriangles) +
                        " triangles";
    }
    return result;
}
} // namespace

oxCheckResult oxHostCheck::file(const std::string& path, const oxCheckProfile& profile)
{
    const std::string missing = oxModelImporter::missingFileError(path);
    if (!missing.empty())
        return failed(path, profile, missing);
    if (!oxCadImporter::isCadFile(path))
        return meshFile(path, profile);
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
    return json(result, std::string());
}

std::string oxHostCheck::json(const oxCheckResult& result, const std::string& seal)
{
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("schema");
    w.String("oxhost-check");
    w.Key("version");
    w.Int(JsonVersion);
    if (!seal.empty())
    {
        w.Key("seal");
        w.String(seal.c_str());
    }
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
