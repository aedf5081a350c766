#include "batch/console.h"

namespace plk::batch {

void ConsoleReport::appendLine(std::string_view utf8) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = utf8.find('\n', start);
    std::string_view line = utf8.substr(start, end == std::string_view::npos ? end : end - start);
    while (!line.empty() && line.front() == '\r') line.remove_prefix(1);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out_ << line << '\n';
    lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  out_.flush();
}

void ConsoleProgress::startStage(std::string stage) {
  stage_ = std::move(stage);
  lastWidth_ = 0;
  step(0, 1, "");
}

void ConsoleProgress::step(int /*done*/, int /*total*/, std::string_view what) {
  if (!enabled_) return;
  std::string line = stage_;
  if (!what.empty()) line += " : " + std::string(what);
  const std::size_t width = line.size();
  if (width < lastWidth_) line.append(lastWidth_ - width, ' ');
  lastWidth_ = width;
  err_ << '\r' << line << std::flush;
}

void ConsoleProgress::finishStage() {
  if (enabled_) err_ << '\n' << std::flush;
}

}  // namespace plk::batch
