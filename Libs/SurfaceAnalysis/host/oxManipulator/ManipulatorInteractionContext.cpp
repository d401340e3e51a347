#include "ManipulatorInteractionContext.h"

#include "UniversalTransformManipulator2.h"

namespace oxk
{
namespace manipulator
{
ManipulatorInteractionContext::ManipulatorInteractionContext(int preferredPosition)
    : interaction::MultimodeInteractionContext(preferredPosition)
{
    setAcceptsTriggers(false);
}

ManipulatorInteractionContext::~ManipulatorInteractionContext()
{
    if (m_manipulator)
        m_manipulator->m_context = nullptr;
}

void ManipulatorInteractionContext::setManipulator(UniversalTransformManipulator2* manipulator)
{
    if (manipulator == m_manipulator)
        return;
    if (m_manipulator)
        m_manipulator->m_context = nullptr;
    m_manipulator = manipulator;
    if (m_manipulator)
    {
        // A manipulator serves one context.
        if (m_manipulator->m_context)
            m_manipulator->m_context->m_manipulator = nullptr;
        m_manipulator->m_context = this;
    }
}

UniversalTransformManipulator2* ManipulatorInteractionContext::getManipulator() const
{
    return m_manipulator;
}

void ManipulatorInteractionContext::cameraMoved(interaction::InteractionManager*)
{
    if (m_manipulator)
        m_manipulator->update(false);
}

bool ManipulatorInteractionContext::triggerEvent(interaction::InteractionManager*, const interaction::InteractionEvent&)
{
    return true;
}
} // namespace manipulator
} // namespace oxk
