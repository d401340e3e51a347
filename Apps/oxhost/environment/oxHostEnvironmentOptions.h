#pragma once

// --environment NAME|FILE: a built-in studio by name or an image file, the environment switched on.
namespace oxHostEnvironmentOptions
{
void add();
}
