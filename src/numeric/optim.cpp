#include "numeric/optim.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "numeric/fmath.h"

namespace plk {
namespace {

using std::size_t;

bool gLogEnabled = true;
std::string gLogPath = "optim.log";
// Computed at start-up with the guarded power; fmath's state is constant-initialised.
const double gEta = fmath::power(fmath::machineEpsilon, 0.333);

constexpr double kInitialLambda = 0.01;
constexpr double kLargestLambda = 1000.0;
constexpr double kAcceptance = 1e-10;  // relative rise of F still taken as an acceptable step
constexpr std::int32_t kLineIterations = 100;
constexpr double kLineTolerance = 0.01;
constexpr double kGolden = 1.618033988749895;
constexpr double kGoldenSection = 0.38196601125010515;  // 2 - golden ratio
// Bracketing that keeps going downhill this many times has no usable minimum along the line.
constexpr int kMaxExpansions = 100;

// Storage sized for indices 0..ub.
Vector vectorUpTo(int ub) { return Vector(static_cast<size_t>(ub) + 1, 0.0); }
Matrix matrixUpTo(int ub) { return Matrix(ub + 1, ub + 1); }

std::string iterationLine(std::int32_t k, double fmin, double lambda) {
  char number[16];
  std::snprintf(number, sizeof number, "%4d", static_cast<int>(k));
  return std::string(number) + "   " + formatLogReal(fmin) + "   " + formatLogReal(lambda);
}

// phi(r) = objective(x + r d) on lb..ub, evaluated in a scratch vector.
class LineFunction {
 public:
  LineFunction(const Objective& objective, const Vector& x, const Vector& d, int lb, int ub)
      : objective_(objective), x_(x), d_(d), point_(x), lb_(lb), ub_(ub) {}

  double operator()(double r) {
    for (int i = lb_; i <= ub_; ++i) point_[i] = x_[i] + r * d_[i];
    return objective_(point_);
  }

 private:
  const Objective& objective_;
  const Vector& x_;
  const Vector& d_;
  Vector point_;
  int lb_;
  int ub_;
};

struct Bracket {
  double a, b, c;
  double fa, fb, fc;
};

bool allFinite(double p, double q, double r) {
  return std::isfinite(p) && std::isfinite(q) && std::isfinite(r);
}

// Goes downhill from a to b by golden-ratio expansions until the value rises again. False when
// the bracket does not close within kMaxExpansions steps or a value is not finite.
bool bracketMinimum(LineFunction& phi, double a, double b, Bracket& bracket) {
  if (a > b) std::swap(a, b);
  double fa = phi(a);
  double fb = phi(b);
  if (fb > fa) {
    std::swap(a, b);
    std::swap(fa, fb);
  }
  double c = b + kGolden * (b - a);
  double fc = phi(c);
  for (int expansions = 0; fc < fb; ++expansions) {
    if (expansions == kMaxExpansions || !allFinite(fa, fb, fc)) return false;
    a = b;
    fa = fb;
    b = c;
    fb = fc;
    c = b + kGolden * (b - a);
    fc = phi(c);
  }
  if (!allFinite(fa, fb, fc)) return false;
  if (a > c) {
    std::swap(a, c);
    std::swap(fa, fc);
  }
  bracket = {a, b, c, fa, fb, fc};
  return true;
}

bool isZero(const Vector& d, int lb, int ub) {
  for (int i = lb; i <= ub; ++i) {
    if (d[i] != 0.0) return false;
  }
  return true;
}

struct SearchResult {
  double r;
  double f;
  bool exhausted;
};

SearchResult goldenSection(LineFunction& phi, const Bracket& br, std::int32_t maxIterations,
                           double tolerance) {
  double x0 = br.a;
  double x3 = br.c;
  double x1, x2, f1, f2;
  if (br.b - br.a < br.c - br.b) {
    x1 = br.b;
    f1 = br.fb;
    x2 = br.b + kGoldenSection * (br.c - br.b);
    f2 = phi(x2);
  } else {
    x2 = br.b;
    f2 = br.fb;
    x1 = br.b - kGoldenSection * (br.b - br.a);
    f1 = phi(x1);
  }
  std::int32_t s = 0;
  while (s <= maxIterations && std::fabs(x3 - x0) > tolerance * (std::fabs(x1) + std::fabs(x2))) {
    if (f2 < f1) {
      x0 = x1;
      x1 = x2;
      f1 = f2;
      x2 = x1 + kGoldenSection * (x3 - x1);
      f2 = phi(x2);
    } else {
      x3 = x2;
      x2 = x1;
      f2 = f1;
      x1 = x2 - kGoldenSection * (x2 - x0);
      f1 = phi(x1);
    }
    ++s;
  }
  const bool exhausted = s > maxIterations;
  return f1 < f2 ? SearchResult{x1, f1, exhausted} : SearchResult{x2, f2, exhausted};
}

}  // namespace

bool optimLogEnabled() { return gLogEnabled; }

void setOptimLogEnabled(bool enabled) { gLogEnabled = enabled; }

const std::string& optimLogPath() { return gLogPath; }

void setOptimLogPath(std::string path) { gLogPath = std::move(path); }

double eta() { return gEta; }

// --- Log ---

OptimLog::~OptimLog() { close(); }

void OptimLog::open() {
  failed_ = false;
  if (!gLogEnabled) return;
  file_ = std::fopen(gLogPath.c_str(), "wb");
  failed_ = file_ == nullptr;
}

void OptimLog::writeLine(std::string_view line) {
  if (file_ == nullptr) return;
  const bool written = std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
                       std::fwrite("\r\n", 1, 2, file_) == 2;
  if (!written) {
    failed_ = true;
    close();
  }
}

void OptimLog::close() {
  if (file_ == nullptr) return;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
}

std::string formatLogReal(double value) {
  constexpr std::size_t kWidth = 12;
  if (!std::isfinite(value)) {
    const std::string word = std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    return std::string(kWidth - word.size(), ' ') + word;
  }
  // The magnitude as "1.234e+05" or "1.234e-100" through std::to_chars, which writes a point
  // whatever the C library's locale; then re-signed, with four exponent digits.
  char digits[32];
  const auto written = std::to_chars(digits, digits + sizeof digits, std::fabs(value),
                                     std::chars_format::scientific, 3);
  const std::string printed(digits, written.ptr);
  const size_t e = printed.find('e');
  const int exponent = std::stoi(printed.substr(e + 1));
  const std::string exponentDigits = std::to_string(exponent < 0 ? -exponent : exponent);
  return std::string(1, value < 0.0 ? '-' : ' ') + printed.substr(0, e) + "E" +
         (exponent < 0 ? '-' : '+') + std::string(4 - exponentDigits.size(), '0') + exponentDigits;
}

// --- Marquardt ---

MarquardtResult marquardt(const Objective& objective, const DerivativeRoutine& derivatives,
                          Vector& x, int lb, int ub, Matrix& inverseHessian,
                          std::int32_t maxIterations, double tolerance) {
  OptimLog log;
  log.open();
  log.writeLine("Marquardt");
  log.writeLine("Iter         F            Lambda");

  double lambda = kInitialLambda;
  Vector xOld = vectorUpTo(ub);
  Vector g = vectorUpTo(ub);
  Vector dx = vectorUpTo(ub);
  Matrix a = matrixUpTo(ub);
  Matrix a1 = matrixUpTo(ub);
  double fmin = objective(x);
  std::int32_t k = 1;
  bool converged = false;
  bool done = false;
  OptimStatus status = OptimStatus::Converged;
  do {
    log.writeLine(iterationLine(k, fmin, lambda));
    copyVector(xOld, x, lb, ub);
    derivatives(objective, x, lb, ub, g, a);
    copyMatrix(a1, a, lb, ub, lb, ub);
    for (int i = lb; i <= ub; ++i) g[i] = -g[i];
    if (converged) {
      const GaussJordanResult solved = gaussJordan(a1, g, lb, ub, inverseHessian, dx);
      if (solved.status == LinearStatus::Ok) {
        for (int i = lb; i <= ub; ++i) x[i] = xOld[i] + dx[i];
      } else {
        status = OptimStatus::SingularHessian;
      }
      done = true;
    } else {
      // Before any line search of this iteration the last value is the current minimum, which
      // is what a singular first damped system reports.
      double f1 = fmin;
      bool accepted = false;
      do {
        for (int i = lb; i <= ub; ++i) a1[i][i] = (1.0 + lambda) * a[i][i];
        if (gaussJordan(a1, g, lb, ub, inverseHessian, dx).status != LinearStatus::Ok) {
          status = OptimStatus::SingularHessian;
          break;
        }
        copyVector(x, xOld, lb, ub);
        const LineResult line =
            lineMinimize(objective, x, dx, lb, ub, kLineIterations, kLineTolerance);
        f1 = line.minimum;
        status = line.status;
        // A value that is not finite is never an improvement, whatever fmin is.
        accepted = std::isfinite(f1) && kAcceptance * fmin > f1 - fmin;
        if (!accepted) {
          lambda *= 10.0;
          if (lambda > kLargestLambda) status = OptimStatus::LambdaTooLarge;
        }
      } while (!accepted && status == OptimStatus::Converged);
      converged = convergenceTest(xOld, x, lb, ub, tolerance);
      lambda *= 0.1;
      fmin = f1;
    }
    ++k;
    // Passing the limit overrides a finished run, not a failure of the last iteration.
    if (k > maxIterations && status == OptimStatus::Converged) {
      status = OptimStatus::IterationLimit;
    }
  } while (!done && status == OptimStatus::Converged);
  log.close();
  return {status, fmin, log.failed()};
}

void numericDerivatives(const Objective& objective, Vector& x, int lb, int ub, Vector& g,
                        Matrix& a) {
  const SteppedObjective oneAtATime = [&objective](const Vector& base, const Vector& h, int first,
                                                   int last, std::vector<double>& values) {
    Vector point = base;
    size_t k = 0;
    const auto evaluateAt = [&](int i, double stepI, int j, double stepJ) {
      point[i] = base[i] + stepI;
      if (j >= 0) point[j] = base[j] + stepJ;
      values[k++] = objective(point);
      point[i] = base[i];
      if (j >= 0) point[j] = base[j];
    };
    values[k++] = objective(point);
    for (int i = first; i <= last; ++i) {
      evaluateAt(i, -h[i], -1, 0.0);
      evaluateAt(i, h[i], -1, 0.0);
    }
    for (int i = first; i <= last; ++i) {
      for (int j = i + 1; j <= last; ++j) evaluateAt(i, h[i], j, h[j]);
    }
  };
  steppedNumericDerivatives(oneAtATime, x, lb, ub, g, a);
}

void steppedNumericDerivatives(const SteppedObjective& evaluate, const Vector& x, int lb, int ub,
                               Vector& g, Matrix& a) {
  Vector h = vectorUpTo(ub);
  for (int i = lb; i <= ub; ++i) h[i] = x[i] != 0.0 ? gEta * std::fabs(x[i]) : gEta;
  // x, then x - h_i e_i and x + h_i e_i for each i, then x + h_i e_i + h_j e_j for each i < j.
  const int n = ub - lb + 1;
  std::vector<double> values(static_cast<size_t>(1 + 2 * n + n * (n - 1) / 2));
  evaluate(x, h, lb, ub, values);
  const double f0 = values[0];
  const auto fm = [&](int i) { return values[static_cast<size_t>(2 * (i - lb) + 1)]; };
  const auto fp = [&](int i) { return values[static_cast<size_t>(2 * (i - lb) + 2)]; };
  for (int i = lb; i <= ub; ++i) {
    g[i] = (fp(i) - fm(i)) / (2.0 * h[i]);
    a[i][i] = (fp(i) + fm(i) - 2.0 * f0) / (h[i] * h[i]);
  }
  size_t pair = static_cast<size_t>(2 * n + 1);
  for (int i = lb; i <= ub; ++i) {
    for (int j = i + 1; j <= ub; ++j) {
      a[i][j] = (values[pair++] - fp(i) - fp(j) + f0) / (h[i] * h[j]);
      a[j][i] = a[i][j];
    }
  }
}

LineResult lineMinimize(const Objective& objective, Vector& x, const Vector& d, int lb, int ub,
                        std::int32_t maxIterations, double tolerance) {
  const double floorTolerance = std::sqrt(fmath::machineEpsilon);
  if (tolerance < floorTolerance) tolerance = floorTolerance;
  LineFunction phi(objective, x, d, lb, ub);
  // Along a zero direction phi is constant and the search could only shrink towards 0 until
  // it runs out of steps: x is already the minimum.
  if (isZero(d, lb, ub)) return {OptimStatus::Converged, phi(0.0)};
  Bracket bracket{};
  if (!bracketMinimum(phi, 0.0, 1.0, bracket)) {
    // x stays where it was, so the value reported is the one at x.
    return {OptimStatus::IterationLimit, phi(0.0)};
  }
  const SearchResult found = goldenSection(phi, bracket, maxIterations, tolerance);
  if (found.exhausted) return {OptimStatus::IterationLimit, found.f};
  for (int i = lb; i <= ub; ++i) x[i] += found.r * d[i];
  return {OptimStatus::Converged, found.f};
}

bool convergenceTest(const Vector& xOld, const Vector& x, int lb, int ub, double tolerance) {
  for (int i = lb; i <= ub; ++i) {
    const double limit = fmath::maximum(tolerance * std::fabs(xOld[i]), tolerance);
    if (!(std::fabs(x[i] - xOld[i]) < limit)) return false;
  }
  return true;
}

}  // namespace plk
