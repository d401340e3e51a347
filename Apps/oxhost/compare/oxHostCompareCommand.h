#pragma once

#include <string>
#include <vector>

// oxhost compare OLD NEW [--tolerance T] [--align] [--out DIR]: both parts read through the
// isolated reader and compared face by face; DIR/compare.json and DIR/compare.csv, and a verdict
// line on standard output.
namespace oxHostCompareCommand
{
enum Status
{
    Unchanged = 0,  // every face of both parts within the tolerance
    Changed = 1,    // a face modified, added or removed
    Usage = 2,      // a wrong command line
    NotCompared = 3 // a file could not be read or compared, or a result not written
};
// args are those after "compare".
int run(const std::vector<std::string>& args);
std::string usage();
} // namespace oxHostCompareCommand
