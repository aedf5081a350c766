#include "io/locale.h"

#include <QLocale>

namespace plk::io {

NumberFormat systemNumberFormat() {
  // The default locale is the system's unless the application chose another.
  const QString separator = QLocale().decimalPoint();
  return NumberFormat{separator == QStringLiteral(",") ? ',' : '.'};
}

}  // namespace plk::io
