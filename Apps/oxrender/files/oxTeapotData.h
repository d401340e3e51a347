#pragma once

// The control net of the Utah teapot.
struct oxTeapotData
{
    static constexpr int PointCount = 306;
    static constexpr int PatchCount = 32;
    static const float points[PointCount][3];
    // 4 x 4 control points per patch, row by row, numbered from 1.
    static const int patches[PatchCount][16];
};
