#include "io/locale.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace plk::io {
namespace {

TEST(SystemNumberFormat, FollowsTheSystemLocale) {
  QLocale::setDefault(QLocale::c());
  const NumberFormat format = systemNumberFormat();
  EXPECT_EQ(QString(QChar(format.decimalSeparator)), QLocale::system().decimalPoint());
}

}  // namespace
}  // namespace plk::io
