#pragma once

#include "OSGVector.h"

#include <cstdint>
#include <string>
#include <vector>

namespace oxk
{
namespace interaction
{
class AbstractInteractionContext;

enum class PointerAction
{
    Move,
    Press,
    Release
};

// Routes pointer rays, named triggers and camera changes to the added contexts, in the
// order of their preferred positions (lower first; equal positions keep the order of adding).
// A context added during a dispatch does not see that event; one removed during a dispatch
// sees nothing more of it.
class InteractionManager
{
public:
    static InteractionManager* getInstance();

    // Null and already added contexts are ignored.
    void addContext(AbstractInteractionContext* context);
    // Contexts that are not added are ignored.
    void removeContext(AbstractInteractionContext* context);
    std::vector<AbstractInteractionContext*> getContexts() const;

    // Host side. Each enabled context with a picker has it pick along the ray, then gets
    // pointerMoved with a hint (see hints in InteractionContext.h). A move reaches every
    // context; a press or release stops at the first context that handles it. Returns whether
    // a context handled it (the host's view hands an unclaimed press to the camera).
    bool pointerRay(const osg::Pnt3f& origin, const osg::Vec3f& direction, PointerAction action = PointerAction::Move);
    // Host side: offers the event to the enabled contexts that accept triggers until one
    // handles it; returns whether one did.
    bool trigger(const std::string& eventName);
    // Host side: the view's camera changed.
    void cameraMoved();

    InteractionManager(const InteractionManager&) = delete;
    InteractionManager& operator=(const InteractionManager&) = delete;

private:
    friend class AbstractInteractionContext;

    struct Entry
    {
        AbstractInteractionContext* context;
        std::uint64_t serial;
    };

    InteractionManager();
    ~InteractionManager() = default;

    // Dispatch works on a copy; the serial tells a context still added from a new one
    // that happens to live at the address of a destroyed one.
    bool isStillAdded(const Entry& entry) const;
    void detach(AbstractInteractionContext* context);
    void updateRaised();

    std::vector<Entry> m_entries;
    std::uint64_t m_nextSerial = 1;
    AbstractInteractionContext* m_raised = nullptr;
};
} // namespace interaction
} // namespace oxk
