#pragma once

#include <string_view>

namespace plk {

// Where a tool writes its account. A text holding line breaks becomes several lines.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  virtual void appendLine(std::string_view utf8) = 0;
};

}  // namespace plk
