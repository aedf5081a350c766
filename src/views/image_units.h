#pragma once

#include <cmath>

// Small rules the image window's drawing and its editing tools share.
namespace plk::image_units {

// A snapped coordinate that stands for no snapping.
inline constexpr double kNoSnap = -1.0;

// value / divisor rounded towards minus infinity: a buffer position left of or above the image
// belongs to the pixel before it.
[[nodiscard]] inline int floorDiv(int value, int divisor) {
  return static_cast<int>(std::floor(static_cast<double>(value) / divisor));
}

}  // namespace plk::image_units
