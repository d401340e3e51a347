#pragma once

#include <string>
#include <vector>

// What the one-line commands (oxhost check, oxhost compare) share in reading their arguments.
namespace oxHostCommandLine
{
// "--name VALUE" or "--name=VALUE" at args[i] into value, i moved past it; false when args[i] is
// another option. A missing or empty value sets error.
inline bool optionValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string& value,
                        std::string& error)
{
    const std::string& arg = args[i];
    if (arg.rfind(name + "=", 0) == 0)
        value = arg.substr(name.size() + 1);
    else if (arg == name && i + 1 < args.size())
        value = args[++i];
    else if (arg == name)
        value.clear();
    else
        return false;
    if (value.empty())
        error = name + " needs a value";
    return true;
}
} // namespace oxHostCommandLine
