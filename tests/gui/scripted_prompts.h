#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

#include "ui/prompts.h"

namespace plk::test {

// Answers boxes and file dialogs from queues filled by the test, and records every text shown.
// An unscripted question answers Cancel (or No for a Yes/No box); an unscripted file dialog
// answers as if cancelled; unless the test improvises those answers.
class ScriptedPrompts final : public Prompts {
 public:
  std::deque<Answer> answers;
  std::deque<QString> fileNames;
  QStringList errors;     // texts of the error boxes shown
  QStringList questions;  // texts of the questions asked
  QStringList dialogTitles;
  QStringList proposedNames;  // names proposed by the save dialogs
  QStringList filters;        // filters of the file dialogs
  QList<Answer> given;        // the answer to each question, in order

  // When set, answer what the queues leave unscripted: the question's text and whether Cancel
  // is offered; the file dialog's title.
  std::function<Answer(const QString& text, bool cancelOffered)> improviseAnswer;
  std::function<QString(const QString& title)> improviseFile;

  void showError(QWidget*, const QString& text) override { errors << text; }
  Answer askYesNo(QWidget*, const QString& text) override {
    questions << text;
    return next(text, false);
  }
  Answer askToKeep(QWidget*, const QString& text) override {
    questions << text;
    return next(text, false);
  }
  Answer askYesNoCancel(QWidget*, const QString& text) override {
    questions << text;
    return next(text, true);
  }
  QString openFileName(QWidget*, const QString& title, const QString&,
                       const QString& filter) override {
    dialogTitles << title;
    filters << filter;
    return nextFile(title);
  }
  QString saveFileName(QWidget*, const QString& title, const QString&, const QString& proposedName,
                       const QString& filter) override {
    dialogTitles << title;
    proposedNames << proposedName;
    filters << filter;
    return nextFile(title);
  }
  QString folderName(QWidget*, const QString& title, const QString&) override {
    dialogTitles << title;
    return nextFile(title);
  }

 private:
  Answer next(const QString& text, bool cancelOffered) {
    Answer answer = cancelOffered ? Answer::Cancel : Answer::No;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    } else if (improviseAnswer) {
      answer = improviseAnswer(text, cancelOffered);
    }
    given << answer;
    return answer;
  }
  QString nextFile(const QString& title) {
    if (fileNames.empty()) return improviseFile ? improviseFile(title) : QString();
    QString name = fileNames.front();
    fileNames.pop_front();
    return name;
  }
};

}  // namespace plk::test
