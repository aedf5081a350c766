#pragma once

#include <string>
#include <variant>
#include <vector>

#include "core/polygon_list.h"
#include "core/report.h"
#include "core/run_control.h"
#include "core/runs/run_common.h"

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

// Appends the closed rectangle with corners (top, left) and (bottom, right), clockwise.
inline void addBox(PolygonList& polygons, double top, double left, double bottom, double right) {
  Polygone& polygon = polygons.appendPolygon();
  Sommet* first = polygons.createVertex(top, left);
  polygon.sommets = {first, polygons.createVertex(top, right), polygons.createVertex(bottom, right),
                     polygons.createVertex(bottom, left), first};
}

// The message of a refused run, or an empty text when the fields were accepted.
template <typename Parameters>
std::string messageOf(const Checked<Parameters>& checked) {
  const auto* error = std::get_if<FieldError>(&checked);
  return error == nullptr ? std::string() : error->message;
}

}  // namespace plk::test
