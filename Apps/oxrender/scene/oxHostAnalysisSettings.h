#pragma once

#include "OSGVector.h"

#include <limits>
#include <string>

// Where a number setting's values lie: from min to max, each end in or out. A float's domain is
// finite whatever it says: its max is at most the largest float.
struct oxSettingDomain
{
    double min = 0, max = std::numeric_limits<float>::max();
    bool minOpen = false, maxOpen = false;
    bool numeric = true; // false: a switch or a direction, whose rules go with its type

    static constexpr oxSettingDomain atLeast(double v) { return {v, std::numeric_limits<float>::max(), false, false}; }
    static constexpr oxSettingDomain above(double v) { return {v, std::numeric_limits<float>::max(), true, false}; }
    static constexpr oxSettingDomain none() { return {0, 0, false, false, false}; }
    static constexpr oxSettingDomain anyFinite() { return atLeast(-double(std::numeric_limits<float>::max())); }
    constexpr oxSettingDomain atMost(double v) const { return {min, v, minOpen, false, numeric}; }
    constexpr oxSettingDomain below(double v) const { return {min, v, minOpen, true, numeric}; }

    constexpr bool contains(double v) const { return (minOpen ? v > min : v >= min) && (maxOpen ? v < max : v <= max); }
    // value, or fallback where value lies outside (or is NaN): for readers that cannot refuse.
    template <class T> constexpr T within(T value, T fallback) const
    {
        return contains(double(value)) ? value : fallback;
    }
    // "from 0 to 1000", "at least 0 and less than 90", "greater than 0" (no upper end said for
    // the largest float), "any finite number".
    std::string text() const;
    // The shortest text that reads back as the same value.
    static std::string number(double v);
    static std::string number(float v);
};

// What a row is beside its value: the switch of an analysis that colours the surface, or any other
// setting. One colouring analysis (or the module's) is on at a time: switching one on switches the
// others off, and oxColourings holds its colouring under the row's name.
enum class oxSettingRole
{
    Setting,
    Colours
};

// The colour maps by name, as ColourMap numbers them: "classic" is each analysis's own colours, so
// that images stay as they were until a map is chosen. shading/oxColourMap holds their tables.
inline constexpr const char* oxColourMapNames[] = {"classic", "viridis", "cividis", "coolwarm"};
inline constexpr int oxColourMapCount = int(sizeof oxColourMapNames / sizeof oxColourMapNames[0]);

// The environments by name, as EnvironmentMap numbers them: the built-in studios, then the user's
// image (EnvironmentImage).
inline constexpr const char* oxEnvironmentNames[] = {"softbox", "horizon", "tunnel", "image"};
inline constexpr int oxEnvironmentCount = int(sizeof oxEnvironmentNames / sizeof oxEnvironmentNames[0]);
inline constexpr unsigned oxEnvironmentImage = unsigned(oxEnvironmentCount - 1);

// The reference host's own analyses, beside the module's: the draft angle, the curvature combs
// and the deviation from a reference. Their settings in one table: P(Name, Type, Default, Domain,
// project key, panel label, role). The setters refuse what lies outside the domain, a project value
// there loads as the default, and the panel's ranges and the command line's checks are the
// domain's. A default outside the domain (DeviationTolerance 0, "not set") still loads.
// ColoursLit lights every colouring by a value (curvature, draft, deviation) so that the shape
// reads; off, they are flat, exactly the legend's colours.
#define OX_HOST_ANALYSIS_PROPERTIES(P)                                                                                 \
    P(DraftActive, bool, false, oxSettingDomain::none(), "Host Draft Active", "Draft on", Colours)                     \
    P(DraftDirection, osg::Vec3f, osg::Vec3f(0.f, 0.f, 1.f), oxSettingDomain::none(), "Host Draft Pull Direction",     \
      "Pull direction", Setting)                                                                                       \
    P(DraftAngle, float, 1.f, oxSettingDomain::atLeast(0).below(90), "Host Draft Minimum Angle", "Minimum angle",      \
      Setting)                                                                                                         \
    P(DraftRamp, bool, false, oxSettingDomain::none(), "Host Draft Colour Ramp", "Colour ramp over -90..90\u00b0",     \
      Setting)                                                                                                         \
    P(CombActive, bool, false, oxSettingDomain::none(), "Host Combs Active", "Combs on", Setting)                      \
    P(CombEdges, bool, true, oxSettingDomain::none(), "Host Combs On Edges", "On every edge", Setting)                 \
    P(CombSections, unsigned int, 0u, oxSettingDomain::atLeast(0).atMost(1000), "Host Combs Section Count",            \
      "Sections", Setting)                                                                                             \
    P(CombSectionNormal, osg::Vec3f, osg::Vec3f(1.f, 0.f, 0.f), oxSettingDomain::none(), "Host Combs Section Normal",  \
      "Section normal", Setting)                                                                                       \
    P(CombSamples, unsigned int, 64u, oxSettingDomain::atLeast(2).atMost(100000), "Host Combs Samples",                \
      "Teeth per curve", Setting)                                                                                      \
    P(CombScale, float, 0.f, oxSettingDomain::atLeast(0), "Host Combs Scale", "Scale", Setting)                        \
    P(DeviationActive, bool, false, oxSettingDomain::none(), "Host Deviation Active", "Deviation on", Colours)         \
    P(DeviationTolerance, float, 0.f, oxSettingDomain::above(0), "Host Deviation Tolerance", "Tolerance", Setting)     \
    P(DeviationRange, float, 0.f, oxSettingDomain::atLeast(0), "Host Deviation Colour Range", "Colour range", Setting) \
    P(CompareActive, bool, false, oxSettingDomain::none(), "Host Compare Active", "Changes on", Colours)               \
    OX_HOST_STRIPES_PROPERTIES(P)                                                                                      \
    OX_HOST_ENVIRONMENT_PROPERTIES(P)                                                                                  \
    P(ColourMap, unsigned int, 0u, oxSettingDomain::atLeast(0).atMost(oxColourMapCount - 1), "Host Colour Map",        \
      "Colour map", Setting)                                                                                           \
    P(ColourMapReversed, bool, false, oxSettingDomain::none(), "Host Colour Map Reversed", "Reversed", Setting)        \
    P(ColourMapSteps, unsigned int, 0u, oxSettingDomain::atLeast(0).atMost(64), "Host Colour Map Steps",               \
      "Steps (0: smooth)", Setting)                                                                                    \
    P(ColoursLit, bool, true, oxSettingDomain::none(), "Host Colours Lit", "Lit by the shading", Setting)              \
    P(CurvatureLogScale, bool, false, oxSettingDomain::none(), "Host Curvature Signed Log Scale", "Signed-log scale",  \
      Setting)                                                                                                         \
    P(CurvatureRangeLow, float, 0.f, oxSettingDomain::anyFinite(), "Host Curvature Range Low", "Curvature from",       \
      Setting)                                                                                                         \
    P(CurvatureRangeHigh, float, 0.f, oxSettingDomain::anyFinite(), "Host Curvature Range High", "Curvature to",       \
      Setting)

// The stripes: the reflection of stripes on a cylinder around StripesAxis (0 to 2 the model's X,
// Y, Z; 3 and 4 the view's vertical and horizontal; 5 StripesVector) through the model's centre,
// StripesDistance times the radius that just holds the model's bounding box. StripesLocked reflects
// StripesView (towards the viewer, frozen in model space) instead of each pixel's ray.
#define OX_HOST_STRIPES_PROPERTIES(P)                                                                                  \
    P(StripesActive, bool, false, oxSettingDomain::none(), "Host Stripes Active", "Stripes on", Colours)               \
    P(StripesAxis, unsigned int, 3u, oxSettingDomain::atLeast(0).atMost(5), "Host Stripes Axis", "Stripe axis",        \
      Setting)                                                                                                         \
    P(StripesVector, osg::Vec3f, osg::Vec3f(0.f, 0.f, 1.f), oxSettingDomain::none(), "Host Stripes Axis Vector",       \
      "Axis vector", Setting)                                                                                          \
    P(StripesCount, unsigned int, 48u, oxSettingDomain::atLeast(1).atMost(1000), "Host Stripes Count",                 \
      "Stripes around", Setting)                                                                                       \
    P(StripesDistance, float, 1.f, oxSettingDomain::atLeast(1).atMost(1000), "Host Stripes Distance",                  \
      "Tunnel radius (model radii)", Setting)                                                                          \
    P(StripesWidth, float, 0.5f, oxSettingDomain::above(0).below(1), "Host Stripes Width Ratio", "Dark share",         \
      Setting)                                                                                                         \
    P(StripesSharpness, float, 0.8f, oxSettingDomain::atLeast(0).atMost(1), "Host Stripes Sharpness", "Sharpness",     \
      Setting)                                                                                                         \
    P(StripesLocked, bool, false, oxSettingDomain::none(), "Host Stripes Locked", "Locked to the model", Setting)      \
    P(StripesView, osg::Vec3f, osg::Vec3f(0.57735027f, -0.57735027f, 0.57735027f), oxSettingDomain::none(),            \
      "Host Stripes Locked View", "Locked view", Setting)

// The environment: each pixel reflects a studio at infinity (EnvironmentMap, a built-in or the image
// at EnvironmentImage), turned about the model's Z by EnvironmentTurn degrees, or about the view's
// up while it follows the view, and laid over the base colour by EnvironmentBlend.
#define OX_HOST_ENVIRONMENT_PROPERTIES(P)                                                                              \
    P(EnvironmentActive, bool, false, oxSettingDomain::none(), "Host Environment Active", "Environment on", Colours)   \
    P(EnvironmentMap, unsigned int, 0u, oxSettingDomain::atLeast(0).atMost(oxEnvironmentCount - 1),                    \
      "Host Environment Map", "Environment", Setting)                                                                  \
    P(EnvironmentImage, std::string, std::string(), oxSettingDomain::none(), "Host Environment Image", "Image",        \
      Setting)                                                                                                         \
    P(EnvironmentTurn, float, 0.f, oxSettingDomain::atLeast(-360).atMost(360), "Host Environment Turn",                \
      "Turn (\u00b0)", Setting)                                                                                        \
    P(EnvironmentBlend, float, 1.f, oxSettingDomain::atLeast(0).atMost(1), "Host Environment Blend", "Blend", Setting) \
    P(EnvironmentFollowsView, bool, false, oxSettingDomain::none(), "Host Environment Follows View",                   \
      "Follows the view", Setting)

// The table's rows as data, for what loops over them by name.
struct oxHostAnalysisRow
{
    const char* name;
    oxSettingDomain domain;
    const char* projectKey;
    const char* label;
    oxSettingRole role;
};

// Each row by its name, oxHostAnalysisRows::CombSections, checked by the compiler.
namespace oxHostAnalysisRows
{
#define OX_HOST_ANALYSIS_ROW(Name, Type, Default, Domain, Key, Label, Role)                                            \
    inline constexpr oxHostAnalysisRow Name{#Name, Domain, Key, Label, oxSettingRole::Role};
OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_ROW)
#undef OX_HOST_ANALYSIS_ROW

// The index of a colour map's name (any case), or -1.
int colourMap(const std::string& name);

// In the table's order; null for a name that is none of them.
const oxHostAnalysisRow* find(const char* name);
int count();
const oxHostAnalysisRow& at(int i);
} // namespace oxHostAnalysisRows

// The host analyses' settings record as the renderer reads it: a copy travels with each frame's
// request (oxFrame::View), so that a frame shows the values of the moment it was asked for.
struct oxHostAnalysisSettings
{
#define OX_HOST_ANALYSIS_FIELD(Name, Type, Default, ...) Type Name = Default;
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_FIELD)
#undef OX_HOST_ANALYSIS_FIELD
};
