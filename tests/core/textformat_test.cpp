#include "core/textformat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "locale_scope.h"

namespace plk {
namespace {

constexpr NumberFormat kPoint{'.'};
constexpr NumberFormat kComma{','};

TEST(FormatFixed, PadsToWidthWithLocaleSeparator) {
  EXPECT_EQ(formatFixed(10.0, 5, 1, kPoint), " 10.0");
  EXPECT_EQ(formatFixed(200.0, 5, 1, kPoint), "200.0");
  EXPECT_EQ(formatFixed(12.25, 10, 2, kComma), "     12,25");
  EXPECT_EQ(formatFixed(-3.5, 5, 1, kComma), " -3,5");
}

TEST(FormatGeneral, ShortestFormUpToFifteenDigits) {
  EXPECT_EQ(formatGeneral(12.0, kPoint), "12");
  EXPECT_EQ(formatGeneral(12.5, kPoint), "12.5");
  EXPECT_EQ(formatGeneral(12.5, kComma), "12,5");
  EXPECT_EQ(formatGeneral(0.0, kPoint), "0");
  EXPECT_EQ(formatGeneral(-0.25, kPoint), "-0.25");
  EXPECT_EQ(formatGeneral(0.1 + 0.2, kPoint), "0.3");
  EXPECT_EQ(formatGeneral(1.0 / 3.0, kPoint), "0.333333333333333");
  EXPECT_EQ(formatGeneral(0.00001, kPoint), "0.00001");
  EXPECT_EQ(formatGeneral(0.000001, kPoint), "1E-6");
  EXPECT_EQ(formatGeneral(1.5e20, kComma), "1,5E20");
  EXPECT_EQ(formatGeneral(123456789012345.0, kPoint), "123456789012345");
}

// The digit path must print what formatGeneral prints for the double nearest e / 10^d: every d,
// e from 1 to 10^6 densely, then the digit counts up to 15 with zeros at either end.
TEST(WriteGeneralQuotient, PrintsWhatFormatGeneralPrints) {
  const auto check = [](std::int64_t e, int decimals, NumberFormat format) {
    double power = 1.0;
    for (int d = 0; d < decimals; ++d) power *= 10.0;
    char text[32];
    char* end = writeGeneralQuotient(e, decimals, format, text);
    ASSERT_EQ(std::string(text, static_cast<std::size_t>(end - text)),
              formatGeneral(static_cast<double>(e) / power, format))
        << e << " / 10^" << decimals;
  };
  for (int decimals = 0; decimals <= 5; ++decimals) {
    for (std::int64_t e = 1; e <= 1000000; e += e < 20000 ? 1 : 997) check(e, decimals, kComma);
    constexpr std::int64_t kLimit = 1000000000000000;
    for (std::int64_t e = 1; e < kLimit / 10; e = e * 10 + 7) {
      check(e, decimals, kPoint);
      check(e * 9, decimals, kComma);
      if ((e + 3) * 100 < kLimit) check((e + 3) * 100, decimals, kPoint);
    }
    check(kLimit - 1, decimals, kPoint);
  }
}

// Qt sets the C library's locale from the environment: under a French one, printf writes a comma.
// Both formats must keep the separator they are given and trim their zeros whatever it is.
TEST(FormatGeneral, IndependentOfTheCLibraryLocale) {
  const test::ScopedCLibraryLocale french(test::kFrenchLocale);
  ASSERT_TRUE(french.active()) << "the test run generates " << test::kFrenchLocale;
  EXPECT_EQ(formatGeneral(10.0, kComma), "10");
  EXPECT_EQ(formatGeneral(200.0, kPoint), "200");
  EXPECT_EQ(formatGeneral(12.5, kComma), "12,5");
  EXPECT_EQ(formatGeneral(12.5, kPoint), "12.5");
  EXPECT_EQ(formatGeneral(0.00001, kComma), "0,00001");
  EXPECT_EQ(formatGeneral(0.000001, kComma), "1E-6");
  EXPECT_EQ(formatGeneral(1.5e20, kComma), "1,5E20");
  EXPECT_EQ(formatFixed(12.25, 10, 2, kPoint), "     12.25");
  EXPECT_EQ(formatFixed(0.97, 10, 8, kComma), "0,97000000");
}

TEST(FormatFixed, RoundsAsPrintfAndKeepsHugeValues) {
  EXPECT_EQ(formatFixed(0.125, 5, 2, kPoint), " 0.12");
  EXPECT_EQ(formatFixed(2.5, 1, 0, kPoint), "2");
  EXPECT_EQ(formatFixed(1e300, 5, 1, kPoint).size(), 303U);
  EXPECT_EQ(formatFixed(-1e-9, 6, 2, kComma), " -0,00");
}

TEST(ParseReal, AcceptsPointAndCommaWhateverTheLocale) {
  EXPECT_EQ(parseReal("12.5"), 12.5);
  EXPECT_EQ(parseReal("12,5"), 12.5);
  EXPECT_EQ(parseReal("-3"), -3.0);
  EXPECT_EQ(parseReal("1E-6"), 1e-6);
  EXPECT_FALSE(parseReal(""));
  EXPECT_FALSE(parseReal("abc"));
  EXPECT_FALSE(parseReal("1.5x"));
}

TEST(ParseInteger, WholeTextOnly) {
  EXPECT_EQ(parseInteger("42"), 42);
  EXPECT_EQ(parseInteger("-7"), -7);
  EXPECT_FALSE(parseInteger("abc"));
  EXPECT_FALSE(parseInteger("1.5"));
  EXPECT_FALSE(parseInteger(""));
  EXPECT_FALSE(parseInteger("99999999999"));
}

}  // namespace
}  // namespace plk
