#include "oxHostCheckReport.h"
#include "oxHostCheckScript.h"
#include "oxHostReportSections.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

OX_HOST_ROOM(check)
{
    oxHostScript::addExtension(&oxHostCheckScript::define);
    // After the statistics: the check is about the data, not the surface's shape.
    oxHostReportSections::add(&oxHostCheckReport::section, oxHostReportSections::Place::AfterStatistics);
}
