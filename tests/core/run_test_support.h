#pragma once

#include <string>
#include <vector>

#include "core/report.h"
#include "core/run_control.h"

namespace plk::test {

// A report that keeps its lines for comparison.
struct ReportLines final : ReportSink {
  void appendLine(std::string_view utf8) override { lines.emplace_back(utf8); }
  std::vector<std::string> lines;
};

// A run control that asks to stop once `steps` steps have been reported.
class CancelAfterSteps final : public RunControl {
 public:
  explicit CancelAfterSteps(int steps) : remaining_(steps) {}
  void step(int /*done*/, int /*total*/, std::string_view what) override {
    --remaining_;
    units.emplace_back(what);
  }
  [[nodiscard]] bool cancelled() const override { return remaining_ <= 0; }
  std::vector<std::string> units;

 private:
  int remaining_;
};

}  // namespace plk::test
