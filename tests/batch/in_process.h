#pragma once

#include <QStringList>
#include <sstream>
#include <string>

#include "batch/batch.h"

namespace plk::batch::test {

// What a run of the program printed, and its exit status.
struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the program in-process, without progress.
inline Outcome run(const QStringList& arguments) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = runBatch(arguments, out, err, false);
  return {status, out.str(), err.str()};
}

}  // namespace plk::batch::test
