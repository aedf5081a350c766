#pragma once

#include <QString>
#include <array>
#include <optional>
#include <span>

#include "core/editing.h"
#include "core/polygon_list.h"
#include "core/polyfunc.h"

namespace plk {

class ImageWindowHost;

// The polygon a window is drawing, as an undo step restores it.
struct ConstructionState {
  bool constructing = false;  // the last polygon of the list is under construction
  Sommet* lastVertex = nullptr;

  friend bool operator==(const ConstructionState&, const ConstructionState&) = default;
};

// The editing tools of one image window: the pointer state machine of the add, move, delete and
// adjust modes over that image's polygons. Positions are image rows and columns; each change of
// the polygons is bracketed for the host's undo history.
class PolygonEditor {
 public:
  PolygonEditor(PolygonList& polygons, EditingState& editing, ImageWindowHost& host);

  // The image's size, which the snapping to the borders and the adjustment need.
  void setImageSize(int width, int height);

  // The pointer is over (row, column): hover, snapping, or the dragged vertex follows.
  void pointerMoved(int row, int column);
  // A press in the current mode; the message of an adjustment that cannot be made, if any.
  [[nodiscard]] std::optional<QString> press(Qt::MouseButton button, int row, int column);
  // Ends a drag on release, with the vertex on the border the pointer is snapped to; false
  // when no drag was under way.
  bool release();
  // Esc in the Add mode ends the polygon under construction; false when there was none.
  bool escape();
  // The pointer left the surface: it hovers nothing, unless a drag holds it; false then.
  bool leave();

  // Ends a polygon under construction and adds the closed polygon through `corners` as clicks
  // there would: each corner takes the vertex within reach or snaps to the borders. One undo
  // step named `what`.
  void addPolygon(std::span<const Point2> corners, const QString& what);

  // Abandons a polygon under construction and forgets Adjust picks.
  void resetConstruction();
  [[nodiscard]] ConstructionState construction() const;
  // Resumes the construction it had (only where Add or Arrow keeps one), and forgets hover,
  // drag and Adjust picks, which may name vertices no longer listed.
  void restoreConstruction(const ConstructionState& state);
  // Ends a drag in progress, if any, leaving the vertex where it is.
  void endDrag();

  [[nodiscard]] int constructionState() const { return constructionState_; }
  [[nodiscard]] int adjustPickCount() const { return adjustPickCount_; }
  [[nodiscard]] const Sommet* hoveredVertex() const { return hoveredVertex_; }
  [[nodiscard]] const Sommet* lastVertex() const { return lastVertex_; }
  [[nodiscard]] const Sommet* draggedVertex() const { return draggedVertex_; }

 private:
  void hoverTest(double row, double column);
  void snapToBorders(double row, double column);
  [[nodiscard]] Sommet* createSnappedVertex(double row, double column);
  void addPress(Qt::MouseButton button, int row, int column);
  [[nodiscard]] QString extendConstruction(int row, int column);
  void endConstruction();
  void movePress(Qt::MouseButton button);
  void deletePress();
  [[nodiscard]] std::optional<QString> adjustPress();
  [[nodiscard]] std::optional<QString> runAdjustment();
  void forgetAdjustPicks();

  PolygonList& polygons_;
  EditingState& editing_;
  ImageWindowHost& host_;
  int width_ = 0;
  int height_ = 0;

  int constructionState_ = 0;  // Add: a polygon is under construction; Move: a vertex is dragged
  Sommet* lastVertex_ = nullptr;
  Sommet* hoveredVertex_ = nullptr;
  Sommet* draggedVertex_ = nullptr;
  std::array<Sommet*, 4> adjustPicks_{};
  int adjustPickCount_ = 0;  // Adjust picks made in this window since the last set
};

}  // namespace plk
