#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUndoStack>

#include "shell/about.h"
#include "shell/aide.h"
#include "shell/main.h"
#include "shell/new.h"
#include "shell/rapport.h"
#include "tools/appariement.h"
#include "tools/detect.h"
#include "tools/disparites.h"
#include "tools/estime.h"
#include "tools/opti.h"
#include "views/disparity_map.h"

// The main window's panels and menus, as built once at start-up.
namespace plk {

namespace {

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

}  // namespace

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
  session_->addRecentProjects(*menu);
  menu->addSeparator();
  QAction* quit = addMenuItem(menu, QStringLiteral("Quitter1"), QStringLiteral("Quitter"));
  create->setShortcut(QKeySequence::New);
  open->setShortcut(QKeySequence::Open);
  Fermerprojet1->setShortcut(QKeySequence::Save);
  Sauverprojetsous1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  connect(create, &QAction::triggered, this, &TFMain::Nouveauprojet1Click);
  connect(open, &QAction::triggered, this, &TFMain::Ouvrirprojet1Click);
  connect(Fermerprojet1, &QAction::triggered, this, &TFMain::Fermerprojet1Click);
  connect(Sauverprojetsous1, &QAction::triggered, this, [this] { (void)session_->saveProjectAs(); });
  connect(quit, &QAction::triggered, this, [this] {
    if (session_->askSaveAndClose(CloseReason::Quit)) close();
  });
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
  const QUndoStack* undoStack = &session_->history().undoStack();
  connect(undoStack, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
  connect(undoStack, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
  connect(undoStack, &QUndoStack::undoTextChanged, undo, [undo](const QString& what) {
    undo->setText(stepCaption(QStringLiteral("Annuler"), what));
  });
  connect(undoStack, &QUndoStack::redoTextChanged, redo, [redo](const QString& what) {
    redo->setText(stepCaption(QStringLiteral("Rétablir"), what));
  });
  connect(undo, &QAction::triggered, this, [this] { session_->history().undo(); });
  connect(redo, &QAction::triggered, this, [this] { session_->history().redo(); });
  menu->addSeparator();
  QAction* left = addMenuItem(menu, QStringLiteral("Rinitialiserlessommetsdelimagegauche1"),
                              QStringLiteral("Réinitialiser les sommets de l'image gauche"));
  QAction* right = addMenuItem(menu, QStringLiteral("Rinitialiserlessommetsdelimagedroite1"),
                               QStringLiteral("Réinitialiser les sommets de l'image droite"));
  connect(left, &QAction::triggered, this, &TFMain::Rinitialiserlessommetsdelimagegauche1Click);
  connect(right, &QAction::triggered, this, &TFMain::Rinitialiserlessommetsdelimagedroite1Click);
  menu->addSeparator();
  CopierVersDroite1 = addMenuItem(menu, QStringLiteral("CopierVersDroite1"),
                                  QStringLiteral("Copier le polygone vers l'image droite"));
  CopierVersGauche1 = addMenuItem(menu, QStringLiteral("CopierVersGauche1"),
                                  QStringLiteral("Copier le polygone vers l'image gauche"));
  connect(CopierVersDroite1, &QAction::triggered, this,
          [this] { copyPolygon(ImageSideKind::Left); });
  connect(CopierVersGauche1, &QAction::triggered, this,
          [this] { copyPolygon(ImageSideKind::Right); });
}

void TFMain::createViewMenu() {
  QMenu* menu = menuBar()->addMenu(QStringLiteral("Affichage"));
  menu->setObjectName(QStringLiteral("Affichage1"));
  Imagegauche1 = addMenuItem(menu, QStringLiteral("Imagegauche1"), QStringLiteral("Image gauche"));
  Imagedroite1 = addMenuItem(menu, QStringLiteral("Imagedroite1"), QStringLiteral("Image droite"));
  Rapport1 = addMenuItem(menu, QStringLiteral("Rapport1"), QStringLiteral("Rapport"));
  menu->addSeparator();
  Disposerlesfenetres1 = addMenuItem(menu, QStringLiteral("Disposerlesfenetres1"),
                                     QStringLiteral("Disposer les fenêtres"));
  connect(Disposerlesfenetres1, &QAction::triggered, this, &TFMain::arrangeWindows);
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
  QAction* map = addMenuItem(menu, QStringLiteral("Cartedesdisparites1"),
                             QStringLiteral("Carte des disparités"));
  connect(map, &QAction::triggered, this, [this] { showDisparityMap(*this, prompts_, *this); });
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

void TFMain::enableProjectMenus(bool enabled) {
  for (QAction* action : {Fermerprojet1, Sauverprojetsous1, Imagegauche1, Imagedroite1, Rapport1,
                          Disposerlesfenetres1, CopierVersDroite1, CopierVersGauche1,
                          Outils1->menuAction()}) {
    action->setEnabled(enabled);
  }
}

}  // namespace plk
