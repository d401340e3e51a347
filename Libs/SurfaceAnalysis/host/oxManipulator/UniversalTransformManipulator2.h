#pragma once

#include "OSGNode.h"
#include "OSGTransform3D.h"
#include "OSGVector.h"

#include <utility>
#include <vector>

namespace oxk
{
namespace manipulator
{
class ManipulatorInteractionContext;

// Moves and turns a transform node (a node whose core is an osg::Transform3D) and reports
// each drag to its context.
class UniversalTransformManipulator2
{
public:
    enum Mode
    {
        // Translation and rotation about all three axes.
        TranslateRotateMode,
        // Translation, and rotation about Y and Z only: Euler component 0, the roll about the
        // node's own X axis (along which an arrow lies), keeps its value.
        TranslateRotateYZMode,
        // Rotation about all three axes; translations are ignored.
        RotateMode
    };

    // One drag step: the node's translation and Euler rotation (degrees) at that moment.
    typedef std::pair<osg::Vec3f, osg::Vec3f> DragStep;

    UniversalTransformManipulator2();
    ~UniversalTransformManipulator2();

    UniversalTransformManipulator2(const UniversalTransformManipulator2&) = delete;
    UniversalTransformManipulator2& operator=(const UniversalTransformManipulator2&) = delete;

    // Where the handles are shown.
    void setVisualisationRoot(const osg::NodePtr& root);
    const osg::NodePtr& getVisualisationRoot() const;
    // The node that the drags move.
    void setNode(const osg::NodePtr& node);
    const osg::NodePtr& getNode() const;

    void activateTranslateRotateManipulator();
    void activateTranslateRotateYZManipulator();
    void activateRotateManipulator();
    Mode getMode() const;

    // Re-fits the handles to the current view.
    void update(bool force);
    int updateCount() const;
    bool lastUpdateForced() const;

    ManipulatorInteractionContext* getContext() const;

    // Host side: the user's drag. Sends "start", then per step writes the node's transform
    // core as the mode allows (inside edit brackets) and sends "drag", and ends with "stop".
    // Events go to the context's triggerEvent only while the context is added to the
    // interaction manager. Returns false, changing nothing, when the node has no
    // Transform3D core or a drag is already running.
    bool drag(const std::vector<DragStep>& steps);
    bool isDragging() const;

    // The same drag step by step, as the mouse makes it: beginDrag sends "start" (false, with
    // nothing sent, when drag would refuse), dragTo writes one step and sends "drag", endDrag
    // sends "stop". The view's handles use these; drag runs through them.
    bool beginDrag();
    void dragTo(const DragStep& step);
    void endDrag();

private:
    friend class ManipulatorInteractionContext;

    void send(const char* eventName);

    osg::NodePtr m_root;
    osg::NodePtr m_node;
    Mode m_mode = TranslateRotateMode;
    ManipulatorInteractionContext* m_context = nullptr;
    int m_updateCount = 0;
    bool m_lastUpdateForced = false;
    bool m_dragging = false;
    osg::Transform3DPtr m_dragCore; // what the running drag writes
};
} // namespace manipulator
} // namespace oxk
