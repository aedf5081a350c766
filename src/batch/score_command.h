#pragma once

#include <ostream>

#include "batch/options.h"

namespace plk::batch {

// Reads the map, the ground truth and the mask, and prints the scores as text or JSON.
// Gives the exit status: 3 when a file cannot be read, 2 when the sizes differ.
[[nodiscard]] int runScore(const ScoreOptions& options, std::ostream& out, std::ostream& err);

}  // namespace plk::batch
