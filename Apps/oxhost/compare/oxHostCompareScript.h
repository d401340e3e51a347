#pragma once

// The oxHost function compareReleases: two part files compared face by face.
namespace oxHostCompareScript
{
void define();
} // namespace oxHostCompareScript
