#pragma once

#include <cstdint>

// Guarded elementary functions: instead of raising floating-point exceptions, a function that
// leaves its domain or the double range returns a fixed substitute value and records an error
// code in the module's last-error variable. Not re-entrant.
namespace plk::fmath {

// Machine constants shared by the numerical modules.
inline constexpr double machineEpsilon = 2.220446049250313e-16;  // 2^-52
inline constexpr double maxNum = 1.797693134862315e308;          // a little below DBL_MAX
inline constexpr double minNum = 1.0 / maxNum;
inline constexpr double maxLog = 709.782712893384;    // ln maxNum
inline constexpr double minLog = -708.3964185322641;  // ln 2^-1022

// Codes of the last-error variable.
enum class MathError : std::int32_t {
  None = 0,          // no error
  Domain = -1,       // argument outside the domain
  Singularity = -2,  // function infinite at the argument
  Overflow = -3,     // result beyond the double range
  Underflow = -4,    // result too small to represent
};

// The code left by the last guarded function (exponential, logarithms, powers).
[[nodiscard]] MathError lastError();

// The value sign(0) returns; 1 at start-up.
[[nodiscard]] double signOfZero();
void setSignOfZero(double value);

[[nodiscard]] int minimum(int a, int b);
[[nodiscard]] double maximum(double a, double b);
// |b| with the sign of a (a >= 0 counts as positive).
[[nodiscard]] double signTransfer(double a, double b);
// 1, -1, or signOfZero() for 0.
[[nodiscard]] double sign(double x);
void swap(double& a, double& b);

// e^x; 0 with Underflow below minLog, maxNum with Overflow above maxLog.
[[nodiscard]] double exponential(double x);
// ln x; -maxNum with Domain for x < 0 and with Singularity for x = 0.
[[nodiscard]] double logarithm(double x);
// log2 x with the guards of logarithm().
[[nodiscard]] double logarithm2(double x);
// x^n by square-and-multiply on factors of magnitude at most 1.
[[nodiscard]] double intPower(double x, std::int32_t n);
// x^y; integral y goes through intPower(), other y need x > 0 (else Domain and 0).
[[nodiscard]] double power(double x, double y);
// sqrt(a^2 + b^2) without intermediate overflow or underflow.
[[nodiscard]] double hypotenuse(double a, double b);

}  // namespace plk::fmath
