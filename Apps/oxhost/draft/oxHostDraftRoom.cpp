#include "oxHostAnalysisControls.h"
#include "oxHostAnalysisProperties.h"
#include "oxHostAnalysisScript.h"
#include "oxHostDraftOptions.h"
#include "oxHostDraftPanel.h"
#include "oxHostDraftReport.h"
#include "oxHostDraftScript.h"
#include "oxHostReportSections.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

namespace
{
// The draft has a section only while it is on.
QString reportSection(const oxFrame::Request& view)
{
    return view.hostAnalyses.DraftActive ? oxHostDraftReport::section(view) : QString();
}
} // namespace

OX_HOST_ROOM(draft)
{
    oxHostScript::addExtension(&oxHostDraftScript::define);
    oxHostAnalysisScript::addProbeFields(
        {"draft (asin(normal . DraftDirection), degrees)", &oxHostDraftScript::putProbeFields});
    oxHostAnalysisProperties::describe(
        {"the draft angle's", {{"DraftDirection", "stored normalised"}, {"DraftAngle", "degrees"}}});
    oxHostReportSections::add(&reportSection);
    oxHostDraftOptions::add();
    oxHostAnalysisControls::addSection(&oxHostDraftPanel::section);
}
