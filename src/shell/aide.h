#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;

namespace plk {

class Prompts;

// The help window: the text of "aide.txt", read once when the window is created.
class TFHelp final : public QDialog {
 public:
  // Looks for "aide.txt" in each folder in turn (the working folder, then the program's).
  TFHelp(Prompts& prompts, const QStringList& folders, QWidget* parent = nullptr);

  [[nodiscard]] QString text() const;

 private:
  void loadHelpText(Prompts& prompts, const QStringList& folders);

  QPlainTextEdit* Memo1 = nullptr;
};

// The folders searched for "aide.txt" by the program: the working folder, the program's, then
// the help installed beside it (../share/plk).
[[nodiscard]] QStringList helpFolders();

}  // namespace plk
