#pragma once

#include <string>

class oxMessage;

// The environment image is the user's file, not the project's: the project keeps its path (a row
// of the settings table) and, beside it, the SHA-256 of its content, so that a load can say when
// the image is missing or is no longer the one the project was saved with.
namespace oxHostEnvironmentProject
{
extern const char* const HashKey;

// The hex SHA-256 of the file's content; empty when it cannot be read.
std::string contentHash(const std::string& path);
// Adds the hash of the image the project names (nothing without one).
void save(oxMessage& project);
// What a user should know about the project's image on load, or empty: missing (a built-in
// stands in) or changed since the save (it shows as it is now).
std::string check(const oxMessage& project);
// Keeps the hash with every project saved and reports check's message on every load.
void install();
} // namespace oxHostEnvironmentProject
