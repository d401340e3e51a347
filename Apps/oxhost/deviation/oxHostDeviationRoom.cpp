#include "oxHostAnalysisControls.h"
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
    oxHostReportSections::add(&reportSection);
    oxHostAnalysisControls::addSection(&oxHostDeviationPanel::section);
}
