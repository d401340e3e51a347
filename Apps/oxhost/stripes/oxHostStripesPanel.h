#pragma once

class oxPanelBindings;

// The zebra stripes' section of the host analyses' panel: on, the cylinder's axis, the count,
// dark share and sharpness of the stripes, and whether they are locked to the model.
namespace oxHostStripesPanel
{
void section(oxPanelBindings& bindings);
}
