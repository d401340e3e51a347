#include "oxHostAnalysisControls.h"
#include "oxHostAnalysisProperties.h"
#include "oxHostAnalysisScript.h"
#include "oxHostDeviationPanel.h"
#include "oxHostDeviationReport.h"
#include "oxHostDeviationScript.h"
#include "oxHostReportSections.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

namespace
{
QString reportSection(const oxFrame::Request& view)
{
    return oxHostDeviationReport::section(view);
}
} // namespace

OX_HOST_ROOM(deviation)
{
    oxHostScript::addExtension(&oxHostDeviationScript::define);
    oxHostAnalysisScript::addProbeFields({"deviation (the signed distance to the reference) and referencePoint (the "
                                          "closest point on it), both None without a reference",
                                          &oxHostDeviationScript::putProbeFields});
    oxHostAnalysisProperties::describe(
        {"the deviation's",
         {{"DeviationActive", "needs a reference"},
          {"DeviationTolerance", "model units; reads 0 until set, meaning a thousandth of the reference's size"},
          {"DeviationRange", "0: the 98th percentile of |distance|"}}});
    oxHostReportSections::add(&reportSection);
    oxHostAnalysisControls::addSection(&oxHostDeviationPanel::section);
}
