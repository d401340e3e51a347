#pragma once

#include "ManipulatorInteractionContext.h"

#include <string>

class oxSurfaceAnalysisModel;

// Hands the name of every manipulator event of one light visual to its drag handler.
class oxSurfaceAnalysisManipulatorContext : public oxk::manipulator::ManipulatorInteractionContext
{
public:
    typedef void (oxSurfaceAnalysisModel::*Handler)(const std::string& event);

    oxSurfaceAnalysisManipulatorContext(int preferredPosition, oxSurfaceAnalysisModel* model, Handler handler);

    bool triggerEvent(oxk::interaction::InteractionManager* manager,
                      const oxk::interaction::InteractionEvent& event) override;

private:
    oxSurfaceAnalysisModel* m_model;
    Handler m_handler;
};
