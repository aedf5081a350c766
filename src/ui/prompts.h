#pragma once

#include <QString>

class QWidget;

namespace plk {

enum class Answer { Ok, Yes, No, Cancel };

// Every modal question and file dialog of the program goes through this interface, so that tests
// answer them from a script instead of blocking on a real box.
class Prompts {
 public:
  virtual ~Prompts() = default;

  // Error icon, one OK button.
  virtual void showError(QWidget* parent, const QString& text) = 0;
  // Warning icon, Yes and No.
  virtual Answer askYesNo(QWidget* parent, const QString& text) = 0;
  // Question icon, Yes and No, Yes by default: Return keeps the user's work.
  virtual Answer askToKeep(QWidget* parent, const QString& text) = 0;
  // Warning icon, Yes, No and Cancel.
  virtual Answer askYesNoCancel(QWidget* parent, const QString& text) = 0;
  // The chosen path, or an empty text when the user cancels.
  virtual QString openFileName(QWidget* parent, const QString& title, const QString& directory,
                               const QString& filter) = 0;
  virtual QString saveFileName(QWidget* parent, const QString& title, const QString& directory,
                               const QString& proposedName, const QString& filter) = 0;
  // An existing folder, or an empty text when the user cancels.
  virtual QString folderName(QWidget* parent, const QString& title, const QString& directory) = 0;
};

// The real boxes and dialogs; the box title is the application's title.
class DialogPrompts final : public Prompts {
 public:
  void showError(QWidget* parent, const QString& text) override;
  Answer askYesNo(QWidget* parent, const QString& text) override;
  Answer askToKeep(QWidget* parent, const QString& text) override;
  Answer askYesNoCancel(QWidget* parent, const QString& text) override;
  QString openFileName(QWidget* parent, const QString& title, const QString& directory,
                       const QString& filter) override;
  QString saveFileName(QWidget* parent, const QString& title, const QString& directory,
                       const QString& proposedName, const QString& filter) override;
  QString folderName(QWidget* parent, const QString& title, const QString& directory) override;
};

}  // namespace plk
