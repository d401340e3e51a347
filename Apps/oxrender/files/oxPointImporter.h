#pragma once

#include "oxPointCloud.h"

#include <memory>
#include <string>
#include <vector>

// Point cloud files (XYZ, CSV, ASC, PTS, PCD, LAS, and PLY files of vertices without faces),
// read in the reader program as every model file is (see oxIsolatedProcess), with its time limit
// and memory cap. Which reader takes a file the host opens is oxModelImporter's question.
class oxPointImporter
{
public:
    // Whether the file is read as points: by its suffix, a PLY file by a header without faces.
    static bool isPointFile(const std::string& path);
    // The file's points, or false with error naming the file and the cause (and its line or byte).
    static bool read(const std::string& path, std::shared_ptr<oxPointCloud>& cloud, std::string& error);
    // Why a file of suffix "las" or "laz" and the like is not read, for the unsupported ones.
    static std::string unsupportedCause(const std::string& path);

    // What oxreader does with the request read() sends it ("points", path, name): parses the file
    // and returns the answer read() takes in. Throws std::invalid_argument on another request.
    static std::string readAnswer(const std::vector<std::string>& request);
};
