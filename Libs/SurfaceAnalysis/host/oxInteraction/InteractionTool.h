#pragma once

namespace oxk
{
namespace interaction
{
// Root of the tools that a ToolInteractionContext drives.
class InteractionTool
{
public:
    virtual ~InteractionTool();
};
} // namespace interaction
} // namespace oxk
