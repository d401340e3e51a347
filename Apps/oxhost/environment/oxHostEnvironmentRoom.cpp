#include "oxHostAnalysisControls.h"
#include "oxHostAnalysisProperties.h"
#include "oxHostEnvironmentOptions.h"
#include "oxHostEnvironmentPanel.h"
#include "oxHostEnvironmentProject.h"
#include "oxHostRoom.h"

OX_HOST_ROOM(environment)
{
    oxHostAnalysisProperties::describe({"the environment's",
                                        {{"EnvironmentMap", "0 softbox, 1 horizon, 2 tunnel, 3 the image"},
                                         {"EnvironmentImage", "the path of an equirectangular PNG or JPEG image"},
                                         {"EnvironmentTurn", "degrees about the model's Z"}}});
    oxHostAnalysisControls::addSection(&oxHostEnvironmentPanel::section);
    oxHostEnvironmentOptions::add();
    oxHostEnvironmentProject::install();
}
