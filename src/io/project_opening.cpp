#include "io/project_opening.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include "core/fonctions/gradient.h"
#include "io/image_io.h"
#include "io/io_error.h"
#include "io/project_file.h"

namespace plk::io {

namespace {

// The grey image of one side, or the message of the check that refused it.
std::variant<GreyPicture, std::string> loadSide(const QString& path, const char* side) {
  std::optional<DecodedImage> decoded = loadImageFile(path);
  if (!decoded) {
    return std::string("Erreur lors du chargement de l'image ") + side +
           " ! Création du projet impossible.";
  }
  std::optional<GreyPicture> grey = greyPicture(*decoded);
  if (!grey) {
    return std::string("L'image ") + side +
           " n'est pas composée de pixels codés sur 8 bits ! Création du projet impossible.";
  }
  return std::move(*grey);
}

void setSide(ImageSide& side, GreyImage image, const PolygonListRecord& polygons,
             GradientMatrices gradients) {
  side.image = std::move(image);
  if (gradients == GradientMatrices::Computed) {
    side.gradientX = computeGradient(side.image, kSobelX);
    side.gradientY = computeGradient(side.image, kSobelY);
  }
  side.polygons.rebuild(polygons);
}

class NoReport final : public ReportSink {
 public:
  void appendLine(std::string_view) override {}
};

}  // namespace

QString resolveImagePath(const QString& imagePath, const QString& projectFile) {
  if (imagePath.isEmpty()) return imagePath;
  const QDir projectFolder = QFileInfo(projectFile).absoluteDir();
  const QFileInfo written(imagePath);
  // A relative path belongs to the project's folder, whatever folder the program runs in: an
  // image of the same name there must not stand in for the project's own.
  if (written.isRelative()) {
    const QString beside = projectFolder.filePath(imagePath);
    return QFileInfo::exists(beside) ? beside : imagePath;
  }
  if (QFileInfo::exists(imagePath)) return imagePath;
  const QString moved = projectFolder.filePath(written.fileName());
  return QFileInfo::exists(moved) ? moved : imagePath;
}

std::variant<std::unique_ptr<Project>, std::string> openProjectFile(const QString& path,
                                                                    GradientMatrices gradients) {
  NoReport silent;
  return openProjectFile(path, silent, gradients);
}

std::variant<std::unique_ptr<Project>, std::string> openProjectFile(const QString& path,
                                                                    ReportSink& notes,
                                                                    GradientMatrices gradients) {
  ProjectFileData data;
  try {
    data = readProjectFile(path);
  } catch (const IoError& error) {
    return std::string(error.what());
  }
  auto left =
      loadSide(resolveImagePath(QString::fromStdString(data.leftImagePath), path), "gauche");
  if (auto* message = std::get_if<std::string>(&left)) return *message;
  auto right =
      loadSide(resolveImagePath(QString::fromStdString(data.rightImagePath), path), "droite");
  if (auto* message = std::get_if<std::string>(&right)) return *message;
  GreyPicture& leftImage = std::get<GreyPicture>(left);
  GreyPicture& rightImage = std::get<GreyPicture>(right);
  if (leftImage.image.width() != rightImage.image.width() ||
      leftImage.image.height() != rightImage.image.height()) {
    return std::string(
        "Les deux images n'ont pas les mêmes dimensions ! Création du projet impossible.");
  }
  auto project = std::make_unique<Project>();
  project->projectName = data.projectName;
  project->leftImagePath = data.leftImagePath;
  project->rightImagePath = data.rightImagePath;
  project->imageHeight = leftImage.image.height();
  project->imageWidth = rightImage.image.width();
  setSide(project->left, std::move(leftImage.image), data.left, gradients);
  setSide(project->right, std::move(rightImage.image), data.right, gradients);
  for (const std::string& line : conversionLines(leftImage.conversion, rightImage.conversion)) {
    notes.appendLine(line);
  }
  return project;
}

}  // namespace plk::io
