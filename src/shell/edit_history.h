#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "shell/undo_commands.h"

class QUndoStack;

namespace plk {

// The project whose polygon edits the history records: it captures its state, puts a captured
// state back (EditTarget) and ends the gestures under way.
class EditedProject : public EditTarget {
 public:
  // Nothing when no project is open.
  [[nodiscard]] virtual std::optional<EditSnapshot> captureEdit() const = 0;
  // A drag under way becomes its own step first, so that undo never acts under a held vertex.
  virtual void finishGestures() = 0;
};

// The undo history of the open project's polygons: each gesture, run or menu command that
// changes them is one step, from the state captured when it began to the state when it ended.
class EditHistory {
 public:
  explicit EditHistory(EditedProject& project);
  ~EditHistory();
  EditHistory(const EditHistory&) = delete;
  EditHistory& operator=(const EditHistory&) = delete;

  [[nodiscard]] QUndoStack& undoStack() const { return *stack_; }
  // Brackets a change: the step goes from the state at begin() to the state at record(), and
  // nothing is recorded when they are the same.
  void begin();
  void record(const QString& what, VertexStore released, ResultsEffect effect);
  // End the gestures under way, then undo or redo the last step.
  void undo();
  void redo();
  // Forgets every step and the change under way.
  void clear();
  // The project now matches its file; isSaved() until the next step, undo or redo.
  void markSaved();
  [[nodiscard]] bool isSaved() const;

 private:
  EditedProject& project_;
  std::unique_ptr<QUndoStack> stack_;
  std::optional<EditSnapshot> pending_;  // the state before the change under way
};

}  // namespace plk
