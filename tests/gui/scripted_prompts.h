#pragma once

#include <QString>
#include <QStringList>
#include <deque>

#include "ui/prompts.h"

namespace plk::test {

// Answers boxes and file dialogs from queues filled by the test, and records every text shown.
// An unscripted question answers Cancel (or No for a Yes/No box); an unscripted file dialog
// answers as if cancelled.
class ScriptedPrompts final : public Prompts {
 public:
  std::deque<Answer> answers;
  std::deque<QString> fileNames;
  QStringList errors;     // texts of the error boxes shown
  QStringList questions;  // texts of the questions asked
  QStringList dialogTitles;
  QStringList proposedNames;  // names proposed by the save dialogs
  QStringList filters;        // filters of the file dialogs

  void showError(QWidget*, const QString& text) override { errors << text; }
  Answer askYesNo(QWidget*, const QString& text) override {
    questions << text;
    return next(Answer::No);
  }
  Answer askYesNoCancel(QWidget*, const QString& text) override {
    questions << text;
    return next(Answer::Cancel);
  }
  QString openFileName(QWidget*, const QString& title, const QString&,
                       const QString& filter) override {
    dialogTitles << title;
    filters << filter;
    return nextFile();
  }
  QString saveFileName(QWidget*, const QString& title, const QString&, const QString& proposedName,
                       const QString& filter) override {
    dialogTitles << title;
    proposedNames << proposedName;
    filters << filter;
    return nextFile();
  }

 private:
  Answer next(Answer fallback) {
    if (answers.empty()) return fallback;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QString nextFile() {
    if (fileNames.empty()) return {};
    QString name = fileNames.front();
    fileNames.pop_front();
    return name;
  }
};

}  // namespace plk::test
