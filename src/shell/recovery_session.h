#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>

#include "core/textformat.h"
#include "io/project_file.h"
#include "shell/recovery.h"

class QTimer;
class QWidget;

namespace plk {

class Prompts;

// What the recovery copies need of the open project, given by the main window.
struct RecoveryHost {
  std::function<bool()> hasProject;
  std::function<bool()> hasUnsavedChanges;  // the project differs from its file
  std::function<QString()> projectFile;     // empty for a project never saved
  std::function<io::ProjectFileData()> projectFileData;
  // Creates a project from a copy's name and images (for the copy of a project never saved).
  std::function<bool(const io::ProjectFileData&)> createProjectFrom;
  // Replaces the polygons by the copy's, as one undo step.
  std::function<void(const io::ProjectFileData&)> restorePolygons;
};

// The recovery copies of one session: written on a timer while the project differs from its
// file, removed once it is saved or closed, offered for restoring when a project opens (or at
// start-up, for a project never saved). Only a copy this session wrote or restored is removed:
// a copy left by another session is the user's to restore or refuse.
class RecoverySession final : public QObject {
 public:
  RecoverySession(RecoveryHost host, Prompts& prompts, QWidget& window, NumberFormat format);

  // The copy is written every `interval` (zero stops the timer); a project never saved has its
  // copy in `folder`.
  void setInterval(std::chrono::milliseconds interval);
  void setFolder(const QString& folder);
  // What the timer does: writes the copy when the project differs from its file, and removes
  // the copy this session wrote once they are the same again.
  void saveCopy();
  void discardCopy();
  // The project closed: whatever copy is left is no longer this session's.
  void forgetCopy();
  // At start-up, with no project open: offers to restore the copy of a project never saved.
  void offerUnsaved();
  // After `projectFile` was opened: offers to restore its copy when it is newer.
  void offer(const QString& projectFile);

 private:
  void reportFailure(const QString& copyPath);

  RecoveryHost host_;
  Prompts& prompts_;
  QWidget& window_;
  NumberFormat format_;
  RecoveryCopies copies_;
  QTimer* timer_ = nullptr;
  QString copy_;  // the copy this session wrote or restored, empty when none
  bool failureShown_ = false;
};

}  // namespace plk
