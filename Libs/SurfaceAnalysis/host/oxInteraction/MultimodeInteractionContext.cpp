#include "MultimodeInteractionContext.h"

namespace oxk
{
namespace interaction
{
MultimodeInteractionContext::MultimodeInteractionContext(int preferredPosition)
    : AbstractInteractionContext(preferredPosition)
{
}

bool MultimodeInteractionContext::selectMode(const std::string& mode)
{
    m_mode = mode;
    return true;
}

const std::string& MultimodeInteractionContext::getMode() const
{
    return m_mode;
}

void MultimodeInteractionContext::setPicker(Picker* picker)
{
    m_picker = picker;
}

Picker* MultimodeInteractionContext::getPicker() const
{
    return m_picker;
}
} // namespace interaction
} // namespace oxk
