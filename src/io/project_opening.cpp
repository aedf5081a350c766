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

// The 8-bit image of one side, or the message of the check that refused it.
std::variant<QImage, std::string> loadSide(const QString& path, const char* side) {
  std::optional<DecodedImage> decoded = loadImageFile(path);
  if (!decoded) {
    return std::string("Erreur lors du chargement de l'image ") + side +
           " ! Création du projet impossible.";
  }
  if (decoded->storedBitsPerPixel != 8) {
    return std::string("L'image ") + side +
           " n'est pas composée de pixels codés sur 8 bits ! Création du projet impossible.";
  }
  return std::move(decoded->image);
}

void setSide(ImageSide& side, const QImage& image, const PolygonListRecord& polygons,
             GradientMatrices gradients) {
  side.image = toGreyImage(image);
  if (gradients == GradientMatrices::Computed) {
    side.gradientX = computeGradient(side.image, kSobelX);
    side.gradientY = computeGradient(side.image, kSobelY);
  }
  side.polygons.rebuild(polygons);
}

}  // namespace

QString resolveImagePath(const QString& imagePath, const QString& projectFile) {
  if (imagePath.isEmpty() || QFileInfo::exists(imagePath)) return imagePath;
  const QDir projectFolder = QFileInfo(projectFile).absoluteDir();
  const QFileInfo written(imagePath);
  const QString candidate = written.isRelative() ? projectFolder.filePath(imagePath)
                                                 : projectFolder.filePath(written.fileName());
  return QFileInfo::exists(candidate) ? candidate : imagePath;
}

std::variant<std::unique_ptr<Project>, std::string> openProjectFile(const QString& path,
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
  const QImage& leftImage = std::get<QImage>(left);
  const QImage& rightImage = std::get<QImage>(right);
  if (leftImage.size() != rightImage.size()) {
    return std::string(
        "Les deux images n'ont pas les mêmes dimensions ! Création du projet impossible.");
  }
  auto project = std::make_unique<Project>();
  project->projectName = data.projectName;
  project->leftImagePath = data.leftImagePath;
  project->rightImagePath = data.rightImagePath;
  project->imageHeight = leftImage.height();
  project->imageWidth = rightImage.width();
  setSide(project->left, leftImage, data.left, gradients);
  setSide(project->right, rightImage, data.right, gradients);
  return project;
}

}  // namespace plk::io
