#pragma once

#include <QStringList>
#include <memory>

#include "core/textformat.h"
#include "shell/main.h"
#include "shell/recovery.h"

namespace plk {

class Prompts;

// Every window that lives for the whole run, created in the program's start-up order and
// destroyed in reverse. Only the main window is shown.
class Shell {
 public:
  // `helpFolders` are searched in turn for "aide.txt"; `recoveryFolder` holds the recovery copy
  // of a project never saved, which is offered for restoring once the windows are shown.
  Shell(Prompts& prompts, NumberFormat format, const QStringList& helpFolders,
        const QString& recoveryFolder = defaultRecoveryFolder());
  ~Shell();
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  [[nodiscard]] TFMain& main() const { return *main_; }
  [[nodiscard]] TFNew& newProject() const { return *windows_.newProject; }
  [[nodiscard]] TFAbout& about() const { return *windows_.about; }
  [[nodiscard]] TFRapport& rapport() const { return *windows_.rapport; }
  [[nodiscard]] TFHelp& help() const { return *windows_.help; }

 private:
  std::unique_ptr<TFMain> main_;
  ShellWindows windows_;
};

}  // namespace plk
