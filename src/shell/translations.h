#pragma once

#include <QTranslator>

namespace plk {

// Qt's own French texts (standard buttons "Oui", "Non", "Annuler", file dialogs), installed for
// the object's lifetime whatever the system locale, since the whole interface is French.
class FrenchTranslations {
 public:
  FrenchTranslations();
  ~FrenchTranslations();
  FrenchTranslations(const FrenchTranslations&) = delete;
  FrenchTranslations& operator=(const FrenchTranslations&) = delete;

  // False when the translation files are not installed: the toolkit then speaks English.
  [[nodiscard]] bool loaded() const { return loaded_; }

 private:
  QTranslator translator_;
  bool loaded_ = false;
};

}  // namespace plk
