#include <QKeyEvent>
#include <QScrollBar>
#include <QWidget>
#include <optional>

#include "core/fonctions/geometry.h"
#include "ui/prompts.h"
#include "views/image.h"
#include "views/image_host.h"
#include "views/image_units.h"

// The image window's editing tools: the pointer state machine of the add, move, delete and
// adjust modes, the keys and the wheel.
namespace plk {

namespace {

using image_units::floorDiv;
using image_units::kNoSnap;

constexpr int kHoverReach = 4;   // image pixels, strict
constexpr int kBorderReach = 4;  // columns or rows snapped to each border
constexpr int kWheelStep = 120;  // angle of one notch of a standard mouse wheel
Point2 pickPoint(const Sommet* vertex) { return pointAt(vertex->U, vertex->V); }

Qt::CursorShape cursorFor(EditMode mode) {
  switch (mode) {
    case EditMode::Add:
      return Qt::CrossCursor;
    case EditMode::Move:
      return Qt::OpenHandCursor;
    case EditMode::Del:
      return Qt::ForbiddenCursor;
    case EditMode::Arrow:
    case EditMode::Adjust:
      break;
  }
  return Qt::ArrowCursor;
}

std::optional<EditMode> modeForKey(int key) {
  switch (key) {
    case Qt::Key_A:
      return EditMode::Add;
    case Qt::Key_M:
      return EditMode::Move;
    case Qt::Key_D:
      return EditMode::Del;
    case Qt::Key_F:
      return EditMode::Arrow;
    default:
      return std::nullopt;
  }
}

}  // namespace

void TFImage::resetConstruction() {
  endDrag();
  constructionState_ = 0;
  adjustPicks_.fill(nullptr);
  adjustPickCount_ = 0;
  setCaptionForZoom();
}

ConstructionState TFImage::construction() const {
  const bool constructing = constructionState_ == 1 && draggedVertex_ == nullptr;
  return {constructing, constructing ? lastVertex_ : nullptr};
}

void TFImage::restoreConstruction(const ConstructionState& state) {
  endDrag();
  const bool keeps = editing_.editMode == EditMode::Add || editing_.editMode == EditMode::Arrow;
  constructionState_ = keeps && state.constructing ? 1 : 0;
  lastVertex_ = constructionState_ == 1 ? state.lastVertex : nullptr;
  hoveredVertex_ = nullptr;
  adjustPicks_.fill(nullptr);
  adjustPickCount_ = 0;
  setCaptionForZoom();
}

void TFImage::showMode() {
  if (draggedVertex_ == nullptr) paintBox()->setCursor(cursorFor(editing_.editMode));
  setCaptionForZoom();
}

int TFImage::constructionState() const { return constructionState_; }
int TFImage::adjustPickCount() const { return adjustPickCount_; }
const Sommet* TFImage::hoveredVertex() const { return hoveredVertex_; }
const Sommet* TFImage::lastVertex() const { return lastVertex_; }
const Sommet* TFImage::draggedVertex() const { return draggedVertex_; }

// The first vertex within reach, earlier polygons and earlier elements first.
void TFImage::hoverTest(int row, int column) {
  hoveredVertex_ = nullptr;
  for (std::size_t k = 0; k < side_.polygons.size(); ++k) {
    for (Sommet* vertex : side_.polygons[k].sommets) {
      if (std::abs(vertex->V - column) < kHoverReach && std::abs(vertex->U - row) < kHoverReach) {
        hoveredVertex_ = vertex;
        editing_.snapU = vertex->U;
        editing_.snapV = vertex->V;
        return;
      }
    }
  }
}

void TFImage::snapToBorders(int row, int column) {
  if (column < kBorderReach) {
    editing_.snapV = 0;
  } else if (column > imageWidth() - kBorderReach - 1) {
    editing_.snapV = imageWidth() - 1;
  }
  if (row < kBorderReach) {
    editing_.snapU = 0;
  } else if (row > imageHeight() - kBorderReach - 1) {
    editing_.snapU = imageHeight() - 1;
  }
}

void TFImage::PaintBoxMouseMove(int x, int y) {
  const int row = floorDiv(y, zoom_);
  const int column = floorDiv(x, zoom_);
  pointerInside_ = true;
  host_.showPointerPosition(row, column);
  editing_.pointerX = x;
  editing_.pointerY = y;
  editing_.snapU = kNoSnap;
  editing_.snapV = kNoSnap;
  switch (editing_.editMode) {
    case EditMode::Arrow:
      break;
    case EditMode::Add:
      hoverTest(row, column);
      if (hoveredVertex_ == nullptr) snapToBorders(row, column);
      break;
    case EditMode::Move:
      if (constructionState_ == 0) {
        hoverTest(row, column);
      } else {
        draggedVertex_->U = row;
        draggedVertex_->V = column;
        snapToBorders(row, column);
        host_.listPolygons();
      }
      break;
    case EditMode::Del:
    case EditMode::Adjust:
      hoverTest(row, column);
      break;
  }
  renderView();
  showView();
}

void TFImage::PaintBoxMouseDown(Qt::MouseButton button, bool shift, int x, int y) {
  if (shift) {
    if (button == Qt::RightButton) {
      zoomOut(x, y);
    } else if (button == Qt::LeftButton || button == Qt::MiddleButton) {
      zoomIn(x, y);
    }
  } else {
    switch (editing_.editMode) {
      case EditMode::Arrow:
        break;
      case EditMode::Add:
        addPress(button, floorDiv(y, zoom_), floorDiv(x, zoom_));
        break;
      case EditMode::Move:
        movePress(button);
        break;
      case EditMode::Del:
        deletePress();
        break;
      case EditMode::Adjust:
        adjustPress();
        break;
    }
  }
  renderView();
  showView();
  host_.listPolygons();
}

// One wheel notch (or the sum of smaller turns) is one zoom step around the pointer.
void TFImage::PaintBoxWheel(int angle, int x, int y) {
  wheelRemainder_ += angle;
  while (wheelRemainder_ >= kWheelStep) {
    wheelRemainder_ -= kWheelStep;
    zoomIn(x, y);
  }
  while (wheelRemainder_ <= -kWheelStep) {
    wheelRemainder_ += kWheelStep;
    zoomOut(x, y);
  }
}

// The glyph tells what a click would do: it goes with the pointer. A drag keeps its snapping.
void TFImage::PaintBoxLeave() {
  if (draggedVertex_ != nullptr) return;
  pointerInside_ = false;
  hoveredVertex_ = nullptr;
  renderView();
  showView();
}

// Esc ends the polygon under construction as the other mouse buttons do; A, M, D and F choose
// the Add, Move, Del and Arrow modes.
void TFImage::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  const std::optional<EditMode> mode = modeForKey(event->key());
  if (plain && event->key() == Qt::Key_Escape && editing_.editMode == EditMode::Add &&
      constructionState_ == 1) {
    endConstruction();
    renderView();
    showView();
    host_.listPolygons();
  } else if (plain && mode) {
    host_.chooseEditMode(*mode);
  } else {
    QWidget::keyPressEvent(event);
  }
}

// A vertex at the press position, taking the border row or column the pointer is snapped to.
Sommet* TFImage::createSnappedVertex(int row, int column) {
  const bool snappedU = editing_.snapU != kNoSnap;
  const bool snappedV = editing_.snapV != kNoSnap;
  return side_.polygons.createVertex(snappedU ? editing_.snapU : row,
                                     snappedV ? editing_.snapV : column, snappedU, snappedV);
}

// Left presses start or extend the polygon under construction (a hovered vertex is shared, and
// clicking the first one closes the polygon); another button ends the construction. Each press
// that changes something is one undo step.
void TFImage::addPress(Qt::MouseButton button, int row, int column) {
  if (constructionState_ == 0) {
    if (button != Qt::LeftButton) return;
    host_.beginPolygonEdit();
    Sommet* vertex = hoveredVertex_ != nullptr ? hoveredVertex_ : createSnappedVertex(row, column);
    side_.polygons.appendPolygon().sommets.push_back(vertex);
    lastVertex_ = vertex;
    constructionState_ = 1;
    host_.endPolygonEdit(QStringLiteral("ajout du sommet"), {});
  } else if (button != Qt::LeftButton) {
    endConstruction();
  } else if (hoveredVertex_ == nullptr || hoveredVertex_ != lastVertex_) {
    // A second click on the vertex just placed is ignored: it would repeat that vertex.
    host_.beginPolygonEdit();
    const QString what = extendConstruction(row, column);
    host_.endPolygonEdit(what, {});
  }
}

// Appends the hovered or a new vertex to the polygon under construction; says what was done.
QString TFImage::extendConstruction(int row, int column) {
  Polygone& polygon = side_.polygons.back();
  Sommet* vertex = hoveredVertex_ != nullptr ? hoveredVertex_ : createSnappedVertex(row, column);
  polygon.sommets.push_back(vertex);
  lastVertex_ = vertex;
  if (!polygon.isClosed()) return QStringLiteral("ajout du sommet");
  constructionState_ = 0;
  lastVertex_ = nullptr;
  return QStringLiteral("fermeture du polygone");
}

// The polygon under construction stays in the list as drawn.
void TFImage::endConstruction() {
  host_.beginPolygonEdit();
  constructionState_ = 0;
  lastVertex_ = nullptr;
  host_.endPolygonEdit(QStringLiteral("fin du polygone"), {});
}

void TFImage::movePress(Qt::MouseButton button) {
  if (constructionState_ != 0 || button != Qt::LeftButton || hoveredVertex_ == nullptr) return;
  host_.beginPolygonEdit();
  draggedVertex_ = hoveredVertex_;
  hoveredVertex_ = nullptr;
  paintBox()->setCursor(Qt::BlankCursor);
  constructionState_ = 1;
}

void TFImage::deletePress() {
  if (hoveredVertex_ == nullptr) return;
  host_.beginPolygonEdit();
  if (lastVertex_ == hoveredVertex_) lastVertex_ = nullptr;
  VertexStore released;
  released.push_back(side_.polygons.deleteVertex(hoveredVertex_));
  hoveredVertex_ = nullptr;
  host_.endPolygonEdit(QStringLiteral("suppression du sommet"), std::move(released));
}

void TFImage::adjustPress() {
  if (hoveredVertex_ == nullptr) return;
  adjustPicks_.at(static_cast<std::size_t>(adjustPickCount_)) = hoveredVertex_;
  ++adjustPickCount_;
  hoveredVertex_ = nullptr;
  if (adjustPickCount_ == static_cast<int>(adjustPicks_.size())) {
    host_.beginPolygonEdit();
    runAdjustment();
    adjustPicks_.fill(nullptr);
    adjustPickCount_ = 0;
    host_.endPolygonEdit(QStringLiteral("ajustement du sommet"), {});
  }
  setCaptionForZoom();
}

// Moves the second pick, along the line from the first, onto the line through the last two. A
// meeting point that cannot be computed, or that would throw the vertex far off the image where
// it could never be picked again, is refused.
void TFImage::runAdjustment() {
  const std::optional<Point2> meeting = sideIntersection(
      pickPoint(adjustPicks_[0]), pickPoint(adjustPicks_[1]), pickPoint(adjustPicks_[2]),
      pickPoint(adjustPicks_[3]), imageWidth(), imageHeight());
  if (!meeting) {
    prompts_.showError(
        this, QStringLiteral("Ajustement impossible : les droites choisies ne permettent pas "
                             "de calculer l'intersection (division par zéro)."));
    return;
  }
  adjustPicks_[1]->V = meeting->v;
  adjustPicks_[1]->U = meeting->u;
}

// Any button ends a drag; the vertex lands on the border the pointer is snapped to, and the
// listing and the picture show it there at once rather than at the next pointer move.
void TFImage::PaintBoxMouseUp(Qt::MouseButton, int, int) {
  if (editing_.editMode != EditMode::Move || constructionState_ != 1) return;
  if (editing_.snapU != kNoSnap) draggedVertex_->U = editing_.snapU;
  if (editing_.snapV != kNoSnap) draggedVertex_->V = editing_.snapV;
  endDrag();
  renderView();
  showView();
  host_.listPolygons();
}

// The whole drag, from press to release, is one undo step.
void TFImage::endDrag() {
  if (draggedVertex_ == nullptr) return;
  draggedVertex_ = nullptr;
  constructionState_ = 0;
  paintBox()->setCursor(cursorFor(editing_.editMode));
  host_.endPolygonEdit(QStringLiteral("déplacement du sommet"), {});
}

}  // namespace plk
