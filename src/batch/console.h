#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/report.h"
#include "core/run_control.h"

namespace plk::batch {

// The report of a batch run: every line goes to a stream as it is written (UTF-8) and is kept
// for the report file. A text holding line breaks becomes several lines.
class ConsoleReport final : public ReportSink {
 public:
  explicit ConsoleReport(std::ostream& out) : out_(out) {}
  void appendLine(std::string_view utf8) override;
  [[nodiscard]] const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::ostream& out_;
  std::vector<std::string> lines_;
};

// Progress of the stage under way on one line of a terminal, rewritten at every step; silent
// when `enabled` is false (standard error is not a terminal). Never cancels.
class ConsoleProgress final : public RunControl {
 public:
  ConsoleProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  void startStage(std::string stage);
  void step(int done, int total, std::string_view what) override;
  [[nodiscard]] bool cancelled() const override { return false; }
  // Ends the progress line of the stage.
  void finishStage();

 private:
  std::ostream& err_;
  bool enabled_;
  std::string stage_;
  std::size_t lastWidth_ = 0;
};

}  // namespace plk::batch
