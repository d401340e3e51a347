#pragma once

#include <QStringList>

#include <array>
#include <map>
#include <string>
#include <vector>

// A room's rows of oxhost's one options table: --help, the man page and the parser take them at
// their place there, and the room applies what was given after the project, before the script.
struct oxHostRoomOption
{
    const char* names;       // "comb-sections": the last name is the one messages use
    const char* after;       // the option of the table (or an earlier room's) it follows in --help
    const char* valueName;   // nullptr for a switch
    const char* needs;       // what a missing value lacks
    const char* help;        // %1, %2 ... stand for the domain's texts
    QStringList (*domain)(); // the values the help's placeholders stand for, from the settings table
    // A given value, checked as the command line is read: false with the whole message in error.
    bool (*check)(const std::string& value, std::string& error);
    // Whether it switches a colouring analysis on: the viewer then opens on that, not on zebra.
    bool colours;
};

namespace oxHostRoomOptions
{
// The room's options as given, by their last name, each value in the order given ("" for a switch).
typedef std::map<std::string, std::vector<std::string>> Given;
// False with error: what was given could not be applied.
typedef bool (*Apply)(const Given& given, std::string& error);

void add(const oxHostRoomOption& option);
const std::vector<oxHostRoomOption>& all();
// Applies run in the order the rooms added them, each with every option given.
void addApply(Apply apply);
bool apply(const Given& given, std::string& error);
// Whether what was given switches a colouring analysis on.
bool colours(const Given& given);

// Three finite numbers "X,Y,Z", not all zero.
bool vectorText(const QString& text, std::array<float, 3>& v);
// x, y, z, -x, -y, -z or X,Y,Z.
bool directionText(const QString& text, std::array<float, 3>& v);
} // namespace oxHostRoomOptions
