#pragma once

#include "MultimodeInteractionContext.h"

namespace oxk
{
namespace manipulator
{
class UniversalTransformManipulator2;

// The context through which a manipulator's drag events ("start", "drag", "stop") reach
// their handler. Its events come from its manipulator only: the interaction manager does
// not route clicks to it, so an added manipulator never swallows a tool's "trigger".
class ManipulatorInteractionContext : public interaction::MultimodeInteractionContext
{
public:
    explicit ManipulatorInteractionContext(int preferredPosition = 0);
    ~ManipulatorInteractionContext() override;

    // Not owned; the manipulator gets a link back to this context.
    void setManipulator(UniversalTransformManipulator2* manipulator);
    UniversalTransformManipulator2* getManipulator() const;

    // Re-fits the manipulator's handles to the view.
    void cameraMoved(interaction::InteractionManager* manager) override;
    // The manipulator's events are handled here: returns true.
    bool triggerEvent(interaction::InteractionManager* manager, const interaction::InteractionEvent& event) override;

private:
    friend class UniversalTransformManipulator2;

    UniversalTransformManipulator2* m_manipulator = nullptr;
};
} // namespace manipulator
} // namespace oxk
