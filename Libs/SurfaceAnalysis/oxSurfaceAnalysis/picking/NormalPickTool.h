#pragma once

#include "AbstractInteractionTool.h"
#include "OSGNode.h"
#include "OSGVector.h"

namespace oxk
{
namespace modules
{
namespace surfaceanalysis
{
// Keeps the node, point and normal under the pointer and shows them in its description.
class NormalPickTool : public oxk::interaction::AbstractInteractionTool
{
public:
    NormalPickTool() = default;

    bool selectToolMode(oxk::interaction::InteractionContext* context, const std::string& mode) override;
    void activateTool(oxk::interaction::InteractionContext* context) override;
    void deactivateTool(oxk::interaction::InteractionContext* context) override;
    bool handlePointerMove(oxk::interaction::InteractionContext* context, const std::string& hint) override;
    bool handlePointerPress(oxk::interaction::InteractionContext* context, const std::string& hint) override;
    bool handlePointerRelease(oxk::interaction::InteractionContext* context, const std::string& hint) override;

    const osg::NodePtr& getPickedNode() const { return m_pickedNode; }
    const osg::Vec3f& getPickedPoint() const { return m_pickedPoint; }
    const osg::Vec3f& getPickedNormal() const { return m_pickedNormal; }

private:
    bool handlePickHint(oxk::interaction::InteractionContext* context, const std::string& hint);
    bool pick(oxk::interaction::InteractionContext* context);

    osg::NodePtr m_pickedNode;
    osg::Vec3f m_pickedPoint;
    osg::Vec3f m_pickedNormal{0.f, 1.f, 0.f};
};
} // namespace surfaceanalysis
} // namespace modules
} // namespace oxk
