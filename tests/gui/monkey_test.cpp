#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>
#include <QWheelEvent>
#include <QtTest/QTest>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <vector>

#include "io/project_file.h"
#include "monkey_checks.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

using namespace std::chrono_literals;

const QString kPairFolder = QStringLiteral(PLK_TESTDATA_DIR "/middlebury2001/map");
const QString kFileRestorePrefix =
    QStringLiteral("Une copie de secours plus récente que le fichier");
const QString kUnsavedRestorePrefix = QStringLiteral("Une copie de secours du projet");
constexpr int kLongRunThreshold = 1000;  // runs this long must have exercised every command

struct MonkeyOptions {
  std::uint32_t seed = 1;
  int events = 1500;
  int fileCheckEvery = 25;  // events between two save-and-load comparisons
  bool trace = false;       // print every event, to follow a replay
};

// PLK_MONKEY_EVENTS sets the length of the run and PLK_MONKEY_SEED the sequence, to replay a
// failure or to run long; PLK_MONKEY_TRACE prints the events.
MonkeyOptions optionsFromEnvironment() {
  MonkeyOptions options;
  bool ok = false;
  const int events = qEnvironmentVariableIntValue("PLK_MONKEY_EVENTS", &ok);
  if (ok && events > 0) options.events = events;
  const std::uint32_t seed = qEnvironmentVariable("PLK_MONKEY_SEED").toUInt(&ok);
  if (ok) options.seed = seed;
  options.trace = !qEnvironmentVariableIsEmpty("PLK_MONKEY_TRACE");
  return options;
}

struct MonkeyFailure {
  std::uint32_t seed = 0;
  int event = 0;  // from 1
  QString action;
  QString violation;

  [[nodiscard]] QString report() const {
    return QStringLiteral(
               "monkey seed %1, event %2 (%3): %4\nreplay with PLK_MONKEY_SEED=%1 "
               "PLK_MONKEY_EVENTS=%2")
        .arg(seed)
        .arg(event)
        .arg(action, violation);
  }
};

// What a run did, so that a passing run is known to have exercised the program.
struct MonkeyActivity {
  int projectsOpened = 0;
  int mostVertices = 0;
  int mostClosedPolygons = 0;
  int filesSaved = 0;
  int restores = 0;
};

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held, Qt::KeyboardModifiers keys) {
  QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, held, keys);
  QApplication::sendEvent(target, &event);
}

QString buttonName(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return QStringLiteral("left");
    case Qt::RightButton:
      return QStringLiteral("right");
    default:
      return QStringLiteral("middle");
  }
}

// The offscreen platform warns at every window raised: thousands of lines in a long run.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (message.contains(QStringLiteral("does not support raise()"))) return;
  std::cerr << qPrintable(qFormatLogMessage(type, {}, message)) << '\n';
}

// A menu command is within the user's reach when it and every menu above it are enabled.
bool reachable(const QAction* action) {
  if (!action->isEnabled()) return false;
  for (const QObject* owner = action->parent(); owner != nullptr; owner = owner->parent()) {
    const auto* menu = qobject_cast<const QMenu*>(owner);
    if (menu == nullptr) break;
    if (!menu->menuAction()->isEnabled()) return false;
  }
  return true;
}

struct KeyChoice {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  const char* name;
};

const std::array<KeyChoice, 17> kKeys = {{
    {Qt::Key_Escape, Qt::NoModifier, "Esc"},
    {Qt::Key_A, Qt::NoModifier, "A"},
    {Qt::Key_M, Qt::NoModifier, "M"},
    {Qt::Key_D, Qt::NoModifier, "D"},
    {Qt::Key_F, Qt::NoModifier, "F"},
    {Qt::Key_C, Qt::NoModifier, "C"},
    {Qt::Key_Left, Qt::NoModifier, "Left"},
    {Qt::Key_Right, Qt::NoModifier, "Right"},
    {Qt::Key_Up, Qt::NoModifier, "Up"},
    {Qt::Key_Down, Qt::NoModifier, "Down"},
    {Qt::Key_PageDown, Qt::NoModifier, "PageDown"},
    {Qt::Key_Plus, Qt::NoModifier, "+"},
    {Qt::Key_Minus, Qt::NoModifier, "-"},
    {Qt::Key_Z, Qt::ControlModifier, "Ctrl+Z"},
    {Qt::Key_Y, Qt::ControlModifier, "Ctrl+Y"},
    {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "Ctrl+Shift+Z"},
    {Qt::Key_A, Qt::ShiftModifier, "Shift+A"},
}};

const std::array<const char*, 5> kSpeedButtons = {
    "SpeedButtonArrow", "SpeedButtonAdd", "SpeedButtonMove", "SpeedButtonDel", "SpeedButtonAdjust"};
const std::array<const char*, 6> kModalCommands = {
    "Optimiserlasegmentation1", "Chercherlespointsdintrt1",     "Apparierlespointsdintrt1",
    "Estimerleshomographies1",  "Calculerlacartedesdisparits1", "Aide2"};
const std::array<const char*, 4> kViewCommands = {"Imagegauche1", "Imagedroite1", "Rapport1",
                                                  "Apropos1"};
const std::array<const char*, 6> kProjectCommands = {"Nouveauprojet1", "Ouvrirprojet1",
                                                     "Projetrecent1",  "Projetrecent2",
                                                     "Projetrecent3",  "Projetrecent4"};

// A seeded random user of the whole program on a Middlebury pair: clicks, drags and keys in the
// image windows in every mode, speed buttons, menu commands (saving, opening, undoing, locking,
// reinitialising, quitting), the tool dialogs opened and cancelled, recovery copies and crashes.
// Boxes are answered and file dialogs filled at random from the same seed. After every event
// the model's invariants are checked, and the save-and-load comparisons every few events. It
// runs under the users' French locale, where the listing and the files write a decimal comma.
class MonkeyTest : public ShellTest {
 protected:
  TestLocale testLocale() const override { return TestLocale::French; }

  // Runs in `work` (created if needed); the first broken invariant ends the run.
  std::optional<MonkeyFailure> runMonkey(const MonkeyOptions& options, const QString& work);

  // Called after every event, before the checks: a test that breaks the model on purpose.
  std::function<void(int event)> tamper;
  MonkeyActivity activity;

 private:
  int below(std::size_t count) {
    return std::uniform_int_distribution<int>(0, static_cast<int>(count) - 1)(random_);
  }
  bool chance(int percent) { return below(100) < percent; }
  [[nodiscard]] QString work(const QString& name) const { return QDir(work_).filePath(name); }

  void restart();
  void improviseAnswers();
  Answer answerQuestion(const QString& text, bool cancelOffered);
  QString chooseFile(const QString& title);
  QString check(const MonkeyOptions& options, int event);
  void noteActivity();

  QString playOneEvent();
  QString playWithoutProject();
  TFImage* pickWindow();
  [[nodiscard]] QString sideOf(const TFImage* window) const;
  QPoint pickPoint(TFImage& window);
  QString pointerMove();
  QString click();
  QString drag();
  QString leave();
  QString wheel();
  QString keyPress();
  QString speedButton();
  QString command(const char* name);
  QString oneOf(const char* const* names, std::size_t count);
  QString toggleLock();
  QString openAndCancel();
  QString answerNewProjectDialog();
  QString quit();
  QString crashAndRestart();
  void checkRestore(bool neverSaved, const QString& file, const QString& expected);

  std::mt19937 random_;
  QString work_;
  bool fileEvent_ = false;   // the event saved or opened: compare with the files at once
  bool restarting_ = false;  // a crashed program starts again: answer as its user would
  Answer restoreAnswer_ = Answer::Yes;
  QString pendingViolation_;
};

void MonkeyTest::restart() {
  startShell();
  main().session().recovery().setInterval(0ms);  // recovery copies are events of the run, not of the clock
}

// Every run starts as the first run of the program on this machine: no recent projects, no
// recovery copy of an unsaved project.
std::optional<MonkeyFailure> MonkeyTest::runMonkey(const MonkeyOptions& options,
                                                   const QString& work) {
  work_ = work;
  QDir().mkpath(work_);
  random_.seed(options.seed);
  activity = {};
  // The main window's list of recent projects, kept in the user's settings.
  QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("PLK"),
            QStringLiteral("PLK"))
      .remove(QStringLiteral("projetsRecents"));
  QDir(recoveryFolder()).removeRecursively();
  improviseAnswers();
  const QtMessageHandler previous = qInstallMessageHandler(quietHandler);
  restart();
  std::optional<MonkeyFailure> failure;
  for (int event = 1; event <= options.events; ++event) {
    prompts.questions.clear();
    prompts.given.clear();
    prompts.errors.clear();
    prompts.dialogTitles.clear();
    prompts.proposedNames.clear();
    prompts.filters.clear();
    fileEvent_ = false;
    const QString action = playOneEvent();
    if (options.trace) std::cout << event << ": " << action.toStdString() << '\n';
    QCoreApplication::processEvents();
    if (tamper) tamper(event);
    const QString violation = check(options, event);
    if (!violation.isEmpty()) {
      failure = MonkeyFailure{options.seed, event, action, violation};
      break;
    }
    noteActivity();
  }
  qInstallMessageHandler(previous);
  return failure;
}

QString MonkeyTest::check(const MonkeyOptions& options, int event) {
  QString violation = pendingViolation_;
  pendingViolation_.clear();
  if (violation.isEmpty()) violation = brokenInvariant(main());
  const bool fileCheck =
      fileEvent_ || event % options.fileCheckEvery == 0 || event == options.events;
  if (violation.isEmpty() && fileCheck) violation = fileMismatch(main());
  if (violation.isEmpty() && fileCheck) {
    violation = roundTripMismatch(main(), work(QStringLiteral("round-trip.plk")));
  }
  return violation;
}

void MonkeyTest::noteActivity() {
  const Project* project = main().project();
  if (project == nullptr) return;
  int vertices = 0;
  int closed = 0;
  for (const PolygonList* polygons : {&project->left.polygons, &project->right.polygons}) {
    vertices += static_cast<int>(polygons->vertexCount());
    for (std::size_t k = 0; k < polygons->size(); ++k) closed += (*polygons)[k].isClosed();
  }
  activity.mostVertices = std::max(activity.mostVertices, vertices);
  activity.mostClosedPolygons = std::max(activity.mostClosedPolygons, closed);
}

void MonkeyTest::improviseAnswers() {
  prompts.improviseAnswer = [this](const QString& text, bool cancelOffered) {
    return answerQuestion(text, cancelOffered);
  };
  prompts.improviseFile = [this](const QString& title) { return chooseFile(title); };
}

// While a crashed program starts again, its user restores or refuses the copies as decided and
// saves nothing.
Answer MonkeyTest::answerQuestion(const QString& text, bool cancelOffered) {
  if (text.startsWith(QStringLiteral("Une copie de secours"))) {
    if (restarting_) return restoreAnswer_;
    return chance(60) ? Answer::Yes : Answer::No;
  }
  if (cancelOffered) {
    if (restarting_) return Answer::No;
    const int roll = below(10);
    return roll < 3 ? Answer::Yes : roll < 8 ? Answer::No : Answer::Cancel;
  }
  return chance(50) ? Answer::Yes : Answer::No;
}

QString MonkeyTest::chooseFile(const QString& title) {
  if (title == QStringLiteral("Ouverture de projet")) {
    if (!chance(85)) return {};
    return work(chance(50) ? QStringLiteral("a.plk") : QStringLiteral("b.plk"));
  }
  if (title == QStringLiteral("Sauvegarde du projet en cours")) {
    if (restarting_) return {};
    const int roll = below(10);
    if (roll < 4) return work(QStringLiteral("a"));
    if (roll < 7) return work(QStringLiteral("b.plk"));
    if (roll < 8) return work(QStringLiteral("missing/c.plk"));  // a save that fails
    return {};
  }
  if (title == QStringLiteral("Ouvrir l'image gauche")) return kPairFolder + "/left.bmp";
  if (title == QStringLiteral("Ouvrir l'image droite")) return kPairFolder + "/right.bmp";
  if (title == QStringLiteral("Sauvegarde du rapport en cours") && chance(50)) {
    return work(QStringLiteral("rapport.txt"));
  }
  return {};
}

// Weights in thousandths: mostly mouse work, with rare resets so that models grow.
QString MonkeyTest::playOneEvent() {
  if (shell->newProject().isVisible() && chance(30)) return answerNewProjectDialog();
  if (main().project() == nullptr) return playWithoutProject();
  const int roll = below(1000);
  if (roll < 150) return pointerMove();
  if (roll < 480) return click();
  if (roll < 600) return drag();
  if (roll < 610) return leave();
  if (roll < 630) return wheel();
  if (roll < 710) return keyPress();
  if (roll < 790) return speedButton();
  if (roll < 850) return command(chance(60) ? "Annuler1" : "Retablir1");
  if (roll < 875) return toggleLock();
  if (roll < 878) {
    return command(chance(50) ? "Rinitialiserlessommetsdelimagegauche1"
                              : "Rinitialiserlessommetsdelimagedroite1");
  }
  if (roll < 900) {
    fileEvent_ = true;
    return command(chance(60) ? "Fermerprojet1" : "Sauverprojetsous1");
  }
  if (roll < 930) return command("Ajusterlessommetsdevantappartenirunct1");
  if (roll < 945) return openAndCancel();
  if (roll < 960) return oneOf(kViewCommands.data(), kViewCommands.size());
  if (roll < 980) {
    main().session().recovery().saveCopy();
    return QStringLiteral("recovery timer");
  }
  if (roll < 985) {
    fileEvent_ = true;
    return oneOf(kProjectCommands.data(), kProjectCommands.size());
  }
  if (roll < 988) return quit();
  if (roll < 993) return crashAndRestart();
  if (TFImage* window = pickWindow()) {
    window->close();
    return QStringLiteral("close the %1 window").arg(sideOf(window));
  }
  return QStringLiteral("no window to close");
}

QString MonkeyTest::playWithoutProject() {
  fileEvent_ = true;
  const int roll = below(100);
  if (roll < 40) {
    const QString opened = command("Nouveauprojet1");
    return shell->newProject().isVisible()
               ? opened + QStringLiteral(", then ") + answerNewProjectDialog()
               : opened;
  }
  if (roll < 65) return command("Ouvrirprojet1");
  if (roll < 72) return oneOf(kProjectCommands.data() + 2, 4);
  if (roll < 77) return quit();
  if (roll < 82) return crashAndRestart();
  if (roll < 90) return speedButton();
  if (roll < 95) return openAndCancel();
  return oneOf(kViewCommands.data(), kViewCommands.size());
}

TFImage* MonkeyTest::pickWindow() {
  std::vector<TFImage*> shown;
  for (TFImage* window : {main().leftWindow(), main().rightWindow()}) {
    if (window != nullptr && window->isVisible()) shown.push_back(window);
  }
  return shown.empty() ? nullptr : shown[static_cast<std::size_t>(below(shown.size()))];
}

QString MonkeyTest::sideOf(const TFImage* window) const {
  return window == main().leftWindow() ? QStringLiteral("left") : QStringLiteral("right");
}

// Half the time near a vertex of the window's image (within reach or just beyond), so that
// moves, deletions, picks and shared corners happen; otherwise anywhere in the visible part.
QPoint MonkeyTest::pickPoint(TFImage& window) {
  const QRect visible = window.paintBox()->visibleRegion().boundingRect();
  if (visible.isEmpty()) return {};
  const Project& project = *main().project();
  const PolygonList& polygons =
      &window == main().leftWindow() ? project.left.polygons : project.right.polygons;
  if (!polygons.empty() && chance(55)) {
    const Polygone& polygon = polygons[static_cast<std::size_t>(below(polygons.size()))];
    const Sommet& vertex =
        *polygon.sommets[static_cast<std::size_t>(below(polygon.sommets.size()))];
    const int zoom = window.zoom();
    const QPoint aim((static_cast<int>(std::floor(vertex.V)) + below(9) - 4) * zoom + below(zoom),
                     (static_cast<int>(std::floor(vertex.U)) + below(9) - 4) * zoom + below(zoom));
    if (visible.contains(aim)) return aim;
  }
  return {visible.left() + below(visible.width()), visible.top() + below(visible.height())};
}

QString MonkeyTest::pointerMove() {
  TFImage* window = pickWindow();
  if (window == nullptr) return oneOf(kViewCommands.data(), 2);
  const QPoint at = pickPoint(*window);
  sendMouse(window->paintBox(), QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  return QStringLiteral("move to (%1, %2) in the %3 window")
      .arg(at.x())
      .arg(at.y())
      .arg(sideOf(window));
}

QString MonkeyTest::click() {
  TFImage* window = pickWindow();
  if (window == nullptr) return oneOf(kViewCommands.data(), 2);
  const QPoint at = pickPoint(*window);
  const int roll = below(100);
  const Qt::MouseButton button = roll < 75   ? Qt::LeftButton
                                 : roll < 90 ? Qt::RightButton
                                             : Qt::MiddleButton;
  const Qt::KeyboardModifiers keys = chance(8) ? Qt::ShiftModifier : Qt::NoModifier;
  QWidget* surface = window->paintBox();
  sendMouse(surface, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, keys);
  sendMouse(surface, QEvent::MouseButtonPress, at, button, button, keys);
  sendMouse(surface, QEvent::MouseButtonRelease, at, button, Qt::NoButton, keys);
  return QStringLiteral("%1 click%2 at (%3, %4) in the %5 window")
      .arg(buttonName(button), keys == Qt::ShiftModifier ? QStringLiteral(" with Shift") : "")
      .arg(at.x())
      .arg(at.y())
      .arg(sideOf(window));
}

QString MonkeyTest::drag() {
  TFImage* window = pickWindow();
  if (window == nullptr) return oneOf(kViewCommands.data(), 2);
  QWidget* surface = window->paintBox();
  QPoint at = pickPoint(*window);
  const QPoint from = at;
  sendMouse(surface, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  sendMouse(surface, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  const int steps = 1 + below(5);
  for (int step = 0; step < steps; ++step) {
    at = pickPoint(*window);
    sendMouse(surface, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  }
  sendMouse(surface, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  return QStringLiteral("drag from (%1, %2) to (%3, %4) in %5 steps in the %6 window")
      .arg(from.x())
      .arg(from.y())
      .arg(at.x())
      .arg(at.y())
      .arg(steps)
      .arg(sideOf(window));
}

QString MonkeyTest::leave() {
  TFImage* window = pickWindow();
  if (window == nullptr) return QStringLiteral("no window to leave");
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(window->paintBox(), &event);
  return QStringLiteral("pointer leaves the %1 window").arg(sideOf(window));
}

QString MonkeyTest::wheel() {
  TFImage* window = pickWindow();
  if (window == nullptr) return QStringLiteral("no window to turn the wheel in");
  const QPoint at = pickPoint(*window);
  const int angle = (chance(50) ? 1 : -1) * (chance(70) ? 120 : 60);
  const Qt::KeyboardModifiers keys = chance(70) ? Qt::ControlModifier : Qt::NoModifier;
  QWidget* surface = window->paintBox();
  QWheelEvent event(QPointF(at), QPointF(surface->mapToGlobal(at)), QPoint(), QPoint(0, angle),
                    Qt::NoButton, keys, Qt::NoScrollPhase, false);
  QApplication::sendEvent(surface, &event);
  return QStringLiteral("wheel %1%2 at (%3, %4) in the %5 window")
      .arg(angle)
      .arg(keys == Qt::ControlModifier ? QStringLiteral(" with Ctrl") : "")
      .arg(at.x())
      .arg(at.y())
      .arg(sideOf(window));
}

// To the window itself or to the widget that has its focus (the scrolled view).
QString MonkeyTest::keyPress() {
  TFImage* window = pickWindow();
  if (window == nullptr) return oneOf(kViewCommands.data(), 2);
  const KeyChoice& choice = kKeys[static_cast<std::size_t>(below(kKeys.size()))];
  QWidget* target = window;
  if (chance(30) && window->focusWidget() != nullptr) target = window->focusWidget();
  QTest::keyClick(target, choice.key, choice.modifiers);
  return QStringLiteral("key %1 in the %2 window").arg(choice.name).arg(sideOf(window));
}

// Add more often than the others, so that the models grow between deletions.
QString MonkeyTest::speedButton() {
  const int roll = below(100);
  const std::size_t button = roll < 15 ? 0 : roll < 50 ? 1 : roll < 70 ? 2 : roll < 80 ? 3 : 4;
  const char* name = kSpeedButtons[button];
  main().findChild<QToolButton*>(name)->click();
  return QStringLiteral("button %1").arg(name);
}

QString MonkeyTest::command(const char* name) {
  QAction* action = main().findChild<QAction*>(name);
  if (action == nullptr || !reachable(action)) {
    return QStringLiteral("menu %1 (out of reach)").arg(name);
  }
  const bool clean = main().project() != nullptr && main().session().history().undoStack().isClean();
  action->trigger();
  if (main().project() != nullptr && main().session().history().undoStack().isClean() && !clean) {
    ++activity.filesSaved;
  }
  return QStringLiteral("menu %1").arg(name);
}

QString MonkeyTest::oneOf(const char* const* names, std::size_t count) {
  return command(names[below(count)]);
}

QString MonkeyTest::toggleLock() {
  const std::array<const char*, 7> texts = {"1", "2", "3", "0", "-1", "abc", ""};
  const char* text = texts[static_cast<std::size_t>(below(texts.size()))];
  main().findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QString::fromLatin1(text));
  const char* button = chance(50) ? "Button1" : "Button2";
  main().findChild<QPushButton*>(button)->click();
  return QStringLiteral("%1 with polygon number \"%2\"").arg(button, text);
}

// The modal dialogs are closed as soon as they show, as their "Annuler" does.
QString MonkeyTest::openAndCancel() {
  QTimer closer;
  closer.setInterval(1);
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  closer.start();
  const QString done = oneOf(kModalCommands.data(), kModalCommands.size());
  return done + QStringLiteral(", cancelled");
}

QString MonkeyTest::answerNewProjectDialog() {
  TFNew& dialog = shell->newProject();
  const int roll = below(100);
  if (roll < 10) {
    dialog.findChild<QPushButton*>(QStringLiteral("Button4"))->click();
    return QStringLiteral("new project cancelled");
  }
  if (roll < 20) {
    const char* button = chance(50) ? "Button1" : "Button2";
    dialog.findChild<QPushButton*>(button)->click();
    return QStringLiteral("new project: browse with %1").arg(button);
  }
  fileEvent_ = true;
  QString name = chance(50) ? QStringLiteral("singe") : QStringLiteral("scène 2");
  QString left = kPairFolder + "/left.bmp";
  if (roll < 25) name.clear();     // refused: no name
  if (roll < 30) left = leftPath;  // refused: another size
  dialog.setFields(name, left, kPairFolder + "/right.bmp");
  dialog.findChild<QPushButton*>(QStringLiteral("Button3"))->click();
  if (main().project() != nullptr) ++activity.projectsOpened;
  return QStringLiteral("new project \"%1\"%2")
      .arg(name, left == leftPath ? QStringLiteral(" with a left image of another size") : "");
}

// "Quitter" or the title bar's close button; once the program has ended, it is started again.
QString MonkeyTest::quit() {
  const bool byMenu = chance(50);
  if (byMenu) {
    command("Quitter1");
  } else {
    main().close();
  }
  const bool ended = !main().isVisible();
  if (ended) restart();
  return QStringLiteral("%1%2").arg(
      byMenu ? QStringLiteral("menu Quitter1") : QStringLiteral("close the main window"),
      ended ? QStringLiteral(", program started again") : "");
}

// The timer writes its copy, then the program dies without any closing question and is started
// again; the project, if it had a file, is opened again. The copy of unsaved changes must be
// offered, and give back the polygons of the moment of the crash when restored.
QString MonkeyTest::crashAndRestart() {
  const bool open = main().project() != nullptr;
  const bool unsaved = open && !main().session().history().undoStack().isClean();
  const QString file = open ? main().session().projectFileName() : QString();
  const QString expected = describeProject(main());
  if (unsaved) main().session().recovery().saveCopy();
  restarting_ = true;
  restoreAnswer_ = chance(70) ? Answer::Yes : Answer::No;
  restart();
  if (!file.isEmpty()) {
    prompts.fileNames = {file};
    command("Ouvrirprojet1");
    prompts.fileNames.clear();
  }
  restarting_ = false;
  fileEvent_ = true;
  if (unsaved) checkRestore(file.isEmpty(), file, expected);
  if (main().project() != nullptr) ++activity.projectsOpened;
  return QStringLiteral("crash %1, then restart answering %2")
      .arg(
          unsaved ? QStringLiteral("with unsaved changes") : QStringLiteral("with nothing unsaved"),
          restoreAnswer_ == Answer::Yes ? QStringLiteral("Oui") : QStringLiteral("Non"));
}

void MonkeyTest::checkRestore(bool neverSaved, const QString& file, const QString& expected) {
  const QString prefix = neverSaved ? kUnsavedRestorePrefix : kFileRestorePrefix;
  qsizetype asked = -1;
  for (qsizetype i = 0; i < prompts.questions.size(); ++i) {
    if (prompts.questions[i].startsWith(prefix)) asked = i;
  }
  if (asked < 0) {
    pendingViolation_ = QStringLiteral("no restore question after a crash with unsaved changes");
    return;
  }
  const QString copy =
      neverSaved ? QDir(recoveryFolder()).filePath(QStringLiteral("unsaved-project.plk.recovery"))
                 : file + QStringLiteral(".recovery");
  if (prompts.given.value(asked) == Answer::No) {
    if (QFile::exists(copy)) pendingViolation_ = QStringLiteral("a refused copy was kept");
    return;
  }
  ++activity.restores;
  if (describeProject(main()) != expected) {
    pendingViolation_ = QStringLiteral("the restored polygons differ from those of the crash:\n") +
                        describeProject(main()) + QStringLiteral("\ninstead of\n") + expected;
  } else if (main().session().history().undoStack().isClean() && expected != describeProjectFile(file)) {
    pendingViolation_ = QStringLiteral("a restored project shows no unsaved change");
  }
}

TEST_F(MonkeyTest, RandomUseKeepsTheModelSound) {
  const MonkeyOptions options = optionsFromEnvironment();
  const auto started = std::chrono::steady_clock::now();
  const std::optional<MonkeyFailure> failure = runMonkey(options, path(QStringLiteral("run")));
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(failure) << failure->report().toStdString();
  std::cout << "monkey seed " << options.seed << ": " << options.events << " events in "
            << spent.count() << " s; " << activity.projectsOpened << " projects opened, "
            << activity.filesSaved << " saves, " << activity.restores << " restores, up to "
            << activity.mostVertices << " vertices and " << activity.mostClosedPolygons
            << " closed polygons\n";
  if (options.events >= kLongRunThreshold) {
    EXPECT_GT(activity.projectsOpened, 2);
    EXPECT_GT(activity.filesSaved, 0);
    EXPECT_GT(activity.restores, 0);
    EXPECT_GT(activity.mostClosedPolygons, 0);
  }
}

// A fault planted in the model at some event is reported at that very event with the seed, and
// the same seed with the same fault gives the same report: the report replays.
TEST_F(MonkeyTest, APlantedFaultIsReportedWithTheSeedAndTheEvent) {
  Sommet stranger(5.0, 5.0);
  const auto leftPolygons = [this]() -> PolygonList* {
    Project* project = main().project();
    return project != nullptr && !project->left.polygons.empty() ? &project->left.polygons
                                                                 : nullptr;
  };
  struct Plant {
    const char* expected;
    std::function<bool()> apply;
    int fileCheckEvery = 25;
  };
  const std::vector<Plant> plants = {
      {"lists a vertex that its image's list does not own",
       [&] {
         PolygonList* polygons = leftPolygons();
         if (polygons == nullptr) return false;
         (*polygons)[0].sommets.push_back(&stranger);
         return true;
       }},
      {"not finite or far off the image",
       [&] {
         PolygonList* polygons = leftPolygons();
         if (polygons == nullptr) return false;
         (*polygons)[0].sommets[0]->U = std::nan("");
         return true;
       }},
      {"the listing does not show the model",
       [&] {
         if (main().project() == nullptr) return false;
         main().findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->appendPlainText("    9");
         return true;
       }},
      {"a project without unsaved changes differs from its file",
       [&] {
         if (leftPolygons() == nullptr || !main().session().history().undoStack().isClean() ||
             main().session().projectFileName().isEmpty()) {
           return false;
         }
         io::ProjectFileData data = io::readProjectFile(main().session().projectFileName());
         data.left = {};
         io::writeProjectFile(main().session().projectFileName(), data, main().numberFormat());
         return true;
       },
       1},
  };
  for (std::size_t p = 0; p < plants.size(); ++p) {
    const MonkeyOptions options{5, 3000, plants[p].fileCheckEvery, false};
    QStringList reports;
    for (int run = 0; run < 2; ++run) {
      int plantedAt = 0;
      tamper = [&](int event) {
        if (plantedAt == 0 && event >= 40 && plants[p].apply()) plantedAt = event;
      };
      const std::optional<MonkeyFailure> failure =
          runMonkey(options, path(QStringLiteral("plant%1-%2").arg(p).arg(run)));
      tamper = nullptr;
      ASSERT_TRUE(failure) << plants[p].expected;
      ASSERT_GT(plantedAt, 0);
      EXPECT_EQ(failure->event, plantedAt);
      EXPECT_TRUE(failure->violation.contains(QString::fromUtf8(plants[p].expected)))
          << failure->report().toStdString();
      const QString report = failure->report();
      EXPECT_TRUE(report.startsWith(QStringLiteral("monkey seed 5, event %1 (").arg(plantedAt)));
      EXPECT_TRUE(report.endsWith(
          QStringLiteral("replay with PLK_MONKEY_SEED=5 PLK_MONKEY_EVENTS=%1").arg(plantedAt)));
      reports << report;
      if (PolygonList* polygons = leftPolygons()) std::erase((*polygons)[0].sommets, &stranger);
    }
    EXPECT_EQ(reports[0], reports[1]);
  }
}

}  // namespace
}  // namespace plk::test
