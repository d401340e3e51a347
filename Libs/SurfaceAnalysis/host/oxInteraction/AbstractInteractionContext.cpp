#include "AbstractInteractionContext.h"

#include "InteractionManager.h"

namespace oxk
{
namespace interaction
{
InteractionContext::~InteractionContext() = default;

AbstractInteractionContext::AbstractInteractionContext(int preferredPosition) : m_preferredPosition(preferredPosition)
{
}

AbstractInteractionContext::~AbstractInteractionContext()
{
    if (m_manager)
        m_manager->detach(this);
}

InteractionManager* AbstractInteractionContext::getInteractionManager() const
{
    return m_manager;
}
void AbstractInteractionContext::enabled() {}
void AbstractInteractionContext::disabled() {}
void AbstractInteractionContext::contextAdded(InteractionManager*) {}
void AbstractInteractionContext::contextRemoved(InteractionManager*) {}
void AbstractInteractionContext::contextRaised(InteractionManager*) {}
void AbstractInteractionContext::contextLowered(InteractionManager*) {}
bool AbstractInteractionContext::pointerMoved(InteractionManager*, const std::string&)
{
    return false;
}
void AbstractInteractionContext::cameraMoved(InteractionManager*) {}
bool AbstractInteractionContext::triggerEvent(InteractionManager*, const InteractionEvent&)
{
    return false;
}
bool AbstractInteractionContext::isRaised() const
{
    return m_raised;
}
bool AbstractInteractionContext::isActive() const
{
    return m_manager != nullptr;
}
bool AbstractInteractionContext::isEnabled() const
{
    return m_enabled;
}
int AbstractInteractionContext::getPreferredPosition() const
{
    return m_preferredPosition;
}
bool AbstractInteractionContext::selectMode(const std::string&)
{
    return false;
}

void AbstractInteractionContext::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (on)
        enabled();
    else
        disabled();
}

bool AbstractInteractionContext::acceptsTriggers() const
{
    return m_acceptsTriggers;
}
void AbstractInteractionContext::setAcceptsTriggers(bool accepts)
{
    m_acceptsTriggers = accepts;
}
} // namespace interaction
} // namespace oxk
