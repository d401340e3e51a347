#include "oxSurfaceAnalysisManipulatorContext.h"

#include "InteractionEvent.h"
#include "oxSurfaceAnalysisModel.h"

oxSurfaceAnalysisManipulatorContext::oxSurfaceAnalysisManipulatorContext(int preferredPosition,
                                                                         oxSurfaceAnalysisModel* model, Handler handler)
    : ManipulatorInteractionContext(preferredPosition), m_model(model), m_handler(handler)
{
}

bool oxSurfaceAnalysisManipulatorContext::triggerEvent(oxk::interaction::InteractionManager* manager,
                                                       const oxk::interaction::InteractionEvent& event)
{
    (m_model->*m_handler)(event.getEvent());
    return ManipulatorInteractionContext::triggerEvent(manager, event);
}
