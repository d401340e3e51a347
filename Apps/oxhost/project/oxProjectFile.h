#pragma once

#include <string>

class oxMessage;

// The reference host's project files: the project message as JSON, one typed value per key.
//
//   {
//     "format": "oxhost project",
//     "version": 1,
//     "values": {
//       "Number of Isolines": {"type": "unsigned", "value": 16},
//       "Isoline Color": {"type": "vec3f", "value": [0, 0, 0]}
//     }
//   }
//
// Types: "bool", "unsigned" (0 to 4294967295), "float" and "vec3f" (three floats). Floats are
// written in their shortest exact form, so save then load gives the same bits; NaN and the
// infinities are written as the strings "nan", "inf" and "-inf".
// Errors are whole sentences that name the file and the line: cannot read project "hood.json":
// line 3: expected a number for key "Number of Isolines".
class oxProjectFile
{
public:
    // Reads the file into msg, replacing its values and keeping its id. On failure msg is untouched.
    static bool read(const std::string& path, oxMessage& msg, std::string& error);
    // Replaces the file atomically: a failed or interrupted save leaves the old file as it was.
    static bool write(const std::string& path, const oxMessage& msg, std::string& error);

    // The text forms behind read and write; name is how errors call the file.
    static bool parse(const std::string& text, const std::string& name, oxMessage& msg, std::string& error);
    static bool format(const oxMessage& msg, const std::string& name, std::string& text, std::string& error);

    // The JSON form of one float: the shortest number that reads back as the same float, or
    // "nan", "inf", "-inf" with their quotes.
    static std::string floatText(float value);

    // Files larger than this, or with more keys, are refused.
    static constexpr std::size_t MaxFileSize = 64u << 20;
    static constexpr std::size_t MaxKeys = 10000;
};
