#pragma once

// Open CASCADE side of the check; included only by the check's own sources and tests.

#include "oxCadShape.h"
#include "oxCheck.h"

#include <gp_Pnt.hxx>

#include <string>
#include <vector>

// What every criterion's step reads and writes: the model, the profile, and the findings so far.
class oxCheckContext
{
public:
    oxCheckContext(const oxCadModel& model, const oxCheckProfile& profile, const oxCheckOptions& options);

    const oxCadModel& model;
    const oxCadModel::Impl& d;
    const oxCheckProfile& profile;

    bool on(oxCheckCriterion c) const { return profile.rule(c).severity != oxCheckSeverity::Off; }
    // The caller asked the check to stop: the long steps poll it between faces.
    bool cancelled() const { return _cancel && _cancel->load(std::memory_order_relaxed); }
    double threshold(oxCheckCriterion c) const { return profile.rule(c).threshold; }
    // The numbers findings give a face or an edge (indices into d.faces and d.edges, from 1).
    size_t faceNumber(int face) const { return _numbering.faces + size_t(face - 1); }
    size_t edgeNumber(int edge) const;
    // The number findings give a solid (from 0, as the model's solids map counts them).
    size_t solidNumber(size_t solid) const { return _numbering.solids + solid; }

    // One finding; message is the sentence after "<entity> <number>: ".
    void add(oxCheckCriterion c, double value, const char* entity, size_t number, const gp_Pnt& at,
             const std::string& message);
    // A finding whose message compares value with the criterion's threshold: "length 0.013 mm < 0.02 mm".
    void compare(oxCheckCriterion c, double value, const char* entity, size_t number, const gp_Pnt& at,
                 const char* quantity, const char* comparison);
    // The findings in entity order, each criterion capped, and the verdict.
    oxCheckResult finish();
    // Says why a step could not be taken; the verdict becomes an error.
    void failed(const std::string& why);

private:
    oxCheckNumbering _numbering;
    const std::atomic<bool>* _cancel;
    std::vector<size_t> _edgeNumbers; // per edge (from 1)
    std::array<std::vector<oxCheckFinding>, oxCheckCriteria::Count> _found;
    std::string _failure;
};

// The steps, each one or more criteria of the table; a step skips criteria the profile switches off.
namespace oxCheckSteps
{
void validity(oxCheckContext& c);         // INVALID_TOPOLOGY
void edges(oxCheckContext& c);            // TINY_EDGE, EDGE_GAP, VERTEX_GAP
void faces(oxCheckContext& c);            // COLLAPSED_BOUNDARY, TINY_FACE, SLIVER_FACE
void overlaps(oxCheckContext& c);         // OVERLAPPING_FACE
void edgeUse(oxCheckContext& c);          // FREE_EDGE, OVERUSED_EDGE
void continuity(oxCheckContext& c);       // G1_BREAK, G2_BREAK, G3_BREAK
void surfaces(oxCheckContext& c);         // SMALL_RADIUS, FOLDED_NORMAL
void bsplines(oxCheckContext& c);         // CLOSE_KNOTS, HIGH_DEGREE
void corners(oxCheckContext& c);          // CORNER_ANGLE
void selfIntersection(oxCheckContext& c); // SELF_INTERSECTION
void validationProps(oxCheckContext& c);  // VALIDATION_PROPS
} // namespace oxCheckSteps

namespace oxCheckNumbers
{
// Per edge of the model (from 1; [0] unused) the number findings give it: continuity()'s shared
// edges first, in its order, then the other edges in the model's order.
std::vector<size_t> edgeNumbers(const oxCadModel::Impl& d);
// "0.013" for findings' messages.
std::string text(double v);
// "(1, 2.5, 0)"
std::string point(const gp_Pnt& p);
} // namespace oxCheckNumbers
