#pragma once

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

// Reads a whole text as a real; both the point and the comma are accepted as separator.
[[nodiscard]] std::optional<double> parseReal(std::string_view text);

// Reads a whole text as a 32-bit integer (optional sign, decimal digits).
[[nodiscard]] std::optional<int> parseInteger(std::string_view text);

}  // namespace plk
