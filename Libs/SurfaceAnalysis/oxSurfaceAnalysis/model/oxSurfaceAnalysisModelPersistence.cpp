#include "oxSurfaceAnalysisModelParts.h"

#include "oxController.h"
#include "oxMessage.h"
#include "oxRaytracingManager.h"
#include "oxRaytracingUtilsBase.h"
#include "oxSurfaceAnalysisSettings.h"

#include <boost/any.hpp>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

namespace
{
typedef osg::SurfaceAnalysisAttachment Record;

// Sorted once: every load and every new scene reads the keys in this order.
const std::vector<oxSurfaceAnalysisProjectKey>& projectKeysInReadOrder()
{
    static const std::vector<oxSurfaceAnalysisProjectKey> keys = []
    {
        std::vector<oxSurfaceAnalysisProjectKey> sorted(std::begin(oxSurfaceAnalysisProjectKeys),
                                                        std::end(oxSurfaceAnalysisProjectKeys));
        std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.readOrder < b.readOrder; });
        return sorted;
    }();
    return keys;
}
} // namespace

// Typed read of one project value; only an exact type match counts.
template <typename T> bool getFromMessage(const oxMessage& msg, const std::string& key, T& value)
{
    const boost::any& held = msg.get(key);
    if (held.empty())
        return false;
    if (held.type() != typeid(T))
    {
        std::fprintf(stderr, "getFromMessage : Attribute '%s' has wrong type (is:'%s' != req:'%s')!\n", key.c_str(),
                     held.type().name(), typeid(T).name());
        oxMessage::printBT();
        return false;
    }
    value = boost::any_cast<T>(held);
    return true;
}

template bool getFromMessage<bool>(const oxMessage&, const std::string&, bool&);
template bool getFromMessage<unsigned int>(const oxMessage&, const std::string&, unsigned int&);
template bool getFromMessage<float>(const oxMessage&, const std::string&, float&);
template bool getFromMessage<osg::Vec3f>(const oxMessage&, const std::string&, osg::Vec3f&);

void oxSurfaceAnalysisModel::save(oxMessage& msg)
{
    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
        return;
    const osg::SurfaceAnalysisValues values = record->getValues();
    for (const oxSurfaceAnalysisProjectKey& entry : oxSurfaceAnalysisProjectKeys)
    {
        auto put = [&](const auto& value) { msg.set(entry.key, boost::any(value), true); };
        if (entry.fieldId == Record::LinearLightDirectionFieldId)
            put(m_lightDirection);
        else
            osg::visitSurfaceAnalysisValue(values, entry.fieldId, put);
    }
}

void oxSurfaceAnalysisModel::setDefault()
{
    oxMessage empty;
    load(empty);
}

// A load replaces every setting: what the project holds, the record's default for the rest.
void oxSurfaceAnalysisModel::load(oxMessage& msg)
{
    const osg::SurfaceAnalysisValues values = readProject(msg);
    endInterruptedDrags();
    const bool pickWanted = PickNormal;
    resetSwitches();

    osg::SurfaceAnalysisAttachmentPtr record = getAttachment();
    if (record == osg::NullFC)
    {
        // Nothing to load into, but the analysis ends as on any load, and the renderer with it.
        // Switching off needs no record; it clears a wanted pick itself.
        PickNormal = pickWanted;
        analysisActiveCommand(false);
        syncNormalPickContext();
        return;
    }
    osg::beginEditCP(record, osg::AllFieldsMask);
    record->setValues(values);
    osg::endEditCP(record, osg::AllFieldsMask);
    applyLoadedSettings(values);
}

// The project's values over the record's defaults. Also sets the module's own light direction.
osg::SurfaceAnalysisValues oxSurfaceAnalysisModel::readProject(const oxMessage& msg)
{
    osg::SurfaceAnalysisValues values;
    bool sphereStored = false;
    for (const oxSurfaceAnalysisProjectKey& entry : projectKeysInReadOrder())
    {
        if (entry.fieldId == Record::LinearLightDirectionFieldId)
        {
            if (!getFromMessage(msg, entry.key, m_lightDirection))
                m_lightDirection = osg::Vec3f(1.f, 1.f, 1.f);
            continue;
        }
        bool found = false;
        osg::visitSurfaceAnalysisValue(values, entry.fieldId,
                                       [&](auto& value) { found = getFromMessage(msg, entry.key, value); });
        if (entry.fieldId == Record::LightSphereEulerRotationFieldId)
            sphereStored = found;
    }
    values.LinearLightDirection = m_lightDirection;
    values.LinearLightDirection.normalize();

    // Older projects have no sphere rotation: aim the sphere axis along the light direction.
    if (sphereStored)
    {
        getLightSphereAxesFromEuler(values.LightSphereEulerRotation, values.LightSphereAxis,
                                    values.LightSphereAxisUTangent);
    }
    else
    {
        values.LightSphereAxis = m_lightDirection;
        const osg::Quaternion q =
            getOrientationFromAxis(osg::Vec3f(1.f, 0.f, 0.f), values.LightSphereAxis, values.LightSphereEulerRotation);
        const float x = q.x(), y = q.y(), z = q.z(), w = q.w();
        values.LightSphereAxisUTangent =
            osg::Vec3f(2 * (x * z + w * y), 2 * (y * z - w * x), w * w - x * x - y * y + z * z);
    }
    // The stored axes are only a copy: a project without them, or edited by hand, must not
    // leave a plane whose axes disagree with its rotation.
    getLightPlaneAxesFromEuler(values.LightPlaneEulerRotation, values.LightPlaneAxisU, values.LightPlaneAxisV);
    return values;
}

// A drag cut off by a load belongs to the old settings: its start values must not be recorded
// into the new ones when the next drag stops.
void oxSurfaceAnalysisModel::endInterruptedDrags()
{
    m_parts->lightPlaneGroup.dragging = false;
    m_parts->lightDirectionGroup.dragging = false;
    m_parts->lightSphereGroup.dragging = false;
}

// Every load ends the analysis and the interaction; simple mode follows the host.
void oxSurfaceAnalysisModel::resetSwitches()
{
    AnalysisActive = false;
    SimpleMode = oxController::isSimpleMode();
    UiVisibility = false;
    PickNormal = false;
    CurvatureLegendOverlayVisibility = false;
    UseRaytracingDownscale = false;
}

// Runs every apply slot once with the loaded value, so that visuals, renderer and listeners follow.
// A rotation's slot takes no value: it reads the record. The light direction and the switches are
// applied around the table's rows.
#define OX_SA_REAPPLY_Record(Name, Type, Field, command) command##Command(values.Field);
#define OX_SA_REAPPLY_Uniform(...) OX_SA_REAPPLY_Record(__VA_ARGS__)
#define OX_SA_REAPPLY_Frame(Name, Type, Field, command) command##Command();
#define OX_SA_REAPPLY_Light(...)
#define OX_SA_REAPPLY_Switch(...)
void oxSurfaceAnalysisModel::applyLoadedSettings(const osg::SurfaceAnalysisValues& values)
{
    analysisActiveCommand(AnalysisActive);
    Q_EMIT simpleModeChanged(SimpleMode);
    lightDirectionCommand(values.LinearLightDirection);
#define OX_SA_REAPPLY_ROW(Kind, ...) OX_SA_REAPPLY_##Kind(__VA_ARGS__)
    OX_SA_PROPERTIES(OX_SA_REAPPLY_ROW)
#undef OX_SA_REAPPLY_ROW
    pickNormalCommand(PickNormal);
    curvatureLegendOverlayVisibilityCommand(CurvatureLegendOverlayVisibility);
    useRaytracingDownscaleCommand(UseRaytracingDownscale);
}
