#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "core/report.h"

namespace plk {

// The exact French message of the first field (or precondition) that refused a run.
struct FieldError {
  std::string message;
};

// What a run's validation gives: the parameters, or the message to show in an error box.
template <typename Parameters>
using Checked = std::variant<Parameters, FieldError>;

// How a started run ended. A cancelled run has changed nothing in the project.
enum class RunStatus { Completed, Cancelled };

inline constexpr std::string_view kRunInterrupted = "Calcul interrompu.";

// The tool's title between two lines of 52 "=".
void appendHeader(ReportSink& report, std::string_view title);

// "  --> Polygone n/P" for the polygon at `index` of `count`; tools append their own ending.
[[nodiscard]] std::string polygonLabel(std::size_t index, std::size_t count);

// The closing " " lines of a completed run, or "Calcul interrompu." for a cancelled one.
void appendEnding(ReportSink& report, RunStatus status);

}  // namespace plk
