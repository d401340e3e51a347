#pragma once

#include "MultimodeInteractionContext.h"

namespace oxk
{
namespace interaction
{
class AbstractInteractionTool;

// Hands pointer and trigger events to its tool while the tool is active. Adding the
// context activates the tool and selects mode "tool"; removing it selects "" and
// deactivates the tool.
class ToolInteractionContext : public MultimodeInteractionContext
{
public:
    explicit ToolInteractionContext(int preferredPosition = 0);

    // The tool is not owned. Replacing it while the context is added moves the activation.
    void setTool(AbstractInteractionTool* tool);
    AbstractInteractionTool* getTool() const;

    void contextAdded(InteractionManager* manager) override;
    void contextRemoved(InteractionManager* manager) override;
    // "pick"/"move" go to handlePointerMove, "pickPress"/"press" to handlePointerPress,
    // "pickRelease"/"release" to handlePointerRelease.
    bool pointerMoved(InteractionManager* manager, const std::string& hint) override;
    // "hover" goes to hoverTool, "stopHover" to stopHoverTool, any other name to triggerTool.
    // True when an active tool handled the event.
    bool triggerEvent(InteractionManager* manager, const InteractionEvent& event) override;
    // Selected only when the tool accepts it.
    bool selectMode(const std::string& mode) override;

private:
    AbstractInteractionTool* activeTool() const;

    AbstractInteractionTool* m_tool = nullptr;
};
} // namespace interaction
} // namespace oxk
