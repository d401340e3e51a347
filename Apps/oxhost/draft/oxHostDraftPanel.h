#pragma once

class oxPanelBindings;

// The draft's section of the host analyses' panel: on, minimum angle, colour ramp, and the pull
// direction from the axes, the view or a picked face.
namespace oxHostDraftPanel
{
void section(oxPanelBindings& bindings);
}
