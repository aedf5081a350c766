#include "shell/main.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include "core/fonctions/gradient.h"
#include "io/io_error.h"
#include "io/project_file.h"
#include "io/project_opening.h"
#include "shell/about.h"
#include "shell/aide.h"
#include "shell/file_names.h"
#include "shell/new.h"
#include "ui/placement.h"
#include "ui/prompts.h"
#include "shell/rapport.h"
#include "tools/appariement.h"
#include "tools/detect.h"
#include "tools/disparites.h"
#include "tools/estime.h"
#include "tools/opti.h"

namespace plk {

namespace {

const QString kTenSpaces = QStringLiteral("          ");
const QString kProjectFilter = QStringLiteral("Projet PLK(*.plk)");
const QString kSaveQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de quitter ?");
constexpr int kClientWidth = 328;
constexpr int kClientHeight = 301;

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

void redraw(TFImage* window) {
  if (window == nullptr) return;
  window->renderView();
  window->showView();
}

}  // namespace

TFMain::TFMain(Prompts& prompts, NumberFormat format, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), format_(format) {
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
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  centreOnScreen(*this);
}

// The image windows refer to the project: they go first.
TFMain::~TFMain() {
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
  auto* add = createSpeedButton(panel, QStringLiteral("SpeedButtonAdd"),
                                QStringLiteral(":/buttons/add.png"),
                                QStringLiteral("Ajout de sommets"), 34);
  auto* move = createSpeedButton(panel, QStringLiteral("SpeedButtonMove"),
                                 QStringLiteral(":/buttons/move.png"),
                                 QStringLiteral("Déplacement de sommets"), 62);
  auto* del = createSpeedButton(panel, QStringLiteral("SpeedButtonDel"),
                                QStringLiteral(":/buttons/del.png"),
                                QStringLiteral("Supression de sommets"), 90);
  SpeedButtonArrow->setChecked(true);
  connect(SpeedButtonArrow, &QToolButton::clicked, this, [this] { chooseMode(EditMode::Arrow); });
  connect(add, &QToolButton::clicked, this, [this] { chooseMode(EditMode::Add); });
  connect(move, &QToolButton::clicked, this, [this] { chooseMode(EditMode::Move); });
  connect(del, &QToolButton::clicked, this, [this] { chooseMode(EditMode::Del); });
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
  menu->addSeparator();
  QAction* quit = addMenuItem(menu, QStringLiteral("Quitter1"), QStringLiteral("Quitter"));
  connect(create, &QAction::triggered, this, [this] {
    if (askSaveAndClose()) windows_->newProject->show();
  });
  connect(open, &QAction::triggered, this, &TFMain::Ouvrirprojet1Click);
  connect(Fermerprojet1, &QAction::triggered, this, &TFMain::Fermerprojet1Click);
  connect(quit, &QAction::triggered, this, [this] {
    if (askSaveAndClose()) close();
  });
}

void TFMain::createEditMenu() {
  QMenu* menu = menuBar()->addMenu(QStringLiteral("Edition"));
  menu->setObjectName(QStringLiteral("Edition1"));
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
  // The Adjust mode leaves the pressed speed button as it is.
  connect(adjust, &QAction::triggered, this, [this] { chooseMode(EditMode::Adjust); });
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
  for (QAction* action :
       {Fermerprojet1, Imagegauche1, Imagedroite1, Rapport1, Outils1->menuAction()}) {
    action->setEnabled(true);
  }
}

void TFMain::disableProjectMenus() {
  for (QAction* action :
       {Fermerprojet1, Imagegauche1, Imagedroite1, Rapport1, Outils1->menuAction()}) {
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
}

void TFMain::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) LabelUV->setText(kTenSpaces);
  QMainWindow::changeEvent(event);
}

void TFMain::closeEvent(QCloseEvent* event) {
  if (!askSaveAndClose()) {
    event->ignore();
    return;
  }
  event->accept();
  QCoreApplication::quit();
}

void TFMain::showPointerPosition(int row, int column) {
  LabelUV->setText(QStringLiteral("(u,v) = (%1,%2)").arg(row).arg(column));
}

bool TFMain::askSaveAndClose() {
  if (!project_) return true;
  const Answer answer = prompts_.askYesNoCancel(this, kSaveQuestion);
  if (answer == Answer::Cancel) return false;
  // A save the user declined lets the closing go on; a save that failed keeps the project open,
  // so that its polygons are not lost.
  if (answer == Answer::Yes && saveCurrentProject() == SaveOutcome::Failed) return false;
  closeProject();
  return true;
}

void TFMain::closeProject() {
  disableProjectMenus();
  SpeedButtonArrow->setChecked(true);
  editing_.editMode = EditMode::Arrow;
  leftWindow_.reset();
  rightWindow_.reset();
  project_.reset();
  projectFileName_.clear();
  setWindowTitle(QStringLiteral("PLK"));
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
  setWindowTitle(QStringLiteral("PLK [") + fields.projectName() + QStringLiteral("]"));
  right->move(right->pos() + QPoint(20, 20));
  computeGradients(*project);
  project_ = std::move(project);
  leftWindow_ = std::move(left);
  rightWindow_ = std::move(right);
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

SaveOutcome TFMain::saveProject(const QString& path) {
  const TFNew& fields = *windows_->newProject;
  io::ProjectFileData data;
  data.projectName = fields.projectName().toStdString();
  data.leftImagePath = fields.leftImagePath().toStdString();
  data.rightImagePath = fields.rightImagePath().toStdString();
  data.left = project_->left.polygons.describe();
  data.right = project_->right.polygons.describe();
  try {
    io::writeProjectFile(path, data, format_);
  } catch (const io::IoError& error) {
    prompts_.showError(this, QString::fromUtf8(error.what()));
    // The next "Sauver projet" asks for another file instead of failing on this one again.
    projectFileName_.clear();
    return SaveOutcome::Failed;
  }
  return SaveOutcome::Saved;
}

void TFMain::Ouvrirprojet1Click() {
  if (!askSaveAndClose()) return;
  const QString path = prompts_.openFileName(this, QStringLiteral("Ouverture de projet"),
                                             lastDirectory_, kProjectFilter);
  if (path.isEmpty()) return;
  lastDirectory_ = QFileInfo(path).absolutePath();
  projectFileName_ = loadProject(path) ? path : QString();
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
  clearVertices(project_->left, leftWindow_.get());
  project_->results.clearFlags();
  project_->results.interestPoints.clear();
  listPolygons();
  redraw(leftWindow_.get());
}

void TFMain::Rinitialiserlessommetsdelimagedroite1Click() {
  if (!project_ || !confirmReinitialisation(QStringLiteral("droite"))) return;
  clearVertices(project_->right, rightWindow_.get());
  listPolygons();
  redraw(rightWindow_.get());
}

bool TFMain::confirmReinitialisation(const QString& sideName) {
  return prompts_.askYesNo(this, QStringLiteral("Êtes vous sûr de vouloir supprimer tous les "
                                                "sommets de l'image %1 ?")
                                     .arg(sideName)) == Answer::Yes;
}

// The window forgets every vertex it referred to, so that none destroyed here is used later.
void TFMain::clearVertices(ImageSide& side, TFImage* window) {
  side.polygons.clear();
  window->forgetVertices();
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
  polygon.locked = !polygon.locked;
  listPolygons();
}

void TFMain::listPolygons() {
  QStringList lines{QStringLiteral("Image gauche :")};
  if (project_) appendSideListing(lines, project_->left.polygons);
  lines << QStringLiteral(" ") << QStringLiteral("Image droite :");
  if (project_) appendSideListing(lines, project_->right.polygons);
  Memo1->setPlainText(lines.join(QLatin1Char('\n')));
}

// Per polygon a header "    k (libre) : " or "    k (bloqué) : ", then "(U V) " per element.
void TFMain::appendSideListing(QStringList& lines, const PolygonList& polygons) const {
  for (std::size_t k = 0; k < polygons.size(); ++k) {
    const Polygone& polygon = polygons[k];
    lines << QStringLiteral("    %1 (%2) : ")
                 .arg(k + 1)
                 .arg(polygon.locked ? QStringLiteral("bloqué") : QStringLiteral("libre"));
    std::string vertices;
    for (const Sommet* vertex : polygon.sommets) {
      vertices += "(" + formatFixed(vertex->U, 5, 1, format_) + " " +
                  formatFixed(vertex->V, 5, 1, format_) + ") ";
    }
    lines << fromUtf8(vertices);
  }
}

}  // namespace plk
