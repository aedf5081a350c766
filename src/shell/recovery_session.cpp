#include "shell/recovery_session.h"

#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include "io/io_error.h"
#include "ui/prompts.h"

namespace plk {

namespace {

constexpr std::chrono::milliseconds kRecoveryInterval = std::chrono::seconds(60);

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

RecoverySession::RecoverySession(RecoveryHost host, Prompts& prompts, QWidget& window,
                                 NumberFormat format)
    : QObject(&window),
      host_(std::move(host)),
      prompts_(prompts),
      window_(window),
      format_(format),
      copies_(defaultRecoveryFolder()),
      timer_(new QTimer(this)) {
  connect(timer_, &QTimer::timeout, this, &RecoverySession::saveCopy);
  setInterval(kRecoveryInterval);
}

void RecoverySession::setInterval(std::chrono::milliseconds interval) {
  if (interval <= std::chrono::milliseconds::zero()) {
    timer_->stop();
    return;
  }
  timer_->start(interval);
}

void RecoverySession::setFolder(const QString& folder) { copies_ = RecoveryCopies(folder); }

// A copy written for the project under another name (before a failed "Sauver projet sous...")
// gives way to the new one.
void RecoverySession::saveCopy() {
  if (!host_.hasProject()) return;
  if (!host_.hasUnsavedChanges()) {
    discardCopy();
    return;
  }
  const QString copy = copies_.pathFor(host_.projectFile());
  if (!copies_.write(copy, host_.projectFileData(), format_)) {
    reportFailure(copy);
    return;
  }
  if (!copy_.isEmpty() && copy_ != copy) QFile::remove(copy_);
  copy_ = copy;
  failureShown_ = false;
}

void RecoverySession::discardCopy() {
  if (!copy_.isEmpty()) QFile::remove(copy_);
  copy_.clear();
}

void RecoverySession::forgetCopy() {
  copy_.clear();
  failureShown_ = false;
}

// Once per project, and never while a mouse button is held: the box would take the release of
// a drag under way.
void RecoverySession::reportFailure(const QString& copyPath) {
  if (failureShown_ || QGuiApplication::mouseButtons() != Qt::NoButton) return;
  failureShown_ = true;
  prompts_.showError(&window_, recoveryFailureMessage(copyPath));
}

void RecoverySession::offerUnsaved() {
  if (!host_.hasProject()) offer(QString());
}

// Yes restores the copy's polygons as one undo step, so that the project shows as changed and
// undoing goes back to the file; No removes the copy. An unreadable copy is left where it is.
void RecoverySession::offer(const QString& projectFile) {
  const std::optional<QDateTime> written = copies_.newerCopy(projectFile);
  if (!written) return;
  const QString copyPath = copies_.pathFor(projectFile);
  io::ProjectFileData copy;
  try {
    copy = io::readProjectFile(copyPath);
  } catch (const io::IoError& error) {
    prompts_.showError(&window_, QString::fromUtf8(error.what()));
    return;
  }
  const QString question = restoreQuestion(projectFile, fromUtf8(copy.projectName), *written);
  if (prompts_.askToKeep(&window_, question) != Answer::Yes) {
    QFile::remove(copyPath);
    return;
  }
  if (projectFile.isEmpty() && !host_.createProjectFrom(copy)) return;
  host_.restorePolygons(copy);
  copy_ = copyPath;
}

}  // namespace plk
