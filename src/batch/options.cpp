#include "batch/options.h"

#include <algorithm>
#include <optional>

namespace plk::batch {

namespace {

// Reads the options one by one; values come from "--name=value" or the next argument.
class ArgumentReader {
 public:
  explicit ArgumentReader(const QStringList& arguments) : arguments_(arguments) {}

  [[nodiscard]] bool done() const { return next_ >= arguments_.size(); }
  QString take() { return arguments_[next_++]; }
  // The value of an option whose name has just been taken.
  std::optional<QString> value(const std::optional<QString>& inline_) {
    if (inline_) return inline_;
    if (done()) return std::nullopt;
    return take();
  }

 private:
  const QStringList& arguments_;
  qsizetype next_ = 0;
};

// "--name=value" gives ("name", "value"); "--name" gives ("name", nothing).
std::pair<QString, std::optional<QString>> splitOption(const QString& argument) {
  const QString body = argument.mid(2);
  const qsizetype equals = body.indexOf(QLatin1Char('='));
  if (equals < 0) return {body, std::nullopt};
  return {body.left(equals), body.mid(equals + 1)};
}

UsageError missingValue(const QString& name) {
  return {"option --" + name.toStdString() + " needs a value"};
}

const Stage* stageNamed(std::string_view name) {
  for (const Stage& stage : chainStages()) {
    if (stage.name == name) return &stage;
  }
  return nullptr;
}

const StageOption* findOption(const std::string& name) {
  for (const Stage& stage : chainStages()) {
    for (const StageOption& option : stage.options) {
      if (option.name == name) return &option;
    }
  }
  return nullptr;
}

// A comma list of stage names, each known, none repeated, in the chain's order.
std::variant<std::vector<const Stage*>, UsageError> parseSteps(const QString& list) {
  std::vector<const Stage*> steps;
  for (const QString& word : list.split(QLatin1Char(','))) {
    const Stage* stage = stageNamed(word.trimmed().toStdString());
    if (stage == nullptr) return UsageError{"unknown stage in --steps: " + word.toStdString()};
    if (!steps.empty() && stage <= steps.back()) {
      return UsageError{"--steps must list stages once each, in the chain's order"};
    }
    steps.push_back(stage);
  }
  return steps;
}

std::vector<const Stage*> defaultStages() {
  std::vector<const Stage*> steps;
  for (const Stage& stage : chainStages()) {
    if (stage.byDefault) steps.push_back(&stage);
  }
  return steps;
}

// A choice among radio items must be one of its words.
std::optional<UsageError> checkWord(const StageOption& option, const std::string& value) {
  const auto& words = option.words;
  if (words.empty() || std::find(words.begin(), words.end(), value) != words.end()) {
    return std::nullopt;
  }
  std::string list;
  for (std::size_t i = 0; i < words.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + std::string(words[i]);
  }
  return UsageError{"--" + std::string(option.name) + " takes " + list};
}

Command parseScore(ArgumentReader& reader) {
  ScoreOptions options;
  QStringList positional;
  while (!reader.done()) {
    const QString argument = reader.take();
    if (!argument.startsWith(QStringLiteral("--"))) {
      positional << argument;
      continue;
    }
    const auto [name, inlineValue] = splitOption(argument);
    if (name == QStringLiteral("json")) {
      options.json = true;
    } else if (name == QStringLiteral("gt-scale") || name == QStringLiteral("mask")) {
      const std::optional<QString> value = reader.value(inlineValue);
      if (!value) return missingValue(name);
      if (name == QStringLiteral("mask")) {
        options.maskPath = *value;
        continue;
      }
      bool read = false;
      options.truthScale = value->toDouble(&read);
      if (!read || !(options.truthScale > 0.0)) {
        return UsageError{"--gt-scale takes a positive number"};
      }
    } else {
      return UsageError{"unknown option for score: " + argument.toStdString()};
    }
  }
  if (positional.size() != 2) return UsageError{"score takes a map and a ground truth"};
  options.mapPath = positional[0];
  options.truthPath = positional[1];
  return options;
}

// Options of the chain itself; false when the name is none of them.
std::optional<std::variant<bool, UsageError>> takeChainOption(const QString& name,
                                                              const std::optional<QString>& value,
                                                              ArgumentReader& reader,
                                                              ChainOptions& options) {
  if (name == QStringLiteral("pfm")) return options.outputs.pfm = true;
  if (name == QStringLiteral("kitti")) return options.outputs.kitti = true;
  const bool takesValue = name == QStringLiteral("out") || name == QStringLiteral("report") ||
                          name == QStringLiteral("steps") || name == QStringLiteral("save") ||
                          name == QStringLiteral("summary");
  if (!takesValue) return std::nullopt;
  const std::optional<QString> text = reader.value(value);
  if (!text) return missingValue(name);
  if (name == QStringLiteral("out")) {
    options.outputs.folder = *text;
  } else if (name == QStringLiteral("report")) {
    options.reportPath = *text;
  } else if (name == QStringLiteral("save")) {
    options.saveProjectPath = *text;
  } else if (name == QStringLiteral("summary")) {
    options.outputs.summaryPath = *text;
  } else {
    auto steps = parseSteps(*text);
    if (auto* error = std::get_if<UsageError>(&steps)) return *error;
    options.steps = std::get<std::vector<const Stage*>>(steps);
  }
  return true;
}

Command parseChain(ArgumentReader& reader) {
  ChainOptions options;
  options.steps = defaultStages();
  while (!reader.done()) {
    const QString argument = reader.take();
    if (!argument.startsWith(QStringLiteral("--"))) {
      if (!options.projectPath.isEmpty()) return UsageError{"only one project file is taken"};
      options.projectPath = argument;
      continue;
    }
    const auto [name, inlineValue] = splitOption(argument);
    if (name == QStringLiteral("help")) return HelpRequest{};
    if (auto taken = takeChainOption(name, inlineValue, reader, options)) {
      if (auto* error = std::get_if<UsageError>(&*taken)) return *error;
      continue;
    }
    const StageOption* option = findOption(name.toStdString());
    if (option == nullptr) return UsageError{"unknown option: " + argument.toStdString()};
    const std::optional<QString> value = reader.value(inlineValue);
    if (!value) return missingValue(name);
    if (auto error = checkWord(*option, value->toStdString())) return *error;
    options.texts[name.toStdString()] = value->toStdString();
  }
  if (options.projectPath.isEmpty()) return UsageError{"no project file given (see --help)"};
  return options;
}

}  // namespace

Command parseArguments(const QStringList& arguments) {
  if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
    return HelpRequest{};
  }
  ArgumentReader reader(arguments);
  if (!reader.done() && arguments.front() == QStringLiteral("score")) {
    reader.take();
    return parseScore(reader);
  }
  return parseChain(reader);
}

std::string helpText() {
  std::string text =
      "Usage: plk-batch PROJECT.plk [options]\n"
      "       plk-batch score MAP GT [--gt-scale S] [--mask FILE] [--json]\n"
      "\n"
      "Runs the PLK chain on a saved project, with the defaults of the program's dialogs,\n"
      "and writes the disparity maps. Field values are checked as the dialogs check them.\n"
      "\n"
      "Chain options:\n"
      "  --steps LIST          stages to run, comma-separated, in the chain's order:\n"
      "                        ";
  for (const Stage& stage : chainStages()) {
    text += std::string(stage.name) + (&stage == &chainStages().back() ? "" : ",");
  }
  text += " (default: all but optimise)\n";
  for (const Stage& stage : chainStages()) {
    for (const StageOption& option : stage.options) {
      std::string flag = "  --" + std::string(option.name) + " " + std::string(option.placeholder);
      // A flag too long for the column gets a line of its own.
      flag = flag.size() < 23 ? flag + std::string(24 - flag.size(), ' ')
                              : flag + "\n" + std::string(24, ' ');
      text += flag + std::string(option.help) + "\n";
    }
  }
  text +=
      "  --out DIR             folder of the output files (default: the current folder)\n"
      "  --pfm                 also write disparites.pfm (grey PFM, little-endian, rows bottom\n"
      "                        to top, infinity where there is no disparity)\n"
      "  --kitti               also write disparites.png (16-bit PNG of round(256 d), 0 where\n"
      "                        there is no disparity)\n"
      "                        --pfm and --kitti also write occlusions_fines.bmp, white where\n"
      "                        a fine sample of a left polygon found no disparity; --pfm\n"
      "                        also writes incertitude.pfm, the uncertainty of each disparity\n"
      "                        in pixels (the photometric plane's standard deviation, or for a\n"
      "                        homography the larger of that and the difference between the\n"
      "                        two), infinity where there is none or no photometric plane\n"
      "  --summary FILE.json   write, per left polygon, the estimate used, its verdict\n"
      "                        (fiable, à vérifier, rejeté), reason and quality figures\n"
      "  --report FILE         also write the report to FILE (ISO-8859-1, CR LF)\n"
      "  --save FILE.plk       write the project, with the optimised vertices, to FILE.plk\n"
      "\n"
      "The report goes to standard output; progress goes to standard error when it is a\n"
      "terminal. The outputs are carte.bmp, carte1.bmp, carte1gris.bmp, carte1occ.bmp and\n"
      "disparites.txt.\n"
      "\n"
      "Score options (MAP: disparites.txt, .pfm or KITTI .png; GT: PGM/PNG or PFM):\n"
      "  --gt-scale S          ground-truth levels are disparity x S (default 1; 0 = unknown)\n"
      "  --mask FILE           pixels to score: an 8-bit image (non-zero = scored) or an\n"
      "                        occlusion picture of PLK (white pixels left out)\n"
      "  --json                machine-readable output\n"
      "Scores are taken over the pixels known in both maps: coverage, mean absolute error,\n"
      "RMS error and the rates of pixels whose error exceeds 0.5, 1 and 2 px.\n"
      "\n"
      "Exit status: 0 done, every unlocked polygon with a disparity from a reliable\n"
      "estimate; 2 bad arguments or field value; 3 a project, map or output file cannot be\n"
      "read or written; 4 the maps were written but some unlocked polygon has no disparity\n"
      "or an estimate not called reliable (named on standard error).\n";
  return text;
}

}  // namespace plk::batch
