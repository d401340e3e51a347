#include "ToolInteractionContext.h"

#include "AbstractInteractionTool.h"
#include "InteractionEvent.h"

namespace oxk
{
namespace interaction
{
ToolInteractionContext::ToolInteractionContext(int preferredPosition) : MultimodeInteractionContext(preferredPosition)
{
}

void ToolInteractionContext::setTool(AbstractInteractionTool* tool)
{
    if (tool == m_tool)
        return;
    if (isActive() && m_tool)
    {
        m_tool->selectToolMode(this, std::string());
        m_tool->deactivateTool(this);
    }
    m_tool = tool;
    if (isActive() && m_tool)
    {
        m_tool->activateTool(this);
        selectMode("tool");
    }
}

AbstractInteractionTool* ToolInteractionContext::getTool() const
{
    return m_tool;
}

void ToolInteractionContext::contextAdded(InteractionManager*)
{
    if (!m_tool)
        return;
    m_tool->activateTool(this);
    selectMode("tool");
}

void ToolInteractionContext::contextRemoved(InteractionManager*)
{
    if (!m_tool)
        return;
    selectMode(std::string());
    m_tool->deactivateTool(this);
}

bool ToolInteractionContext::pointerMoved(InteractionManager*, const std::string& hint)
{
    AbstractInteractionTool* tool = activeTool();
    if (!tool)
        return false;
    if (hint == hints::Pick || hint == hints::Move)
        return tool->handlePointerMove(this, hint);
    if (hint == hints::PickPress || hint == hints::Press)
        return tool->handlePointerPress(this, hint);
    if (hint == hints::PickRelease || hint == hints::Release)
        return tool->handlePointerRelease(this, hint);
    return false;
}

bool ToolInteractionContext::triggerEvent(InteractionManager*, const InteractionEvent& event)
{
    AbstractInteractionTool* tool = activeTool();
    if (!tool)
        return false;
    const std::string& name = event.getEvent();
    if (name == events::Hover)
        return tool->hoverTool(this, name);
    if (name == events::StopHover)
        return tool->stopHoverTool(this, name);
    return tool->triggerTool(this, name);
}

bool ToolInteractionContext::selectMode(const std::string& mode)
{
    if (!m_tool || !m_tool->selectToolMode(this, mode))
        return false;
    return MultimodeInteractionContext::selectMode(mode);
}

AbstractInteractionTool* ToolInteractionContext::activeTool() const
{
    return m_tool && m_tool->isActive() ? m_tool : nullptr;
}
} // namespace interaction
} // namespace oxk
