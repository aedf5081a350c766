#pragma once

#include "core/textformat.h"

namespace plk::io {

// The decimal separator of the user's locale (the application's default locale, which is the
// system's unless the application set another), read once per call.
[[nodiscard]] NumberFormat systemNumberFormat();

}  // namespace plk::io
