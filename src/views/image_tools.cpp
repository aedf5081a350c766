#include <QKeyEvent>
#include <QWidget>
#include <optional>

#include "ui/prompts.h"
#include "views/image.h"
#include "views/image_host.h"
#include "views/image_units.h"

// The image window's side of the editing tools: the pointer, the keys and the wheel turned
// into image positions for its editor, and what the window shows of the editor's state.
namespace plk {

namespace {

using image_units::floorDiv;

constexpr int kWheelStep = 120;  // angle of one notch of a standard mouse wheel

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

// A dragged vertex hides the pointer; otherwise the cursor tells the mode.
void TFImage::showCursor() {
  paintBox()->setCursor(editor_.draggedVertex() != nullptr ? Qt::BlankCursor
                                                           : cursorFor(editing_.editMode));
}

void TFImage::redrawView() {
  renderView();
  showView();
}

void TFImage::resetConstruction() {
  editor_.resetConstruction();
  showCursor();
  setCaptionForZoom();
}

void TFImage::restoreConstruction(const ConstructionState& state) {
  editor_.restoreConstruction(state);
  showCursor();
  setCaptionForZoom();
}

void TFImage::addPolygon(std::span<const Point2> corners, const QString& what) {
  editor_.addPolygon(corners, what);
  showCursor();
  redrawView();
}

void TFImage::showMode() {
  showCursor();
  setCaptionForZoom();
}

void TFImage::endDrag() {
  editor_.endDrag();
  showCursor();
}

void TFImage::PaintBoxMouseMove(int x, int y) {
  const int row = floorDiv(y, zoom_);
  const int column = floorDiv(x, zoom_);
  pointerInside_ = true;
  host_.showPointerPosition(row, column);
  editing_.pointerX = x;
  editing_.pointerY = y;
  editor_.pointerMoved(row, column);
  redrawView();
}

void TFImage::PaintBoxMouseDown(Qt::MouseButton button, bool shift, int x, int y) {
  if (shift) {
    if (button == Qt::RightButton) {
      zoomOut(x, y);
    } else if (button == Qt::LeftButton || button == Qt::MiddleButton) {
      zoomIn(x, y);
    }
  } else {
    const std::optional<QString> failure =
        editor_.press(button, floorDiv(y, zoom_), floorDiv(x, zoom_));
    if (failure) prompts_.showError(this, *failure);
    showCursor();
    if (editing_.editMode == EditMode::Adjust) setCaptionForZoom();
  }
  redrawView();
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
  if (!editor_.leave()) return;
  pointerInside_ = false;
  redrawView();
}

// Esc ends the polygon under construction as the other mouse buttons do; A, M, D and F choose
// the Add, Move, Del and Arrow modes; C copies a polygon to the other image.
void TFImage::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  const std::optional<EditMode> mode = modeForKey(event->key());
  if (plain && event->key() == Qt::Key_Escape && editor_.escape()) {
    redrawView();
    host_.listPolygons();
  } else if (plain && mode) {
    host_.chooseEditMode(*mode);
  } else if (plain && event->key() == Qt::Key_C) {
    host_.copyPolygon(kind_);
  } else {
    QWidget::keyPressEvent(event);
  }
}

// Any button ends a drag; the listing and the picture show the vertex where it landed at once
// rather than at the next pointer move.
void TFImage::PaintBoxMouseUp(Qt::MouseButton, int, int) {
  if (!editor_.release()) return;
  showCursor();
  redrawView();
  host_.listPolygons();
}

}  // namespace plk
