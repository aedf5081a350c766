#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/project.h"
#include "core/report.h"
#include "core/run_control.h"
#include "core/runs/run_common.h"
#include "core/textformat.h"

namespace plk::batch {

// Option name (without the leading dashes) -> text as typed.
using OptionTexts = std::map<std::string, std::string>;

// Where the disparity stage writes, and which formats beyond the five files of the dialog.
struct OutputOptions {
  QString folder = QStringLiteral(".");
  bool pfm = false;
  bool kitti = false;
  QString summaryPath;  // empty: no JSON summary
};

// What the disparity stage found about the polygons, for the exit status.
struct MapCheck {
  bool mapWritten = false;
  std::vector<std::string> doubtful;  // polygons without a disparity or a reliable estimate
};

// What the stages of one run share.
struct StageContext {
  Project& project;
  const OptionTexts& texts;
  const OutputOptions& outputs;
  ReportSink& report;
  RunControl& control;
  NumberFormat format;
  std::ostream& warnings;  // notes for standard error
  MapCheck& mapCheck;
};

// One option of a stage: its name, the placeholder and the help text of `--help`, and for a
// choice among a dialog's radio items, the words that name them in order.
struct StageOption {
  std::string_view name;
  std::string_view placeholder;
  std::string_view help;
  std::vector<std::string_view> words = {};
};

// The position of the option's word among its words, or `fallback` when the option is absent.
[[nodiscard]] std::int32_t wordIndex(const OptionTexts& texts, const StageOption& option,
                                     std::int32_t fallback);

// A stage of the chain, run through its tool's validation: a refused field or precondition
// comes back as the dialog's message. Output files that cannot be written throw io::IoError.
struct Stage {
  std::string_view name;   // as given to --steps
  std::string_view title;  // shown on the progress line
  std::vector<StageOption> options;
  // The stage's own fields, and the preconditions that no earlier stage can meet: checked for
  // every requested stage before the first one runs, so a bad field costs no work.
  std::optional<FieldError> (*check)(const StageContext& context);
  std::optional<FieldError> (*run)(StageContext& context);
  bool byDefault = true;  // run when --steps is not given
};

// The stages this program offers, in the chain's order; the optimisation, which moves the
// project's vertices, runs only when --steps names it.
[[nodiscard]] const std::vector<Stage>& chainStages();

}  // namespace plk::batch
