#pragma once

#include <QStringList>

#include <initializer_list>
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

// An option of a command: a switch sets flag, any other takes a value (optionValue).
struct Option
{
    const char* name;
    std::string* value = nullptr;
    bool* flag = nullptr;
};

// What a command's arguments hold besides its options' values.
struct Arguments
{
    std::vector<std::string> files; // every argument that is no option, and all after "--"
    bool help = false;              // -h or --help
    std::string error;              // the first wrong argument, as a sentence
};

// Reads args against options; stops at the first error.
inline Arguments parse(const std::vector<std::string>& args, std::initializer_list<Option> options)
{
    Arguments a;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size() && a.error.empty(); ++i)
    {
        const std::string& arg = args[i];
        if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-")
        {
            a.files.push_back(arg);
            continue;
        }
        if (arg == "--")
            optionsEnd = true;
        else if (arg == "-h" || arg == "--help")
            a.help = true;
        else
        {
            const Option* found = nullptr;
            for (const Option& o : options)
                if (o.flag ? arg == o.name : optionValue(args, i, o.name, *o.value, a.error))
                {
                    found = &o;
                    break;
                }
            if (!found)
                a.error = "unknown option \"" + arg + "\"";
            else if (found->flag)
                *found->flag = true;
        }
    }
    return a;
}
// A colour map as --colormap takes it: NAME[,reverse][,steps=N], or NAME[_r][:STEPS] as it was
// first written.
struct ColourMap
{
    unsigned map = 0; // as the setting ColourMap numbers it
    bool reversed = false;
    unsigned steps = 0; // 0: smooth
};
// False, with error saying what option (written as "--colormap") needs, for any other value.
bool colourMap(const std::string& option, const std::string& value, ColourMap& out, std::string& error);
// For the help: the maps' names, and the steps' range.
QStringList colourMapDomain();
} // namespace oxHostCommandLine
