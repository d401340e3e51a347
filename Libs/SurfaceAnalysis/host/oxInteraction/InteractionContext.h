#pragma once

#include <string>

namespace oxk
{
namespace interaction
{
class InteractionEvent;
class InteractionManager;

// Pointer hints that the interaction manager hands to pointerMoved. The "pick" hints mean
// that the context's picker has just picked along the pointer ray, so its hit queries are
// fresh (they may report no hit); the others are sent to contexts without a picker.
namespace hints
{
const char* const Pick = "pick";               // pointer moved
const char* const PickPress = "pickPress";     // button pressed
const char* const PickRelease = "pickRelease"; // button released
const char* const Move = "move";
const char* const Press = "press";
const char* const Release = "release";
} // namespace hints

// Event names the framework itself uses.
namespace events
{
const char* const Trigger = "trigger"; // a click
const char* const Hover = "hover";
const char* const StopHover = "stopHover";
} // namespace events

// What the interaction manager talks to. AbstractInteractionContext gives every operation
// a base behaviour; derive from it rather than from this interface.
class InteractionContext
{
public:
    virtual ~InteractionContext();

    virtual InteractionManager* getInteractionManager() const = 0;
    virtual void enabled() = 0;
    virtual void disabled() = 0;
    virtual void contextAdded(InteractionManager* manager) = 0;
    virtual void contextRemoved(InteractionManager* manager) = 0;
    virtual void contextRaised(InteractionManager* manager) = 0;
    virtual void contextLowered(InteractionManager* manager) = 0;
    virtual bool pointerMoved(InteractionManager* manager, const std::string& hint) = 0;
    virtual void cameraMoved(InteractionManager* manager) = 0;
    virtual bool triggerEvent(InteractionManager* manager, const InteractionEvent& event) = 0;
    virtual bool isRaised() const = 0;
    virtual bool isActive() const = 0;
    virtual bool isEnabled() const = 0;
    virtual int getPreferredPosition() const = 0;
    virtual bool selectMode(const std::string& mode) = 0;
};
} // namespace interaction
} // namespace oxk
