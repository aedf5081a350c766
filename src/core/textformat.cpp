#include "core/textformat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace plk {

namespace {

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

}  // namespace

std::string formatFixed(double value, int width, int precision, NumberFormat format) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%*.*f", width, precision, value);
  return withSeparator(buffer, format);
}

std::string formatGeneral(double value, NumberFormat format) {
  constexpr int kDigits = 15;
  if (value == 0.0) return "0";
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*E", kDigits - 1, value);
  const std::string scientific = buffer;
  const std::size_t e = scientific.find('E');
  const int exponent = std::atoi(scientific.c_str() + e + 1);
  if (exponent >= -5 && exponent < kDigits) {
    std::snprintf(buffer, sizeof buffer, "%.*f", kDigits - 1 - exponent, value);
    return withSeparator(trimMantissa(buffer), format);
  }
  std::string text = trimMantissa(scientific.substr(0, e)) + "E" + (exponent < 0 ? "-" : "") +
                     std::to_string(std::abs(exponent));
  return withSeparator(text, format);
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
