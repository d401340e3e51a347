#include "oxColouring.h"

#include "oxHostAnalysisSettings.h"

#include <map>
#include <stdexcept>

namespace
{
struct Registry
{
    std::map<std::string, oxColourings::Factory> byName;
    oxColourings::Factory fallback;
};

// Built on first use: the rooms register from static initialisers in any order.
Registry& registry()
{
    static Registry r;
    return r;
}
} // namespace

bool oxColourings::add(const std::string& name, Factory factory)
{
    if (!registry().byName.emplace(name, std::move(factory)).second)
        throw std::logic_error("the colouring \"" + name + "\" is registered twice");
    return true;
}

bool oxColourings::setDefault(Factory factory)
{
    registry().fallback = std::move(factory);
    return true;
}

std::unique_ptr<oxColouring> oxColourings::make(const oxColouringInput& input)
{
    // Several on at once (a project written by hand): the first row of the table wins.
    for (int i = 0; i < oxHostAnalysisRows::count(); ++i)
    {
        const auto entry = registry().byName.find(oxHostAnalysisRows::at(i).name);
        if (entry == registry().byName.end())
            continue;
        if (std::unique_ptr<oxColouring> colouring = entry->second(input))
            return colouring;
    }
    if (!registry().fallback)
        throw std::logic_error("no default colouring is registered");
    return registry().fallback(input);
}

std::vector<std::string> oxColourings::names()
{
    std::vector<std::string> names;
    for (int i = 0; i < oxHostAnalysisRows::count(); ++i)
        if (registry().byName.count(oxHostAnalysisRows::at(i).name))
            names.push_back(oxHostAnalysisRows::at(i).name);
    // A colouring named by no row never colours; listed last so that the rows' test names it.
    for (const auto& entry : registry().byName)
        if (!oxHostAnalysisRows::find(entry.first.c_str()))
            names.push_back(entry.first);
    return names;
}
