#pragma once

// The combs' rows of oxhost's options table, --comb-edges and --comb-sections N[:X,Y,Z], and what
// applies them.
namespace oxHostCombOptions
{
void add();
}
