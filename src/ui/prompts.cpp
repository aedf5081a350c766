#include "ui/prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace plk {

namespace {

Answer toAnswer(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    case QMessageBox::Cancel:
      return Answer::Cancel;
    default:
      return Answer::Ok;
  }
}

}  // namespace

void DialogPrompts::showError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QApplication::applicationName(), text, QMessageBox::Ok);
}

Answer DialogPrompts::askYesNo(QWidget* parent, const QString& text) {
  return toAnswer(QMessageBox::warning(parent, QApplication::applicationName(), text,
                                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No));
}

Answer DialogPrompts::askToKeep(QWidget* parent, const QString& text) {
  return toAnswer(QMessageBox::question(parent, QApplication::applicationName(), text,
                                        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes));
}

Answer DialogPrompts::askYesNoCancel(QWidget* parent, const QString& text) {
  const auto button = QMessageBox::warning(parent, QApplication::applicationName(), text,
                                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                           QMessageBox::Cancel);
  return toAnswer(button);
}

QString DialogPrompts::openFileName(QWidget* parent, const QString& title, const QString& directory,
                                    const QString& filter) {
  return QFileDialog::getOpenFileName(parent, title, directory, filter);
}

QString DialogPrompts::saveFileName(QWidget* parent, const QString& title, const QString& directory,
                                    const QString& proposedName, const QString& filter) {
  const QString start = directory.isEmpty() ? proposedName : QDir(directory).filePath(proposedName);
  return QFileDialog::getSaveFileName(parent, title, start, filter, nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

QString DialogPrompts::folderName(QWidget* parent, const QString& title, const QString& directory) {
  return QFileDialog::getExistingDirectory(parent, title, directory);
}

}  // namespace plk
