#include "shell/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace plk {

FrenchTranslations::FrenchTranslations() {
  loaded_ =
      translator_.load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"),
                       QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (loaded_) QCoreApplication::installTranslator(&translator_);
}

FrenchTranslations::~FrenchTranslations() {
  if (loaded_) QCoreApplication::removeTranslator(&translator_);
}

}  // namespace plk
