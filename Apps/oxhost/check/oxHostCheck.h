#pragma once

#include "oxCheck.h"
#include "oxHostResultFields.h"
#include "oxOverlay.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

// The data-quality check where the host uses it: on the model in the scene, on a file, and the
// part's result as JSON and its findings as CSV.
namespace oxHostCheck
{
// The fields of one finding, declared once for oxHost.check's dicts, the JSON and the CSV.
const std::vector<oxResultField<oxCheckFinding>>& findingFields();
// The fields of a part's result beside its findings: source, profile, verdict, reason.
const std::vector<oxResultField<oxCheckResult>>& resultFields();

// Every CAD part of the scene, faces and edges numbered as continuity() numbers them, and every
// plain mesh, its triangles numbered after those of the meshes before it (oxCheck::runMesh); a
// model with neither (empty, or points only) gets the verdict error and says why.
oxCheckResult scene(const oxCheckProfile& profile);

// The scene's CAD parts and meshes as scene() checks them, the findings' locations where the parts
// lie in the scene (a message's point stays in the file's space), taken on the host's thread; they
// stay alive while held, so that run() may check them on another thread while the scene changes.
struct Parts
{
    // Where a model's file space lies in the scene, rows of [rotation | translation].
    typedef std::array<std::array<double, 4>, 3> Placement;
    std::vector<std::shared_ptr<const oxCadModel>> models;
    std::vector<Placement> placements;                       // one per model
    std::vector<std::shared_ptr<const oxRenderMesh>> meshes; // in world space
    size_t sceneVersion = 0;                                 // oxRenderer's, when they were taken
};
Parts parts();
struct RunOptions
{
    // Polled between the meshes and parts and within a part's long steps: once set, run returns
    // oxCheck::cancelled soon.
    const std::atomic<bool>* cancel = nullptr;
};
oxCheckResult run(const Parts& parts, const oxCheckProfile& profile, const RunOptions& options = RunOptions());

// The last check of the scene (the viewer's or oxHost.check's), kept for the report; kept() is
// false once the scene changed after it.
void keep(const oxCheckResult& result, size_t sceneVersion);
bool kept(oxCheckResult& result);
void forget();

// Small crosses at the findings' locations, the highlighted one (an index into findings) larger
// and in the highlight colour; size is the model's, which scales them.
std::vector<oxOverlay::Polyline> markers(const oxCheckResult& result, double size, long highlighted = -1);
// The diagonal of the scene's bounds, 1 for an empty scene.
double sceneSize();
// The file read through the isolated reader, as the host reads a model: a CAD file's part, a mesh
// file's meshes as one; a file that cannot be read, or holds points, gets the verdict error and says why.
oxCheckResult file(const std::string& path, const oxCheckProfile& profile);

// The versioned JSON of one part (docs/analyses/check.md).
constexpr int JsonVersion = 1;
std::string json(const oxCheckResult& result);
// The same with the part's seal (oxHostCheckBatch::seal) after the version; empty: none.
std::string json(const oxCheckResult& result, const std::string& seal);
// The CSV of the parts' findings, a header line first; file is the first column.
std::string csv(const std::vector<oxCheckResult>& results);
} // namespace oxHostCheck
