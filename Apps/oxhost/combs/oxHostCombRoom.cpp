#include "oxHostAnalysisControls.h"
#include "oxHostAnalysisProperties.h"
#include "oxHostCombOptions.h"
#include "oxHostCombPanel.h"
#include "oxHostCombReport.h"
#include "oxHostCombScript.h"
#include "oxHostReportSections.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

OX_HOST_ROOM(combs)
{
    oxHostScript::addExtension(&oxHostCombScript::define);
    oxHostAnalysisProperties::describe(
        {"the curvature combs'",
         {{"CombSectionNormal", "stored normalised"}, {"CombSamples", "teeth per curve"}, {"CombScale", "0: fitted"}}});
    oxHostReportSections::add(&oxHostCombReport::section, oxHostReportSections::Place::AfterStatistics);
    oxHostCombOptions::add();
    oxHostAnalysisControls::addSection(&oxHostCombPanel::section);
}
