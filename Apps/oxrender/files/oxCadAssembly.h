#pragma once

#include <string>

// A STEP assembly made of copies of one part, for the benchmarks: the part (an Open CASCADE B-rep
// file) copied columns x rows times on a grid in the xy plane, each copy with geometry of its own
// and written as a root of its own.
class oxCadAssembly
{
public:
    static bool writeGrid(const std::string& partPath, const std::string& stepPath, int columns, int rows,
                          std::string& error);
};
