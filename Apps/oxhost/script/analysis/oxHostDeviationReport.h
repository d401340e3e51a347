#pragma once

#include "oxFrame.h"

#include <QString>

// The report's deviation section: the view in the deviation's colours, the area-weighted
// statistics of the distances to the reference, and their histogram.
class oxHostDeviationReport
{
public:
    // An HTML section against the renderer's reference; empty without one.
    static QString section(oxFrame::Request view);

    // Area-weighted (each vertex with a third of its triangles' area) over the field's vertices.
    struct Numbers
    {
        double mean = 0, rms = 0, std = 0, min = 0, max = 0;
        double within = 0; // the area fraction with |distance| <= tolerance
        double p95 = 0;    // of |distance|
        double area = 0;
    };
    // False for a field without area.
    static bool numbers(const oxRenderScene& model, const oxDeviationField& field, double tolerance, Numbers& out);
};
