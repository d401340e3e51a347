#pragma once

#include "ToolInteractionContext.h"

class oxSurfaceAnalysisModel;

// The normal pick tool's context: a click the tool took aims the light.
class oxSurfaceAnalysisNormalPickContext : public oxk::interaction::ToolInteractionContext
{
public:
    oxSurfaceAnalysisNormalPickContext(int preferredPosition, oxSurfaceAnalysisModel* model);

    bool triggerEvent(oxk::interaction::InteractionManager* manager,
                      const oxk::interaction::InteractionEvent& event) override;

private:
    oxSurfaceAnalysisModel* m_model;
};
