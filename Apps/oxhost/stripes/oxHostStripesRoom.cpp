#include "oxHostAnalysisControls.h"
#include "oxHostRoom.h"
#include "oxHostStripesPanel.h"

OX_HOST_ROOM(stripes)
{
    oxHostAnalysisControls::addSection(&oxHostStripesPanel::section);
}
