#pragma once

class oxPanelBindings;

// The combs' section of the host analyses' panel: on, on edges, sections and their normal, teeth
// per curve and scale.
namespace oxHostCombPanel
{
void section(oxPanelBindings& bindings);
}
