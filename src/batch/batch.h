#pragma once

#include <QStringList>
#include <ostream>

namespace plk::batch {

// Exit statuses of plk-batch.
enum ExitStatus : int {
  kDone = 0,
  kBadArguments = 2,
  kUnreadableOrUnwritable = 3,
  kDoubtfulPolygons = 4,  // maps written, but some polygon has no disparity or reliable estimate
};

// The whole program on the arguments after its name: the report or the scores go to `out`,
// messages and progress (when `showProgress`) to `err`. Gives the exit status.
[[nodiscard]] int runBatch(const QStringList& arguments, std::ostream& out, std::ostream& err,
                           bool showProgress);

}  // namespace plk::batch
