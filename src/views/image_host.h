#pragma once

#include <QString>

#include "core/editing.h"
#include "core/polygone.h"

namespace plk {

enum class ImageSideKind;

// What an image window asks of the main window.
class ImageWindowHost {
 public:
  virtual ~ImageWindowHost() = default;
  // Rewrites the listing of every polygon of both images.
  virtual void listPolygons() = 0;
  // Shows "(u,v) = (row,column)" in the pointer label.
  virtual void showPointerPosition(int row, int column) = 0;
  // Chooses the editing mode of both windows, as its speed button does.
  virtual void chooseEditMode(EditMode mode) = 0;
  // Copies the next polygon of the `from` image without a partner to the other image.
  virtual void copyPolygon(ImageSideKind from) = 0;
  // Bracket a change of the polygons made by one gesture: the change becomes one undo step named
  // `what` (nothing is recorded when nothing changed). `released` holds the vertices the gesture
  // took out of the list, kept alive for the undo.
  virtual void beginPolygonEdit() = 0;
  virtual void endPolygonEdit(const QString& what, VertexStore released) = 0;
};

}  // namespace plk
