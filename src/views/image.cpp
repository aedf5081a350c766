#include "views/image.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "core/fonctions/geometry.h"
#include "io/image_io.h"
#include "ui/placement.h"
#include "ui/prompts.h"
#include "views/image_host.h"

namespace plk {

namespace {

constexpr int kBufferSize = 1024;
constexpr int kGlyphSize = 24;
constexpr int kHoverReach = 4;   // image pixels, strict
constexpr int kBorderReach = 4;  // columns or rows snapped to each border
constexpr int kCrossArm = 6;
constexpr int kPlusArm = 3;
constexpr double kNoSnap = -1.0;
constexpr double kDiscardedScore = -100.0;

const QColor kPolygonColour(255, 255, 0);
const QColor kPointColour(255, 0, 0);
const QColor kMatchColour(0, 0, 255);
const QColor kInlierColour(0, 128, 0);

int floorDiv(int value, int divisor) {
  return static_cast<int>(std::floor(static_cast<double>(value) / divisor));
}

int roundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

Vector3 homogeneousPoint(const Sommet& vertex) { return {vertex.V, vertex.U, 1.0}; }

// The point where the line through a0, a1 meets the line through b0, b1, as (column, row);
// nothing when a division by a zero third component would be needed.
std::optional<Vector3> sideIntersection(const Sommet& a0, const Sommet& a1, const Sommet& b0,
                                        const Sommet& b1) {
  Vector3 first = crossProduct3(homogeneousPoint(a0), homogeneousPoint(a1));
  Vector3 second = crossProduct3(homogeneousPoint(b0), homogeneousPoint(b1));
  if (!normalizeHomogeneous(first) || !normalizeHomogeneous(second)) return std::nullopt;
  Vector3 meeting = crossProduct3(first, second);
  if (!normalizeHomogeneous(meeting)) return std::nullopt;
  return meeting;
}

void drawCross(QPainter& painter, int x, int y) {
  painter.drawLine(x - kCrossArm, y, x - 1, y);
  painter.drawLine(x + 1, y, x + kCrossArm, y);
  painter.drawLine(x, y - kCrossArm, x, y - 1);
  painter.drawLine(x, y + 1, x, y + kCrossArm);
}

void drawPlus(QPainter& painter, int x, int y) {
  painter.drawLine(x - kPlusArm, y, x + kPlusArm, y);
  painter.drawLine(x, y - kPlusArm, x, y + kPlusArm);
}

QPen thinPen(const QColor& colour) {
  QPen pen(colour);
  pen.setWidth(1);
  return pen;
}

}  // namespace

// The zoomed drawing surface: forwards its mouse and paint events to the window.
class PaintBox final : public QWidget {
 public:
  explicit PaintBox(TFImage& owner) : owner_(owner) { setMouseTracking(true); }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override {
    const QPoint p = event->position().toPoint();
    owner_.PaintBoxMouseMove(p.x(), p.y());
  }
  void mousePressEvent(QMouseEvent* event) override {
    const QPoint p = event->position().toPoint();
    owner_.PaintBoxMouseDown(event->button(), event->modifiers().testFlag(Qt::ShiftModifier), p.x(),
                             p.y());
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const QPoint p = event->position().toPoint();
    owner_.PaintBoxMouseUp(event->button(), p.x(), p.y());
  }
  void paintEvent(QPaintEvent* event) override { owner_.PaintBoxPaint(event->rect()); }

 private:
  TFImage& owner_;
};

TFImage::TFImage(ImageSide& side, ImageSideKind kind, EditingState& editing,
                 const ToolResults& results, ImageWindowHost& host, Prompts& prompts,
                 QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      side_(side),
      kind_(kind),
      editing_(editing),
      results_(results),
      host_(host),
      prompts_(prompts),
      viewBuffer_(kBufferSize, kBufferSize, QImage::Format_RGB32) {
  viewBuffer_.fill(Qt::black);
  for (int i = 0; i < static_cast<int>(glyphs_.size()); ++i) {
    glyphs_[static_cast<std::size_t>(i)] = QImage(QStringLiteral(":/glyphs/glyph%1.png").arg(i));
  }
  scrollArea_ = new QScrollArea(this);
  scrollArea_->setFrameShape(QFrame::NoFrame);
  paintBox_ = new PaintBox(*this);
  scrollArea_->setWidget(paintBox_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scrollArea_);
  show();
}

TFImage::~TFImage() = default;

bool TFImage::loadImage(const QString& path, const QString& sideName, const QString& fileName) {
  std::optional<QImage> loaded = io::loadImageFile(path);
  if (!loaded) return false;
  imageBitmap_ = std::move(*loaded);
  // An 8-bit image may be the toolkit's expansion of a 1- or 4-bit file.
  storedDepth_ = imageBitmap_.depth() == 8 ? io::storedBitsPerPixel(path) : imageBitmap_.depth();
  displayImage_ = imageBitmap_.convertToFormat(QImage::Format_RGB32);
  if (storedDepth_ == 8) side_.image = io::toGreyImage(imageBitmap_);
  fitWindowToImage();
  centreOnScreen(*this);
  captionBase_ = QStringLiteral("Image ") + sideName + QStringLiteral(": ") + fileName;
  setCaptionForZoom();
  imageLoaded_ = true;
  renderView();
  showView();
  return true;
}

int TFImage::imageDepth() const { return storedDepth_; }
int TFImage::imageWidth() const { return displayImage_.width(); }
int TFImage::imageHeight() const { return displayImage_.height(); }

// The window takes the image's size (at most the desktop's), the surface the image's size.
void TFImage::fitWindowToImage() {
  const QSize imageSize = displayImage_.size();
  paintBox_->resize(imageSize);
  const QSize desktop = screen()->availableGeometry().size();
  resize(imageSize.boundedTo(desktop));
}

void TFImage::setCaptionForZoom() {
  setWindowTitle(captionBase_ + QStringLiteral(" [%1:1]").arg(zoom_));
}

// Keeps the image point under surface position (x, y) at the same place on the screen.
void TFImage::setZoom(int newZoom, int x, int y) {
  if (newZoom < 1 || newZoom > 10) return;
  const double factor = static_cast<double>(newZoom) / zoom_;
  const int newVpos = std::max(0, vpos() + roundHalfEven((factor - 1.0) * y));
  const int newHpos = std::max(0, hpos() + roundHalfEven((factor - 1.0) * x));
  zoom_ = newZoom;
  setCaptionForZoom();
  if (zoom_ == 1) {
    fitWindowToImage();
  } else {
    paintBox_->resize(displayImage_.size() * zoom_);
    scrollArea_->horizontalScrollBar()->setValue(newHpos);
    scrollArea_->verticalScrollBar()->setValue(newVpos);
  }
  renderView();
  showView();
}

void TFImage::zoomIn(int x, int y) {
  if (zoom_ < 10) setZoom(zoom_ + 1, x, y);
}

void TFImage::zoomOut(int x, int y) {
  if (zoom_ > 1) setZoom(zoom_ - 1, x, y);
}

int TFImage::zoom() const { return zoom_; }
int TFImage::hpos() const { return scrollArea_->horizontalScrollBar()->value(); }
int TFImage::vpos() const { return scrollArea_->verticalScrollBar()->value(); }

QRect TFImage::visibleArea() const {
  return {QPoint(hpos(), vpos()), scrollArea_->viewport()->size()};
}

void TFImage::renderView() {
  if (!imageLoaded_) return;
  const QRect area = visibleArea();
  renderedArea_ = area;
  renderedZoom_ = zoom_;
  col0_ = area.left() / zoom_;
  row0_ = area.top() / zoom_;
  colMax_ = col0_ + area.width() / zoom_ + 1;
  rowMax_ = row0_ + area.height() / zoom_ + 1;
  copyVisibleImage(area);
  {
    QPainter painter(&viewBuffer_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawPolygons(painter);
    drawRubberBand(painter);
    drawPoints(painter);
  }
  drawSelectedGlyph();
}

// Enlarges the visible image pixels into the buffer by block replication: buffer pixel (x, y)
// shows the image pixel under surface point (hpos + x, vpos + y). The rest is black.
void TFImage::copyVisibleImage(const QRect& area) {
  const int coverWidth =
      std::clamp(std::min(zoom_ * imageWidth() - area.left(), area.width()), 0, kBufferSize);
  const int coverHeight =
      std::clamp(std::min(zoom_ * imageHeight() - area.top(), area.height()), 0, kBufferSize);
  int previousRow = -1;
  for (int y = 0; y < coverHeight; ++y) {
    auto* line = reinterpret_cast<QRgb*>(viewBuffer_.scanLine(y));
    const int imageRow = (area.top() + y) / zoom_;
    if (imageRow == previousRow) {
      std::copy_n(reinterpret_cast<const QRgb*>(viewBuffer_.constScanLine(y - 1)), coverWidth,
                  line);
    } else {
      enlargeRow(reinterpret_cast<const QRgb*>(displayImage_.constScanLine(imageRow)), area.left(),
                 coverWidth, line);
      previousRow = imageRow;
    }
    std::fill(line + coverWidth, line + kBufferSize, qRgb(0, 0, 0));
  }
  for (int y = coverHeight; y < kBufferSize; ++y) {
    auto* line = reinterpret_cast<QRgb*>(viewBuffer_.scanLine(y));
    std::fill_n(line, kBufferSize, qRgb(0, 0, 0));
  }
}

// Fills `width` buffer pixels from surface column `left` on, each image pixel of the row
// becoming `zoom` pixels.
void TFImage::enlargeRow(const QRgb* source, int left, int width, QRgb* line) const {
  if (zoom_ == 1) {
    std::copy_n(source + left, width, line);
    return;
  }
  int column = left / zoom_;
  int run = zoom_ - left % zoom_;
  for (int x = 0; x < width; x += run, ++column, run = zoom_) {
    std::fill_n(line + x, std::min(run, width - x), source[column]);
  }
}

int TFImage::bufferX(double column) const { return roundHalfEven(zoom_ * column - hpos()); }
int TFImage::bufferY(double row) const { return roundHalfEven(zoom_ * row - vpos()); }

bool TFImage::inVisibleRange(double row, double column) const {
  const int r = roundHalfEven(row);
  const int c = roundHalfEven(column);
  return c >= col0_ && c <= colMax_ && r >= row0_ && r <= rowMax_;
}

// Outlines as open polylines (a closed polygon repeats its first vertex) and a cross with a
// free centre on every vertex in the visible range.
void TFImage::drawPolygons(QPainter& painter) {
  painter.setPen(thinPen(kPolygonColour));
  for (std::size_t k = 0; k < side_.polygons.size(); ++k) {
    const Polygone& polygon = side_.polygons[k];
    QPolygon outline;
    for (const Sommet* vertex : polygon.sommets) {
      int x = bufferX(vertex->V);
      int y = bufferY(vertex->U);
      if (x == imageWidth()) x = imageWidth() - 1;
      if (y == imageHeight()) y = imageHeight() - 1;
      outline << QPoint(x, y);
    }
    painter.drawPolyline(outline);
    for (const Sommet* vertex : polygon.sommets) {
      if (inVisibleRange(vertex->U, vertex->V)) {
        drawCross(painter, bufferX(vertex->V), bufferY(vertex->U));
      }
    }
  }
}

void TFImage::drawRubberBand(QPainter& painter) {
  if (editing_.editMode != EditMode::Add || constructionState_ != 1) return;
  const int row = floorDiv(editing_.pointerY, zoom_);
  const int column = floorDiv(editing_.pointerX, zoom_);
  painter.drawLine(bufferX(lastVertex_->V), bufferY(lastVertex_->U), bufferX(column), bufferY(row));
}

void TFImage::drawPoints(QPainter& painter) {
  if (results_.pointsDetected && kind_ == ImageSideKind::Left) {
    painter.setPen(thinPen(kPointColour));
    drawPluses(painter, results_.interestPoints, false);
  }
  if (results_.pointsMatched) {
    painter.setPen(thinPen(kMatchColour));
    drawPluses(painter, results_.matches, kind_ == ImageSideKind::Left);
  }
  if (results_.homographiesEstimated) {
    painter.setPen(thinPen(kInlierColour));
    drawPluses(painter, results_.inlierMatches, kind_ == ImageSideKind::Left);
  }
}

// A plus at the rounded position of every point in the visible range; leftPoint picks the
// left-image position of a match instead of its own.
void TFImage::drawPluses(QPainter& painter, const std::vector<InterestPointList>& lists,
                         bool leftPoint) {
  for (const InterestPointList& points : lists) {
    for (const InterestPoint& point : points) {
      if (point.score == kDiscardedScore) continue;
      const int row = roundHalfEven(leftPoint ? point.leftU : point.u);
      const int column = roundHalfEven(leftPoint ? point.leftV : point.v);
      if (inVisibleRange(row, column)) drawPlus(painter, bufferX(column), bufferY(row));
    }
  }
}

void TFImage::drawSelectedGlyph() {
  const bool snappedU = editing_.snapU != kNoSnap;
  const bool snappedV = editing_.snapV != kNoSnap;
  if (hoveredVertex_ != nullptr) {
    drawGlyph(0);
  } else if (snappedU && snappedV) {
    drawGlyph(3);
  } else if (snappedU) {
    drawGlyph(1);
  } else if (snappedV) {
    drawGlyph(2);
  }
}

// The glyph sits at the block of the pixel under the pointer, moved left or up by its size in
// the right or lower half of the surface so that it stays inside the image.
void TFImage::drawGlyph(int glyph) {
  int x = bufferX(floorDiv(editing_.pointerX, zoom_));
  int y = bufferY(floorDiv(editing_.pointerY, zoom_));
  if (2 * editing_.pointerX > paintBox_->width()) x -= kGlyphSize;
  if (2 * editing_.pointerY > paintBox_->height()) y -= kGlyphSize;
  QPainter painter(&viewBuffer_);
  painter.drawImage(x, y, glyphs_.at(static_cast<std::size_t>(glyph)));
}

void TFImage::showView() { paintBox_->update(); }

void TFImage::PaintBoxPaint(const QRect& area) {
  if (!imageLoaded_) return;
  if (visibleArea() != renderedArea_ || zoom_ != renderedZoom_) renderView();
  const QPoint origin(hpos(), vpos());
  const QRect source = area.translated(-origin).intersected(viewBuffer_.rect());
  QPainter painter(paintBox_);
  painter.drawImage(source.topLeft() + origin, viewBuffer_, source);
}

const QImage& TFImage::viewBuffer() const { return viewBuffer_; }
QWidget* TFImage::paintBox() const { return paintBox_; }

void TFImage::resetConstruction() {
  endDrag();
  constructionState_ = 0;
  adjustPicks_.fill(nullptr);
  adjustPickCount_ = 0;
}

void TFImage::forgetVertices() {
  resetConstruction();
  lastVertex_ = nullptr;
  hoveredVertex_ = nullptr;
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

// A vertex at the press position, taking the border row or column the pointer is snapped to.
Sommet* TFImage::createSnappedVertex(int row, int column) {
  const bool snappedU = editing_.snapU != kNoSnap;
  const bool snappedV = editing_.snapV != kNoSnap;
  return side_.polygons.createVertex(snappedU ? editing_.snapU : row,
                                     snappedV ? editing_.snapV : column, snappedU, snappedV);
}

// Left presses start or extend the polygon under construction (a hovered vertex is shared, and
// clicking the first one closes the polygon); another button ends the construction.
void TFImage::addPress(Qt::MouseButton button, int row, int column) {
  if (constructionState_ == 0) {
    if (button != Qt::LeftButton) return;
    Sommet* vertex = hoveredVertex_ != nullptr ? hoveredVertex_ : createSnappedVertex(row, column);
    side_.polygons.appendPolygon().sommets.push_back(vertex);
    lastVertex_ = vertex;
    constructionState_ = 1;
    return;
  }
  if (button != Qt::LeftButton) {
    constructionState_ = 0;
    lastVertex_ = nullptr;
    return;
  }
  Polygone& polygon = side_.polygons.back();
  Sommet* vertex = hoveredVertex_ != nullptr ? hoveredVertex_ : createSnappedVertex(row, column);
  polygon.sommets.push_back(vertex);
  lastVertex_ = vertex;
  if (polygon.isClosed()) {
    constructionState_ = 0;
    lastVertex_ = nullptr;
  }
}

void TFImage::movePress(Qt::MouseButton button) {
  if (constructionState_ != 0 || button != Qt::LeftButton || hoveredVertex_ == nullptr) return;
  draggedVertex_ = hoveredVertex_;
  hoveredVertex_ = nullptr;
  paintBox_->setCursor(Qt::BlankCursor);
  constructionState_ = 1;
}

void TFImage::deletePress() {
  if (hoveredVertex_ == nullptr) return;
  if (lastVertex_ == hoveredVertex_) lastVertex_ = nullptr;
  side_.polygons.deleteVertex(hoveredVertex_);
  hoveredVertex_ = nullptr;
}

void TFImage::adjustPress() {
  if (hoveredVertex_ == nullptr) return;
  adjustPicks_.at(static_cast<std::size_t>(adjustPickCount_)) = hoveredVertex_;
  ++adjustPickCount_;
  hoveredVertex_ = nullptr;
  if (adjustPickCount_ == static_cast<int>(adjustPicks_.size())) {
    runAdjustment();
    adjustPicks_.fill(nullptr);
    adjustPickCount_ = 0;
  }
}

// Moves the second pick, along the line from the first, onto the line through the last two.
void TFImage::runAdjustment() {
  const std::optional<Vector3> meeting =
      sideIntersection(*adjustPicks_[0], *adjustPicks_[1], *adjustPicks_[2], *adjustPicks_[3]);
  if (!meeting) {
    prompts_.showError(
        this, QStringLiteral("Ajustement impossible : les droites choisies ne permettent pas "
                             "de calculer l'intersection (division par zéro)."));
    return;
  }
  adjustPicks_[1]->V = (*meeting)[0];
  adjustPicks_[1]->U = (*meeting)[1];
}

// Any button ends a drag; the vertex lands on the border the pointer is snapped to.
void TFImage::PaintBoxMouseUp(Qt::MouseButton, int, int) {
  if (editing_.editMode != EditMode::Move || constructionState_ != 1) return;
  if (editing_.snapU != kNoSnap) draggedVertex_->U = editing_.snapU;
  if (editing_.snapV != kNoSnap) draggedVertex_->V = editing_.snapV;
  endDrag();
}

void TFImage::endDrag() {
  if (draggedVertex_ == nullptr) return;
  draggedVertex_ = nullptr;
  constructionState_ = 0;
  paintBox_->unsetCursor();
}

}  // namespace plk
