// Bytes as a check profile file. What parses must hold rules the reader allows; a refused file
// must say so with the file and a line, and leave the profile as it was.
#include "oxCheck.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    oxCheckProfile profile = oxCheckProfile::classA();
    std::string error;
    if (!oxCheckProfile::parse(text, "f.json", profile, error))
    {
        if (error.rfind("cannot read check profile \"f.json\": line ", 0) != 0 || profile.name != "class-a")
            std::abort();
        return 0;
    }
    if (profile.name.empty() || profile.findingsPerCriterion < 1 || profile.findingsPerCriterion > 100000)
        std::abort();
    for (const oxCheckProfile::Rule& rule : profile.rules)
        if (!(rule.threshold >= 0) || !std::isfinite(rule.threshold) || int(rule.severity) < 0 ||
            int(rule.severity) > int(oxCheckSeverity::Error))
            std::abort();
    return 0;
}
