#pragma once

#include <array>

#include "core/grey_image.h"

namespace plk {

// A 3 x 3 integer kernel, row 0 on top.
using GradientKernel = std::array<std::array<int, 3>, 3>;

inline constexpr GradientKernel kSobelX{{{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}}};
inline constexpr GradientKernel kSobelY{{{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}}};

// Absolute response of the kernel (applied as a true convolution, turned by a half turn) at every
// interior pixel, in a matrix of height + 1 rows and width + 1 columns whose border rows and
// columns repeat the nearest computed ones: row 0 repeats row 1, rows H-1 and H repeat row H-2,
// and likewise for columns. Images under 3 pixels in either direction give zeros.
[[nodiscard]] IntMatrix computeGradient(const GreyImage& image, const GradientKernel& kernel);

}  // namespace plk
