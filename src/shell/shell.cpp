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

Shell::Shell(Prompts& prompts, NumberFormat format, const QStringList& helpFolders)
    : main_(std::make_unique<TFMain>(prompts, format)),
      newProject_(std::make_unique<TFNew>(*main_, prompts, main_->lastDirectory())),
      about_(std::make_unique<TFAbout>()),
      opti_(std::make_unique<TFOpti>()),
      rapport_(std::make_unique<TFRapport>(prompts, *newProject_, main_->lastDirectory())),
      detect_(std::make_unique<TFDetect>()),
      appariement_(std::make_unique<TFAppariement>()),
      estime_(std::make_unique<TFEstime>()),
      disparites_(std::make_unique<TFDisparites>()),
      help_(std::make_unique<TFHelp>(prompts, helpFolders)) {
  main_->setWindows(ShellWindows{newProject_.get(), about_.get(), opti_.get(), rapport_.get(),
                                 detect_.get(), appariement_.get(), estime_.get(),
                                 disparites_.get(), help_.get()});
  main_->show();
}

// Members go in reverse order of creation: the dialogs first, the main window and its project last.
Shell::~Shell() = default;

}  // namespace plk
