#pragma once

// The manipulator classes in one include.
#include "ManipulatorInteractionContext.h"
#include "UniversalTransformManipulator2.h"
