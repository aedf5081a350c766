#include <QApplication>

#include "io/locale.h"
#include "shell/aide.h"
#include "ui/prompts.h"
#include "shell/shell.h"
#include "shell/translations.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("PLK"));
  Q_INIT_RESOURCE(resources);
  const plk::FrenchTranslations translations;
  plk::DialogPrompts prompts;
  const plk::Shell shell(prompts, plk::io::systemNumberFormat(), plk::helpFolders());
  return QApplication::exec();
}
