#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

class oxCadModel;
struct oxRenderMesh;

// The data-quality criteria in report order, one row each: F(Code, Unit, default threshold and
// severity, class-A threshold and severity, what a finding means). docs/analyses/check.md says where
// each number comes from.
#define OX_CHECK_CRITERIA(F)                                                                                           \
    F(INVALID_TOPOLOGY, None, 0, Error, 0, Error, "topology or geometry Open CASCADE's checker refuses")               \
    F(TINY_EDGE, Length, 0.02, Error, 0.02, Error, "edge shorter than the threshold")                                  \
    F(TINY_FACE, Length, 0.02, Error, 0.02, Error, "face whose largest extent is below the threshold")                 \
    F(SLIVER_FACE, Length, 0.02, Warning, 0.05, Error, "face narrower (2 x area / perimeter) than the threshold")      \
    F(COLLAPSED_BOUNDARY, None, 0, Error, 0, Error, "face with a wire of no length or a boundary enclosing no area")   \
    F(OVERLAPPING_FACE, Length, 0.02, Off, 0.01, Error,                                                                \
      "faces lying on each other, within the threshold, over an area (slow on dense parts)")                           \
    F(EDGE_GAP, Length, 0.02, Error, 0.01, Error, "edge curve further than the threshold from its curve on a face")    \
    F(VERTEX_GAP, Length, 0.02, Error, 0.01, Error, "vertex further than the threshold from an end of its edge")       \
    F(FREE_EDGE, None, 0, Error, 0, Error, "edge of one face only on a part that holds a solid")                       \
    F(OVERUSED_EDGE, None, 0, Error, 0, Error, "edge shared by three or more faces")                                   \
    F(G1_BREAK, Angle, 0.1, Warning, 0.05, Error,                                                                      \
      "faces meet at a small kink: normals differ by more than the threshold")                                         \
    F(G2_BREAK, Ratio, 0.05, Off, 0.05, Warning, "tangent faces whose curvature jumps by more than the threshold")     \
    F(G3_BREAK, Ratio, 0.05, Off, 0.05, Warning,                                                                       \
      "curvature-continuous faces whose curvature's rate of change jumps by more than the threshold")                  \
    F(SMALL_RADIUS, Length, 0.5, Warning, 0.5, Error, "radius of curvature below the threshold")                       \
    F(FOLDED_NORMAL, None, 0, Error, 0, Error, "face whose surface folds over: its normal reverses inside the trim")   \
    F(CLOSE_KNOTS, Length, 0.02, Warning, 0.02, Error, "B-spline knots closer than the threshold")                     \
    F(HIGH_DEGREE, Count, 9, Warning, 6, Error, "B-spline degree above the threshold")                                 \
    F(CORNER_ANGLE, Angle, 2, Warning, 5, Error, "boundary edges meet at a vertex at an angle outside t to 180 - t")   \
    F(SELF_INTERSECTION, None, 0, Off, 0, Error, "faces or edges that cross each other (slow on B-splines)")           \
    F(VALIDATION_PROPS, Percent, 0.1, Warning, 0.1, Error,                                                             \
      "solid whose volume, area or centroid differs from the STEP file's validation properties")                       \
    F(MESH_FREE_EDGE, None, 0, Warning, 0, Error,                                                                      \
      "mesh edge of one triangle only: a hole if the mesh is meant closed")                                            \
    F(MESH_OVERUSED_EDGE, None, 0, Error, 0, Error, "mesh edge shared by three or more triangles")                     \
    F(MESH_DEGENERATE_TRIANGLE, Angle, 0.1, Warning, 0.5, Error,                                                       \
      "triangle whose smallest angle is below the threshold")                                                          \
    F(MESH_TINY_TRIANGLE, Length, 0.02, Warning, 0.02, Error, "triangle whose longest edge is below the threshold")    \
    F(MESH_SELF_INTERSECTION, None, 0, Error, 0, Error, "triangles that cross each other, not just touch")             \
    F(MESH_FLIPPED_TRIANGLE, None, 0, Error, 0, Error,                                                                 \
      "triangle wound against its neighbours, or facing inwards on a closed mesh")

enum class oxCheckCriterion
{
#define OX_CHECK_ENUM(code, ...) code,
    OX_CHECK_CRITERIA(OX_CHECK_ENUM)
#undef OX_CHECK_ENUM
};

enum class oxCheckSeverity
{
    Off,
    Warning,
    Error
};

// What a threshold measures: the text after a value ("mm", " degrees").
enum class oxCheckUnit
{
    None,    // no threshold: every occurrence is a finding
    Length,  // model units (millimetres for STEP and IGES)
    Angle,   // degrees
    Ratio,   // dimensionless
    Percent, // a relative difference in percent
    Count    // a whole number
};

struct oxCheckCriterionInfo
{
    oxCheckCriterion criterion;
    const char* code;
    oxCheckUnit unit;
    const char* description;
};

namespace oxCheckCriteria
{
#define OX_CHECK_ONE(...) +1
constexpr size_t Count = 0 OX_CHECK_CRITERIA(OX_CHECK_ONE);
#undef OX_CHECK_ONE
const std::array<oxCheckCriterionInfo, Count>& all();
const oxCheckCriterionInfo& info(oxCheckCriterion c);
// False when no criterion has the code.
bool byCode(const std::string& code, oxCheckCriterion& out);
const char* severityName(oxCheckSeverity s);
bool severityNamed(const std::string& name, oxCheckSeverity& out);
const char* unitText(oxCheckUnit unit);
// Whether the criterion is one of triangle meshes (MESH_), which runMesh checks, not run.
bool onMeshes(oxCheckCriterion c);
} // namespace oxCheckCriteria

// Thresholds and severities, one rule per criterion.
struct oxCheckProfile
{
    struct Rule
    {
        double threshold = 0;
        oxCheckSeverity severity = oxCheckSeverity::Off;
    };
    std::string name;
    std::array<Rule, oxCheckCriteria::Count> rules;
    size_t findingsPerCriterion = 20; // kept per criterion per part; the count goes on

    const Rule& rule(oxCheckCriterion c) const { return rules[size_t(c)]; }
    Rule& rule(oxCheckCriterion c) { return rules[size_t(c)]; }

    static oxCheckProfile standard(); // "default"
    static oxCheckProfile classA();   // "class-a"
    static std::vector<std::string> names();
    // A profile by name, or else the JSON file at nameOrPath; false with error naming the file and line.
    static bool find(const std::string& nameOrPath, oxCheckProfile& out, std::string& error);
    // The JSON text of a profile file (docs/analyses/check.md); file names it in errors.
    static bool parse(const std::string& text, const std::string& file, oxCheckProfile& out, std::string& error);
};

// One criterion failed on one entity.
struct oxCheckFinding
{
    oxCheckCriterion criterion = oxCheckCriterion::INVALID_TOPOLOGY;
    oxCheckSeverity severity = oxCheckSeverity::Error;
    double value = 0;
    double threshold = 0;
    std::string entity; // "face", "edge", "vertex", "solid" or "part"; on meshes "triangle" or "edge"
    size_t index = 0;   // faces and solids as the model numbers them, edges as continuity() does (meshes: runMesh)
    double location[3] = {0, 0, 0};
    std::string message; // "edge 41: length 0.013 mm < 0.02 mm"

    const char* code() const { return oxCheckCriteria::info(criterion).code; }
};

struct oxCheckResult
{
    enum Verdict
    {
        Pass,
        Warning, // warnings only
        Fail,    // at least one error
        Error    // could not be read or checked: reason says why
    };
    std::string source; // the file checked, where there is one
    std::string profile;
    Verdict verdict = Pass;
    std::string reason;
    std::vector<oxCheckFinding> findings;                // criteria in table order, entities in index order
    std::array<size_t, oxCheckCriteria::Count> counts{}; // findings per criterion before the cap
    bool exact = false, meshes = false; // CAD parts, meshes among what was checked: whose criteria apply
    bool cancelled = false;             // stopped before the end: verdict error, no findings

    static const char* verdictName(Verdict v);
    // Findings of another part of the same model, its faces and edges numbered after ours.
    void merge(const oxCheckResult& part);
    // The verdict from the findings; an Error verdict stays.
    void decide();
};

// Where a part's numbers start in a model of several parts: faces, continuity()'s shared edges,
// and the other edges, which follow all shared edges of the model (negative: this part's).
struct oxCheckNumbering
{
    size_t faces = 0;
    size_t sharedEdges = 0;
    long otherEdges = -1;
    size_t solids = 0;
};

// How oxCheck::run runs, beside the model and the profile.
struct oxCheckOptions
{
    oxCheckNumbering numbering;
    // Polled between the steps and within the long ones: once set, run returns cancelled(profile)
    // soon.
    const std::atomic<bool>* cancel = nullptr;
};

namespace oxCheck
{
// Every criterion the profile does not switch off, on the model.
oxCheckResult run(const oxCadModel& model, const oxCheckProfile& profile,
                  const oxCheckOptions& options = oxCheckOptions());
// What a check stopped before its end returns: marked cancelled, the verdict error, no findings.
oxCheckResult cancelled(const oxCheckProfile& profile);
// The edges that run numbers after the shared ones: free edges, seams and degenerate edges.
size_t otherEdgeCount(const oxCadModel& model);
// The MESH_ criteria on a triangle mesh, its positions welded by value first. Triangles are
// numbered from firstTriangle in the mesh's order; edge 3t + k runs from corner k of triangle t
// to corner k + 1 (mod 3).
oxCheckResult runMesh(const oxRenderMesh& mesh, const oxCheckProfile& profile, size_t firstTriangle = 0);
} // namespace oxCheck
