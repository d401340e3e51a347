#pragma once

#include <cstddef>
#include <string>

// Whether an STL file is whole. Assimp loads the facets before a cut and says nothing, so an STL
// file other than a whole binary one (oxBinaryStl) is checked before it is read.
class oxStlCheck
{
public:
    // Empty for a whole file (or one that is neither STL form, which Assimp refuses); otherwise
    // where the file is cut: a binary STL shorter than its facet count says, an ASCII STL that
    // ends inside a facet or without endsolid, or a facet without three corners.
    static std::string truncation(const std::string& path);
    static std::string truncation(const char* data, size_t size);
};
