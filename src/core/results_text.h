#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "core/project.h"

// The text form of the tools' results, kept beside a project file so that reopening the project
// brings back its points, matches and estimates. Whitespace-separated tokens, one record a line,
// "#" starting a comment to the end of its line; reals in the shortest form that reads back to
// the same double, whatever the locale. The README describes the layout.
namespace plk {

inline constexpr int kResultsTextVersion = 1;

// The whole text: header, version, `polygonsFingerprint` (polygonListsFingerprint of the
// polygons the results belong to), then every table of `results`. Each polygon's verdict on the
// estimate the windows show is added as a comment for the reader of the file; it is recomputed
// from the figures on reading.
[[nodiscard]] std::string resultsText(const ToolResults& results,
                                      std::uint64_t polygonsFingerprint);

enum class ResultsRefusal : std::int32_t {
  Malformed,      // not a results text, damaged or truncated
  NewerVersion,   // written by a later version of the format
  OtherPolygons,  // written for other polygons than the given fingerprint
};

// The results of a text written by resultsText for polygons of `polygonsFingerprint`, or why
// they cannot be taken.
[[nodiscard]] std::variant<ToolResults, ResultsRefusal> parseResultsText(
    std::string_view text, std::uint64_t polygonsFingerprint);

}  // namespace plk
