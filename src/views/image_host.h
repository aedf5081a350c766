#pragma once

namespace plk {

// What an image window asks of the main window.
class ImageWindowHost {
 public:
  virtual ~ImageWindowHost() = default;
  // Rewrites the listing of every polygon of both images.
  virtual void listPolygons() = 0;
  // Shows "(u,v) = (row,column)" in the pointer label.
  virtual void showPointerPosition(int row, int column) = 0;
};

}  // namespace plk
