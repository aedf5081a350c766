#include <QApplication>
#include <QCommandLineParser>
#include <clocale>

#include "io/image_io.h"
#include "io/locale.h"
#include "shell/aide.h"
#include "shell/shell.h"
#include "shell/translations.h"
#include "ui/prompts.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Qt took the C library's locale from the environment; numbers in files and reports are
  // formatted without it, and any library code that prints with printf must write a point.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("PLK"));
  QApplication::setApplicationVersion(QStringLiteral(PLK_VERSION));
  // plk [scene.plk]: --help and --version answer on the terminal and end the program.
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Cartes de disparités de référence d'une paire stéréo, par modélisation plane par "
      "morceaux."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("projet"),
                               QStringLiteral("Le projet (.plk) à ouvrir au démarrage."),
                               QStringLiteral("[projet]"));
  parser.process(application);
  plk::io::limitImageAllocation();
  Q_INIT_RESOURCE(resources);
  const plk::FrenchTranslations translations;
  plk::DialogPrompts prompts;
  const plk::Shell shell(prompts, plk::io::systemNumberFormat(), plk::helpFolders());
  if (!parser.positionalArguments().isEmpty()) {
    shell.main().session().openRecentProject(parser.positionalArguments().first());
  }
  return QApplication::exec();
}
