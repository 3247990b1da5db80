// SPDX-License-Identifier: GPL-3.0-or-later
// Built with the engine's include paths only, by the test engine_cannot_include_stage:
// the engine's own headers are found, the stage's must not be.
#include "engine/ports.h"
#include "stage/form1.h"
