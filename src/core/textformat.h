#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plk {

// The user's decimal separator, read once from the system locale by the I/O layer.
struct NumberFormat {
  char decimalSeparator = '.';
};

// printf-style fixed notation ("%5.1f" is formatFixed(x, 5, 1, format)) with the given separator.
[[nodiscard]] std::string formatFixed(double value, int width, int precision, NumberFormat format);

// Shortest general form with up to 15 significant digits: 12, 12.5, 0.00001, 1E-6, 1.5E20.
[[nodiscard]] std::string formatGeneral(double value, NumberFormat format);

// formatGeneral of the double nearest e / 10^decimals, written at `out` without a library
// call, for 0 < e < 10^15 and 0 <= decimals <= 5. The quotient then has at most 15 significant
// digits and lies in the fixed range, so its nearest double prints as the exact quotient: the
// digits of e with the separator `decimals` places from the right, trailing zeros dropped.
// Returns the end of the text, at most 22 characters.
char* writeGeneralQuotient(std::int64_t e, int decimals, NumberFormat format, char* out);

// Reads a whole text as a real; both the point and the comma are accepted as separator.
[[nodiscard]] std::optional<double> parseReal(std::string_view text);

// Reads a whole text as a 32-bit integer (optional sign, decimal digits).
[[nodiscard]] std::optional<int> parseInteger(std::string_view text);

}  // namespace plk
