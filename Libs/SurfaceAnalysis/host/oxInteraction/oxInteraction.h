#pragma once

// The whole interaction framework in one include.
#include "AbstractInteractionContext.h"
#include "AbstractInteractionTool.h"
#include "InteractionContext.h"
#include "InteractionEvent.h"
#include "InteractionManager.h"
#include "InteractionTool.h"
#include "MultimodeInteractionContext.h"
#include "Picker.h"
#include "ToolInteractionContext.h"
