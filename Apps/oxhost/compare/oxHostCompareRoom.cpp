#include "oxHostCompareReport.h"
#include "oxHostCompareScript.h"
#include "oxHostReportSections.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

OX_HOST_ROOM(compare)
{
    oxHostScript::addExtension(&oxHostCompareScript::define);
    oxHostReportSections::add(&oxHostCompareReport::viewSection);
}
