// The reader of the results kept beside a project, from bytes to results or a refusal. The
// corpus is written for a project without polygons, whose fingerprint the target expects. An
// accepted text must be written again as the same results: written once more, the same text.
#include "core/freshness.h"
#include "core/results_text.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::uint64_t polygons = plk::polygonListsFingerprint(plk::Project{});
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto parsed = plk::parseResultsText(text, polygons);
  if (!std::holds_alternative<plk::ToolResults>(parsed)) return 0;
  const std::string written = plk::resultsText(std::get<plk::ToolResults>(parsed), polygons);
  auto again = plk::parseResultsText(written, polygons);
  plk::fuzz::require(std::holds_alternative<plk::ToolResults>(again), "written results read back");
  plk::fuzz::require(plk::resultsText(std::get<plk::ToolResults>(again), polygons) == written,
                     "results read back are written as the same text");
  return 0;
}
