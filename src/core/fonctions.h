#pragma once

// The polygon, image and tool operations of the core, one header per concern.
#include "core/fonctions/geometry.h"
#include "core/fonctions/gradient.h"
