#include "oxHostCheckReport.h"

#include "oxHostCheck.h"
#include "oxHostReport.h"
#include "oxRenderer.h"

namespace
{
QString esc(const std::string& s)
{
    return QString::fromStdString(s).toHtmlEscaped();
}

// The rules the result was checked with: its profile's where it can still be found, else those its
// findings carry (criteria without findings then show no threshold).
oxCheckProfile rulesOf(const oxCheckResult& result, bool& complete)
{
    oxCheckProfile profile;
    std::string error;
    complete = oxCheckProfile::find(result.profile, profile, error);
    if (!complete)
        for (const oxCheckFinding& f : result.findings)
            profile.rule(f.criterion) = {f.threshold, f.severity};
    return profile;
}

QString criteriaTable(const oxCheckResult& result)
{
    bool complete = false;
    const oxCheckProfile profile = rulesOf(result, complete);
    QString html = "<table>\n<tr><th>Criterion</th><th>Severity</th><th>Threshold</th><th>Findings</th></tr>\n";
    for (const oxCheckCriterionInfo& c : oxCheckCriteria::all())
    {
        const oxCheckProfile::Rule& rule = profile.rule(c.criterion);
        const size_t count = result.counts[size_t(c.criterion)];
        // A criterion of a kind of geometry the model lacks cannot have found anything.
        const bool applies = oxCheckCriteria::onMeshes(c.criterion) ? result.meshes : result.exact;
        if (count == 0 && (rule.severity == oxCheckSeverity::Off || (!applies && (result.meshes || result.exact))))
            continue;
        const QString threshold = c.unit == oxCheckUnit::None
                                      ? QString("&ndash;")
                                      : oxHostReport::number(rule.threshold) + esc(oxCheckCriteria::unitText(c.unit));
        html += QString("<tr><td title=\"%1\">%2</td><td>%3</td><td class=\"n\">%4</td><td class=\"n\">%5</td></tr>\n")
                    .arg(QString::fromLatin1(c.description).toHtmlEscaped(), QString::fromLatin1(c.code),
                         QString::fromLatin1(oxCheckCriteria::severityName(rule.severity)), threshold)
                    .arg(count);
    }
    html += "</table>\n";
    if (!complete)
        html += "<p>The profile could no longer be read: criteria without findings are not listed.</p>\n";
    return html;
}

QString findingsTable(const oxCheckResult& result)
{
    QString html = "<table>\n<tr><th>Criterion</th><th>Severity</th><th>Finding</th></tr>\n";
    for (const oxCheckFinding& f : result.findings)
        html += QString("<tr><td>%1</td><td>%2</td><td>%3</td></tr>\n")
                    .arg(QString::fromLatin1(f.code()), QString::fromLatin1(oxCheckCriteria::severityName(f.severity)),
                         esc(f.message));
    return html + "</table>\n";
}
} // namespace

QString oxHostCheckReport::section(const oxFrame::Request& view)
{
    oxCheckResult result;
    return oxHostCheck::kept(result) ? resultSection(view, result) : QString();
}

QString oxHostCheckReport::resultSection(oxFrame::Request view, const oxCheckResult& result)
{
    QString html = "<h2>Data-quality check</h2>\n";
    html += QString("<p>Verdict: <strong>%1</strong> with the %2 profile.")
                .arg(QString::fromLatin1(oxCheckResult::verdictName(result.verdict)), esc(result.profile));
    if (result.verdict == oxCheckResult::Error)
        return html + " " + esc(result.reason) + "</p>\n";
    html += "</p>\n";

    view.analysis = false;
    oxHostReport::withoutHostColourings(view);
    view.combLines.clear(); // they have an image of their own
    view.markers = oxHostCheck::markers(result, oxHostCheck::sceneSize());
    html += oxHostReport::figure("Check findings", oxRenderer::the().render(view),
                                 "<strong>Findings</strong>: vermillion crosses mark errors, amber ones "
                                 "warnings.\n",
                                 {{"Profile", esc(result.profile)}});
    html += criteriaTable(result);
    if (!result.findings.empty())
        html += QString("<p>The findings kept (at most %1 per criterion and part):</p>\n")
                    .arg(oxCheckProfile().findingsPerCriterion) +
                findingsTable(result);
    return html;
}
