#include "io/results_file.h"

#include <QFileInfo>
#include <memory>
#include <variant>

#include "core/freshness.h"
#include "core/results_text.h"
#include "io/file_writer.h"
#include "io/io_error.h"
#include "io/project_file.h"
#include "io/regular_file.h"

namespace plk::io {

namespace {

// A million interest points take about 100 MB of text; anything much larger is no results file.
constexpr qint64 kMaxResultsFileBytes = qint64{1} << 30;

std::string fileName(const QString& path) { return QFileInfo(path).fileName().toStdString(); }

// The polygons of `project` as its project file, written with `format`, reads them back.
std::unique_ptr<Project> rereadPolygons(const Project& project, NumberFormat format) {
  ProjectFileData data;
  data.left = project.left.polygons.describe();
  data.right = project.right.polygons.describe();
  const std::optional<QByteArray> bytes = projectFileBytes(data, format);
  if (!bytes) return nullptr;
  auto reread = std::make_unique<Project>();
  try {
    const ProjectFileData read = parseProjectFile(*bytes, QString());
    reread->left.polygons.rebuild(read.left);
    reread->right.polygons.rebuild(read.right);
  } catch (const IoError&) {
    return nullptr;
  }
  return reread;
}

std::string refusalLine(ResultsRefusal refusal, const QString& path) {
  switch (refusal) {
    case ResultsRefusal::OtherPolygons:
      return "Les résultats enregistrés dans " + fileName(path) +
             " ne correspondent pas aux polygones du projet : ils sont ignorés.";
    case ResultsRefusal::NewerVersion:
      return "Le fichier de résultats " + fileName(path) +
             " vient d'une version plus récente du programme : il est ignoré.";
    case ResultsRefusal::Malformed:
      break;
  }
  return "Le fichier de résultats " + fileName(path) +
         " est illisible ou incomplet : il est ignoré.";
}

}  // namespace

QString resultsFilePath(const QString& projectPath) {
  return projectPath + QStringLiteral(".resultats");
}

std::optional<std::string> writeResultsFile(const QString& projectPath, const Project& project,
                                            NumberFormat format) {
  const QString path = resultsFilePath(projectPath);
  const std::string failure =
      cannotWriteMessage(path) + " : les résultats des outils n'ont pas été enregistrés.";
  const std::unique_ptr<Project> reread = rereadPolygons(project, format);
  if (!reread) return failure;
  const std::string text = resultsText(withFingerprintsOf(project.results, project, *reread),
                                       polygonListsFingerprint(*reread));
  try {
    replaceFile(path, QByteArray::fromStdString(text), failure);
  } catch (const IoError& error) {
    return error.what();
  }
  return std::nullopt;
}

std::optional<std::string> readResultsFile(const QString& projectPath, Project& project) {
  const QString path = resultsFilePath(projectPath);
  if (!QFileInfo::exists(path)) return std::nullopt;
  const std::optional<QByteArray> bytes = readRegularFile(path, kMaxResultsFileBytes);
  if (!bytes) return refusalLine(ResultsRefusal::Malformed, path);
  const std::string_view text(bytes->constData(), static_cast<std::size_t>(bytes->size()));
  auto parsed = parseResultsText(text, polygonListsFingerprint(project));
  if (const auto* refusal = std::get_if<ResultsRefusal>(&parsed)) {
    return refusalLine(*refusal, path);
  }
  project.results = std::move(std::get<ToolResults>(parsed));
  return std::nullopt;
}

}  // namespace plk::io
