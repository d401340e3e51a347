#include "oxMessage.h"

#include <execinfo.h>
#include <unistd.h>

namespace
{
const boost::any& emptyValue()
{
    static const boost::any empty;
    return empty;
}
} // namespace

const boost::any* oxMessage::find(const std::string& key) const
{
    for (const auto& entry : _values)
        if (entry.first == key)
            return &entry.second;
    return nullptr;
}

const boost::any& oxMessage::get(const std::string& key) const
{
    const boost::any* held = find(key);
    return held ? *held : emptyValue();
}

void oxMessage::set(const std::string& key, const boost::any& value, bool)
{
    for (auto& entry : _values)
        if (entry.first == key)
        {
            entry.second = value;
            return;
        }
    _values.emplace_back(key, value);
}

bool oxMessage::remove(const std::string& key)
{
    for (auto it = _values.begin(); it != _values.end(); ++it)
        if (it->first == key)
        {
            _values.erase(it);
            return true;
        }
    return false;
}

void oxMessage::printBT()
{
    void* frames[64];
    const int n = backtrace(frames, 64);
    std::fflush(stderr);
    backtrace_symbols_fd(frames, n, STDERR_FILENO);
}
