#pragma once

// The polygon, image and tool operations of the core, one header per concern.
#include "core/fonctions/detection.h"
#include "core/fonctions/disparity.h"
#include "core/fonctions/estimation.h"
#include "core/fonctions/geometry.h"
#include "core/fonctions/gradient.h"
#include "core/fonctions/matching.h"
#include "core/fonctions/polygon_map.h"
#include "core/fonctions/polygon_scan.h"
#include "core/fonctions/sampling.h"
#include "core/fonctions/segmentation.h"
