#pragma once

class oxPanelBindings;

// The environment's section of the host analyses' panel: on, which studio, the image with its file
// chooser, the turn, the blend and whether it follows the view.
namespace oxHostEnvironmentPanel
{
void section(oxPanelBindings& bindings);
}
