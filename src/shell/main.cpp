#include "shell/main.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUndoStack>

#include "core/fonctions/gradient.h"
#include "core/verdict.h"
#include "io/io_error.h"
#include "io/project_file.h"
#include "io/project_opening.h"
#include "io/results_file.h"
#include "shell/about.h"
#include "shell/aide.h"
#include "shell/file_names.h"
#include "shell/listing_view.h"
#include "shell/new.h"
#include "shell/rapport.h"
#include "shell/recent_projects.h"
#include "tools/appariement.h"
#include "tools/detect.h"
#include "tools/disparites.h"
#include "tools/estime.h"
#include "tools/opti.h"
#include "ui/placement.h"
#include "ui/prompts.h"

namespace plk {

namespace {

const QString kProjectFilter = QStringLiteral("Projet PLK(*.plk)");
const QString kQuitQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de quitter ?");
const QString kContinueQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de continuer ?");
const QString kInvalidProjectFile = QStringLiteral("Le fichier de projet est invalide : ");

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

void redraw(TFImage* window) {
  if (window == nullptr) return;
  window->renderView();
  window->showView();
}

void forgetPoints(ToolResults& results) {
  results.clearFlags();
  results.interestPoints.clear();
}

}  // namespace

TFMain::TFMain(Prompts& prompts, NumberFormat format, QWidget* parent)
    : QMainWindow(parent),
      prompts_(prompts),
      format_(format),
      listing_(format),
      undoStack_(new QUndoStack(this)),
      recovery_(new RecoverySession(recoveryHost(), prompts, *this, format)) {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral(" "));
  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);
  createToolPanel(client);
  createListing(client);
  createBottomPanel(client);
  createMenus();
  disableProjectMenus();
  connect(undoStack_, &QUndoStack::cleanChanged, this, &TFMain::updateTitle);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  centreOnScreen(*this);
}

// The undo steps and the image windows refer to the project: they go first.
TFMain::~TFMain() {
  undoStack_->clear();
  leftWindow_.reset();
  rightWindow_.reset();
}

void TFMain::setWindows(const ShellWindows& windows) { windows_ = &windows; }

ReportSink& TFMain::showReport() {
  windows_->rapport->show();
  windows_->rapport->raise();
  return *windows_->rapport;
}

void TFMain::redrawImages() {
  redraw(leftWindow());
  redraw(rightWindow());
}

void TFMain::chooseMode(EditMode mode) {
  const bool abandon = mode == EditMode::Move || mode == EditMode::Del || mode == EditMode::Adjust;
  for (TFImage* window : {leftWindow_.get(), rightWindow_.get()}) {
    if (window == nullptr) continue;
    if (abandon) {
      window->resetConstruction();
    } else {
      window->endDrag();
    }
  }
  editing_.editMode = mode;
  for (TFImage* window : {leftWindow_.get(), rightWindow_.get()}) {
    if (window != nullptr) window->showMode();
  }
}

void TFMain::chooseEditMode(EditMode mode) {
  speedButton(mode)->setChecked(true);
  chooseMode(mode);
}

void TFMain::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) LabelUV->setText(kTenSpaces);
  QMainWindow::changeEvent(event);
}

void TFMain::closeEvent(QCloseEvent* event) {
  if (!askSaveAndClose(CloseReason::Quit)) {
    event->ignore();
    return;
  }
  event->accept();
  QCoreApplication::quit();
}

void TFMain::showPointerPosition(int row, int column) {
  LabelUV->setText(QStringLiteral("(u,v) = (%1,%2)").arg(row).arg(column));
}

bool TFMain::askSaveAndClose(CloseReason reason) {
  if (!project_) return true;
  finishGestures();
  bool keepCopy = false;
  if (!undoStack_->isClean()) {
    const Answer answer = prompts_.askYesNoCancel(
        this, reason == CloseReason::Quit ? kQuitQuestion : kContinueQuestion);
    if (answer == Answer::Cancel) return false;
    // A save the user declined lets the closing go on; a save that failed keeps the project
    // open, so that its polygons are not lost.
    const SaveOutcome outcome =
        answer == Answer::Yes ? saveCurrentProject() : SaveOutcome::Declined;
    if (outcome == SaveOutcome::Failed) return false;
    // The user wanted the changes saved but left the save dialog: the copy keeps them.
    keepCopy = answer == Answer::Yes && outcome == SaveOutcome::Declined;
  }
  if (!keepCopy) recovery_->discardCopy();
  closeProject();
  return true;
}

// Also empties the listing and the pointer label, which would otherwise show a closed project.
void TFMain::closeProject() {
  disableProjectMenus();
  SpeedButtonArrow->setChecked(true);
  editing_.editMode = EditMode::Arrow;
  undoStack_->clear();
  pendingEdit_.reset();
  recovery_->forgetCopy();
  leftWindow_.reset();
  rightWindow_.reset();
  project_.reset();
  projectFileName_.clear();
  Memo1->clear();
  listing_.reset();
  listingPending_ = false;
  LabelUV->setText(kTenSpaces);
  updateTitle();
}

// " " before any project, "PLK [name]" while one is open, followed by " *" while it differs from
// its file, and "PLK" after it was closed.
void TFMain::updateTitle() {
  if (!project_) {
    setWindowTitle(QStringLiteral("PLK"));
    return;
  }
  QString title = QStringLiteral("PLK [") + fromUtf8(project_->projectName) + QStringLiteral("]");
  if (!undoStack_->isClean()) title += QStringLiteral(" *");
  setWindowTitle(title);
}

std::unique_ptr<TFImage> TFMain::openImageWindow(Project& project, ImageSide& side,
                                                 ImageSideKind kind, const QString& path,
                                                 const QString& sideName) {
  auto window = std::make_unique<TFImage>(side, kind, editing_, project.results, *this, prompts_);
  if (!window->loadImage(path, sideName, QFileInfo(path).fileName())) return nullptr;
  return window;
}

QString TFMain::checkLeftImage(const TFImage* left) {
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

QString TFMain::checkRightImage(const TFImage& left, const TFImage* right) {
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
bool TFMain::createProjectFromImages(const QString& projectFile) {
  const TFNew& fields = *windows_->newProject;
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
    prompts_.showError(this, failure);
    return false;
  }

  for (const std::string& line :
       io::conversionLines(*left->greyConversion(), *right->greyConversion())) {
    showReport().appendLine(line);
  }
  project->imageHeight = left->imageHeight();
  project->imageWidth = right->imageWidth();
  right->move(right->pos() + QPoint(20, 20));
  computeGradients(*project);
  project_ = std::move(project);
  leftWindow_ = std::move(left);
  rightWindow_ = std::move(right);
  undoStack_->clear();
  undoStack_->setClean();
  updateTitle();
  enableProjectMenus();
  return true;
}

void TFMain::computeGradients(Project& project) {
  for (ImageSide* side : {&project.left, &project.right}) {
    side->gradientX = computeGradient(side->image, kSobelX);
    side->gradientY = computeGradient(side->image, kSobelY);
  }
}

void TFMain::Fermerprojet1Click() { (void)saveCurrentProject(); }

SaveOutcome TFMain::saveCurrentProject() {
  if (!project_) return SaveOutcome::Declined;
  return projectFileName_.isEmpty() ? saveProjectAs() : saveProject(projectFileName_);
}

// The overwrite question is asked about the name that will be written, extension included, so
// that typing "scene" never replaces an existing scene.plk unasked.
SaveOutcome TFMain::saveProjectAs() {
  const QString chosen = prompts_.saveFileName(
      this, QStringLiteral("Sauvegarde du projet en cours"), lastDirectory_,
      windows_->newProject->projectName() + QStringLiteral(".plk"), kProjectFilter);
  if (chosen.isEmpty()) return SaveOutcome::Declined;
  const QString path = withExtension(chosen, QStringLiteral(".plk"));
  if (QFileInfo::exists(path) && prompts_.askYesNo(this, kOverwriteQuestion) != Answer::Yes) {
    projectFileName_.clear();
    return SaveOutcome::Declined;
  }
  projectFileName_ = path;
  lastDirectory_ = QFileInfo(path).absolutePath();
  return saveProject(projectFileName_);
}

// The new-project dialog's texts and both images' polygons.
io::ProjectFileData TFMain::projectFileData() const {
  const TFNew& fields = *windows_->newProject;
  io::ProjectFileData data;
  data.projectName = fields.projectName().toStdString();
  data.leftImagePath = fields.leftImagePath().toStdString();
  data.rightImagePath = fields.rightImagePath().toStdString();
  data.left = project_->left.polygons.describe();
  data.right = project_->right.polygons.describe();
  return data;
}

// A failed save leaves the recovery copy in place.
SaveOutcome TFMain::saveProject(const QString& path) {
  try {
    io::writeProjectFile(path, projectFileData(), format_);
  } catch (const io::IoError& error) {
    prompts_.showError(this, QString::fromUtf8(error.what()));
    // The next "Sauver projet" asks for another file instead of failing on this one again.
    projectFileName_.clear();
    return SaveOutcome::Failed;
  }
  if (auto failure = io::writeResultsFile(path, *project_, format_)) {
    showReport().appendLine(*failure);
  }
  undoStack_->setClean();
  recovery_->discardCopy();
  recent_->remember(path);
  return SaveOutcome::Saved;
}

void TFMain::Nouveauprojet1Click() {
  if (askSaveAndClose(CloseReason::Continue)) windows_->newProject->show();
}

void TFMain::Ouvrirprojet1Click() {
  if (!askSaveAndClose(CloseReason::Continue)) return;
  const QString path = prompts_.openFileName(this, QStringLiteral("Ouverture de projet"),
                                             lastDirectory_, kProjectFilter);
  if (!path.isEmpty()) openProjectFile(path);
}

void TFMain::openRecentProject(const QString& path) {
  if (askSaveAndClose(CloseReason::Continue)) openProjectFile(path);
}

// A project that cannot be opened leaves the recent list.
void TFMain::openProjectFile(const QString& path) {
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
bool TFMain::isProjectFileReadable(const QString& path) const {
  QFile file(path);
  return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
}

// A file refused by the reader opens nothing; otherwise the images are loaded as for a new
// project and the polygons rebuilt, unlocked, with the tool flags off.
bool TFMain::loadProject(const QString& path) {
  io::ProjectFileData data;
  try {
    data = io::readProjectFile(path);
  } catch (const io::IoError& error) {
    prompts_.showError(this, QString::fromUtf8(error.what()));
    return false;
  }
  if (!isProjectFileReadable(path) || data.leftImagePath.empty()) {
    prompts_.showError(this, kInvalidProjectFile + path);
    return false;
  }
  windows_->newProject->setFields(fromUtf8(data.projectName), fromUtf8(data.leftImagePath),
                                  fromUtf8(data.rightImagePath));
  if (!createProjectFromImages(path)) return false;
  project_->left.polygons.rebuild(data.left);
  project_->right.polygons.rebuild(data.right);
  if (auto ignored = io::readResultsFile(path, *project_)) showReport().appendLine(*ignored);
  listPolygons();
  redraw(leftWindow_.get());
  redraw(rightWindow_.get());
  return true;
}

void TFMain::Rinitialiserlessommetsdelimagegauche1Click() {
  if (!project_ || !confirmReinitialisation(QStringLiteral("gauche"))) return;
  clearVertices(project_->left, *leftWindow_,
                QStringLiteral("réinitialisation des sommets de l'image gauche"),
                ResultsEffect::PointsForgotten);
  listPolygons();
  redraw(leftWindow_.get());
}

void TFMain::Rinitialiserlessommetsdelimagedroite1Click() {
  if (!project_ || !confirmReinitialisation(QStringLiteral("droite"))) return;
  clearVertices(project_->right, *rightWindow_,
                QStringLiteral("réinitialisation des sommets de l'image droite"),
                ResultsEffect::Kept);
  listPolygons();
  redraw(rightWindow_.get());
}

bool TFMain::confirmReinitialisation(const QString& sideName) {
  return prompts_.askYesNo(this, QStringLiteral("Êtes vous sûr de vouloir supprimer tous les "
                                                "sommets de l'image %1 ?")
                                     .arg(sideName)) == Answer::Yes;
}

// One undo step: the vertices stay alive in it, and the window forgets every one it referred to.
void TFMain::clearVertices(ImageSide& side, TFImage& window, const QString& what,
                           ResultsEffect effect) {
  finishGestures();
  beginPolygonEdit();
  VertexStore released;
  side.polygons.restore(PolygonListState{}, released);
  window.restoreConstruction({});
  if (effect == ResultsEffect::PointsForgotten) forgetPoints(project_->results);
  recordEdit(what, std::move(released), effect);
}

void TFMain::Button1Click() {
  if (project_) toggleLock(project_->left.polygons);
}

void TFMain::Button2Click() {
  if (project_) toggleLock(project_->right.polygons);
}

// Edit1 names a polygon from 1; anything else does nothing, silently.
void TFMain::toggleLock(PolygonList& polygons) {
  const auto number = parseInteger(Edit1->text().toStdString());
  if (!number || *number < 1 || static_cast<std::size_t>(*number) > polygons.size()) return;
  Polygone& polygon = polygons[static_cast<std::size_t>(*number - 1)];
  beginPolygonEdit();
  polygon.locked = !polygon.locked;
  endPolygonEdit(polygon.locked ? QStringLiteral("blocage du polygone")
                                : QStringLiteral("déblocage du polygone"));
  listPolygons();
  redrawImages();
}

EditSnapshot TFMain::captureEdit() const {
  return {project_->left.polygons.capture(), project_->right.polygons.capture(),
          leftWindow_->construction(), rightWindow_->construction()};
}

void TFMain::beginPolygonEdit() {
  if (project_) pendingEdit_ = captureEdit();
}

void TFMain::endPolygonEdit(const QString& what, VertexStore released) {
  recordEdit(what, std::move(released), ResultsEffect::Kept);
}

void TFMain::endPolygonEdit(const QString& what) { endPolygonEdit(what, {}); }

// The step from the state captured by beginPolygonEdit to the present one; nothing when they
// are the same.
void TFMain::recordEdit(const QString& what, VertexStore released, ResultsEffect effect) {
  if (!pendingEdit_ || !project_) return;
  EditSnapshot before = std::move(*pendingEdit_);
  pendingEdit_.reset();
  EditSnapshot after = captureEdit();
  if (after == before) return;
  undoStack_->push(new PolygonEditCommand(what, *this, std::move(before), std::move(after),
                                          std::move(released), effect));
}

void TFMain::applySnapshot(const EditSnapshot& snapshot, VertexStore& spare, ResultsEffect effect) {
  project_->left.polygons.restore(snapshot.left, spare);
  project_->right.polygons.restore(snapshot.right, spare);
  if (effect == ResultsEffect::PointsForgotten) forgetPoints(project_->results);
  leftWindow_->restoreConstruction(snapshot.leftConstruction);
  rightWindow_->restoreConstruction(snapshot.rightConstruction);
  listPolygons();
  redrawImages();
}

// A drag under way becomes its own step first, so that undo never acts under a held vertex.
void TFMain::finishGestures() {
  for (TFImage* window : {leftWindow_.get(), rightWindow_.get()}) {
    if (window != nullptr) window->endDrag();
  }
}

void TFMain::undoEdit() {
  finishGestures();
  undoStack_->undo();
}

void TFMain::redoEdit() {
  finishGestures();
  undoStack_->redo();
}

// The listing follows the polygons once per turn of the event loop, however many events of that
// turn changed them: a drag over a large project does not rewrite it at every step.
void TFMain::listPolygons() {
  if (listingPending_) return;
  listingPending_ = true;
  QMetaObject::invokeMethod(this, &TFMain::refreshListing, Qt::QueuedConnection);
}

// After an estimation, each left polygon's verdict on the estimate the windows show.
std::vector<std::string> TFMain::verdictNotes() const {
  std::vector<std::string> notes;
  if (!project_ || !project_->results.homographiesEstimated) return notes;
  const auto choice = static_cast<HomographyChoice>(project_->results.verdictEstimate);
  for (std::size_t p = 0; p < project_->left.polygons.size(); ++p) {
    const auto verdict = judgePolygon(project_->results, p, choice, format_);
    notes.push_back(!verdict                  ? std::string()
                    : verdict->reason.empty() ? std::string(verdictName(verdict->verdict))
                                              : std::string(verdictName(verdict->verdict)) + " (" +
                                                    verdict->reason + ")");
  }
  return notes;
}

void TFMain::refreshListing() {
  if (!listingPending_) return;
  listingPending_ = false;
  const ListingChange change =
      listing_.update(project_ ? &project_->left.polygons : nullptr,
                      project_ ? &project_->right.polygons : nullptr, verdictNotes());
  showListingChange(*Memo1, change, listing_.lines());
}

RecoveryHost TFMain::recoveryHost() {
  return {[this] { return project_ != nullptr; },
          [this] { return project_ != nullptr && !undoStack_->isClean(); },
          [this] { return projectFileName_; },
          [this] { return projectFileData(); },
          [this](const io::ProjectFileData& copy) {
            windows_->newProject->setFields(fromUtf8(copy.projectName),
                                            fromUtf8(copy.leftImagePath),
                                            fromUtf8(copy.rightImagePath));
            return createProjectFromImages();
          },
          [this](const io::ProjectFileData& copy) { restorePolygons(copy); }};
}

void TFMain::restorePolygons(const io::ProjectFileData& copy) {
  beginPolygonEdit();
  VertexStore released;
  project_->left.polygons.restore(PolygonListState{}, released);
  project_->right.polygons.restore(PolygonListState{}, released);
  project_->left.polygons.rebuild(copy.left);
  project_->right.polygons.rebuild(copy.right);
  leftWindow_->restoreConstruction({});
  rightWindow_->restoreConstruction({});
  recordEdit(QStringLiteral("restauration de la copie de secours"), std::move(released),
             ResultsEffect::Kept);
  listPolygons();
  redrawImages();
}

}  // namespace plk
