#include "oxHostPlacementEdit.h"

#include "OSGTransform3D.h"
#include "oxScenegraph.h"

oxHostPlacementEdit::oxHostPlacementEdit(const osg::Matrix& placement, const char* description)
    : oxUndoCommand(oxUndoString("%1", QString::fromUtf8(description)), nullptr), m_placement(placement)
{
}

void oxHostPlacementEdit::redo()
{
    const osg::Matrix previous = placement();
    setPlacement(m_placement);
    m_placement = previous;
}

osg::Matrix oxHostPlacementEdit::placement()
{
    const osg::Transform3DPtr transform = osg::Transform3DPtr::dcast(oxScenegraph::getRoot()->getCore());
    return transform != osg::NullFC ? transform->getMatrix() : osg::Matrix();
}

void oxHostPlacementEdit::setPlacement(const osg::Matrix& placement)
{
    const osg::NodePtr root = oxScenegraph::getRoot();
    osg::Transform3DPtr transform = osg::Transform3DPtr::dcast(root->getCore());
    if (transform == osg::NullFC)
    {
        // The root starts as a plain group; a transform is a group that also places its children.
        transform = osg::Transform3D::create();
        osg::beginEditCP(root, osg::Node::CoreFieldMask);
        root->setCore(transform);
        osg::endEditCP(root, osg::Node::CoreFieldMask);
    }
    osg::Quaternion rotation;
    rotation.setValue(placement);
    rotation.normalize();
    osg::beginEditCP(transform, osg::Transform3D::TranslationFieldMask | osg::Transform3D::RotationFieldMask);
    transform->setTranslation(placement.getColumn3(3));
    transform->setRotationAsQuaternion(rotation);
    osg::endEditCP(transform, osg::Transform3D::TranslationFieldMask | osg::Transform3D::RotationFieldMask);
}
