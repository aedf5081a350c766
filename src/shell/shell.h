#pragma once

#include <QStringList>
#include <memory>

#include "core/textformat.h"

namespace plk {

class Prompts;
class TFAbout;
class TFAppariement;
class TFDetect;
class TFDisparites;
class TFEstime;
class TFHelp;
class TFMain;
class TFNew;
class TFOpti;
class TFRapport;

// Every window that lives for the whole run, created in the program's start-up order and
// destroyed in reverse. Only the main window is shown.
class Shell {
 public:
  // `helpFolders` are searched in turn for "aide.txt".
  Shell(Prompts& prompts, NumberFormat format, const QStringList& helpFolders);
  ~Shell();
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  [[nodiscard]] TFMain& main() const { return *main_; }
  [[nodiscard]] TFNew& newProject() const { return *newProject_; }
  [[nodiscard]] TFAbout& about() const { return *about_; }
  [[nodiscard]] TFRapport& rapport() const { return *rapport_; }
  [[nodiscard]] TFHelp& help() const { return *help_; }

 private:
  std::unique_ptr<TFMain> main_;
  std::unique_ptr<TFNew> newProject_;
  std::unique_ptr<TFAbout> about_;
  std::unique_ptr<TFOpti> opti_;
  std::unique_ptr<TFRapport> rapport_;
  std::unique_ptr<TFDetect> detect_;
  std::unique_ptr<TFAppariement> appariement_;
  std::unique_ptr<TFEstime> estime_;
  std::unique_ptr<TFDisparites> disparites_;
  std::unique_ptr<TFHelp> help_;
};

}  // namespace plk
