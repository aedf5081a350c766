#include "views/polygon_editor.h"

#include <cstdlib>

#include "core/fonctions/geometry.h"
#include "views/image_host.h"
#include "views/image_units.h"

namespace plk {

namespace {

using image_units::kNoSnap;

constexpr int kHoverReach = 4;   // image pixels, strict
constexpr int kBorderReach = 4;  // columns or rows snapped to each border

Point2 pickPoint(const Sommet* vertex) { return pointAt(vertex->U, vertex->V); }

}  // namespace

PolygonEditor::PolygonEditor(PolygonList& polygons, EditingState& editing, ImageWindowHost& host)
    : polygons_(polygons), editing_(editing), host_(host) {}

void PolygonEditor::setImageSize(int width, int height) {
  width_ = width;
  height_ = height;
}

void PolygonEditor::forgetAdjustPicks() {
  adjustPicks_.fill(nullptr);
  adjustPickCount_ = 0;
}

void PolygonEditor::resetConstruction() {
  endDrag();
  constructionState_ = 0;
  forgetAdjustPicks();
}

ConstructionState PolygonEditor::construction() const {
  const bool constructing = constructionState_ == 1 && draggedVertex_ == nullptr;
  return {constructing, constructing ? lastVertex_ : nullptr};
}

void PolygonEditor::restoreConstruction(const ConstructionState& state) {
  endDrag();
  const bool keeps = editing_.editMode == EditMode::Add || editing_.editMode == EditMode::Arrow;
  constructionState_ = keeps && state.constructing ? 1 : 0;
  lastVertex_ = constructionState_ == 1 ? state.lastVertex : nullptr;
  hoveredVertex_ = nullptr;
  forgetAdjustPicks();
}

// The first vertex within reach, earlier polygons and earlier elements first.
void PolygonEditor::hoverTest(double row, double column) {
  hoveredVertex_ = nullptr;
  for (std::size_t k = 0; k < polygons_.size(); ++k) {
    for (Sommet* vertex : polygons_[k].sommets) {
      if (std::abs(vertex->V - column) < kHoverReach && std::abs(vertex->U - row) < kHoverReach) {
        hoveredVertex_ = vertex;
        editing_.snapU = vertex->U;
        editing_.snapV = vertex->V;
        return;
      }
    }
  }
}

void PolygonEditor::snapToBorders(double row, double column) {
  if (column < kBorderReach) {
    editing_.snapV = 0;
  } else if (column > width_ - kBorderReach - 1) {
    editing_.snapV = width_ - 1;
  }
  if (row < kBorderReach) {
    editing_.snapU = 0;
  } else if (row > height_ - kBorderReach - 1) {
    editing_.snapU = height_ - 1;
  }
}

void PolygonEditor::pointerMoved(int row, int column) {
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
}

std::optional<QString> PolygonEditor::press(Qt::MouseButton button, int row, int column) {
  switch (editing_.editMode) {
    case EditMode::Arrow:
      break;
    case EditMode::Add:
      addPress(button, row, column);
      break;
    case EditMode::Move:
      movePress(button);
      break;
    case EditMode::Del:
      deletePress();
      break;
    case EditMode::Adjust:
      return adjustPress();
  }
  return std::nullopt;
}

bool PolygonEditor::leave() {
  if (draggedVertex_ != nullptr) return false;
  hoveredVertex_ = nullptr;
  return true;
}

bool PolygonEditor::escape() {
  if (editing_.editMode != EditMode::Add || constructionState_ != 1) return false;
  endConstruction();
  return true;
}

// A vertex at the press position, taking the border row or column the pointer is snapped to.
Sommet* PolygonEditor::createSnappedVertex(double row, double column) {
  const bool snappedU = editing_.snapU != kNoSnap;
  const bool snappedV = editing_.snapV != kNoSnap;
  return polygons_.createVertex(snappedU ? editing_.snapU : row, snappedV ? editing_.snapV : column,
                                snappedU, snappedV);
}

// Left presses start or extend the polygon under construction (a hovered vertex is shared, and
// clicking the first one closes the polygon); another button ends the construction. Each press
// that changes something is one undo step.
void PolygonEditor::addPress(Qt::MouseButton button, int row, int column) {
  if (constructionState_ == 0) {
    if (button != Qt::LeftButton) return;
    host_.beginPolygonEdit();
    Sommet* vertex = hoveredVertex_ != nullptr ? hoveredVertex_ : createSnappedVertex(row, column);
    polygons_.appendPolygon().sommets.push_back(vertex);
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
QString PolygonEditor::extendConstruction(int row, int column) {
  Polygone& polygon = polygons_.back();
  Sommet* vertex = hoveredVertex_ != nullptr ? hoveredVertex_ : createSnappedVertex(row, column);
  polygon.sommets.push_back(vertex);
  lastVertex_ = vertex;
  if (!polygon.isClosed()) return QStringLiteral("ajout du sommet");
  constructionState_ = 0;
  lastVertex_ = nullptr;
  return QStringLiteral("fermeture du polygone");
}

// The polygon under construction stays in the list as drawn.
void PolygonEditor::endConstruction() {
  host_.beginPolygonEdit();
  constructionState_ = 0;
  lastVertex_ = nullptr;
  host_.endPolygonEdit(QStringLiteral("fin du polygone"), {});
}

void PolygonEditor::movePress(Qt::MouseButton button) {
  if (constructionState_ != 0 || button != Qt::LeftButton || hoveredVertex_ == nullptr) return;
  host_.beginPolygonEdit();
  draggedVertex_ = hoveredVertex_;
  hoveredVertex_ = nullptr;
  constructionState_ = 1;
}

void PolygonEditor::deletePress() {
  if (hoveredVertex_ == nullptr) return;
  host_.beginPolygonEdit();
  if (lastVertex_ == hoveredVertex_) lastVertex_ = nullptr;
  VertexStore released;
  released.push_back(polygons_.deleteVertex(hoveredVertex_));
  hoveredVertex_ = nullptr;
  host_.endPolygonEdit(QStringLiteral("suppression du sommet"), std::move(released));
}

std::optional<QString> PolygonEditor::adjustPress() {
  if (hoveredVertex_ == nullptr) return std::nullopt;
  adjustPicks_.at(static_cast<std::size_t>(adjustPickCount_)) = hoveredVertex_;
  ++adjustPickCount_;
  hoveredVertex_ = nullptr;
  if (adjustPickCount_ < static_cast<int>(adjustPicks_.size())) return std::nullopt;
  host_.beginPolygonEdit();
  std::optional<QString> failure = runAdjustment();
  forgetAdjustPicks();
  host_.endPolygonEdit(QStringLiteral("ajustement du sommet"), {});
  return failure;
}

// Moves the second pick, along the line from the first, onto the line through the last two. A
// meeting point that cannot be computed, or that would throw the vertex far off the image where
// it could never be picked again, is refused.
std::optional<QString> PolygonEditor::runAdjustment() {
  const std::optional<Point2> meeting =
      sideIntersection(pickPoint(adjustPicks_[0]), pickPoint(adjustPicks_[1]),
                       pickPoint(adjustPicks_[2]), pickPoint(adjustPicks_[3]), width_, height_);
  if (!meeting) {
    return QStringLiteral(
        "Ajustement impossible : les droites choisies ne permettent pas "
        "de calculer l'intersection (division par zéro).");
  }
  adjustPicks_[1]->V = meeting->v;
  adjustPicks_[1]->U = meeting->u;
  return std::nullopt;
}

void PolygonEditor::addPolygon(std::span<const Point2> corners, const QString& what) {
  host_.beginPolygonEdit();
  constructionState_ = 0;
  lastVertex_ = nullptr;
  std::vector<Sommet*> vertices;
  for (const Point2& corner : corners) {
    editing_.snapU = kNoSnap;
    editing_.snapV = kNoSnap;
    hoverTest(corner.u, corner.v);
    if (hoveredVertex_ == nullptr) snapToBorders(corner.u, corner.v);
    Sommet* vertex =
        hoveredVertex_ != nullptr ? hoveredVertex_ : createSnappedVertex(corner.u, corner.v);
    if (vertices.empty() || vertices.back() != vertex) vertices.push_back(vertex);
  }
  hoveredVertex_ = nullptr;
  editing_.snapU = kNoSnap;
  editing_.snapV = kNoSnap;
  vertices.push_back(vertices.front());
  polygons_.appendPolygon().sommets = std::move(vertices);
  host_.endPolygonEdit(what, {});
}

// Any button ends a drag; the vertex lands on the border the pointer is snapped to.
bool PolygonEditor::release() {
  if (editing_.editMode != EditMode::Move || constructionState_ != 1) return false;
  if (editing_.snapU != kNoSnap) draggedVertex_->U = editing_.snapU;
  if (editing_.snapV != kNoSnap) draggedVertex_->V = editing_.snapV;
  endDrag();
  return true;
}

// The whole drag, from press to release, is one undo step.
void PolygonEditor::endDrag() {
  if (draggedVertex_ == nullptr) return;
  draggedVertex_ = nullptr;
  constructionState_ = 0;
  host_.endPolygonEdit(QStringLiteral("déplacement du sommet"), {});
}

}  // namespace plk
