#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <variant>
#include <vector>

#include "batch/stages.h"

namespace plk::batch {

// plk-batch PROJECT.plk [options]
struct ChainOptions {
  QString projectPath;
  std::vector<const Stage*> steps;  // in the chain's order
  OptionTexts texts;                // the stages' fields
  OutputOptions outputs;
  QString reportPath;       // empty: no report file
  QString saveProjectPath;  // empty: the project is not written back
};

// plk-batch score MAP GT [--gt-scale S] [--mask FILE] [--json]
struct ScoreOptions {
  QString mapPath;
  QString truthPath;
  QString maskPath;
  double truthScale = 1.0;
  bool json = false;
};

struct HelpRequest {};

// A command line that cannot be used; the message is for standard error.
struct UsageError {
  std::string message;
};

using Command = std::variant<ChainOptions, ScoreOptions, HelpRequest, UsageError>;

// The arguments after the program's name. Options take their value as the next argument or
// after "=" ("--factor 2", "--factor=2").
[[nodiscard]] Command parseArguments(const QStringList& arguments);

// The text of --help.
[[nodiscard]] std::string helpText();

}  // namespace plk::batch
