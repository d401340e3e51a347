#pragma once

#include "Picker.h"

#include <vector>

// The view's picker: casts the pointer ray against the triangles of the active geometry of
// the model (under oxScenegraph::getRoot()) or, in auxiliary mode, of the auxiliary geometry
// (under oxScenegraph::getInternalRoot()). Hits are ordered by distance from the ray origin,
// so index 0 is the nearest. The hit normal is the geometry's own, in world space and of
// unit length: interpolated from the vertex normals when the geometry has one per position,
// otherwise the face normal by the triangle's winding. It is not turned toward the ray.
class oxOSGWidgetPicker : public oxk::interaction::Picker
{
public:
    oxOSGWidgetPicker();
    ~oxOSGWidgetPicker() override;

    // Kept for the host's raytracer; this picker always intersects the scene geometry itself.
    void setDisableRaytracingIntersection(bool disable);
    bool getDisableRaytracingIntersection() const;
    void setPickOnlyAuxiliaryGeometry(bool only);
    bool getPickOnlyAuxiliaryGeometry() const;

    // A zero or non-finite ray hits nothing.
    bool pick(const osg::Pnt3f& origin, const osg::Vec3f& direction) override;
    bool getHitPoint(osg::Vec3f& point, int index) override;
    bool getHitNode(osg::NodePtr& node, int index) override;
    bool getHitNormal(osg::Vec3f& normal, int index) override;
    int getHitCount() const;

private:
    struct Hit
    {
        double distance; // in lengths of the ray direction
        osg::NodePtr node;
        osg::Vec3f point;
        osg::Vec3f normal;
    };

    const Hit* hit(int index) const;

    bool m_disableRaytracingIntersection = false;
    bool m_pickOnlyAuxiliaryGeometry = false;
    std::vector<Hit> m_hits;
};
