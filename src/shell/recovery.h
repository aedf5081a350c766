#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

#include "core/textformat.h"
#include "io/project_file.h"

namespace plk {

// Where the recovery copies of projects lie: a project file written in the background while the
// open project differs from its file, so that a crash costs at most the last minute of editing.
// The copy of "scene.plk" is "scene.plk.recovery" beside it; the copy of a project never saved
// is one file in the user's application-data folder.
class RecoveryCopies {
 public:
  explicit RecoveryCopies(QString unsavedFolder);

  // The copy of the project saved as `projectFile`, or of the unsaved project when it is empty.
  [[nodiscard]] QString pathFor(const QString& projectFile) const;
  // Writes the copy atomically (the previous copy stays whole if it fails); false on failure.
  bool write(const QString& copyPath, const io::ProjectFileData& data, NumberFormat format) const;
  // When the copy of `projectFile` was written, if it exists and is not older than the project
  // file (a copy written in the same instant is offered rather than ignored).
  [[nodiscard]] std::optional<QDateTime> newerCopy(const QString& projectFile) const;

 private:
  QString unsavedFolder_;
};

// The user's application-data folder, where the unsaved project's copy goes.
[[nodiscard]] QString defaultRecoveryFolder();

// The question asked before restoring a copy written at `written`: of the project file just
// opened, or (projectFile empty) of the project named `name` that was never saved.
[[nodiscard]] QString restoreQuestion(const QString& projectFile, const QString& name,
                                      const QDateTime& written);

// Shown once when a copy cannot be written, so that the user knows the work is unprotected.
[[nodiscard]] QString recoveryFailureMessage(const QString& copyPath);

}  // namespace plk
