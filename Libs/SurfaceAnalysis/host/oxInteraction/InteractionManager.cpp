#include "InteractionManager.h"

#include "AbstractInteractionContext.h"
#include "InteractionEvent.h"
#include "MultimodeInteractionContext.h"
#include "Picker.h"

#include <algorithm>

namespace oxk
{
namespace interaction
{
// Never destroyed: contexts owned by static objects leave the manager in their destructors,
// whatever the order of static destruction.
InteractionManager* InteractionManager::getInstance()
{
    static InteractionManager* const instance = new InteractionManager;
    return instance;
}

InteractionManager::InteractionManager() = default;

void InteractionManager::addContext(AbstractInteractionContext* context)
{
    if (!context || context->m_manager)
        return;
    const int position = context->getPreferredPosition();
    auto at = std::upper_bound(m_entries.begin(), m_entries.end(), position,
                               [](int p, const Entry& e) { return p < e.context->getPreferredPosition(); });
    m_entries.insert(at, Entry{context, m_nextSerial++});
    context->m_manager = this;
    context->contextAdded(this);
    updateRaised();
}

void InteractionManager::removeContext(AbstractInteractionContext* context)
{
    if (!context || context->m_manager != this)
        return;
    if (m_raised == context)
    {
        m_raised = nullptr;
        context->m_raised = false;
        context->contextLowered(this);
    }
    // contextLowered may already have removed it.
    if (context->m_manager != this)
        return;
    detach(context);
    context->contextRemoved(this);
    updateRaised();
}

std::vector<AbstractInteractionContext*> InteractionManager::getContexts() const
{
    std::vector<AbstractInteractionContext*> contexts;
    contexts.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        contexts.push_back(entry.context);
    return contexts;
}

bool InteractionManager::pointerRay(const osg::Pnt3f& origin, const osg::Vec3f& direction, PointerAction action)
{
    const std::vector<Entry> snapshot = m_entries;
    bool anyHandled = false;
    for (const Entry& entry : snapshot)
    {
        if (!isStillAdded(entry) || !entry.context->isEnabled())
            continue;
        AbstractInteractionContext* context = entry.context;
        auto* multimode = dynamic_cast<MultimodeInteractionContext*>(context);
        Picker* picker = multimode ? multimode->getPicker() : nullptr;
        const char* hint = nullptr;
        if (picker)
        {
            picker->pick(origin, direction);
            hint = action == PointerAction::Move    ? hints::Pick
                   : action == PointerAction::Press ? hints::PickPress
                                                    : hints::PickRelease;
        }
        else
        {
            hint = action == PointerAction::Move    ? hints::Move
                   : action == PointerAction::Press ? hints::Press
                                                    : hints::Release;
        }
        // The picker may have removed the context.
        if (!isStillAdded(entry))
            continue;
        const bool handled = context->pointerMoved(this, hint);
        anyHandled = anyHandled || handled;
        if (handled && action != PointerAction::Move)
            return true;
    }
    return anyHandled;
}

bool InteractionManager::trigger(const std::string& eventName)
{
    const InteractionEvent event(eventName);
    const std::vector<Entry> snapshot = m_entries;
    for (const Entry& entry : snapshot)
    {
        if (!isStillAdded(entry) || !entry.context->isEnabled() || !entry.context->acceptsTriggers())
            continue;
        if (entry.context->triggerEvent(this, event))
            return true;
    }
    return false;
}

void InteractionManager::cameraMoved()
{
    const std::vector<Entry> snapshot = m_entries;
    for (const Entry& entry : snapshot)
        if (isStillAdded(entry) && entry.context->isEnabled())
            entry.context->cameraMoved(this);
}

bool InteractionManager::isStillAdded(const Entry& entry) const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const Entry& e) { return e.context == entry.context && e.serial == entry.serial; });
}

void InteractionManager::detach(AbstractInteractionContext* context)
{
    m_entries.erase(
        std::remove_if(m_entries.begin(), m_entries.end(), [context](const Entry& e) { return e.context == context; }),
        m_entries.end());
    context->m_manager = nullptr;
    context->m_raised = false;
    if (m_raised == context)
    {
        // Only a destroyed context gets here raised; the next one is raised without it.
        m_raised = nullptr;
        updateRaised();
    }
}

// The first context of the order is the raised one; the hooks run after the state is set,
// so a hook that adds or removes contexts sees a consistent manager.
void InteractionManager::updateRaised()
{
    AbstractInteractionContext* front = m_entries.empty() ? nullptr : m_entries.front().context;
    if (front == m_raised)
        return;
    AbstractInteractionContext* lowered = m_raised;
    m_raised = front;
    if (lowered)
        lowered->m_raised = false;
    if (front)
        front->m_raised = true;
    if (lowered)
        lowered->contextLowered(this);
    if (front && m_raised == front)
        front->contextRaised(this);
}
} // namespace interaction
} // namespace oxk
