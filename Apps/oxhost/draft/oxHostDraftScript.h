#pragma once

// The oxHost function for the draft angle: draftStats. define() adds it to the current
// Boost.Python scope.
namespace oxHostDraftScript
{
void define();
}
