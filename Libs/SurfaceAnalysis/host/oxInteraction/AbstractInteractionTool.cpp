#include "AbstractInteractionTool.h"

#include "MultimodeInteractionContext.h"

namespace oxk
{
namespace interaction
{
InteractionTool::~InteractionTool() = default;

AbstractInteractionTool::AbstractInteractionTool() = default;
AbstractInteractionTool::~AbstractInteractionTool() = default;

bool AbstractInteractionTool::selectToolMode(InteractionContext*, const std::string&)
{
    return false;
}
void AbstractInteractionTool::activateTool(InteractionContext*)
{
    m_active = true;
}
void AbstractInteractionTool::deactivateTool(InteractionContext*)
{
    m_active = false;
}
bool AbstractInteractionTool::isActive() const
{
    return m_active;
}
bool AbstractInteractionTool::handlePointerMove(InteractionContext*, const std::string&)
{
    return false;
}
bool AbstractInteractionTool::handlePointerPress(InteractionContext*, const std::string&)
{
    return false;
}
bool AbstractInteractionTool::handlePointerRelease(InteractionContext*, const std::string&)
{
    return false;
}

bool AbstractInteractionTool::triggerTool(InteractionContext*, const std::string& name)
{
    return m_active && name == events::Trigger;
}

bool AbstractInteractionTool::hoverTool(InteractionContext*, const std::string&)
{
    return false;
}
bool AbstractInteractionTool::stopHoverTool(InteractionContext*, const std::string&)
{
    return false;
}

void AbstractInteractionTool::setDescription(const std::string& description)
{
    m_description = description;
}
const std::string& AbstractInteractionTool::getDescription() const
{
    return m_description;
}

bool AbstractInteractionTool::isPickHint(const std::string& hint) const
{
    return hint == hints::Pick || hint == hints::PickPress || hint == hints::PickRelease;
}

Picker* AbstractInteractionTool::getPicker(InteractionContext* context)
{
    auto* multimode = dynamic_cast<MultimodeInteractionContext*>(context);
    return multimode ? multimode->getPicker() : nullptr;
}
} // namespace interaction
} // namespace oxk
