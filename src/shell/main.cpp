#include "shell/main.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>

#include "core/fonctions/gradient.h"
#include "core/verdict.h"
#include "io/io_error.h"
#include "io/project_file.h"
#include "io/project_opening.h"
#include "shell/about.h"
#include "shell/aide.h"
#include "shell/file_names.h"
#include "shell/listing_view.h"
#include "shell/new.h"
#include "shell/rapport.h"
#include "tools/appariement.h"
#include "tools/detect.h"
#include "tools/disparites.h"
#include "tools/estime.h"
#include "tools/opti.h"
#include "ui/placement.h"
#include "ui/prompts.h"

namespace plk {

namespace {

const QString kTenSpaces = QStringLiteral("          ");
const QString kProjectFilter = QStringLiteral("Projet PLK(*.plk)");
const QString kQuitQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de quitter ?");
const QString kContinueQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de continuer ?");
const QString kInvalidProjectFile = QStringLiteral("Le fichier de projet est invalide : ");
const QString kRecentProjectsKey = QStringLiteral("projetsRecents");
constexpr int kRecentProjectCount = 4;
constexpr std::chrono::milliseconds kRecoveryInterval = std::chrono::seconds(60);
constexpr int kClientWidth = 328;
constexpr int kClientHeight = 301;

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

void redraw(TFImage* window) {
  if (window == nullptr) return;
  window->renderView();
  window->showView();
}

QSettings userSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("PLK"),
                   QStringLiteral("PLK"));
}

// "Annuler" or "Rétablir" followed by what the step did, as "Annuler déplacement du sommet".
QString stepCaption(const QString& verb, const QString& what) {
  return what.isEmpty() ? verb : verb + QLatin1Char(' ') + what;
}

// The picture of the Adjust button: a side, an edge meeting it and the vertex moved onto it.
QIcon adjustPicture() {
  QPixmap picture(24, 22);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setPen(QPen(Qt::black, 2));
  painter.drawLine(18, 2, 18, 20);
  painter.drawLine(3, 11, 18, 11);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::red);
  painter.drawEllipse(QPoint(18, 11), 4, 4);
  return QIcon(picture);
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
      recovery_(defaultRecoveryFolder()),
      recoveryTimer_(new QTimer(this)) {
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
  connect(recoveryTimer_, &QTimer::timeout, this, &TFMain::saveRecoveryCopy);
  setRecoveryInterval(kRecoveryInterval);
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

void TFMain::createToolPanel(QWidget* client) {
  auto* panel = new QFrame(client);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setGeometry(0, 0, kClientWidth, 37);
  SpeedButtonArrow =
      createSpeedButton(panel, QStringLiteral("SpeedButtonArrow"),
                        QStringLiteral(":/buttons/arrow.png"), QStringLiteral("Flèche"), 6);
  SpeedButtonAdd = createSpeedButton(panel, QStringLiteral("SpeedButtonAdd"),
                                     QStringLiteral(":/buttons/add.png"),
                                     QStringLiteral("Ajout de sommets"), 34);
  SpeedButtonMove = createSpeedButton(panel, QStringLiteral("SpeedButtonMove"),
                                      QStringLiteral(":/buttons/move.png"),
                                      QStringLiteral("Déplacement de sommets"), 62);
  SpeedButtonDel = createSpeedButton(panel, QStringLiteral("SpeedButtonDel"),
                                     QStringLiteral(":/buttons/del.png"),
                                     QStringLiteral("Supression de sommets"), 90);
  // The Adjust mode, chosen from the Outils menu, shows here as the fifth button of the group.
  SpeedButtonAdjust = createSpeedButton(panel, QStringLiteral("SpeedButtonAdjust"), {},
                                        QStringLiteral("Ajustement des sommets sur un côté"), 118);
  SpeedButtonAdjust->setIcon(adjustPicture());
  SpeedButtonArrow->setChecked(true);
  for (const EditMode mode :
       {EditMode::Arrow, EditMode::Add, EditMode::Move, EditMode::Del, EditMode::Adjust}) {
    connect(speedButton(mode), &QToolButton::clicked, this, [this, mode] { chooseMode(mode); });
  }
}

QToolButton* TFMain::speedButton(EditMode mode) const {
  switch (mode) {
    case EditMode::Add:
      return SpeedButtonAdd;
    case EditMode::Move:
      return SpeedButtonMove;
    case EditMode::Del:
      return SpeedButtonDel;
    case EditMode::Adjust:
      return SpeedButtonAdjust;
    case EditMode::Arrow:
      break;
  }
  return SpeedButtonArrow;
}

QToolButton* TFMain::createSpeedButton(QWidget* panel, const QString& name, const QString& picture,
                                       const QString& toolTip, int left) {
  auto* button = new QToolButton(panel);
  button->setObjectName(name);
  button->setIcon(QIcon(picture));
  button->setIconSize(QSize(24, 22));
  button->setToolTip(toolTip);
  button->setAutoRaise(true);
  button->setCheckable(true);
  button->setAutoExclusive(true);
  button->setGeometry(left, 6, 26, 24);
  return button;
}

void TFMain::createListing(QWidget* client) {
  Memo1 = new QPlainTextEdit(client);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setUndoRedoEnabled(false);
  Memo1->setGeometry(4, 39, 319, 227);
}

void TFMain::createBottomPanel(QWidget* client) {
  LabelUV = new QLabel(kTenSpaces, client);
  LabelUV->setObjectName(QStringLiteral("LabelUV"));
  LabelUV->setGeometry(6, 274, 128, 17);
  Edit1 = new QLineEdit(QStringLiteral("1"), client);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(136, 272, 36, 21);
  auto* Button1 = new QPushButton(QStringLiteral("un/lock g"), client);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(176, 270, 72, 25);
  auto* Button2 = new QPushButton(QStringLiteral("un/lock d"), client);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(252, 270, 72, 25);
  connect(Button1, &QPushButton::clicked, this, &TFMain::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TFMain::Button2Click);
}

QAction* TFMain::addMenuItem(QMenu* menu, const QString& name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(name);
  return action;
}

void TFMain::createMenus() {
  menuBar()->setObjectName(QStringLiteral("MainMenu1"));
  createFileMenu();
  createEditMenu();
  createViewMenu();
  createToolsMenu();
  createHelpMenu();
}

void TFMain::createFileMenu() {
  QMenu* menu = menuBar()->addMenu(QStringLiteral("Fichier"));
  menu->setObjectName(QStringLiteral("Fichier1"));
  QAction* create =
      addMenuItem(menu, QStringLiteral("Nouveauprojet1"), QStringLiteral("Nouveau projet..."));
  QAction* open =
      addMenuItem(menu, QStringLiteral("Ouvrirprojet1"), QStringLiteral("Ouvrir projet..."));
  Fermerprojet1 =
      addMenuItem(menu, QStringLiteral("Fermerprojet1"), QStringLiteral("Sauver projet"));
  Sauverprojetsous1 = addMenuItem(menu, QStringLiteral("Sauverprojetsous1"),
                                  QStringLiteral("Sauver projet sous..."));
  createRecentMenu(menu);
  menu->addSeparator();
  QAction* quit = addMenuItem(menu, QStringLiteral("Quitter1"), QStringLiteral("Quitter"));
  create->setShortcut(QKeySequence::New);
  open->setShortcut(QKeySequence::Open);
  Fermerprojet1->setShortcut(QKeySequence::Save);
  Sauverprojetsous1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  connect(create, &QAction::triggered, this, &TFMain::Nouveauprojet1Click);
  connect(open, &QAction::triggered, this, &TFMain::Ouvrirprojet1Click);
  connect(Fermerprojet1, &QAction::triggered, this, &TFMain::Fermerprojet1Click);
  connect(Sauverprojetsous1, &QAction::triggered, this, [this] { (void)saveProjectAs(); });
  connect(quit, &QAction::triggered, this, [this] {
    if (askSaveAndClose(CloseReason::Quit)) close();
  });
}

void TFMain::createRecentMenu(QMenu* fileMenu) {
  Projetsrecents1 = fileMenu->addMenu(QStringLiteral("Projets récents"));
  Projetsrecents1->setObjectName(QStringLiteral("Projetsrecents1"));
  fillRecentMenu();
}

// One item per remembered project, "&1 path" for the most recent.
void TFMain::fillRecentMenu() {
  Projetsrecents1->clear();
  const QStringList paths = recentProjects();
  for (int i = 0; i < paths.size(); ++i) {
    const QString path = paths[i];
    QAction* item = Projetsrecents1->addAction(
        QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)));
    item->setObjectName(QStringLiteral("Projetrecent%1").arg(i + 1));
    connect(item, &QAction::triggered, this, [this, path] { openRecentProject(path); });
  }
  Projetsrecents1->menuAction()->setEnabled(!paths.isEmpty());
}

QStringList TFMain::recentProjects() const {
  return userSettings().value(kRecentProjectsKey).toStringList();
}

void TFMain::rememberRecentProject(const QString& path) {
  QStringList paths = recentProjects();
  paths.removeAll(path);
  paths.prepend(path);
  while (paths.size() > kRecentProjectCount) paths.removeLast();
  userSettings().setValue(kRecentProjectsKey, paths);
  fillRecentMenu();
}

void TFMain::forgetRecentProject(const QString& path) {
  QStringList paths = recentProjects();
  paths.removeAll(path);
  userSettings().setValue(kRecentProjectsKey, paths);
  fillRecentMenu();
}

// Undo and redo, then the specified items, which an undo step also puts back.
void TFMain::createEditMenu() {
  QMenu* menu = menuBar()->addMenu(QStringLiteral("Édition"));
  menu->setObjectName(QStringLiteral("Edition1"));
  QAction* undo = addMenuItem(menu, QStringLiteral("Annuler1"), QStringLiteral("Annuler"));
  QAction* redo = addMenuItem(menu, QStringLiteral("Retablir1"), QStringLiteral("Rétablir"));
  undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  redo->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  // The image windows have the keyboard while the user edits: these work from every window.
  for (QAction* action : {undo, redo}) {
    action->setShortcutContext(Qt::ApplicationShortcut);
    action->setEnabled(false);
  }
  connect(undoStack_, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
  connect(undoStack_, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
  connect(undoStack_, &QUndoStack::undoTextChanged, undo, [undo](const QString& what) {
    undo->setText(stepCaption(QStringLiteral("Annuler"), what));
  });
  connect(undoStack_, &QUndoStack::redoTextChanged, redo, [redo](const QString& what) {
    redo->setText(stepCaption(QStringLiteral("Rétablir"), what));
  });
  connect(undo, &QAction::triggered, this, &TFMain::undoEdit);
  connect(redo, &QAction::triggered, this, &TFMain::redoEdit);
  menu->addSeparator();
  QAction* left = addMenuItem(menu, QStringLiteral("Rinitialiserlessommetsdelimagegauche1"),
                              QStringLiteral("Réinitialiser les sommets de l'image gauche"));
  QAction* right = addMenuItem(menu, QStringLiteral("Rinitialiserlessommetsdelimagedroite1"),
                               QStringLiteral("Réinitialiser les sommets de l'image droite"));
  connect(left, &QAction::triggered, this, &TFMain::Rinitialiserlessommetsdelimagegauche1Click);
  connect(right, &QAction::triggered, this, &TFMain::Rinitialiserlessommetsdelimagedroite1Click);
}

void TFMain::createViewMenu() {
  QMenu* menu = menuBar()->addMenu(QStringLiteral("Affichage"));
  menu->setObjectName(QStringLiteral("Affichage1"));
  Imagegauche1 = addMenuItem(menu, QStringLiteral("Imagegauche1"), QStringLiteral("Image gauche"));
  Imagedroite1 = addMenuItem(menu, QStringLiteral("Imagedroite1"), QStringLiteral("Image droite"));
  Rapport1 = addMenuItem(menu, QStringLiteral("Rapport1"), QStringLiteral("Rapport"));
  const auto showWindow = [](QWidget* window) {
    if (window == nullptr) return;
    window->show();
    window->raise();
    window->activateWindow();
  };
  connect(Imagegauche1, &QAction::triggered, this,
          [this, showWindow] { showWindow(leftWindow()); });
  connect(Imagedroite1, &QAction::triggered, this,
          [this, showWindow] { showWindow(rightWindow()); });
  connect(Rapport1, &QAction::triggered, this,
          [this, showWindow] { showWindow(windows_->rapport.get()); });
}

void TFMain::createToolsMenu() {
  Outils1 = menuBar()->addMenu(QStringLiteral("Outils"));
  Outils1->setObjectName(QStringLiteral("Outils1"));
  QAction* opti = addMenuItem(Outils1, QStringLiteral("Optimiserlasegmentation1"),
                              QStringLiteral("Optimiser la segmentation..."));
  QAction* adjust =
      addMenuItem(Outils1, QStringLiteral("Ajusterlessommetsdevantappartenirunct1"),
                  QStringLiteral("Ajuster les sommets devant appartenir à un côté..."));
  Outils1->addSeparator();
  QAction* detect = addMenuItem(Outils1, QStringLiteral("Chercherlespointsdintrt1"),
                                QStringLiteral("Détecter de points d'intérêt..."));
  QAction* match = addMenuItem(Outils1, QStringLiteral("Apparierlespointsdintrt1"),
                               QStringLiteral("Apparier les points d'intérêt..."));
  QAction* estimate = addMenuItem(Outils1, QStringLiteral("Estimerleshomographies1"),
                                  QStringLiteral("Estimer les homographies..."));
  QAction* disparity = addMenuItem(Outils1, QStringLiteral("Calculerlacartedesdisparits1"),
                                   QStringLiteral("Calculer la carte des disparités..."));
  connect(opti, &QAction::triggered, this, [this] { windows_->opti->exec(); });
  connect(adjust, &QAction::triggered, this, [this] { chooseEditMode(EditMode::Adjust); });
  connect(detect, &QAction::triggered, this, [this] { windows_->detect->exec(); });
  connect(match, &QAction::triggered, this, [this] { windows_->appariement->exec(); });
  connect(estimate, &QAction::triggered, this, [this] { windows_->estime->exec(); });
  connect(disparity, &QAction::triggered, this, [this] { windows_->disparites->exec(); });
}

void TFMain::createHelpMenu() {
  QMenu* menu = menuBar()->addMenu(QStringLiteral("Aide"));
  menu->setObjectName(QStringLiteral("Aide1"));
  QAction* help = addMenuItem(menu, QStringLiteral("Aide2"), QStringLiteral("Aide..."));
  menu->addSeparator();
  QAction* about = addMenuItem(menu, QStringLiteral("Apropos1"), QStringLiteral("A propos..."));
  connect(help, &QAction::triggered, this, [this] { windows_->help->exec(); });
  connect(about, &QAction::triggered, this, [this] { windows_->about->show(); });
}

void TFMain::enableProjectMenus() {
  for (QAction* action : {Fermerprojet1, Sauverprojetsous1, Imagegauche1, Imagedroite1, Rapport1,
                          Outils1->menuAction()}) {
    action->setEnabled(true);
  }
}

void TFMain::disableProjectMenus() {
  for (QAction* action : {Fermerprojet1, Sauverprojetsous1, Imagegauche1, Imagedroite1, Rapport1,
                          Outils1->menuAction()}) {
    action->setEnabled(false);
  }
}

// Move, Del and Adjust abandon a polygon under construction and forget Adjust picks. Arrow and
// Add keep them, but no mode keeps a drag whose button-up was lost: Add would otherwise read
// the drag's state as a polygon under construction.
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
  if (!keepCopy) discardRecoveryCopy();
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
  recoveryCopy_.clear();
  recoveryFailureShown_ = false;
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
  if (left->imageDepth() != 8) {
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
  if (right->imageDepth() != 8) {
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
  undoStack_->setClean();
  discardRecoveryCopy();
  rememberRecentProject(path);
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
    forgetRecentProject(path);
  } else {
    rememberRecentProject(path);
    offerRecovery(path);
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

void TFMain::setRecoveryInterval(std::chrono::milliseconds interval) {
  if (interval <= std::chrono::milliseconds::zero()) {
    recoveryTimer_->stop();
    return;
  }
  recoveryTimer_->start(interval);
}

void TFMain::setRecoveryFolder(const QString& folder) { recovery_ = RecoveryCopies(folder); }

// A copy written for the project under another name (before a failed "Sauver projet sous...")
// gives way to the new one.
void TFMain::saveRecoveryCopy() {
  if (!project_) return;
  if (undoStack_->isClean()) {
    discardRecoveryCopy();
    return;
  }
  const QString copy = recovery_.pathFor(projectFileName_);
  if (!recovery_.write(copy, projectFileData(), format_)) {
    reportRecoveryFailure(copy);
    return;
  }
  if (!recoveryCopy_.isEmpty() && recoveryCopy_ != copy) QFile::remove(recoveryCopy_);
  recoveryCopy_ = copy;
  recoveryFailureShown_ = false;
}

// Only a copy this session wrote or restored is removed: a copy left by another session is
// the user's to restore or refuse.
void TFMain::discardRecoveryCopy() {
  if (!recoveryCopy_.isEmpty()) QFile::remove(recoveryCopy_);
  recoveryCopy_.clear();
}

// Once per project, and never while a mouse button is held: the box would take the release of
// a drag under way.
void TFMain::reportRecoveryFailure(const QString& copyPath) {
  if (recoveryFailureShown_ || QGuiApplication::mouseButtons() != Qt::NoButton) return;
  recoveryFailureShown_ = true;
  prompts_.showError(this, recoveryFailureMessage(copyPath));
}

void TFMain::offerUnsavedRecovery() {
  if (!project_) offerRecovery(QString());
}

// After `projectFile` was opened (or at start-up, for the unsaved project's copy). Yes restores
// the copy's polygons as one undo step, so that the project shows as changed and undoing goes
// back to the file; No removes the copy. An unreadable copy is left where it is.
void TFMain::offerRecovery(const QString& projectFile) {
  const std::optional<QDateTime> written = recovery_.newerCopy(projectFile);
  if (!written) return;
  const QString copyPath = recovery_.pathFor(projectFile);
  io::ProjectFileData copy;
  try {
    copy = io::readProjectFile(copyPath);
  } catch (const io::IoError& error) {
    prompts_.showError(this, QString::fromUtf8(error.what()));
    return;
  }
  const QString question = restoreQuestion(projectFile, fromUtf8(copy.projectName), *written);
  if (prompts_.askYesNo(this, question) != Answer::Yes) {
    QFile::remove(copyPath);
    return;
  }
  if (projectFile.isEmpty()) {
    windows_->newProject->setFields(fromUtf8(copy.projectName), fromUtf8(copy.leftImagePath),
                                    fromUtf8(copy.rightImagePath));
    if (!createProjectFromImages()) return;
  }
  restorePolygons(copy);
  recoveryCopy_ = copyPath;
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
