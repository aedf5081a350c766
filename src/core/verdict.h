#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/fonctions/disparity.h"
#include "core/project.h"
#include "core/textformat.h"

// Whether the estimate the disparity tool uses for a polygon can be trusted, from its quality
// figures: "fiable", "à vérifier" or "rejeté", with the reason.
namespace plk {

// A homography needs four matches: with fewer the linear system is underdetermined.
inline constexpr std::size_t kMinMatches = 4;
// Fewer RANSAC inliers than this are fitted almost exactly whatever the plane: 4 to 7 matches
// gave homographies wrong by pixels that reported success.
inline constexpr double kMinInliers = 8.0;
// Aligned pixels correlating below this are weak texture or a wrong plane (repeated texture,
// occlusion, a false minimum): on rendered pairs, right planes of textured polygons scored
// 0.99 and more, false minima 0.94 to 0.97.
inline constexpr double kMinCorrelation = 0.98;
// A plane whose disparity is uncertain by more than this somewhere cannot give a reference map.
// On rendered pairs the mean error stayed below half the largest deviation at the corners, and
// planes resting on one edge in flat grey were off by 0.03 to 0.1 px with 0.05 px there.
inline constexpr double kMaxDisparitySd = 0.02;
// Two independent estimates that differ by more than this somewhere mean one of them is wrong.
inline constexpr double kMaxDisagreement = 0.5;

enum class Verdict : std::int32_t { Reliable, ToCheck, Rejected };

struct PolygonVerdict {
  Verdict verdict = Verdict::Reliable;
  std::string reason;  // French, empty when reliable
};

// "fiable", "à vérifier" or "rejeté".
[[nodiscard]] std::string_view verdictName(Verdict verdict);

// The verdict on polygon p's estimate of the given choice; nothing when the tables hold no
// estimation record for it (tables filled by other means than the estimation run).
[[nodiscard]] std::optional<PolygonVerdict> judgePolygon(const ToolResults& results, std::size_t p,
                                                         HomographyChoice choice,
                                                         NumberFormat format);

// True when polygon p's estimate of that choice is rejected: it must give no disparity.
[[nodiscard]] bool isRejected(const ToolResults& results, std::size_t p, HomographyChoice choice);

// "  Polygone k/N : verdict (reason)", and for a rejected polygon that it has no disparity.
[[nodiscard]] std::string verdictLine(std::size_t p, std::size_t count,
                                      const PolygonVerdict& verdict);

}  // namespace plk
