#include "shell/main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QUndoStack>

#include "core/fonctions/partner.h"
#include "core/verdict.h"
#include "shell/listing_view.h"
#include "shell/new.h"
#include "shell/rapport.h"
#include "tools/appariement.h"
#include "ui/placement.h"
#include "ui/prompts.h"
#include "ui/window_layout.h"
#include "views/disparity_map.h"

namespace plk {

namespace {

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

void redraw(TFImage* window) {
  if (window == nullptr) return;
  window->renderView();
  window->showView();
}

}  // namespace

TFMain::TFMain(Prompts& prompts, NumberFormat format, QWidget* parent)
    : QMainWindow(parent),
      prompts_(prompts),
      format_(format),
      listing_(format),
      session_(std::make_unique<ProjectSession>(*this, prompts, format, editing_, *this, *this)) {
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
  enableProjectMenus(false);
  connect(&session_->history().undoStack(), &QUndoStack::cleanChanged, this,
          &TFMain::updateTitle);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  centreOnScreen(*this);
}

TFMain::~TFMain() = default;

void TFMain::setWindows(const ShellWindows& windows) {
  windows_ = &windows;
  session_->setNewProjectDialog(*windows.newProject);
}

ReportSink& TFMain::showReport() {
  windows_->rapport->show();
  windows_->rapport->raise();
  return *windows_->rapport;
}

void TFMain::redrawImages() {
  redraw(leftWindow());
  redraw(rightWindow());
  refreshDisparityMap(*this);
}

// Move, Del and Adjust abandon a polygon under construction and forget Adjust picks. Arrow and
// Add keep them, but no mode keeps a drag whose button-up was lost: Add would otherwise read
// the drag's state as a polygon under construction.

void TFMain::chooseMode(EditMode mode) {
  const bool abandon = mode == EditMode::Move || mode == EditMode::Del || mode == EditMode::Adjust;
  for (TFImage* window : {leftWindow(), rightWindow()}) {
    if (window == nullptr) continue;
    if (abandon) {
      window->resetConstruction();
    } else {
      window->endDrag();
    }
  }
  editing_.editMode = mode;
  for (TFImage* window : {leftWindow(), rightWindow()}) {
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
  if (!session_->askSaveAndClose(CloseReason::Quit)) {
    event->ignore();
    return;
  }
  event->accept();
  QCoreApplication::quit();
}

void TFMain::showPointerPosition(int row, int column) {
  LabelUV->setText(QStringLiteral("(u,v) = (%1,%2)").arg(row).arg(column));
}

void TFMain::projectOpened() {
  updateTitle();
  enableProjectMenus(true);
  placeWindows();
}

namespace {

const QString kMainKey = QStringLiteral("principale");
const QString kReportKey = QStringLiteral("rapport");
const QString kLeftKey = QStringLiteral("gauche");
const QString kRightKey = QStringLiteral("droite");

}  // namespace

void TFMain::placeWindows() {
  const QRect available = screen()->availableGeometry();
  const WindowLayout remembered{
      rememberedFrame(kMainKey, available), rememberedFrame(kReportKey, available),
      rememberedFrame(kLeftKey, available), rememberedFrame(kRightKey, available)};
  if (remembered.main.isEmpty() || remembered.report.isEmpty() || remembered.left.isEmpty() ||
      remembered.right.isEmpty()) {
    arrangeWindows();
    return;
  }
  placeAll(remembered);
}

void TFMain::placeAll(const WindowLayout& layout) {
  placeWindow(*this, layout.main);
  placeWindow(*windows_->rapport, layout.report);
  placeWindow(*leftWindow(), layout.left);
  placeWindow(*rightWindow(), layout.right);
}

void TFMain::arrangeWindows() {
  TFImage* left = leftWindow();
  if (left == nullptr) return;
  const WindowLayout layout = layOutWindows(
      screen()->availableGeometry(), frameSizeFor(*this, size()),
      frameSizeFor(*left, QSize(left->imageWidth(), left->imageHeight())
                              .expandedTo(left->minimumSizeHint())));
  placeAll(layout);
}

void TFMain::projectClosing() {
  rememberFrame(kMainKey, *this);
  rememberFrame(kReportKey, *windows_->rapport);
  rememberFrame(kLeftKey, *leftWindow());
  rememberFrame(kRightKey, *rightWindow());
}

// Also empties the listing and the pointer label, which would otherwise show a closed project.
void TFMain::projectClosed() {
  enableProjectMenus(false);
  SpeedButtonArrow->setChecked(true);
  editing_.editMode = EditMode::Arrow;
  Memo1->clear();
  listing_.reset();
  listingPending_ = false;
  LabelUV->setText(kTenSpaces);
  updateTitle();
}

void TFMain::polygonsChanged() {
  listPolygons();
  redrawImages();
}

// " " before any project, "PLK [name]" while one is open, followed by " *" while it differs from
// its file, and "PLK" after it was closed.
void TFMain::updateTitle() {
  const Project* open = project();
  if (open == nullptr) {
    setWindowTitle(QStringLiteral("PLK"));
    return;
  }
  QString title = QStringLiteral("PLK [") + fromUtf8(open->projectName) + QStringLiteral("]");
  if (!session_->history().isSaved()) title += QStringLiteral(" *");
  setWindowTitle(title);
}

void TFMain::Fermerprojet1Click() { (void)session_->saveCurrentProject(); }

void TFMain::Nouveauprojet1Click() {
  if (session_->askSaveAndClose(CloseReason::Continue)) windows_->newProject->show();
}

void TFMain::Ouvrirprojet1Click() { session_->openProject(); }

void TFMain::Rinitialiserlessommetsdelimagegauche1Click() {
  if (!project() || !confirmReinitialisation(QStringLiteral("gauche"))) return;
  session_->clearVertices(ImageSideKind::Left,
                          QStringLiteral("réinitialisation des sommets de l'image gauche"),
                          ResultsEffect::PointsForgotten);
  listPolygons();
  redraw(leftWindow());
}

void TFMain::Rinitialiserlessommetsdelimagedroite1Click() {
  if (!project() || !confirmReinitialisation(QStringLiteral("droite"))) return;
  session_->clearVertices(ImageSideKind::Right,
                          QStringLiteral("réinitialisation des sommets de l'image droite"),
                          ResultsEffect::Kept);
  listPolygons();
  redraw(rightWindow());
}

bool TFMain::confirmReinitialisation(const QString& sideName) {
  return prompts_.askYesNo(this, QStringLiteral("Êtes vous sûr de vouloir supprimer tous les "
                                                "sommets de l'image %1 ?")
                                     .arg(sideName)) == Answer::Yes;
}

void TFMain::Button1Click() {
  if (project()) toggleLock(project()->left.polygons);
}

void TFMain::Button2Click() {
  if (project()) toggleLock(project()->right.polygons);
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

void TFMain::copyPolygon(ImageSideKind from) {
  if (project() == nullptr) return;
  session_->finishGestures();
  const bool fromLeft = from == ImageSideKind::Left;
  const auto placed =
      partnerCorners(*project(), fromLeft, windows_->appariement->disparityRange());
  if (const auto* message = std::get_if<std::string>(&placed)) {
    prompts_.showError(this, fromUtf8(*message));
    return;
  }
  TFImage* target = fromLeft ? rightWindow() : leftWindow();
  target->addPolygon(std::get<std::vector<Point2>>(placed), QStringLiteral("copie du polygone"));
  listPolygons();
}

void TFMain::beginPolygonEdit() { session_->history().begin(); }

void TFMain::endPolygonEdit(const QString& what, VertexStore released) {
  session_->history().record(what, std::move(released), ResultsEffect::Kept);
}

void TFMain::endPolygonEdit(const QString& what) { endPolygonEdit(what, {}); }

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
  const Project* open = project();
  if (open == nullptr || !open->results.homographiesEstimated) return notes;
  const auto choice = static_cast<HomographyChoice>(open->results.verdictEstimate);
  for (std::size_t p = 0; p < open->left.polygons.size(); ++p) {
    const auto verdict = judgePolygon(open->results, p, choice, format_);
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
  const Project* open = project();
  const ListingChange change =
      listing_.update(open ? &open->left.polygons : nullptr,
                      open ? &open->right.polygons : nullptr, verdictNotes());
  showListingChange(*Memo1, change, listing_.lines());
}

}  // namespace plk
