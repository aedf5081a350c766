#pragma once

#include "core/textformat.h"

namespace plk::io {

// The decimal separator of the user's locale, read from the system once per call.
[[nodiscard]] NumberFormat systemNumberFormat();

}  // namespace plk::io
