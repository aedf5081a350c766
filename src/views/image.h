#pragma once

#include <QCache>
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <optional>

#include "core/editing.h"
#include "core/project.h"
#include "io/image_io.h"
#include "views/polygon_editor.h"

class QKeyEvent;
class QPainter;
class QScrollArea;

namespace plk {

class ImageWindowHost;
class PaintBox;
class Prompts;

// Room kept for the pictures of polygon numbers: those of a few thousand polygons.
inline constexpr qsizetype kNumberLabelBytes = 8 << 20;

// Which image of the pair a window shows; only the left window draws interest points.
enum class ImageSideKind { Left, Right };

// Outline colour of polygon k (from 0): a polygon and its partner at the same position in the
// other image share it, and neighbouring positions differ.
[[nodiscard]] QColor pairColour(std::size_t k);

// The window of one image: shows it at zoom 1..10 with its polygons, points and matches, and
// hands the pointer and the keys to its editing tools (`editor()`). It is a view of the
// project's ImageSide.
class TFImage : public QWidget {
 public:
  TFImage(ImageSide& side, ImageSideKind kind, EditingState& editing, const ToolResults& results,
          ImageWindowHost& host, Prompts& prompts, QWidget* parent = nullptr);
  ~TFImage() override;

  // Loads the file for display and into the side's GreyImage; false when it cannot be read.
  bool loadImage(const QString& path, const QString& sideName, const QString& fileName);
  [[nodiscard]] int imageDepth() const;  // bits per pixel of the loaded file
  // How the grey image the tools read was made; nothing when the file's depth is refused.
  [[nodiscard]] std::optional<io::GreyConversion> greyConversion() const { return conversion_; }
  [[nodiscard]] int imageWidth() const;
  [[nodiscard]] int imageHeight() const;

  void setZoom(int newZoom, int x, int y);
  void zoomIn(int x, int y);
  void zoomOut(int x, int y);
  [[nodiscard]] int zoom() const;
  [[nodiscard]] int hpos() const;
  [[nodiscard]] int vpos() const;

  void renderView();
  void showView();
  [[nodiscard]] const QImage& viewBuffer() const;
  [[nodiscard]] QWidget* paintBox() const;  // the drawing surface receiving mouse events

  [[nodiscard]] const PolygonEditor& editor() const { return editor_; }
  // Adds a closed polygon through `corners` as clicks there would, as one undo step.
  void addPolygon(std::span<const Point2> corners, const QString& what);
  // Abandons a polygon under construction and forgets Adjust picks.
  void resetConstruction();
  [[nodiscard]] ConstructionState construction() const { return editor_.construction(); }
  // After an undo or redo: resumes the construction it had (only where Add or Arrow keeps one),
  // and forgets hover, drag and Adjust picks, which may name vertices no longer listed.
  void restoreConstruction(const ConstructionState& state);
  // Follows a change of the editing mode: cursor, caption and the speed of the Adjust picks.
  void showMode();
  // Ends a drag in progress, if any, leaving the vertex where it is and showing the pointer.
  void endDrag();
  void drawGlyph(int glyph);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  friend class PaintBox;

  // Mouse handlers of the drawing surface; (x, y) are surface pixels.
  void PaintBoxMouseMove(int x, int y);
  void PaintBoxMouseDown(Qt::MouseButton button, bool shift, int x, int y);
  void PaintBoxMouseUp(Qt::MouseButton button, int x, int y);
  void PaintBoxPaint(const QRect& area);
  void PaintBoxWheel(int steps, int x, int y);
  void PaintBoxLeave();

  void fitWindowToImage();
  void setCaptionForZoom();
  [[nodiscard]] QSize largestWindowSize() const;
  void fitBufferToView(const QSize& view);
  [[nodiscard]] QRect visibleArea() const;
  void copyVisibleImage(const QRect& area);
  void enlargeRow(const QRgb* source, int left, int width, QRgb* line) const;
  void drawPolygons(QPainter& painter);
  void drawPolygonNumber(QPainter& painter, const Polygone& polygon, std::size_t k);
  [[nodiscard]] const QImage& numberLabel(std::size_t k);
  void drawRubberBand(QPainter& painter);
  void drawPoints(QPainter& painter);
  void drawPluses(QPainter& painter, const std::vector<InterestPointList>& lists, bool leftPoint);
  void drawSelectedGlyph();
  [[nodiscard]] int bufferX(double column) const;
  [[nodiscard]] int bufferY(double row) const;
  [[nodiscard]] QPointF bufferPoint(double row, double column) const;
  [[nodiscard]] QPoint outlinePoint(QPointF p) const;
  void drawOutline(QPainter& painter, const Polygone& polygon) const;
  [[nodiscard]] bool meetsView(const Polygone& polygon) const;
  [[nodiscard]] bool inVisibleRange(double row, double column) const;

  void showCursor();
  void redrawView();

  ImageSide& side_;
  const ImageSideKind kind_;
  EditingState& editing_;
  const ToolResults& results_;
  ImageWindowHost& host_;
  Prompts& prompts_;

  QScrollArea* scrollArea_ = nullptr;
  PaintBox* paintBox_ = nullptr;
  QImage viewBuffer_;
  QImage imageBitmap_;   // the file as loaded
  int storedDepth_ = 0;  // bits per pixel stored in the file (not the expanded image's)
  std::optional<io::GreyConversion> conversion_;
  QImage displayImage_;  // the same in RGB32, the source of every redraw
  std::array<QImage, 4> glyphs_;
  QCache<std::size_t, QImage> numberLabels_{kNumberLabelBytes};  // by polygon position
  bool imageLoaded_ = false;
  bool pointerInside_ = false;  // the glyph shows only while the pointer is over the surface
  int wheelRemainder_ = 0;      // wheel angle not yet turned into a zoom step
  QString captionBase_;
  int zoom_ = 1;

  // Surface area and zoom of the last redraw, and its visible image range (bounds included).
  QRect renderedArea_;
  int renderedZoom_ = 0;
  int col0_ = 0;
  int row0_ = 0;
  int colMax_ = 0;
  int rowMax_ = 0;

  PolygonEditor editor_;
};

}  // namespace plk
