#pragma once

#include <QLocale>

#include "locale_scope.h"

namespace plk::test {

enum class TestLocale { C, French };

// Sets both the application's default locale (what the program reads its decimal separator
// from) and the C library's, for the lifetime of the object, so that a test never depends on
// the environment it runs in.
class ScopedLocale {
 public:
  explicit ScopedLocale(TestLocale locale)
      : previous_(QLocale()), cLibrary_(locale == TestLocale::French ? kFrenchLocale : "C") {
    QLocale::setDefault(locale == TestLocale::French ? QLocale(QLocale::French, QLocale::France)
                                                     : QLocale::c());
  }
  ~ScopedLocale() { QLocale::setDefault(previous_); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

  // False when the C library lacks the locale (see ScopedCLibraryLocale).
  [[nodiscard]] bool active() const { return cLibrary_.active(); }

 private:
  QLocale previous_;
  ScopedCLibraryLocale cLibrary_;
};

}  // namespace plk::test
