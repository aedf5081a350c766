#include "shell/edit_history.h"

#include <QUndoStack>

namespace plk {

EditHistory::EditHistory(EditedProject& project)
    : project_(project), stack_(std::make_unique<QUndoStack>()) {}

// The steps hold vertices of the project: they go before it.
EditHistory::~EditHistory() { stack_->clear(); }

void EditHistory::begin() { pending_ = project_.captureEdit(); }

void EditHistory::record(const QString& what, VertexStore released, ResultsEffect effect) {
  if (!pending_) return;
  EditSnapshot before = std::move(*pending_);
  pending_.reset();
  std::optional<EditSnapshot> after = project_.captureEdit();
  if (!after || *after == before) return;
  stack_->push(new PolygonEditCommand(what, project_, std::move(before), std::move(*after),
                                      std::move(released), effect));
}

void EditHistory::undo() {
  project_.finishGestures();
  stack_->undo();
}

void EditHistory::redo() {
  project_.finishGestures();
  stack_->redo();
}

void EditHistory::clear() {
  stack_->clear();
  pending_.reset();
}

void EditHistory::markSaved() { stack_->setClean(); }

bool EditHistory::isSaved() const { return stack_->isClean(); }

}  // namespace plk
