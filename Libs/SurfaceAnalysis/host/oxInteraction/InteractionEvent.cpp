#include "InteractionEvent.h"

namespace oxk
{
namespace interaction
{
InteractionEvent::InteractionEvent(const std::string& name) : m_name(name) {}

const std::string& InteractionEvent::getEvent() const
{
    return m_name;
}
} // namespace interaction
} // namespace oxk
