#pragma once

#include <string>
#include <vector>

// oxhost check FILE-OR-FOLDER... [--profile P] [--jobs N] [--timeout S] [--out DIR]: each file read
// and checked in a process of its own (oxHostCheckBatch); one JSON per part and a CSV of all
// findings in DIR, a verdict per file on standard output.
namespace oxHostCheckCommand
{
enum Status
{
    AllPass = 0,   // every part passed, some perhaps with warnings
    Failed = 1,    // a part failed a criterion of severity error
    Usage = 2,     // a wrong command line or profile
    NotChecked = 3 // a file could not be read or checked, a result not written, or interrupted
};
// args are those after "check".
int run(const std::vector<std::string>& args);
std::string usage();
} // namespace oxHostCheckCommand
