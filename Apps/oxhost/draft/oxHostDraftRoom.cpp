#include "oxHostAnalysisControls.h"
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
    oxHostReportSections::add(&reportSection);
    oxHostAnalysisControls::addSection(&oxHostDraftPanel::section);
}
