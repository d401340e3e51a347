#include "oxHostAnalysisControls.h"
#include "oxHostCombPanel.h"
#include "oxHostCombScript.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

OX_HOST_ROOM(combs)
{
    oxHostScript::addExtension(&oxHostCombScript::define);
    oxHostAnalysisControls::addSection(&oxHostCombPanel::section);
}
