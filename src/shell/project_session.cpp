#include "shell/project_session.h"

#include <QFile>
#include <QFileInfo>
#include <QUndoStack>
#include <QWidget>

#include "core/fonctions/gradient.h"
#include "io/io_error.h"
#include "io/project_opening.h"
#include "io/results_file.h"
#include "shell/file_names.h"
#include "shell/new.h"
#include "shell/recent_projects.h"
#include "ui/prompts.h"
#include "views/image.h"
#include "views/image_host.h"

namespace plk {

namespace {

const QString kProjectFilter = QStringLiteral("Projet PLK(*.plk)");
const QString kQuitQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de quitter ?");
const QString kContinueQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de continuer ?");
const QString kInvalidProjectFile = QStringLiteral("Le fichier de projet est invalide : ");

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

void forgetPoints(ToolResults& results) {
  results.clearFlags();
  results.interestPoints.clear();
}

}  // namespace

ProjectSession::ProjectSession(QWidget& window, Prompts& prompts, NumberFormat format,
                               EditingState& editing, ImageWindowHost& imageHost,
                               SessionListener& listener)
    : window_(window),
      prompts_(prompts),
      format_(format),
      editing_(editing),
      imageHost_(imageHost),
      listener_(listener),
      recovery_(std::make_unique<RecoverySession>(recoveryHost(), prompts, window, format)) {}

ProjectSession::~ProjectSession() = default;

void ProjectSession::addRecentProjects(QMenu& fileMenu) {
  recent_ = new RecentProjects(fileMenu, [this](const QString& path) { openRecentProject(path); });
}

QStringList ProjectSession::recentProjects() const { return recent_->paths(); }

bool ProjectSession::askSaveAndClose(CloseReason reason) {
  const std::optional<bool> keepCopy = askSave(reason);
  if (!keepCopy) return false;
  closeKeepingCopy(*keepCopy);
  return true;
}

// Nothing when the user cancelled or the requested save failed; otherwise whether the recovery
// copy must outlive the closing.
std::optional<bool> ProjectSession::askSave(CloseReason reason) {
  if (!project_) return false;
  finishGestures();
  if (history_.isSaved()) return false;
  const Answer answer = prompts_.askYesNoCancel(
      &window_, reason == CloseReason::Quit ? kQuitQuestion : kContinueQuestion);
  if (answer == Answer::Cancel) return std::nullopt;
  // A save the user declined lets the closing go on; a save that failed keeps the project
  // open, so that its polygons are not lost.
  const SaveOutcome outcome = answer == Answer::Yes ? saveCurrentProject() : SaveOutcome::Declined;
  if (outcome == SaveOutcome::Failed) return std::nullopt;
  // The user wanted the changes saved but left the save dialog: the copy keeps them.
  return answer == Answer::Yes && outcome == SaveOutcome::Declined;
}

void ProjectSession::closeKeepingCopy(bool keepCopy) {
  if (!project_) return;
  if (!keepCopy) recovery_->discardCopy();
  closeProject();
}

void ProjectSession::closeProject() {
  if (project_) listener_.projectClosing();
  history_.clear();
  recovery_->forgetCopy();
  leftWindow_.reset();
  rightWindow_.reset();
  project_.reset();
  projectFileName_.clear();
  listener_.projectClosed();
}

std::unique_ptr<TFImage> ProjectSession::openImageWindow(Project& project, ImageSide& side,
                                                         ImageSideKind kind, const QString& path,
                                                         const QString& sideName) {
  auto window =
      std::make_unique<TFImage>(side, kind, editing_, project.results, imageHost_, prompts_);
  if (!window->loadImage(path, sideName, QFileInfo(path).fileName())) return nullptr;
  return window;
}

QString ProjectSession::checkLeftImage(const TFImage* left) {
  if (left == nullptr) {
    return QStringLiteral(
        "Erreur lors du chargement de l'image gauche ! Création du projet impossible.");
  }
  if (!left->greyConversion()) {
    return QStringLiteral(
        "L'image gauche n'est pas composée de pixels codés sur 8 bits ! "
        "Création du projet impossible.");
  }
  return {};
}

QString ProjectSession::checkRightImage(const TFImage& left, const TFImage* right) {
  if (right == nullptr) {
    return QStringLiteral(
        "Erreur lors du chargement de l'image droite ! Création du projet impossible.");
  }
  if (!right->greyConversion()) {
    return QStringLiteral(
        "L'image droite n'est pas composée de pixels codés sur 8 bits ! "
        "Création du projet impossible.");
  }
  if (left.imageWidth() != right->imageWidth() || left.imageHeight() != right->imageHeight()) {
    return QStringLiteral(
        "Les deux images n'ont pas les mêmes dimensions ! Création du projet impossible.");
  }
  return {};
}

// On failure the error box is shown while the windows still exist; they are destroyed on return.
bool ProjectSession::createProjectFromImages(const QString& projectFile) {
  const TFNew& fields = *newProject_;
  const auto imageFile = [&projectFile](const QString& path) {
    return projectFile.isEmpty() ? path : io::resolveImagePath(path, projectFile);
  };
  auto project = std::make_unique<Project>();
  project->projectName = fields.projectName().toStdString();
  project->leftImagePath = fields.leftImagePath().toStdString();
  project->rightImagePath = fields.rightImagePath().toStdString();

  auto left = openImageWindow(*project, project->left, ImageSideKind::Left,
                              imageFile(fields.leftImagePath()), QStringLiteral("gauche"));
  QString failure = checkLeftImage(left.get());
  std::unique_ptr<TFImage> right;
  if (failure.isEmpty()) {
    right = openImageWindow(*project, project->right, ImageSideKind::Right,
                            imageFile(fields.rightImagePath()), QStringLiteral("droite"));
    failure = checkRightImage(*left, right.get());
  }
  if (!failure.isEmpty()) {
    prompts_.showError(&window_, failure);
    return false;
  }

  for (const std::string& line :
       io::conversionLines(*left->greyConversion(), *right->greyConversion())) {
    listener_.showReport().appendLine(line);
  }
  project->imageHeight = left->imageHeight();
  project->imageWidth = right->imageWidth();
  computeGradients(*project);
  project_ = std::move(project);
  leftWindow_ = std::move(left);
  rightWindow_ = std::move(right);
  history_.clear();
  history_.markSaved();
  listener_.projectOpened();
  return true;
}

void ProjectSession::computeGradients(Project& project) {
  for (ImageSide* side : {&project.left, &project.right}) {
    side->gradientX = computeGradient(side->image, kSobelX);
    side->gradientY = computeGradient(side->image, kSobelY);
  }
}

SaveOutcome ProjectSession::saveCurrentProject() {
  if (!project_) return SaveOutcome::Declined;
  return projectFileName_.isEmpty() ? saveProjectAs() : saveProject(projectFileName_);
}

// The overwrite question is asked about the name that will be written, extension included, so
// that typing "scene" never replaces an existing scene.plk unasked.
SaveOutcome ProjectSession::saveProjectAs() {
  const QString chosen = prompts_.saveFileName(
      &window_, QStringLiteral("Sauvegarde du projet en cours"), lastDirectory_,
      newProject_->projectName() + QStringLiteral(".plk"), kProjectFilter);
  if (chosen.isEmpty()) return SaveOutcome::Declined;
  const QString path = withExtension(chosen, QStringLiteral(".plk"));
  if (QFileInfo::exists(path) && prompts_.askYesNo(&window_, kOverwriteQuestion) != Answer::Yes) {
    projectFileName_.clear();
    return SaveOutcome::Declined;
  }
  projectFileName_ = path;
  lastDirectory_ = QFileInfo(path).absolutePath();
  return saveProject(projectFileName_);
}

// The new-project dialog's texts and both images' polygons.
io::ProjectFileData ProjectSession::projectFileData() const {
  const TFNew& fields = *newProject_;
  io::ProjectFileData data;
  data.projectName = fields.projectName().toStdString();
  data.leftImagePath = fields.leftImagePath().toStdString();
  data.rightImagePath = fields.rightImagePath().toStdString();
  data.left = project_->left.polygons.describe();
  data.right = project_->right.polygons.describe();
  return data;
}

// A failed save leaves the recovery copy in place.
SaveOutcome ProjectSession::saveProject(const QString& path) {
  try {
    io::writeProjectFile(path, projectFileData(), format_);
  } catch (const io::IoError& error) {
    prompts_.showError(&window_, QString::fromUtf8(error.what()));
    // The next "Sauver projet" asks for another file instead of failing on this one again.
    projectFileName_.clear();
    return SaveOutcome::Failed;
  }
  if (auto failure = io::writeResultsFile(path, *project_, format_)) {
    listener_.showReport().appendLine(*failure);
  }
  history_.markSaved();
  recovery_->discardCopy();
  recent_->remember(path);
  return SaveOutcome::Saved;
}

// The open project closes only once a file is chosen: leaving the dialog keeps it open.
void ProjectSession::openProject() {
  const std::optional<bool> keepCopy = askSave(CloseReason::Continue);
  if (!keepCopy) return;
  const QString path = prompts_.openFileName(&window_, QStringLiteral("Ouverture de projet"),
                                             lastDirectory_, kProjectFilter);
  if (path.isEmpty()) return;
  closeKeepingCopy(*keepCopy);
  openProjectFile(path);
}

void ProjectSession::openRecentProject(const QString& path) {
  if (askSaveAndClose(CloseReason::Continue)) openProjectFile(path);
}

// A project that cannot be opened leaves the recent list.
void ProjectSession::openProjectFile(const QString& path) {
  lastDirectory_ = QFileInfo(path).absolutePath();
  projectFileName_ = loadProject(path) ? path : QString();
  if (projectFileName_.isEmpty()) {
    recent_->forget(path);
  } else {
    recent_->remember(path);
    recovery_->offer(path);
  }
}

// A file that cannot be read, or that names no left image, is no project file: saying so is
// clearer than the left image's loading message.
bool ProjectSession::isProjectFileReadable(const QString& path) {
  QFile file(path);
  return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
}

void ProjectSession::setFields(const io::ProjectFileData& data) {
  newProject_->setFields(fromUtf8(data.projectName), fromUtf8(data.leftImagePath),
                         fromUtf8(data.rightImagePath));
}

// A file refused by the reader opens nothing; otherwise the images are loaded as for a new
// project and the polygons rebuilt, unlocked, with the tool flags off.
bool ProjectSession::loadProject(const QString& path) {
  io::ProjectFileData data;
  try {
    data = io::readProjectFile(path);
  } catch (const io::IoError& error) {
    prompts_.showError(&window_, QString::fromUtf8(error.what()));
    return false;
  }
  if (!isProjectFileReadable(path) || data.leftImagePath.empty()) {
    prompts_.showError(&window_, kInvalidProjectFile + path);
    return false;
  }
  setFields(data);
  if (!createProjectFromImages(path)) return false;
  project_->left.polygons.rebuild(data.left);
  project_->right.polygons.rebuild(data.right);
  if (auto ignored = io::readResultsFile(path, *project_)) {
    listener_.showReport().appendLine(*ignored);
  }
  listener_.polygonsChanged();
  return true;
}

void ProjectSession::clearVertices(ImageSideKind kind, const QString& what, ResultsEffect effect) {
  const bool left = kind == ImageSideKind::Left;
  finishGestures();
  history_.begin();
  VertexStore released;
  (left ? project_->left : project_->right).polygons.restore(PolygonListState{}, released);
  (left ? leftWindow_ : rightWindow_)->restoreConstruction({});
  if (effect == ResultsEffect::PointsForgotten) forgetPoints(project_->results);
  history_.record(what, std::move(released), effect);
}

std::optional<EditSnapshot> ProjectSession::captureEdit() const {
  if (!project_) return std::nullopt;
  return EditSnapshot{project_->left.polygons.capture(), project_->right.polygons.capture(),
                      leftWindow_->construction(), rightWindow_->construction()};
}

void ProjectSession::applySnapshot(const EditSnapshot& snapshot, VertexStore& spare,
                                   ResultsEffect effect) {
  project_->left.polygons.restore(snapshot.left, spare);
  project_->right.polygons.restore(snapshot.right, spare);
  if (effect == ResultsEffect::PointsForgotten) forgetPoints(project_->results);
  leftWindow_->restoreConstruction(snapshot.leftConstruction);
  rightWindow_->restoreConstruction(snapshot.rightConstruction);
  listener_.polygonsChanged();
}

void ProjectSession::finishGestures() {
  for (TFImage* window : {leftWindow_.get(), rightWindow_.get()}) {
    if (window != nullptr) window->endDrag();
  }
}

RecoveryHost ProjectSession::recoveryHost() {
  return {[this] { return project_ != nullptr; },
          [this] { return project_ != nullptr && !history_.isSaved(); },
          [this] { return projectFileName_; },
          [this] { return projectFileData(); },
          [this](const io::ProjectFileData& copy) {
            setFields(copy);
            return createProjectFromImages();
          },
          [this](const io::ProjectFileData& copy) { restorePolygons(copy); }};
}

void ProjectSession::restorePolygons(const io::ProjectFileData& copy) {
  history_.begin();
  VertexStore released;
  project_->left.polygons.restore(PolygonListState{}, released);
  project_->right.polygons.restore(PolygonListState{}, released);
  project_->left.polygons.rebuild(copy.left);
  project_->right.polygons.rebuild(copy.right);
  leftWindow_->restoreConstruction({});
  rightWindow_->restoreConstruction({});
  history_.record(QStringLiteral("restauration de la copie de secours"), std::move(released),
                  ResultsEffect::Kept);
  listener_.polygonsChanged();
}

}  // namespace plk
