#include "views/image.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "core/fonctions/geometry.h"
#include "core/verdict.h"
#include "io/image_io.h"
#include "ui/placement.h"
#include "views/image_units.h"

namespace plk {

namespace {

using image_units::floorDiv;
using image_units::kNoSnap;

constexpr int kGlyphSize = 24;
constexpr int kCrossArm = 6;
constexpr int kPlusArm = 3;
constexpr double kDiscardedScore = -100.0;
constexpr int kNumberPixelSize = 14;
// Buffer pixels around a point that a cross or a polygon's number drawn there may cover.
constexpr double kMarkReach = 64.0;
// Room left on the screen for the right window, opened 20 pixels right of and below the left.
constexpr int kCascadeRoom = 40;
// Frame assumed before the window system reports one (title bar and borders).
const QSize kTypicalFrame(16, 40);

// Distinguishable outline colours, none of them a point, match or inlier colour; yellow first.
const std::array<QColor, 10> kPairPalette = {
    QColor(255, 255, 0),   QColor(0, 255, 255),   QColor(255, 0, 255),  QColor(255, 140, 0),
    QColor(128, 255, 0),   QColor(255, 128, 192), QColor(80, 160, 255), QColor(255, 255, 255),
    QColor(170, 110, 255), QColor(0, 200, 150)};
const QColor kPointColour(255, 0, 0);
const QColor kMatchColour(0, 0, 255);
const QColor kInlierColour(0, 128, 0);

// Buffer coordinates handed to the painter stay within this distance of the view's corner: far
// beyond any view, and well inside int and the painter's fixed-point range.
constexpr double kFarLimit = 1 << 22;

// Rounds half to even, clamped to the far limit (a NaN goes to its lower end): a vertex may lie
// millions of pixels away, whose buffer coordinate an int conversion could not hold.
int roundHalfEven(double value) {
  if (!(value > -kFarLimit)) return static_cast<int>(-kFarLimit);
  if (!(value < kFarLimit)) return static_cast<int>(kFarLimit);
  return static_cast<int>(std::nearbyint(value));
}

bool withinFarLimit(QPointF p) {
  return std::abs(p.x()) <= kFarLimit && std::abs(p.y()) <= kFarLimit;
}

// The part of segment a-b inside the square of the far limit (Liang-Barsky), or nothing. Cutting
// a segment instead of clamping its ends keeps its direction over the view.
std::optional<QLineF> clipToFarLimit(QPointF a, QPointF b) {
  const QPointF step = b - a;
  if (!std::isfinite(step.x()) || !std::isfinite(step.y())) return std::nullopt;
  double enter = 0.0;
  double leave = 1.0;
  // Keeps the parameters t where p t <= q.
  const auto keep = [&enter, &leave](double p, double q) {
    if (p == 0.0) return q >= 0.0;
    const double t = q / p;
    if (p < 0.0) {
      enter = std::max(enter, t);
    } else {
      leave = std::min(leave, t);
    }
    return enter <= leave;
  };
  if (!keep(-step.x(), a.x() + kFarLimit) || !keep(step.x(), kFarLimit - a.x()) ||
      !keep(-step.y(), a.y() + kFarLimit) || !keep(step.y(), kFarLimit - a.y())) {
    return std::nullopt;
  }
  return QLineF(enter == 0.0 ? a : a + enter * step, leave == 1.0 ? b : a + leave * step);
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

QPen thinPen(const QColor& colour, Qt::PenStyle style = Qt::SolidLine) {
  QPen pen(colour);
  pen.setWidth(1);
  pen.setStyle(style);
  return pen;
}

// Behind the outline of a polygon whose estimate is to be checked (orange) or rejected (red), a
// wide band of that colour; none for a reliable one or before the estimation.
std::optional<QPen> verdictBand(const ToolResults& results, std::size_t k) {
  if (!results.homographiesEstimated) return std::nullopt;
  const auto choice = static_cast<HomographyChoice>(results.verdictEstimate);
  const std::optional<PolygonVerdict> verdict = judgePolygon(results, k, choice, NumberFormat{});
  if (!verdict || verdict->verdict == Verdict::Reliable) return std::nullopt;
  QPen pen(verdict->verdict == Verdict::Rejected ? QColor(230, 0, 0) : QColor(255, 150, 0));
  pen.setWidth(5);
  return pen;
}

// Mean of the distinct corners of a closed polygon, as (column, row).
QPointF cornerMean(const Polygone& polygon) {
  QPointF sum;
  const std::size_t corners = polygon.sommets.size() - 1;
  for (std::size_t i = 0; i < corners; ++i)
    sum += QPointF(polygon.sommets[i]->V, polygon.sommets[i]->U);
  return sum / static_cast<double>(corners);
}

}  // namespace

QColor pairColour(std::size_t k) { return kPairPalette.at(k % kPairPalette.size()); }

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
  // Ctrl+wheel zooms around the pointer; the plain wheel scrolls the view.
  void wheelEvent(QWheelEvent* event) override {
    if (!event->modifiers().testFlag(Qt::ControlModifier)) {
      event->ignore();
      return;
    }
    const QPoint p = event->position().toPoint();
    owner_.PaintBoxWheel(event->angleDelta().y(), p.x(), p.y());
    event->accept();
  }
  void leaveEvent(QEvent*) override { owner_.PaintBoxLeave(); }

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
      viewBuffer_(1, 1, QImage::Format_RGB32),
      editor_(side.polygons, editing, host) {
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
  showMode();
  show();
}

TFImage::~TFImage() = default;

bool TFImage::loadImage(const QString& path, const QString& sideName, const QString& fileName) {
  std::optional<io::DecodedImage> loaded = io::loadImageFile(path);
  if (!loaded) return false;
  std::optional<io::GreyPicture> grey = io::greyPicture(*loaded);
  imageBitmap_ = std::move(loaded->image);
  storedDepth_ = loaded->storedBitsPerPixel;
  displayImage_ = imageBitmap_.convertToFormat(QImage::Format_RGB32);
  editor_.setImageSize(displayImage_.width(), displayImage_.height());
  conversion_.reset();
  if (grey) {
    side_.image = std::move(grey->image);
    conversion_ = grey->conversion;
  }
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

// The window takes the image's size, but never more than the screen can show with its frame;
// the surface takes the image's size.
void TFImage::fitWindowToImage() {
  const QSize imageSize = displayImage_.size();
  paintBox_->resize(imageSize);
  resize(imageSize.boundedTo(largestWindowSize()));
}

// The screen's available area less the room the cascade of the two image windows needs and
// twice the window frame (the centring places the frame by the client area's centre); the frame
// is assumed typical until the window system reports it.
QSize TFImage::largestWindowSize() const {
  QSize frame = frameGeometry().size() - size();
  if (frame.isEmpty()) frame = kTypicalFrame;
  return screen()->availableGeometry().size() - 2 * frame - QSize(kCascadeRoom, kCascadeRoom);
}

void TFImage::setCaptionForZoom() {
  QString caption = captionBase_ + QStringLiteral(" [%1:1]").arg(zoom_);
  if (editing_.editMode == EditMode::Adjust) {
    caption += QStringLiteral(" - Ajustement (sommet %1/4)").arg(editor_.adjustPickCount() + 1);
  }
  setWindowTitle(caption);
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
  fitBufferToView(area.size());
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

// The buffer covers the whole visible part of the view, whatever its size.
void TFImage::fitBufferToView(const QSize& view) {
  const QSize wanted = view.expandedTo(QSize(1, 1));
  if (viewBuffer_.size() != wanted) viewBuffer_ = QImage(wanted, QImage::Format_RGB32);
}

// Enlarges the visible image pixels into the buffer by block replication: buffer pixel (x, y)
// shows the image pixel under surface point (hpos + x, vpos + y). The rest is black.
void TFImage::copyVisibleImage(const QRect& area) {
  const int bufferWidth = viewBuffer_.width();
  const int bufferHeight = viewBuffer_.height();
  const int coverWidth =
      std::clamp(std::min(zoom_ * imageWidth() - area.left(), area.width()), 0, bufferWidth);
  const int coverHeight =
      std::clamp(std::min(zoom_ * imageHeight() - area.top(), area.height()), 0, bufferHeight);
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
    std::fill(line + coverWidth, line + bufferWidth, qRgb(0, 0, 0));
  }
  for (int y = coverHeight; y < bufferHeight; ++y) {
    auto* line = reinterpret_cast<QRgb*>(viewBuffer_.scanLine(y));
    std::fill_n(line, bufferWidth, qRgb(0, 0, 0));
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

QPointF TFImage::bufferPoint(double row, double column) const {
  return {zoom_ * column - hpos(), zoom_ * row - vpos()};
}

// Rounded in doubles: a far point must not pass through an int.
bool TFImage::inVisibleRange(double row, double column) const {
  const double r = std::nearbyint(row);
  const double c = std::nearbyint(column);
  return c >= col0_ && c <= colMax_ && r >= row0_ && r <= rowMax_;
}

// An outline point in the buffer; a point on the image's last column or row boundary (x equal
// to the image width, y to its height) is drawn one pixel in.
QPoint TFImage::outlinePoint(QPointF p) const {
  int x = roundHalfEven(p.x());
  int y = roundHalfEven(p.y());
  if (x == imageWidth()) x = imageWidth() - 1;
  if (y == imageHeight()) y = imageHeight() - 1;
  return {x, y};
}

// The open polyline through the vertices' buffer points. When a vertex lies beyond the far
// limit, each segment is cut to it and drawn on its own.
void TFImage::drawOutline(QPainter& painter, const Polygone& polygon) const {
  std::vector<QPointF> points;
  points.reserve(polygon.sommets.size());
  for (const Sommet* vertex : polygon.sommets) points.push_back(bufferPoint(vertex->U, vertex->V));
  if (std::all_of(points.begin(), points.end(), withinFarLimit)) {
    QPolygon outline;
    for (const QPointF& p : points) outline << outlinePoint(p);
    painter.drawPolyline(outline);
    return;
  }
  for (std::size_t i = 1; i < points.size(); ++i) {
    if (const std::optional<QLineF> piece = clipToFarLimit(points[i - 1], points[i])) {
      painter.drawLine(outlinePoint(piece->p1()), outlinePoint(piece->p2()));
    }
  }
}

// Outlines as open polylines (a closed polygon repeats its first vertex), dashed when locked, in
// the colour of the polygon's pair over the band of its verdict, with a cross with a free centre on
// every vertex in the visible range and the polygon's number inside a closed one.
void TFImage::drawPolygons(QPainter& painter) {
  for (std::size_t k = 0; k < side_.polygons.size(); ++k) {
    const Polygone& polygon = side_.polygons[k];
    if (!meetsView(polygon)) continue;
    const QColor colour = pairColour(k);
    if (const std::optional<QPen> band = verdictBand(results_, k)) {
      painter.setPen(*band);
      drawOutline(painter, polygon);
    }
    painter.setPen(thinPen(colour, polygon.locked ? Qt::DashLine : Qt::SolidLine));
    drawOutline(painter, polygon);
    painter.setPen(thinPen(colour));
    for (const Sommet* vertex : polygon.sommets) {
      if (inVisibleRange(vertex->U, vertex->V)) {
        drawCross(painter, bufferX(vertex->V), bufferY(vertex->U));
      }
    }
    if (polygon.isClosed() && polygon.sommets.size() > 1) drawPolygonNumber(painter, polygon, k);
  }
}

// Whether anything drawn for the polygon can reach the buffer: its vertices' box, widened by the
// largest mark drawn around a point of it (a cross, the polygon's number), meets the buffer. Only
// the polygons near the view cost a redraw, however many the image has.
bool TFImage::meetsView(const Polygone& polygon) const {
  if (polygon.sommets.empty()) return false;
  double minU = std::numeric_limits<double>::infinity();
  double minV = minU;
  double maxU = -minU;
  double maxV = -minU;
  for (const Sommet* vertex : polygon.sommets) {
    minU = std::min(minU, vertex->U);
    maxU = std::max(maxU, vertex->U);
    minV = std::min(minV, vertex->V);
    maxV = std::max(maxV, vertex->V);
  }
  const QPointF low = bufferPoint(minU, minV);
  const QPointF high = bufferPoint(maxU, maxV);
  return high.x() >= -kMarkReach && low.x() <= viewBuffer_.width() + kMarkReach &&
         high.y() >= -kMarkReach && low.y() <= viewBuffer_.height() + kMarkReach;
}

// The number k + 1 centred on the mean of the corners, outlined in black so that it reads on
// any grey.
void TFImage::drawPolygonNumber(QPainter& painter, const Polygone& polygon, std::size_t k) {
  const QImage& label = numberLabel(k);
  const QPointF centre = cornerMean(polygon);
  const QPoint at(bufferX(centre.x()), bufferY(centre.y()));
  const QSize box = label.size() - QSize(2, 2);
  painter.drawImage(at - QPoint(box.width() / 2, box.height() / 2) - QPoint(1, 1), label);
}

// The picture of number k + 1 in its colour with its outline, made the first time it is shown:
// laying out the text five times per polygon at every redraw would cost most of the redraw of a
// view showing a thousand polygons. The text's box lies one pixel inside the picture, room for
// the outline.
const QImage& TFImage::numberLabel(std::size_t k) {
  if (const QImage* label = numberLabels_.object(k)) return *label;
  QFont font;
  font.setPixelSize(kNumberPixelSize);
  font.setBold(true);
  const QString number = QString::number(k + 1);
  const QFontMetrics metrics(font);
  const QRect box(QPoint(1, 1), QSize(metrics.horizontalAdvance(number) + 2, metrics.height() + 2));
  auto* label = new QImage(box.size() + QSize(2, 2), QImage::Format_ARGB32_Premultiplied);
  label->fill(Qt::transparent);
  {
    QPainter painter(label);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (const QPoint shift : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)}) {
      painter.drawText(box.translated(shift), Qt::AlignCenter, number);
    }
    painter.setPen(pairColour(k));
    painter.drawText(box, Qt::AlignCenter, number);
  }
  numberLabels_.insert(k, label, label->sizeInBytes());
  return *numberLabels_.object(k);
}

void TFImage::drawRubberBand(QPainter& painter) {
  if (editing_.editMode != EditMode::Add || editor_.constructionState() != 1) return;
  painter.setPen(thinPen(pairColour(side_.polygons.size() - 1)));
  const int row = floorDiv(editing_.pointerY, zoom_);
  const int column = floorDiv(editing_.pointerX, zoom_);
  const QPointF from = bufferPoint(editor_.lastVertex()->U, editor_.lastVertex()->V);
  if (const std::optional<QLineF> band = clipToFarLimit(from, bufferPoint(row, column))) {
    painter.drawLine(roundHalfEven(band->x1()), roundHalfEven(band->y1()),
                     roundHalfEven(band->x2()), roundHalfEven(band->y2()));
  }
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
      const double row = std::nearbyint(leftPoint ? point.leftU : point.u);
      const double column = std::nearbyint(leftPoint ? point.leftV : point.v);
      if (inVisibleRange(row, column)) drawPlus(painter, bufferX(column), bufferY(row));
    }
  }
}

void TFImage::drawSelectedGlyph() {
  if (!pointerInside_) return;
  const bool snappedU = editing_.snapU != kNoSnap;
  const bool snappedV = editing_.snapV != kNoSnap;
  if (editor_.hoveredVertex() != nullptr) {
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

}  // namespace plk
