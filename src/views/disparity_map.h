#pragma once

#include <QImage>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

class QLabel;

namespace plk {

class Prompts;
class ToolHost;

// The last disparity map computed for the open project, in a window of its own: every pixel in
// the colour of its disparity (grey where it has none) beside a colour scale labelled in
// pixels, the left polygons outlined in the colour of their verdict, and under the map the pixel
// under the pointer with its disparity and its polygon's verdict.
class DisparityMapWindow final : public QWidget {
 public:
  DisparityMapWindow(ToolHost& host, QWidget* parent);
  ~DisparityMapWindow() override;
  DisparityMapWindow(const DisparityMapWindow&) = delete;
  DisparityMapWindow& operator=(const DisparityMapWindow&) = delete;

  // Takes up the project's map when it is not the one shown (a new run, another project, none)
  // and repaints.
  void refresh();
  // The line under the map for pixel (row, column) of the image.
  [[nodiscard]] QString pixelText(int row, int column) const;
  // Where image position (row, column) lies on the map's drawing surface, as drawn.
  [[nodiscard]] QPointF surfacePoint(double row, double column) const;
  [[nodiscard]] QWidget& surface() const;
  [[nodiscard]] QString pointerText() const;

 private:
  class Surface;

  // The picture follows the project's map, without repainting.
  void takeUpMap();
  void rebuild(const std::shared_ptr<const std::vector<double>>& map);
  [[nodiscard]] const std::vector<double>* currentMap() const;
  [[nodiscard]] QRectF mapRect() const;
  void paintSurface(QPainter& painter) const;
  void paintPolygons(QPainter& painter) const;
  void paintScale(QPainter& painter) const;
  void pointerMoved(QPointF position);

  ToolHost& host_;
  std::weak_ptr<const std::vector<double>> shown_;  // the map `picture_` was made from
  QImage picture_;
  double lowest_ = 0.0;  // range of the map's disparities
  double highest_ = 0.0;
  bool anyDisparity_ = false;
  Surface* surface_ = nullptr;
  QLabel* pointer_ = nullptr;
};

// "Affichage > Carte des disparités": the window of `owner`, created on first use, shows the
// open project's last map; without one, the user is told so.
void showDisparityMap(ToolHost& host, Prompts& prompts, QWidget& owner);

// Brings the window of `owner`, if it has one, up to date after a run.
void refreshDisparityMap(QWidget& owner);

}  // namespace plk
