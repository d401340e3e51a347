#pragma once

class oxPanelBindings;

// The deviation's section of the host analyses' panel: on, tolerance and colour range.
namespace oxHostDeviationPanel
{
void section(oxPanelBindings& bindings);
}
