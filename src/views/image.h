#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "core/editing.h"
#include "core/project.h"

class QScrollArea;

namespace plk {

class ImageWindowHost;
class Prompts;

// Which image of the pair a window shows; only the left window draws interest points.
enum class ImageSideKind { Left, Right };

// The window of one image: shows it at zoom 1..10 with its polygons, points and matches, and
// turns mouse events into vertex edits. It is a view of the project's ImageSide.
class TFImage : public QWidget {
 public:
  TFImage(ImageSide& side, ImageSideKind kind, EditingState& editing, const ToolResults& results,
          ImageWindowHost& host, Prompts& prompts, QWidget* parent = nullptr);
  ~TFImage() override;

  // Loads the file for display and into the side's GreyImage; false when it cannot be read.
  bool loadImage(const QString& path, const QString& sideName, const QString& fileName);
  [[nodiscard]] int imageDepth() const;  // bits per pixel of the loaded file
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

  // Abandons a polygon under construction and forgets Adjust picks (constructionState := 0).
  void resetConstruction();
  // After the side's polygons were destroyed: state 0 and no vertex referenced any more.
  void forgetVertices();
  [[nodiscard]] int constructionState() const;
};

}  // namespace plk
