#pragma once

#include "OSGVector.h"

#include <boost/python/dict.hpp>

#include <functional>
#include <string>

struct oxProbe;

// The readable analysis of the reference host: probe, curvature statistics, automatic colour
// range, curvature export, lights fitted to the model, and the HTML report; define() adds them
// to the script module oxHost. Settings change only through the module's setters, which the
// module's panel hands over, so that every change is undoable.
class oxHostAnalysisScript
{
public:
    static void define();

    // A room's fields of probe()'s dict, after the surface's own: their text in probe's help
    // ("name (what it is)") and what puts them into the dict.
    struct ProbeFields
    {
        std::string help;
        std::function<void(boost::python::dict&, const oxProbe&)> put;
    };
    static void addProbeFields(ProbeFields fields);

    struct Setters
    {
        std::function<void(float)> curvatureDrawScale;
        std::function<void(const osg::Vec3f&)> lightPlaneOrigin;
        std::function<void(float)> lightLinesDistance;
        std::function<void(float)> lightLinesLength;
        std::function<void(bool)> curvatureLegend;
    };
    // Empty setters: none (no module loaded).
    static void setSetters(const Setters& setters);

    // Sets the curvature draw scale so that the area percentiles [low, high] of the record's
    // curvature kind fill the colour ramp; one undo step. False with error, nothing changed.
    static bool autoRange(double low, double high, bool symmetric, float& scale, std::string& error);
    // The default fit: the ramp spans +-(the BodyPercent percentile of |curvature| by area), so
    // that the body of a part takes colours, not only its rims; one undo step.
    static constexpr double BodyPercent = 90;
    static bool autoBodyRange(float& scale, std::string& error);
    // Shows the curvature legend (with its histogram); false when no module is there.
    static bool showCurvatureLegend();
    // Places the light plane and its lines for the model in view; one undo step "Fit lights".
    static bool fitLights(std::string& error);
    // oxHost.exportCurvature: the shaded per-vertex curvatures as PLY or CSV, by the suffix.
    static bool exportCurvature(const std::string& path, std::string& error);
};
