#include "views/disparity_map.h"

#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <utility>

#include "core/fonctions/geometry.h"
#include "core/verdict.h"
#include "ui/prompts.h"
#include "ui/tool_host.h"

namespace plk {

namespace {

const QString kWindowName = QStringLiteral("Cartedesdisparites");
const QString kNoMapMessage =
    QStringLiteral("Aucune carte des disparités n'a encore été calculée pour ce projet.");

constexpr int kMargin = 8;
constexpr int kScaleBand = 96;  // right of the map: the colour bar and its labels
constexpr int kBarWidth = 16;
constexpr int kScaleTicks = 5;
constexpr int kSwatchHeight = 12;
const QColor kNoDisparityColour(128, 128, 128);

// The colour scale from the smallest disparity (dark blue) through green to the largest
// (yellow); grey, outside it, marks the pixels without disparity.
constexpr std::array<QRgb, 5> kRamp{qRgb(48, 18, 120), qRgb(33, 100, 190), qRgb(30, 170, 140),
                                    qRgb(120, 210, 60), qRgb(250, 230, 40)};

int mix(int a, int b, double f) { return static_cast<int>(std::lround(a + (b - a) * f)); }

// The colour at t in [0, 1] along the scale, linear between its stops.
QRgb rampColour(double t) {
  const double position = std::clamp(t, 0.0, 1.0) * static_cast<double>(kRamp.size() - 1);
  const auto stop = std::min(static_cast<std::size_t>(position), kRamp.size() - 2);
  const double f = position - static_cast<double>(stop);
  const QRgb a = kRamp[stop];
  const QRgb b = kRamp[stop + 1];
  return qRgb(mix(qRed(a), qRed(b), f), mix(qGreen(a), qGreen(b), f), mix(qBlue(a), qBlue(b), f));
}

QColor verdictColour(const std::optional<PolygonVerdict>& verdict) {
  if (!verdict) return Qt::white;
  switch (verdict->verdict) {
    case Verdict::Reliable:
      return {0, 200, 0};
    case Verdict::ToCheck:
      return {255, 150, 0};
    case Verdict::Rejected:
      break;
  }
  return {230, 0, 0};
}

std::optional<PolygonVerdict> verdictOf(const ToolResults& results, std::size_t k,
                                        NumberFormat format) {
  if (!results.homographiesEstimated) return std::nullopt;
  return judgePolygon(results, k, static_cast<HomographyChoice>(results.verdictEstimate), format);
}

QString pixelsText(double value, NumberFormat format) {
  return QString::fromStdString(formatFixed(value, 1, 2, format)) + QStringLiteral(" px");
}

// Position of pixel (row, column) in a row-major map of the given width.
std::size_t pixelIndex(int row, int column, int width) {
  return static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
         static_cast<std::size_t>(column);
}

// The smallest and largest of the finite values, nothing when there is none.
std::optional<std::pair<double, double>> finiteRange(const std::vector<double>& values) {
  std::optional<std::pair<double, double>> range;
  for (const double d : values) {
    if (!std::isfinite(d)) continue;
    if (!range) range.emplace(d, d);
    range->first = std::min(range->first, d);
    range->second = std::max(range->second, d);
  }
  return range;
}

DisparityMapWindow* windowOf(QWidget& owner) {
  return dynamic_cast<DisparityMapWindow*>(
      owner.findChild<QWidget*>(kWindowName, Qt::FindDirectChildrenOnly));
}

}  // namespace

// Where the map and its scale are painted; it follows the pointer.
class DisparityMapWindow::Surface final : public QWidget {
 public:
  explicit Surface(DisparityMapWindow& window) : QWidget(&window), window_(window) {
    setObjectName(QStringLiteral("Surface"));
    setMouseTracking(true);
    setMinimumSize(240, 160);
  }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    window_.takeUpMap();
    QPainter painter(this);
    window_.paintSurface(painter);
  }
  void mouseMoveEvent(QMouseEvent* event) override { window_.pointerMoved(event->position()); }
  void leaveEvent(QEvent* /*event*/) override { window_.pointer_->clear(); }

 private:
  DisparityMapWindow& window_;
};

DisparityMapWindow::DisparityMapWindow(ToolHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), host_(host) {
  setObjectName(kWindowName);
  setWindowTitle(QStringLiteral("Carte des disparités"));
  surface_ = new Surface(*this);
  pointer_ = new QLabel(this);
  pointer_->setObjectName(QStringLiteral("LabelPixel"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(surface_, 1);
  layout->addWidget(pointer_);
  resize(720, 520);
}

DisparityMapWindow::~DisparityMapWindow() = default;

QWidget& DisparityMapWindow::surface() const { return *surface_; }

QString DisparityMapWindow::pointerText() const { return pointer_->text(); }

void DisparityMapWindow::refresh() {
  takeUpMap();
  surface_->update();
}

void DisparityMapWindow::takeUpMap() {
  const Project* project = host_.project();
  const std::shared_ptr<const std::vector<double>> map =
      project != nullptr ? project->results.disparityMap : nullptr;
  if (map == nullptr) {
    shown_.reset();
    picture_ = QImage();
  } else if (map != shown_.lock()) {
    rebuild(map);
  }
}

// The picture of the map and the range of its disparities.
void DisparityMapWindow::rebuild(const std::shared_ptr<const std::vector<double>>& map) {
  shown_ = map;
  const Project& project = *host_.project();
  const int width = project.imageWidth;
  const int height = project.imageHeight;
  picture_ = QImage();
  if (map->size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) return;
  const std::optional<std::pair<double, double>> range = finiteRange(*map);
  anyDisparity_ = range.has_value();
  lowest_ = range ? range->first : 0.0;
  highest_ = range ? range->second : 0.0;
  const double span = highest_ - lowest_;
  picture_ = QImage(width, height, QImage::Format_RGB32);
  for (int r = 0; r < height; ++r) {
    auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(r));
    for (int c = 0; c < width; ++c) {
      const double d = (*map)[pixelIndex(r, c, width)];
      line[c] = !std::isfinite(d) ? kNoDisparityColour.rgb()
                                  : rampColour(span > 0.0 ? (d - lowest_) / span : 0.5);
    }
  }
}

const std::vector<double>* DisparityMapWindow::currentMap() const {
  const Project* project = host_.project();
  if (project == nullptr || picture_.isNull()) return nullptr;
  const std::vector<double>* map = project->results.disparityMap.get();
  return map == shown_.lock().get() ? map : nullptr;
}

// The map fitted, proportions kept, into the surface left of the scale band.
QRectF DisparityMapWindow::mapRect() const {
  const QRectF area(kMargin, kMargin, surface_->width() - kScaleBand - 2 * kMargin,
                    surface_->height() - 2 * kMargin);
  if (picture_.isNull() || area.width() <= 0 || area.height() <= 0) return {};
  const double scale = std::min(area.width() / picture_.width(), area.height() / picture_.height());
  return {area.topLeft(), QSizeF(picture_.width() * scale, picture_.height() * scale)};
}

QPointF DisparityMapWindow::surfacePoint(double row, double column) const {
  const QRectF map = mapRect();
  if (map.isEmpty()) return map.topLeft();
  const double scale = map.width() / picture_.width();
  return map.topLeft() + QPointF(column * scale, row * scale);
}

QString DisparityMapWindow::pixelText(int row, int column) const {
  const std::vector<double>* map = currentMap();
  if (map == nullptr || row < 0 || column < 0 || row >= picture_.height() ||
      column >= picture_.width()) {
    return {};
  }
  const NumberFormat format = host_.numberFormat();
  const double d = (*map)[pixelIndex(row, column, picture_.width())];
  QString text = QStringLiteral("Ligne %1, colonne %2 : ").arg(row).arg(column);
  text += std::isfinite(d) ? QStringLiteral("disparité ") + pixelsText(d, format)
                           : QStringLiteral("aucune disparité");
  const Project& project = *host_.project();
  const std::int32_t k = findPolygon(project.left.polygons, row, column);
  if (k < 0) return text;
  text += QStringLiteral(" ; polygone %1").arg(k + 1);
  const auto verdict = verdictOf(project.results, static_cast<std::size_t>(k), format);
  if (!verdict) return text;
  text +=
      QStringLiteral(" : ") + QString::fromStdString(std::string(verdictName(verdict->verdict)));
  if (!verdict->reason.empty()) {
    text += QStringLiteral(" (") + QString::fromStdString(verdict->reason) + QLatin1Char(')');
  }
  return text;
}

void DisparityMapWindow::pointerMoved(QPointF position) {
  takeUpMap();
  const QRectF map = mapRect();
  if (map.isEmpty() || !map.contains(position)) {
    pointer_->clear();
    return;
  }
  const double scale = map.width() / picture_.width();
  const auto column = static_cast<int>(std::floor((position.x() - map.left()) / scale));
  const auto row = static_cast<int>(std::floor((position.y() - map.top()) / scale));
  pointer_->setText(pixelText(row, column));
}

void DisparityMapWindow::paintSurface(QPainter& painter) const {
  const QRectF map = mapRect();
  if (map.isEmpty()) {
    painter.drawText(surface_->rect(), Qt::AlignCenter, kNoMapMessage);
    return;
  }
  painter.drawImage(map, picture_);
  paintPolygons(painter);
  paintScale(painter);
}

// Each left polygon in the colour of its verdict (white without one), over a dark border that
// keeps it visible on every colour of the scale.
void DisparityMapWindow::paintPolygons(QPainter& painter) const {
  const Project* project = host_.project();
  if (project == nullptr) return;
  painter.setRenderHint(QPainter::Antialiasing);
  const PolygonList& polygons = project->left.polygons;
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    QPolygonF outline;
    for (const Sommet* vertex : polygons[k].sommets) outline << surfacePoint(vertex->U, vertex->V);
    painter.setPen(QPen(Qt::black, 4));
    painter.drawPolyline(outline);
    painter.setPen(QPen(verdictColour(verdictOf(project->results, k, NumberFormat{})), 2));
    painter.drawPolyline(outline);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
}

// The colour bar from the largest disparity (top) to the smallest, labelled in pixels, and the
// grey of the pixels without disparity below it.
void DisparityMapWindow::paintScale(QPainter& painter) const {
  const double left = surface_->width() - kScaleBand + kMargin;
  const double top = kMargin;
  const double height = std::max(surface_->height() - 3.0 * kMargin - 2 * kSwatchHeight, 1.0);
  const QRectF swatch(left, top + height + kMargin, kBarWidth, kSwatchHeight);
  painter.setPen(Qt::black);
  painter.fillRect(swatch, kNoDisparityColour);
  painter.drawText(QPointF(left + kBarWidth + 4, swatch.bottom()), QStringLiteral("aucune"));
  if (!anyDisparity_) return;
  const QRectF bar(left, top, kBarWidth, height);
  QLinearGradient gradient(bar.bottomLeft(), bar.topLeft());
  for (std::size_t i = 0; i < kRamp.size(); ++i) {
    gradient.setColorAt(static_cast<double>(i) / static_cast<double>(kRamp.size() - 1),
                        QColor(kRamp[i]));
  }
  painter.fillRect(bar, gradient);
  const NumberFormat format = host_.numberFormat();
  // A map of one value has one label, at the middle where its colour is.
  const int ticks = highest_ > lowest_ ? kScaleTicks : 1;
  for (int i = 0; i < ticks; ++i) {
    const double f = ticks == 1 ? 0.5 : static_cast<double>(i) / (ticks - 1);
    const double y = bar.top() + f * bar.height();
    painter.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 4, y));
    const double value = highest_ - f * (highest_ - lowest_);
    painter.drawText(QPointF(bar.right() + 6, y + 4), pixelsText(value, format));
  }
}

void showDisparityMap(ToolHost& host, Prompts& prompts, QWidget& owner) {
  const Project* project = host.project();
  if (project == nullptr || project->results.disparityMap == nullptr) {
    prompts.showError(&owner, kNoMapMessage);
    return;
  }
  DisparityMapWindow* window = windowOf(owner);
  if (window == nullptr) window = new DisparityMapWindow(host, &owner);
  window->refresh();
  window->show();
  window->raise();
  window->activateWindow();
}

void refreshDisparityMap(QWidget& owner) {
  if (DisparityMapWindow* window = windowOf(owner)) window->refresh();
}

}  // namespace plk
