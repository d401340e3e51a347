#pragma once

#include "InteractionContext.h"

namespace oxk
{
namespace interaction
{
// Base behaviour of a context: the notifications do nothing, pointer and trigger events are
// not handled. The manager keeps the added/raised state, so overrides of the notifications
// need not call the base.
class AbstractInteractionContext : public InteractionContext
{
public:
    explicit AbstractInteractionContext(int preferredPosition = 0);
    // A context destroyed while added leaves the manager without notifications.
    ~AbstractInteractionContext() override;

    AbstractInteractionContext(const AbstractInteractionContext&) = delete;
    AbstractInteractionContext& operator=(const AbstractInteractionContext&) = delete;

    // The manager this context is added to, or null.
    InteractionManager* getInteractionManager() const override;
    void enabled() override;
    void disabled() override;
    void contextAdded(InteractionManager* manager) override;
    void contextRemoved(InteractionManager* manager) override;
    void contextRaised(InteractionManager* manager) override;
    void contextLowered(InteractionManager* manager) override;
    bool pointerMoved(InteractionManager* manager, const std::string& hint) override;
    void cameraMoved(InteractionManager* manager) override;
    bool triggerEvent(InteractionManager* manager, const InteractionEvent& event) override;
    // True for the first context of the manager's order.
    bool isRaised() const override;
    // True while added to the manager.
    bool isActive() const override;
    bool isEnabled() const override;
    int getPreferredPosition() const override;
    bool selectMode(const std::string& mode) override;

    // A disabled context stays added but receives no pointer, camera or trigger events.
    // Calls enabled() or disabled() when the state changes.
    void setEnabled(bool on);
    // Whether the manager routes named triggers (clicks) to this context.
    bool acceptsTriggers() const;

protected:
    void setAcceptsTriggers(bool accepts);

private:
    friend class InteractionManager;

    InteractionManager* m_manager = nullptr;
    int m_preferredPosition;
    bool m_raised = false;
    bool m_enabled = true;
    bool m_acceptsTriggers = true;
};
} // namespace interaction
} // namespace oxk
