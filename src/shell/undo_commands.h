#pragma once

#include <QUndoCommand>

#include "core/polygon_list.h"
#include "views/image.h"

namespace plk {

// Everything an undo step puts back: the polygons of both images, with vertex identities, and
// the polygon each image window was drawing.
struct EditSnapshot {
  PolygonListState left;
  PolygonListState right;
  ConstructionState leftConstruction;
  ConstructionState rightConstruction;

  friend bool operator==(const EditSnapshot&, const EditSnapshot&) = default;
};

// What the tool results lose when an edit is done, undone or redone.
enum class ResultsEffect {
  Kept,             // the mouse gestures and the lock buttons leave the results as they are
  PointsForgotten,  // reinitialising the left vertices: stage flags off, interest points gone
};

// The main window, which applies a snapshot to the open project and its windows.
class EditTarget {
 public:
  virtual ~EditTarget() = default;
  // Makes the project as in `snapshot`; vertices it does not list go to `spare`, those it lists
  // come from the lists or from `spare`.
  virtual void applySnapshot(const EditSnapshot& snapshot, VertexStore& spare,
                             ResultsEffect effect) = 0;
};

// One undoable change of the polygons, held as the states before and after it. The change is
// already made when the command is pushed, so its first redo does nothing. The command keeps
// the vertices that are not listed in the current state, so that an undone deletion brings
// back the very object every polygon referred to.
class PolygonEditCommand final : public QUndoCommand {
 public:
  PolygonEditCommand(const QString& text, EditTarget& target, EditSnapshot before,
                     EditSnapshot after, VertexStore released, ResultsEffect effect);

  void undo() override;
  void redo() override;

 private:
  EditTarget& target_;
  EditSnapshot before_;
  EditSnapshot after_;
  VertexStore spare_;
  ResultsEffect effect_;
  bool applied_ = true;
};

}  // namespace plk
