#include "Picker.h"

namespace oxk
{
namespace interaction
{
Picker::~Picker() = default;
} // namespace interaction
} // namespace oxk
