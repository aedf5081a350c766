#include "io/locale.h"

#include <gtest/gtest.h>

#include "qt_locale_scope.h"

namespace plk::io {
namespace {

using test::ScopedLocale;
using test::TestLocale;

TEST(SystemNumberFormat, FollowsTheApplicationLocale) {
  {
    const ScopedLocale french(TestLocale::French);
    EXPECT_EQ(systemNumberFormat().decimalSeparator, ',');
  }
  const ScopedLocale c(TestLocale::C);
  EXPECT_EQ(systemNumberFormat().decimalSeparator, '.');
}

}  // namespace
}  // namespace plk::io
