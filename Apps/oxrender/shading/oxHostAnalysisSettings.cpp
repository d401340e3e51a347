#include "oxHostAnalysisSettings.h"

#include <mutex>

namespace
{
std::mutex recordMutex;
oxHostAnalysisSettings record;
} // namespace

oxHostAnalysisSettings oxHostAnalysisSettings::current()
{
    std::lock_guard<std::mutex> lock(recordMutex);
    return record;
}

void oxHostAnalysisSettings::publish(const oxHostAnalysisSettings& settings)
{
    std::lock_guard<std::mutex> lock(recordMutex);
    record = settings;
}
