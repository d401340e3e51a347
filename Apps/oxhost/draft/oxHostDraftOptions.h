#pragma once

// The draft's row of oxhost's options table, --draft DIR[:ANGLE], and what applies it.
namespace oxHostDraftOptions
{
void add();
}
