#include "oxSurfaceAnalysisNormalPickContext.h"

#include "InteractionEvent.h"
#include "oxSurfaceAnalysisModel.h"

oxSurfaceAnalysisNormalPickContext::oxSurfaceAnalysisNormalPickContext(int preferredPosition,
                                                                       oxSurfaceAnalysisModel* model)
    : ToolInteractionContext(preferredPosition), m_model(model)
{
}

bool oxSurfaceAnalysisNormalPickContext::triggerEvent(oxk::interaction::InteractionManager* manager,
                                                      const oxk::interaction::InteractionEvent& event)
{
    if (!ToolInteractionContext::triggerEvent(manager, event))
        return false;
    m_model->normalPickTriggerEvent(event.getEvent());
    return true;
}
