#include "oxCheckModel.h"

#include <Standard_Failure.hxx>

#include <algorithm>
#include <cstdio>

std::vector<size_t> oxCheckNumbers::edgeNumbers(const oxCadModel::Impl& d)
{
    std::vector<size_t> numbers(size_t(d.edges.Extent()) + 1, 0);
    std::vector<bool> numbered(numbers.size(), false);
    size_t next = 0;
    for (const oxCadModel::Impl::SharedEdge& s : d.shared)
    {
        numbers[size_t(s.edge)] = next++;
        numbered[size_t(s.edge)] = true;
    }
    for (size_t e = 1; e < numbers.size(); ++e)
        if (!numbered[e])
            numbers[e] = next++;
    return numbers;
}

std::string oxCheckNumbers::text(double v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4g", v);
    return buffer;
}

std::string oxCheckNumbers::point(const gp_Pnt& p)
{
    return "(" + text(p.X()) + ", " + text(p.Y()) + ", " + text(p.Z()) + ")";
}

oxCheckContext::oxCheckContext(const oxCadModel& m, const oxCheckProfile& p, const oxCheckOptions& options)
    : model(m), d(m.impl()), profile(p), _numbering(options.numbering), _cancel(options.cancel),
      _edgeNumbers(oxCheckNumbers::edgeNumbers(m.impl()))
{
}

size_t oxCheckContext::edgeNumber(int edge) const
{
    const size_t n = _edgeNumbers[size_t(edge)], shared = d.shared.size();
    if (n < shared)
        return _numbering.sharedEdges + n;
    return (_numbering.otherEdges < 0 ? _numbering.sharedEdges + shared : size_t(_numbering.otherEdges)) + n - shared;
}

void oxCheckContext::add(oxCheckCriterion c, double value, const char* entity, size_t number, const gp_Pnt& at,
                         const std::string& message)
{
    oxCheckFinding f;
    f.criterion = c;
    f.severity = profile.rule(c).severity;
    f.value = value;
    f.threshold = profile.rule(c).threshold;
    f.entity = entity;
    f.index = number;
    f.location[0] = at.X();
    f.location[1] = at.Y();
    f.location[2] = at.Z();
    f.message = std::string(entity) + (f.entity == "part" ? "" : " " + std::to_string(number)) + ": " + message;
    _found[size_t(c)].push_back(std::move(f));
}

void oxCheckContext::compare(oxCheckCriterion c, double value, const char* entity, size_t number, const gp_Pnt& at,
                             const char* quantity, const char* comparison)
{
    const char* unit = oxCheckCriteria::unitText(oxCheckCriteria::info(c).unit);
    add(c, value, entity, number, at,
        std::string(quantity) + " " + oxCheckNumbers::text(value) + unit + " " + comparison + " " +
            oxCheckNumbers::text(threshold(c)) + unit);
}

void oxCheckContext::failed(const std::string& why)
{
    if (_failure.empty())
        _failure = why;
}

oxCheckResult oxCheckContext::finish()
{
    oxCheckResult result;
    result.profile = profile.name;
    result.exact = true;
    const char* const kinds[] = {"part", "solid", "face", "edge", "vertex"};
    auto rank = [&](const oxCheckFinding& f)
    { return std::make_pair(std::find(std::begin(kinds), std::end(kinds), f.entity) - std::begin(kinds), f.index); };
    for (size_t i = 0; i < _found.size(); ++i)
    {
        std::vector<oxCheckFinding>& found = _found[i];
        std::stable_sort(found.begin(), found.end(),
                         [&](const oxCheckFinding& a, const oxCheckFinding& b) { return rank(a) < rank(b); });
        result.counts[i] = found.size();
        const size_t kept = std::min(found.size(), profile.findingsPerCriterion);
        result.findings.insert(result.findings.end(), found.begin(), found.begin() + long(kept));
    }
    result.decide();
    if (!_failure.empty())
    {
        result.verdict = oxCheckResult::Error;
        result.reason = _failure;
    }
    return result;
}

const char* oxCheckResult::verdictName(Verdict v)
{
    const char* const names[] = {"pass", "warning", "fail", "error"};
    return names[v];
}

void oxCheckResult::decide()
{
    if (verdict == Error)
        return;
    verdict = Pass;
    for (const oxCheckFinding& f : findings)
        if (f.severity == oxCheckSeverity::Error)
            verdict = Fail;
        else if (f.severity == oxCheckSeverity::Warning && verdict == Pass)
            verdict = Warning;
}

void oxCheckResult::merge(const oxCheckResult& part)
{
    findings.insert(findings.end(), part.findings.begin(), part.findings.end());
    // Criteria in table order across the parts, each part's own order kept.
    std::stable_sort(findings.begin(), findings.end(),
                     [](const oxCheckFinding& a, const oxCheckFinding& b) { return a.criterion < b.criterion; });
    for (size_t i = 0; i < counts.size(); ++i)
        counts[i] += part.counts[i];
    exact = exact || part.exact;
    meshes = meshes || part.meshes;
    cancelled = cancelled || part.cancelled;
    if (part.verdict == Error && verdict != Error)
    {
        verdict = Error;
        reason = part.reason;
    }
    decide();
}

size_t oxCheck::otherEdgeCount(const oxCadModel& model)
{
    return size_t(model.impl().edges.Extent()) - model.impl().shared.size();
}

oxCheckResult oxCheck::cancelled(const oxCheckProfile& profile)
{
    oxCheckResult result;
    result.profile = profile.name;
    result.verdict = oxCheckResult::Error;
    result.reason = "the check was cancelled before it ended";
    result.cancelled = true;
    return result;
}

oxCheckResult oxCheck::run(const oxCadModel& model, const oxCheckProfile& profile, const oxCheckOptions& options)
{
    struct Step
    {
        const char* what;
        void (*take)(oxCheckContext&);
    };
    static const Step steps[] = {
        {"topology", &oxCheckSteps::validity},
        {"edges", &oxCheckSteps::edges},
        {"faces", &oxCheckSteps::faces},
        {"overlapping faces", &oxCheckSteps::overlaps},
        {"edge use", &oxCheckSteps::edgeUse},
        {"continuity", &oxCheckSteps::continuity},
        {"radii and folds", &oxCheckSteps::surfaces},
        {"B-splines", &oxCheckSteps::bsplines},
        {"corners", &oxCheckSteps::corners},
        {"self-intersection", &oxCheckSteps::selfIntersection},
        {"validation properties", &oxCheckSteps::validationProps},
    };
    oxCheckContext context(model, profile, options);
    for (const Step& step : steps)
    {
        if (context.cancelled())
            break;
        try
        {
            step.take(context);
        }
        catch (const Standard_Failure& e)
        {
            context.failed(
                std::string("Open CASCADE failed while checking the ") + step.what + ": " +
                (e.GetMessageString() && *e.GetMessageString() ? e.GetMessageString() : e.DynamicType()->Name()));
        }
    }
    // A step cut short found less than there is: nothing of it counts.
    return context.cancelled() ? cancelled(profile) : context.finish();
}
