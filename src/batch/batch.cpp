#include "batch/batch.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <variant>

#include "batch/console.h"
#include "batch/options.h"
#include "batch/score_command.h"
#include "io/io_error.h"
#include "io/locale.h"
#include "io/project_file.h"
#include "io/project_opening.h"
#include "io/text_file.h"

namespace plk::batch {

namespace {

// Notes that are not part of the tools' report, such as an image's conversion to 8-bit grey.
class ErrorLines final : public ReportSink {
 public:
  explicit ErrorLines(std::ostream& err) : err_(err) {}
  void appendLine(std::string_view utf8) override { err_ << utf8 << '\n'; }

 private:
  std::ostream& err_;
};

void writeReportFile(const QString& path, const ConsoleReport& report) {
  QStringList lines;
  for (const std::string& line : report.lines()) lines << QString::fromStdString(line);
  io::writeTextFile(path, lines);
}

// Writes the project with its polygons as they now are; the image paths become absolute, so
// that the file may live in another folder than the project read.
void saveProject(const ChainOptions& options, const Project& project) {
  io::ProjectFileData data;
  data.projectName = project.projectName;
  const auto absoluteImage = [&](const std::string& written) {
    const QString found =
        io::resolveImagePath(QString::fromStdString(written), options.projectPath);
    return QFileInfo(found).absoluteFilePath().toStdString();
  };
  data.leftImagePath = absoluteImage(project.leftImagePath);
  data.rightImagePath = absoluteImage(project.rightImagePath);
  data.left = project.left.polygons.describe();
  data.right = project.right.polygons.describe();
  io::writeProjectFile(options.saveProjectPath, data, io::systemNumberFormat());
}

// Only the optimisation reads the gradient matrices.
io::GradientMatrices gradientsFor(const ChainOptions& options) {
  const bool optimises = std::any_of(options.steps.begin(), options.steps.end(),
                                     [](const Stage* stage) { return stage->name == "optimise"; });
  return optimises ? io::GradientMatrices::Computed : io::GradientMatrices::Omitted;
}

int runStages(const ChainOptions& options, Project& project, std::ostream& out, std::ostream& err,
              bool showProgress) {
  ConsoleReport report(out);
  ConsoleProgress progress(err, showProgress);
  MapCheck mapCheck;
  StageContext context{project, options.texts, options.outputs,
                       report,  progress,      io::systemNumberFormat(),
                       err,     mapCheck};
  for (const Stage* stage : options.steps) {
    if (const std::optional<FieldError> refused = stage->check(context)) {
      err << refused->message << '\n';
      return kBadArguments;
    }
  }
  for (const Stage* stage : options.steps) {
    progress.startStage(std::string(stage->title));
    const std::optional<FieldError> refused = stage->run(context);
    progress.finishStage();
    if (refused) {
      err << refused->message << '\n';
      return kBadArguments;
    }
  }
  if (!options.reportPath.isEmpty()) writeReportFile(options.reportPath, report);
  if (!options.saveProjectPath.isEmpty()) saveProject(options, project);
  if (mapCheck.mapWritten && !mapCheck.doubtful.empty()) {
    err << "Polygones sans disparité ou sans estimation fiable :\n";
    for (const std::string& line : mapCheck.doubtful) err << "  " << line << '\n';
    return kDoubtfulPolygons;
  }
  return kDone;
}

int runChain(const ChainOptions& options, std::ostream& out, std::ostream& err, bool showProgress) {
  if (!QFileInfo(options.projectPath).isFile()) {
    err << "Impossible de lire le projet " << options.projectPath.toStdString() << '\n';
    return kUnreadableOrUnwritable;
  }
  ErrorLines conversions(err);
  auto opened = io::openProjectFile(options.projectPath, conversions, gradientsFor(options));
  if (const auto* message = std::get_if<std::string>(&opened)) {
    err << *message << '\n';
    return kUnreadableOrUnwritable;
  }
  if (!QDir().mkpath(options.outputs.folder)) {
    err << "Impossible de créer le dossier " << options.outputs.folder.toStdString() << '\n';
    return kUnreadableOrUnwritable;
  }
  try {
    return runStages(options, *std::get<std::unique_ptr<Project>>(opened), out, err, showProgress);
  } catch (const io::IoError& error) {
    err << error.what() << '\n';
    return kUnreadableOrUnwritable;
  }
}

}  // namespace

int runBatch(const QStringList& arguments, std::ostream& out, std::ostream& err,
             bool showProgress) {
  const Command command = parseArguments(arguments);
  if (std::holds_alternative<HelpRequest>(command)) {
    out << helpText();
    return kDone;
  }
  if (const auto* usage = std::get_if<UsageError>(&command)) {
    err << "plk-batch: " << usage->message << '\n';
    return kBadArguments;
  }
  if (const auto* score = std::get_if<ScoreOptions>(&command)) return runScore(*score, out, err);
  return runChain(std::get<ChainOptions>(command), out, err, showProgress);
}

}  // namespace plk::batch
