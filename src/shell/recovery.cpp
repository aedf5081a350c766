#include "shell/recovery.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <utility>

#include "io/io_error.h"

namespace plk {

namespace {

const QString kCopySuffix = QStringLiteral(".recovery");
const QString kUnsavedCopyName = QStringLiteral("unsaved-project.plk.recovery");

}  // namespace

RecoveryCopies::RecoveryCopies(QString unsavedFolder) : unsavedFolder_(std::move(unsavedFolder)) {}

QString RecoveryCopies::pathFor(const QString& projectFile) const {
  if (projectFile.isEmpty()) return QDir(unsavedFolder_).filePath(kUnsavedCopyName);
  return projectFile + kCopySuffix;
}

bool RecoveryCopies::write(const QString& copyPath, const io::ProjectFileData& data,
                           NumberFormat format) const {
  if (!QDir().mkpath(QFileInfo(copyPath).absolutePath())) return false;
  try {
    io::writeProjectFile(copyPath, data, format);
  } catch (const io::IoError&) {
    return false;
  }
  return true;
}

std::optional<QDateTime> RecoveryCopies::newerCopy(const QString& projectFile) const {
  const QFileInfo copy(pathFor(projectFile));
  if (!copy.isFile()) return std::nullopt;
  const QFileInfo file(projectFile);
  if (!projectFile.isEmpty() && file.exists() && copy.lastModified() < file.lastModified()) {
    return std::nullopt;
  }
  return copy.lastModified();
}

QString defaultRecoveryFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString restoreQuestion(const QString& projectFile, const QString& name, const QDateTime& written) {
  const QString when = written.toString(QStringLiteral("dd/MM/yyyy 'à' HH:mm"));
  const QString copy = projectFile.isEmpty()
                           ? QStringLiteral(
                                 "Une copie de secours du projet « %1 », qui n'a jamais été "
                                 "enregistré, existe (écrite le %2).")
                                 .arg(name, when)
                           : QStringLiteral(
                                 "Une copie de secours plus récente que le fichier de ce projet "
                                 "existe (écrite le %1).")
                                 .arg(when);
  return copy + QStringLiteral(
                    " Voulez-vous la restaurer ? Si vous répondez Non, elle sera "
                    "supprimée.");
}

QString recoveryFailureMessage(const QString& copyPath) {
  return QStringLiteral(
             "La copie de secours du projet n'a pas pu être écrite : %1. "
             "Sauvegardez le projet pour ne pas risquer de perdre vos modifications.")
      .arg(QDir::toNativeSeparators(copyPath));
}

}  // namespace plk
