#include "core/textformat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace plk {

namespace {

constexpr int kGeneralDigits = 15;
// Sign, 309 integer digits of the largest double and the point, before the fraction digits.
constexpr std::size_t kFixedRoom = 312;

std::string withSeparator(std::string text, NumberFormat format) {
  for (char& c : text) {
    if (c == '.') c = format.decimalSeparator;
  }
  return text;
}

// Removes trailing zeros of a mantissa, and the point when nothing follows it.
std::string trimMantissa(std::string mantissa) {
  if (mantissa.find('.') == std::string::npos) return mantissa;
  while (mantissa.back() == '0') mantissa.pop_back();
  if (mantissa.back() == '.') mantissa.pop_back();
  return mantissa;
}

// The value with `precision` digits after the point, always with a point, whatever the
// C library's locale: std::to_chars rounds exactly as printf does in the C locale.
std::string fixedDigits(double value, int precision) {
  std::string text(kFixedRoom + static_cast<std::size_t>(precision), '\0');
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                    std::chars_format::fixed, precision);
  text.resize(static_cast<std::size_t>(result.ptr - text.data()));
  return text;
}

// The value as "d.ddde+XX" with `precision` digits after the point (C-locale form).
std::string scientificDigits(double value, int precision) {
  std::string text(32 + static_cast<std::size_t>(precision), '\0');
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                    std::chars_format::scientific, precision);
  text.resize(static_cast<std::size_t>(result.ptr - text.data()));
  return text;
}

// "00" to "99", two characters each.
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

std::string nonFiniteText(double value) {
  if (std::isnan(value)) return "NAN";
  return value > 0 ? "INF" : "-INF";
}

}  // namespace

std::string formatFixed(double value, int width, int precision, NumberFormat format) {
  std::string text = withSeparator(fixedDigits(value, precision), format);
  if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

std::string formatGeneral(double value, NumberFormat format) {
  if (value == 0.0) return "0";
  if (!std::isfinite(value)) return nonFiniteText(value);
  const std::string scientific = scientificDigits(value, kGeneralDigits - 1);
  const std::size_t e = scientific.find('e');
  const int exponent = std::atoi(scientific.c_str() + e + 1);
  if (exponent >= -5 && exponent < kGeneralDigits) {
    return withSeparator(trimMantissa(fixedDigits(value, kGeneralDigits - 1 - exponent)), format);
  }
  std::string text = trimMantissa(scientific.substr(0, e)) + "E" + (exponent < 0 ? "-" : "") +
                     std::to_string(std::abs(exponent));
  return withSeparator(text, format);
}

char* writeGeneralQuotient(std::int64_t e, int decimals, NumberFormat format, char* out) {
  auto digits = static_cast<std::uint64_t>(e);
  while (decimals > 0 && digits % 10 == 0) {  // trailing zeros of the fraction
    digits /= 10;
    --decimals;
  }
  int count = 1;
  for (std::uint64_t power = 10; count < 20 && digits >= power; power *= 10) ++count;
  const int integerDigits = std::max(count - decimals, 1);
  char* const end = out + integerDigits + (decimals > 0 ? decimals + 1 : 0);
  // From the last character back, so that no digit needs a second place; the integer part two
  // digits at a time.
  char* at = end;
  for (int i = 0; i < decimals; ++i, digits /= 10) *--at = static_cast<char>('0' + digits % 10);
  if (decimals > 0) *--at = format.decimalSeparator;
  for (; at - out >= 2; digits /= 100) {
    const char* pair = kDigitPairs.data() + 2 * (digits % 100);
    *--at = pair[1];
    *--at = pair[0];
  }
  if (at > out) *--at = static_cast<char>('0' + digits % 10);
  return end;
}

std::optional<double> parseReal(std::string_view text) {
  std::string normalised(text);
  for (char& c : normalised) {
    if (c == ',') c = '.';
  }
  if (normalised.empty()) return std::nullopt;
  const char* begin = normalised.data();
  if (*begin == '+') ++begin;
  double value = 0.0;
  const auto [end, error] = std::from_chars(begin, normalised.data() + normalised.size(), value);
  if (error != std::errc() || end != normalised.data() + normalised.size()) return std::nullopt;
  return value;
}

std::optional<int> parseInteger(std::string_view text) {
  const char* begin = text.data();
  const char* last = text.data() + text.size();
  if (begin != last && *begin == '+') ++begin;
  int value = 0;
  const auto [end, error] = std::from_chars(begin, last, value);
  if (text.empty() || error != std::errc() || end != last) return std::nullopt;
  return value;
}

}  // namespace plk
