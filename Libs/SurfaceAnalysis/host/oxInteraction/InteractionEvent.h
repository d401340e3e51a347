#pragma once

#include <string>

namespace oxk
{
namespace interaction
{
// A named event routed to interaction contexts: "trigger" is a click; manipulators send
// "start", "drag" and "stop"; "hover" and "stopHover" reach a tool's hover handlers.
class InteractionEvent
{
public:
    explicit InteractionEvent(const std::string& name);

    const std::string& getEvent() const;

private:
    std::string m_name;
};
} // namespace interaction
} // namespace oxk
