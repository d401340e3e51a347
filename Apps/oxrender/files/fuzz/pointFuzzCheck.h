#pragma once

// What every point reader promises whatever the bytes: a cloud that reads has points, one normal
// and colour per point or none, no more points than the bytes can hold; a cloud that fails stays
// as it was and says why.
#include "fuzzinput.h"
#include "oxPointReaders.h"

#include <cstdint>
#include <string>

inline int checkPointParse(oxPointReaders::Format format, const uint8_t* data, size_t size, size_t leastBytesPerPoint)
{
    oxPointCloud cloud;
    cloud.name = "kept";
    cloud.values.resize(1);
    std::string cause;
    const bool read = oxPointReaders::parse(format, reinterpret_cast<const char*>(data), size, cloud, cause);
    if (!read)
    {
        fuzzRequire(!cause.empty() && cloud.values.size() == 1 && cloud.size() == 0,
                    "a cloud not read stays as it was and says why");
        return 0;
    }
    fuzzRequire(cloud.size() > 0 && cloud.size() <= size / leastBytesPerPoint &&
                    (cloud.normals.empty() || cloud.hasNormals()) && (cloud.colours.empty() || cloud.hasColours()),
                "a cloud read has points, no more than the bytes hold, and a normal and colour per point or none");
    return 0;
}
