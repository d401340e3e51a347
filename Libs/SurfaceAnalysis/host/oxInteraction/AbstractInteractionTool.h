#pragma once

#include "InteractionTool.h"

#include <string>

namespace oxk
{
namespace interaction
{
class InteractionContext;
class Picker;

// Base behaviour of a tool: active between activateTool and deactivateTool, takes clicks
// ("trigger") while active, ignores pointer and hover events.
class AbstractInteractionTool : public InteractionTool
{
public:
    AbstractInteractionTool();
    ~AbstractInteractionTool() override;

    // Mode "tool" is selected when the tool's context is added, "" when it is removed.
    // The base has no modes and returns false.
    virtual bool selectToolMode(InteractionContext* context, const std::string& mode);
    virtual void activateTool(InteractionContext* context);
    virtual void deactivateTool(InteractionContext* context);
    virtual bool isActive() const;
    // Pointer handlers, called while the tool is active with the manager's hint
    // (see hints in InteractionContext.h); return whether the event was handled.
    virtual bool handlePointerMove(InteractionContext* context, const std::string& hint);
    virtual bool handlePointerPress(InteractionContext* context, const std::string& hint);
    virtual bool handlePointerRelease(InteractionContext* context, const std::string& hint);
    // True for "trigger" while active: the click belongs to the active tool.
    virtual bool triggerTool(InteractionContext* context, const std::string& name);
    virtual bool hoverTool(InteractionContext* context, const std::string& name);
    virtual bool stopHoverTool(InteractionContext* context, const std::string& name);

    // The text the host shows for the tool, UTF-8.
    void setDescription(const std::string& description);
    const std::string& getDescription() const;

protected:
    // True for the hints after which the context's picker holds fresh results.
    virtual bool isPickHint(const std::string& hint) const;
    // The picker of a context that has one (a MultimodeInteractionContext), else null.
    static Picker* getPicker(InteractionContext* context);

private:
    bool m_active = false;
    std::string m_description;
};
} // namespace interaction
} // namespace oxk
