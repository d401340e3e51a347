// Bytes as a check profile file. What parses must hold rules the reader allows; a refused file
// must say so with the file and a line, and leave the profile as it was.
#include "fuzzinput.h"
#include "oxCheck.h"

#include <cmath>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    oxCheckProfile profile = oxCheckProfile::classA();
    std::string error;
    if (!oxCheckProfile::parse(text, "f.json", profile, error))
    {
        fuzzRequire(error.rfind("cannot read check profile \"f.json\": line ", 0) == 0 && profile.name == "class-a",
                    "a refused file names the file and line and leaves the profile");
        return 0;
    }
    fuzzRequire(!profile.name.empty() && profile.findingsPerCriterion >= 1 && profile.findingsPerCriterion <= 100000,
                "a profile read has a name and a findings limit the reader allows");
    for (const oxCheckProfile::Rule& rule : profile.rules)
        fuzzRequire(rule.threshold >= 0 && std::isfinite(rule.threshold) && int(rule.severity) >= 0 &&
                        int(rule.severity) <= int(oxCheckSeverity::Error),
                    "a rule read has a finite threshold and a known severity");
    return 0;
}
