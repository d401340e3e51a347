#include "oxColouring.h"

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
    // Several on at once (a project written by hand): the first by name wins.
    for (const auto& [name, factory] : registry().byName)
        if (std::unique_ptr<oxColouring> colouring = factory(input))
            return colouring;
    if (!registry().fallback)
        throw std::logic_error("no default colouring is registered");
    return registry().fallback(input);
}

std::vector<std::string> oxColourings::names()
{
    std::vector<std::string> names;
    for (const auto& entry : registry().byName)
        names.push_back(entry.first);
    return names;
}
