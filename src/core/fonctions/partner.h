#pragma once

#include <string>
#include <variant>
#include <vector>

#include "core/polyfunc.h"
#include "core/project.h"

// Where a polygon drawn on one image goes on the other: the first step of drawing its partner.
namespace plk {

// The next polygon of `from` without a partner: the one at the position of the other image's
// polygon count. Its corners (the closing repetition left out) are carried to the other image
// by the polygon's photometric plane when the last estimation fitted one, otherwise by the
// constant disparity of `range` that best aligns the polygon's pixels with the other image; then clamped to the image. A
// French message instead when there is no such polygon, it is not closed, or too few of its
// pixels fall on the other image at every disparity.
[[nodiscard]] std::variant<std::vector<Point2>, std::string> partnerCorners(const Project& project,
                                                                           bool fromLeft,
                                                                           DisparityRange range);

}  // namespace plk
