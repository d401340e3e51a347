#include "UniversalTransformManipulator2.h"

#include "InteractionEvent.h"
#include "ManipulatorInteractionContext.h"
#include "OSGTransform3D.h"

#include <iostream>

namespace oxk
{
namespace manipulator
{
UniversalTransformManipulator2::UniversalTransformManipulator2() = default;

UniversalTransformManipulator2::~UniversalTransformManipulator2()
{
    if (m_context)
        m_context->m_manipulator = nullptr;
}

void UniversalTransformManipulator2::setVisualisationRoot(const osg::NodePtr& root)
{
    m_root = root;
}
const osg::NodePtr& UniversalTransformManipulator2::getVisualisationRoot() const
{
    return m_root;
}
void UniversalTransformManipulator2::setNode(const osg::NodePtr& node)
{
    m_node = node;
}
const osg::NodePtr& UniversalTransformManipulator2::getNode() const
{
    return m_node;
}

void UniversalTransformManipulator2::activateTranslateRotateManipulator()
{
    m_mode = TranslateRotateMode;
}
void UniversalTransformManipulator2::activateTranslateRotateYZManipulator()
{
    m_mode = TranslateRotateYZMode;
}
void UniversalTransformManipulator2::activateRotateManipulator()
{
    m_mode = RotateMode;
}
UniversalTransformManipulator2::Mode UniversalTransformManipulator2::getMode() const
{
    return m_mode;
}

void UniversalTransformManipulator2::update(bool force)
{
    ++m_updateCount;
    m_lastUpdateForced = force;
}

int UniversalTransformManipulator2::updateCount() const
{
    return m_updateCount;
}
bool UniversalTransformManipulator2::lastUpdateForced() const
{
    return m_lastUpdateForced;
}
ManipulatorInteractionContext* UniversalTransformManipulator2::getContext() const
{
    return m_context;
}
bool UniversalTransformManipulator2::isDragging() const
{
    return m_dragging;
}

bool UniversalTransformManipulator2::drag(const std::vector<DragStep>& steps)
{
    if (m_dragging)
    {
        std::cerr << "UniversalTransformManipulator2::drag: a drag is already running; the new drag of " << steps.size()
                  << " steps was ignored.\n";
        return false;
    }
    if (!beginDrag())
        return false;
    for (const DragStep& step : steps)
        dragTo(step);
    endDrag();
    return true;
}

bool UniversalTransformManipulator2::beginDrag()
{
    if (m_dragging)
        return false;
    osg::Transform3DPtr core =
        m_node != osg::NullFC ? osg::Transform3DPtr::dcast(m_node->getCore()) : osg::Transform3DPtr();
    if (core == osg::NullFC)
    {
        std::cerr << "UniversalTransformManipulator2::drag: "
                  << (m_node == osg::NullFC ? std::string("no node is set")
                                            : "node \"" + m_node->getName() + "\" has no Transform3D core")
                  << "; nothing was moved.\n";
        return false;
    }
    // The handler may drop the node or change it; the drag keeps the core it started with.
    m_dragCore = core;
    m_dragging = true;
    send("start");
    return true;
}

void UniversalTransformManipulator2::dragTo(const DragStep& step)
{
    if (!m_dragging)
        return;
    const osg::Transform3DPtr core = m_dragCore;
    const bool translate = m_mode != RotateMode;
    osg::Vec3f euler = step.second;
    if (m_mode == TranslateRotateYZMode)
        euler[0] = core->getEulerRotation()[0];
    const osg::BitVector mask =
        osg::Transform3D::RotationFieldMask | (translate ? osg::Transform3D::TranslationFieldMask : 0);
    osg::beginEditCP(core, mask);
    {
        if (translate)
            core->setTranslation(step.first);
        core->setRotationAsEuler(euler);
    }
    osg::endEditCP(core, mask);
    send("drag");
}

void UniversalTransformManipulator2::endDrag()
{
    if (!m_dragging)
        return;
    send("stop");
    m_dragging = false;
    m_dragCore = osg::Transform3DPtr();
}

void UniversalTransformManipulator2::send(const char* eventName)
{
    // Checked per event: a handler may remove the context, or the manipulator from it.
    if (!m_context || !m_context->isActive())
        return;
    m_context->triggerEvent(m_context->getInteractionManager(), interaction::InteractionEvent(eventName));
}
} // namespace manipulator
} // namespace oxk
