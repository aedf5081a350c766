#include "io/locale.h"

#include <QLocale>

namespace plk::io {

NumberFormat systemNumberFormat() {
  const QString separator = QLocale::system().decimalPoint();
  return NumberFormat{separator == QStringLiteral(",") ? ',' : '.'};
}

}  // namespace plk::io
