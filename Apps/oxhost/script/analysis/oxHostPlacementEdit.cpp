#include "oxHostPlacementEdit.h"

#include "OSGTransform3D.h"
#include "oxMessage.h"
#include "oxRenderUtil.h"
#include "oxScenegraph.h"

#include <cmath>
#include <cstdio>

namespace
{
using oxRenderUtil::finite;

// A key of the project as three finite floats; false when it is missing or unusable.
bool vectorKey(const oxMessage& project, const char* key, osg::Vec3f& value)
{
    if (!project.has(key))
        return false;
    if (!project.get(key, value)) // the wrong type is reported by get
        return false;
    if (finite(value))
        return true;
    std::fprintf(stderr, "oxHostPlacementEdit::load : key '%s': the value must be three finite numbers\n", key);
    return false;
}
} // namespace

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
    if (transform == osg::NullFC && placement.equals(osg::Matrix(), 0.f))
        return;
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

// The rotation vector is worked out in double with atan2: small turns keep their precision, as
// the angle from the quaternion's w alone would not.
void oxHostPlacementEdit::save(oxMessage& project)
{
    const osg::Matrix m = placement();
    if (m.equals(osg::Matrix(), 0.f))
    {
        project.remove(TranslationKey);
        project.remove(RotationKey);
        return;
    }
    osg::Quaternion q;
    q.setValue(m);
    q.normalize();
    const osg::Real32* v = q.getValues(); // x, y, z, w
    const double sine = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
    const double degrees = sine > 0 ? 2 * std::atan2(sine, double(v[3])) * 180 / M_PI : 0;
    osg::Vec3f rotation(0.f, 0.f, 0.f);
    if (sine > 0)
        for (int k = 0; k < 3; ++k)
            rotation[k] = float(v[k] / sine * degrees);
    project.set(TranslationKey, osg::Vec3f(m.getColumn3(3)), true);
    project.set(RotationKey, rotation, true);
}

void oxHostPlacementEdit::load(const oxMessage& project)
{
    osg::Vec3f translation(0.f, 0.f, 0.f), rotation(0.f, 0.f, 0.f);
    if (!vectorKey(project, TranslationKey, translation) || !vectorKey(project, RotationKey, rotation))
    {
        translation = rotation = osg::Vec3f(0.f, 0.f, 0.f);
    }
    const double degrees = std::sqrt(double(rotation[0]) * rotation[0] + double(rotation[1]) * rotation[1] +
                                     double(rotation[2]) * rotation[2]);
    osg::Quaternion q;
    if (degrees > 0)
    {
        const double half = degrees * M_PI / 360, s = std::sin(half) / degrees;
        q.setValueAsQuat(float(rotation[0] * s), float(rotation[1] * s), float(rotation[2] * s), float(std::cos(half)));
    }
    osg::Matrix m;
    m.setTransform(translation, q, osg::Vec3f(1.f, 1.f, 1.f));
    setPlacement(m);
}
