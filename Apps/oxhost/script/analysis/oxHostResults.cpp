#include "oxHostResults.h"

namespace
{
typedef oxResultFormat F;
} // namespace

const std::vector<oxResultField<oxCurvatureStats>>& oxHostResults::curvature()
{
    typedef oxCurvatureStats S;
    static const std::vector<oxResultField<S>> fields = {
        {"min", "Minimum", F::Number, [](const S& s) { return oxResultValue(s.min); }, 0},
        {"max", "Maximum", F::Number, [](const S& s) { return oxResultValue(s.max); }, 5},
        {"mean", "Mean", F::Number, [](const S& s) { return oxResultValue(s.mean); }, 3},
        {"median", "Median", F::Number, [](const S& s) { return oxResultValue(s.median); }, 2},
        {"low", "2nd percentile", F::Number, [](const S& s) { return oxResultValue(s.low); }, 1},
        {"high", "98th percentile", F::Number, [](const S& s) { return oxResultValue(s.high); }, 4}};
    return fields;
}

const std::vector<oxResultField<oxHostCad::ModelInfo>>& oxHostResults::model()
{
    typedef oxHostCad::ModelInfo S;
    // The report's table adds the parts before these rows and the size after them.
    static const std::vector<oxResultField<S>> fields = {
        {"triangles", "Triangles", F::Count, [](const S& s) { return oxResultValue(s.triangles); }, 1},
        {"vertices", "Vertices", F::Count, [](const S& s) { return oxResultValue(s.vertices); }, 2},
        {"meshes", "Meshes", F::Count, [](const S& s) { return oxResultValue(s.meshes); }, 0},
        {"faces", "Faces", F::FaceCount, [](const S& s) { return oxResultValue(s.faces); }, 3},
        {"edges", "", F::Count, [](const S& s) { return oxResultValue(s.edges); }},
        {"freeEdges", "", F::Count, [](const S& s) { return oxResultValue(s.freeEdges); }},
        {"lostEntities", "", F::Count, [](const S& s) { return oxResultValue(s.lostEntities); }},
        {"lostTriangles", "", F::Count, [](const S& s) { return oxResultValue(s.lostTriangles); }}};
    return fields;
}

const std::vector<oxResultField<oxEdgeContinuity>>& oxHostResults::continuity()
{
    typedef oxEdgeContinuity S;
    static const std::vector<oxResultField<S>> fields = {
        {"edge", "", F::Count, [](const S& e) { return oxResultValue(e.edge); }},
        {"faces", "", F::Pair, [](const S& e) { return oxResultValue(e.faces[0], e.faces[1]); }, -1, 0, "face1,face2"},
        {"length", "", F::Number, [](const S& e) { return oxResultValue(e.length); }},
        {"g0", "", F::Number, [](const S& e) { return oxResultValue(e.g0); }},
        {"g1", "", F::Number, [](const S& e) { return oxResultValue(e.g1); }},
        {"g2", "", F::Number, [](const S& e) { return oxResultValue(e.g2); }},
        {"g2abs", "", F::Number, [](const S& e) { return oxResultValue(e.g2abs); }},
        {"g3", "", F::Number, [](const S& e) { return oxResultValue(e.g3); }},
        {"class", "", F::Text, [](const S& e) { return oxResultValue(oxEdgeContinuity::className(e.continuity)); }}};
    return fields;
}
