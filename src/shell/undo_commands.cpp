#include "shell/undo_commands.h"

#include <utility>

namespace plk {

PolygonEditCommand::PolygonEditCommand(const QString& text, EditTarget& target, EditSnapshot before,
                                       EditSnapshot after, VertexStore released,
                                       ResultsEffect effect)
    : QUndoCommand(text),
      target_(target),
      before_(std::move(before)),
      after_(std::move(after)),
      spare_(std::move(released)),
      effect_(effect) {}

void PolygonEditCommand::undo() {
  target_.applySnapshot(before_, spare_, effect_);
  applied_ = false;
}

void PolygonEditCommand::redo() {
  if (applied_) return;
  target_.applySnapshot(after_, spare_, effect_);
  applied_ = true;
}

}  // namespace plk
