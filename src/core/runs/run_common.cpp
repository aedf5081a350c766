#include "core/runs/run_common.h"

namespace plk {

namespace {
constexpr std::string_view kRule = "====================================================";
}

void appendHeader(ReportSink& report, std::string_view title) {
  report.appendLine(kRule);
  report.appendLine(title);
  report.appendLine(kRule);
}

std::string polygonLabel(std::size_t index, std::size_t count) {
  return "  --> Polygone " + std::to_string(index + 1) + "/" + std::to_string(count);
}

void appendEnding(ReportSink& report, RunStatus status) {
  if (status == RunStatus::Cancelled) {
    report.appendLine(kRunInterrupted);
    return;
  }
  report.appendLine(" ");
  report.appendLine(" ");
}

}  // namespace plk
