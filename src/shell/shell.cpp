#include "shell/shell.h"

#include "shell/about.h"
#include "shell/aide.h"
#include "shell/main.h"
#include "shell/new.h"
#include "shell/rapport.h"
#include "tools/appariement.h"
#include "tools/detect.h"
#include "tools/disparites.h"
#include "tools/estime.h"
#include "tools/opti.h"

namespace plk {

Shell::Shell(Prompts& prompts, NumberFormat format, const QStringList& helpFolders,
             const QString& recoveryFolder)
    : main_(std::make_unique<TFMain>(prompts, format)) {
  main_->session().recovery().setFolder(recoveryFolder);
  windows_.newProject = std::make_unique<TFNew>(*main_, prompts, main_->session().lastDirectory());
  windows_.about = std::make_unique<TFAbout>();
  windows_.opti = std::make_unique<TFOpti>(*main_, prompts);
  windows_.rapport =
      std::make_unique<TFRapport>(prompts, *windows_.newProject, main_->session().lastDirectory());
  windows_.detect = std::make_unique<TFDetect>(*main_, prompts);
  windows_.appariement = std::make_unique<TFAppariement>(*main_, prompts);
  windows_.estime = std::make_unique<TFEstime>(*main_, prompts);
  windows_.disparites = std::make_unique<TFDisparites>(*main_, prompts);
  windows_.help = std::make_unique<TFHelp>(prompts, helpFolders);
  main_->setWindows(windows_);
  main_->show();
  main_->session().recovery().offerUnsaved();
}

// Members go in reverse order of creation: the dialogs first, the main window and its project last.
Shell::~Shell() = default;

}  // namespace plk
