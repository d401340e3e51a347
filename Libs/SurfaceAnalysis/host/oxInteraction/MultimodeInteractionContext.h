#pragma once

#include "AbstractInteractionContext.h"

namespace oxk
{
namespace interaction
{
class Picker;

// A context with a current mode and an optional picker that the manager runs along the
// pointer ray before pointerMoved.
class MultimodeInteractionContext : public AbstractInteractionContext
{
public:
    explicit MultimodeInteractionContext(int preferredPosition = 0);

    // Any mode name is accepted; "" is the neutral mode.
    bool selectMode(const std::string& mode) override;
    const std::string& getMode() const;

    // The picker is not owned.
    virtual void setPicker(Picker* picker);
    Picker* getPicker() const;

private:
    std::string m_mode;
    Picker* m_picker = nullptr;
};
} // namespace interaction
} // namespace oxk
