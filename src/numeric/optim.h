#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "numeric/matrices.h"

// Marquardt minimisation of a scalar function of a parameter vector: Newton steps on a Hessian
// whose diagonal is inflated by (1 + lambda), each followed by a line minimisation along the
// step, with a trace in the optimisation log. Module state: the log switch and file name, and
// the derivative step factor eta. Not re-entrant.
namespace plk {

// Status of the minimisers.
enum class OptimStatus : std::int32_t {
  Converged = 0,         // the convergence test passed and the final undamped step was solved
  SingularHessian = -1,  // Gauss-Jordan found a pivot below 2^-52
  LambdaTooLarge = -2,   // lambda exceeded 1000 while looking for an acceptable step
  IterationLimit = -3,   // too many outer iterations, or the line search ran out of steps
};

// The objective reads the parameters lb..ub of the vector it is given.
using Objective = std::function<double(const Vector& x)>;
// Fills the gradient g (lb..ub) and Hessian a (lb..ub square) of the objective at x; x may be
// changed during the call but is restored on return.
using DerivativeRoutine = std::function<void(const Objective& objective, Vector& x, int lb, int ub,
                                             Vector& g, Matrix& a)>;

// Whether the minimisers write the trace (true at start-up).
[[nodiscard]] bool optimLogEnabled();
void setOptimLogEnabled(bool enabled);
// Path of the trace, "optim.log" (in the working folder) at start-up.
[[nodiscard]] const std::string& optimLogPath();
void setOptimLogPath(std::string path);

// Step factor of numericDerivatives: machineEpsilon^0.333 from the guarded real power.
[[nodiscard]] double eta();

// The trace file: 8-bit text with CR LF line ends, emptied by open(), so that a run stopped
// half-way leaves only its own lines. A file that cannot be created or written leaves the run
// going without a trace; failed() then tells the caller.
class OptimLog {
 public:
  OptimLog() = default;
  OptimLog(const OptimLog&) = delete;
  OptimLog& operator=(const OptimLog&) = delete;
  ~OptimLog();

  // Creates or truncates the file at optimLogPath() when logging is enabled.
  void open();
  void writeLine(std::string_view line);
  void close();
  [[nodiscard]] bool failed() const { return failed_; }

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

// A real in 12 characters: sign position, d.ddd, E, exponent sign, four exponent digits
// (" 1.000E-0002").
[[nodiscard]] std::string formatLogReal(double value);

struct MarquardtResult {
  OptimStatus status = OptimStatus::Converged;
  // The last value a line search gave (the start value when none ran). After Converged the
  // returned point also includes the final undamped Newton step, which is not evaluated: the
  // objective there may differ from this value.
  double minimum = 0.0;
  bool logFailed = false;  // the trace could not be created or written
};

// Minimises the objective from the start point x (lb..ub), which receives the result. The
// inverse of the last solved (damped) Hessian is written to `inverseHessian`, allocated by the
// caller (lb..ub square). More than maxIterations outer iterations give IterationLimit, also
// after the final undamped step, but an iteration that failed keeps its own status. A step is
// accepted only when its value is finite and not higher than the current one (up to a relative
// 1e-10). On Converged, x includes the final undamped step taken after the last value was
// recorded, so the returned minimum is the value before that step.
[[nodiscard]] MarquardtResult marquardt(const Objective& objective,
                                        const DerivativeRoutine& derivatives, Vector& x, int lb,
                                        int ub, Matrix& inverseHessian, std::int32_t maxIterations,
                                        double tolerance);

// Central differences with steps eta*|x[i]| (eta for a zero parameter); x is restored.
void numericDerivatives(const Objective& objective, Vector& x, int lb, int ub, Vector& g,
                        Matrix& a);

// The objective at the points of the numeric derivatives, into values (sized by the caller),
// in this order: x, then x - h_i e_i and x + h_i e_i for each i, then x + h_i e_i + h_j e_j for
// each i < j (i, j in lb..ub). The perturbed entries are x[i] + h[i], and x[i] + (-h[i]) for the
// backward steps. Given x and the steps rather than the points, an objective that knows its
// own structure can share the work common to points that differ in a few entries.
using SteppedObjective = std::function<void(const Vector& x, const Vector& h, int lb, int ub,
                                            std::vector<double>& values)>;

// numericDerivatives with its evaluations handed over at once: the same steps, points and
// formulas, hence the same g and a bit for bit when `evaluate` gives the objective's values.
void steppedNumericDerivatives(const SteppedObjective& evaluate, const Vector& x, int lb, int ub,
                               Vector& g, Matrix& a);

struct LineResult {
  OptimStatus status = OptimStatus::Converged;
  double minimum = 0.0;
};

// Minimises objective(x + r d) over r by bracketing from 0 and 1 then golden-section search;
// on success x becomes x + r d. A zero direction leaves x as it is, with status Converged.
// IterationLimit when the bracketing does not close within a bounded number of expansions (or
// meets a non-finite value), or the search runs out of steps.
[[nodiscard]] LineResult lineMinimize(const Objective& objective, Vector& x, const Vector& d,
                                      int lb, int ub, std::int32_t maxIterations, double tolerance);

// True when |x[i] - xOld[i]| < max(tolerance |xOld[i]|, tolerance) for every i in lb..ub.
[[nodiscard]] bool convergenceTest(const Vector& xOld, const Vector& x, int lb, int ub,
                                   double tolerance);

}  // namespace plk
