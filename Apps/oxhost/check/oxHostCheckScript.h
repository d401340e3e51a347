#pragma once

// The oxHost function check: the data-quality criteria on the model in the scene.
namespace oxHostCheckScript
{
void define();
} // namespace oxHostCheckScript
