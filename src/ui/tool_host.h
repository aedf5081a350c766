#pragma once

#include <QString>

#include "core/project.h"
#include "core/report.h"
#include "core/textformat.h"

namespace plk {

// What a tool dialog asks of the main window: the open project, the report and the redraws that
// follow a run.
class ToolHost {
 public:
  virtual ~ToolHost() = default;
  // The open project, or null when there is none.
  [[nodiscard]] virtual Project* project() const = 0;
  [[nodiscard]] virtual NumberFormat numberFormat() const = 0;
  // Shows the report window (before a run writes its header) and gives its sink.
  virtual ReportSink& showReport() = 0;
  // Both image windows rebuild and repaint what they show (points, matches, polygons).
  virtual void redrawImages() = 0;
  // The listing of the main window follows moved vertices.
  virtual void listPolygons() = 0;
  // Bracket a run that moves vertices: its moves become one undo step named `what`. Nothing is
  // recorded when nothing moved, as after a cancelled run.
  virtual void beginPolygonEdit() = 0;
  virtual void endPolygonEdit(const QString& what) = 0;
};

}  // namespace plk
