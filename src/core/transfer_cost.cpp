#include "core/transfer_cost.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/lanes.h"

namespace plk {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The rows the cost reads.
struct Matches {
  explicit Matches(const Matrix& points1, const Matrix& points2)
      : x(points1[0].data()),
        y(points1[1].data()),
        x2(points2[0].data()),
        y2(points2[1].data()),
        count(points1.columnCount()) {}
  const double* x;
  const double* y;
  const double* x2;
  const double* y2;
  int count;
};

// Square root of every lane, in place: with errno left alone (this file is built without it),
// the lanes' roots become one vector square root, each correctly rounded like the single one.
template <typename Lanes>
[[gnu::always_inline]] inline void takeSquareRoots(Lanes& values) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  for (int l = 0; l < kWidth; ++l) values[l] = std::sqrt(values[l]);
}

// The distance of match i, written as transferCost writes it; false when w = 0.
[[gnu::always_inline]] inline bool matchDistance(const Vector& p, const Matches& m, int i,
                                                 double& distance) {
  const double s = p[0] * m.x[i] + p[3] * m.y[i] + p[6];
  const double t = p[1] * m.x[i] + p[4] * m.y[i] + p[7];
  const double w = p[2] * m.x[i] + p[5] * m.y[i] + p[8];
  const double du = m.x2[i] - s / w;
  const double dv = m.y2[i] - t / w;
  distance = std::sqrt(du * du + dv * dv);
  return w != 0.0;
}

// Adds the distances of kWidth matches from match `first` on to `cost`, one after the other;
// false when one has w = 0.
template <typename Lanes>
[[gnu::always_inline]] inline bool addDistancesInLanes(const Vector& p, const Matches& m, int first,
                                                       double& cost) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  Lanes x;
  Lanes y;
  Lanes x2;
  Lanes y2;
  std::memcpy(&x, m.x + first, sizeof x);
  std::memcpy(&y, m.y + first, sizeof y);
  std::memcpy(&x2, m.x2 + first, sizeof x2);
  std::memcpy(&y2, m.y2 + first, sizeof y2);
  const Lanes s = p[0] * x + p[3] * y + p[6];
  const Lanes t = p[1] * x + p[4] * y + p[7];
  const Lanes w = p[2] * x + p[5] * y + p[8];
  const Lanes zero = {};
  const auto atInfinity = w == zero;
  const Lanes du = x2 - s / w;
  const Lanes dv = y2 - t / w;
  Lanes distance = du * du + dv * dv;
  takeSquareRoots(distance);
  for (int l = 0; l < kWidth; ++l) {
    if (atInfinity[l] != 0) return false;
    cost += distance[l];
  }
  return true;
}

template <typename Lanes>
[[gnu::always_inline]] inline double costByMatchLanes(const Vector& p, const Matches& m) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  double cost = 0.0;
  int i = 0;
  for (; i + kWidth <= m.count; i += kWidth) {
    if (!addDistancesInLanes<Lanes>(p, m, i, cost)) return kInfinity;
  }
  for (; i < m.count; ++i) {
    double distance = 0.0;
    if (!matchDistance(p, m, i, distance)) return kInfinity;
    cost += distance;
  }
  return cost;
}

double costBy2MatchLanes(const Vector& p, const Matches& m) {
  return costByMatchLanes<Lanes2>(p, m);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] double costBy4MatchLanes(const Vector& p, const Matches& m) {
  return costByMatchLanes<Lanes4>(p, m);
}
#endif

// --- The costs at the points of the numeric derivatives ---

// Entry e of the parameters multiplies coordinate e / 3 (x, y, then the constant 1) in row e % 3
// of the transfer: the numerators s (row 0) and t (row 1), the denominator w (row 2). At each
// point of the numeric derivatives the three entries of a row are in one of ten states, and a
// row's value depends on that state only, so s/w and t/w are shared by every point whose rows
// are in the same states: 56 divisions for the 55 points instead of 110.
constexpr int kRows = 3;
constexpr int kCoordinates = 3;
constexpr int kEntries = kRows * kCoordinates;
// Unchanged (0); coordinate a's entry stepped back or forward; two of them forward.
constexpr int kRowStates = 10;
constexpr int backwardState(int a) { return 1 + a; }
constexpr int forwardState(int a) { return 4 + a; }
constexpr int forwardPairState(int a, int b) { return 6 + a + b; }  // a < b
constexpr int kPoints = 1 + 2 * kEntries + kEntries * (kEntries - 1) / 2;
constexpr int kQuotients = 56;
constexpr int kDenominator = 2;

struct Quotient {
  int row;          // 0 for s/w, 1 for t/w
  int numerator;    // the state of that row
  int denominator;  // the state of w
};

struct StepPlan {
  int rowState[kPoints][kRows];
  int quotient[kPoints][2];  // the point's s/w and t/w among `quotients`
  Quotient quotients[kQuotients];
  int quotientCount;
};

// The state of `row` at a point whose stepped entries are `first` and `second` (-1: none),
// `first` alone possibly backward.
constexpr int rowState(int row, int first, bool backward, int second) {
  const bool firstHere = first >= 0 && first % kRows == row;
  const bool secondHere = second >= 0 && second % kRows == row;
  if (firstHere && secondHere) return forwardPairState(first / kRows, second / kRows);
  if (firstHere) return backward ? backwardState(first / kRows) : forwardState(first / kRows);
  if (secondHere) return forwardState(second / kRows);
  return 0;
}

constexpr int quotientIndex(StepPlan& plan, const Quotient& q) {
  for (int n = 0; n < plan.quotientCount; ++n) {
    const Quotient& known = plan.quotients[n];
    if (known.row == q.row && known.numerator == q.numerator &&
        known.denominator == q.denominator) {
      return n;
    }
  }
  plan.quotients[plan.quotientCount] = q;
  return plan.quotientCount++;
}

// The points in the order of steppedNumericDerivatives, with the quotients they need.
constexpr StepPlan makeStepPlan() {
  StepPlan plan{};
  int point = 0;
  const auto add = [&](int first, bool backward, int second) {
    for (int row = 0; row < kRows; ++row) {
      plan.rowState[point][row] = rowState(row, first, backward, second);
    }
    for (int row = 0; row < 2; ++row) {
      plan.quotient[point][row] =
          quotientIndex(plan, {row, plan.rowState[point][row], plan.rowState[point][kDenominator]});
    }
    ++point;
  };
  add(-1, false, -1);
  for (int e = 0; e < kEntries; ++e) {
    add(e, true, -1);
    add(e, false, -1);
  }
  for (int e = 0; e < kEntries; ++e) {
    for (int f = e + 1; f < kEntries; ++f) add(e, false, f);
  }
  return plan;
}

constexpr StepPlan kPlan = makeStepPlan();
static_assert(kPlan.quotientCount == kQuotients);

// The three entries of each row in each state.
struct RowCoefficients {
  double c[kRows][kRowStates][kCoordinates];
};

// The stepped entries are written as steppedNumericDerivatives defines them: p + h, p + (-h).
RowCoefficients rowCoefficients(const Vector& p, const Vector& h) {
  RowCoefficients rc{};
  for (int row = 0; row < kRows; ++row) {
    double unchanged[kCoordinates];
    double back[kCoordinates];
    double forward[kCoordinates];
    for (int a = 0; a < kCoordinates; ++a) {
      const int e = kRows * a + row;
      unchanged[a] = p[e];
      back[a] = p[e] + -h[e];
      forward[a] = p[e] + h[e];
    }
    for (int state = 0; state < kRowStates; ++state) {
      std::copy_n(unchanged, kCoordinates, rc.c[row][state]);
    }
    for (int a = 0; a < kCoordinates; ++a) {
      rc.c[row][backwardState(a)][a] = back[a];
      rc.c[row][forwardState(a)][a] = forward[a];
      for (int b = a + 1; b < kCoordinates; ++b) {
        rc.c[row][forwardPairState(a, b)][a] = forward[a];
        rc.c[row][forwardPairState(a, b)][b] = forward[b];
      }
    }
  }
  return rc;
}

// Matches first .. first + kWidth - 1 in lanes; past the last match, the last one again.
template <typename Lanes>
[[gnu::always_inline]] inline void loadMatches(const Matches& m, int first, Lanes (&v)[4]) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  const double* rows[4] = {m.x, m.y, m.x2, m.y2};
  for (int r = 0; r < 4; ++r) {
    if (first + kWidth <= m.count) {
      std::memcpy(&v[r], rows[r] + first, sizeof(Lanes));
    } else {
      for (int l = 0; l < kWidth; ++l) v[r][l] = rows[r][std::min(first + l, m.count - 1)];
    }
  }
}

// Per lane, whether w was 0 for a match.
template <typename Lanes>
using WZero = decltype(Lanes{} == Lanes{});

// Adds to each point's cost the distances of the matches from `first` on (up to kWidth of
// them), in the matches' order; marks the states of w that are 0 for a match.
template <typename Lanes>
[[gnu::always_inline]] inline void addDistancesAroundPoint(const RowCoefficients& rc,
                                                           const Matches& m, int first,
                                                           double* costs, WZero<Lanes>* wZero) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  Lanes v[4] = {};
  loadMatches(m, first, v);
  Lanes rows[kRows][kRowStates];
  for (int row = 0; row < kRows; ++row) {
    for (int state = 0; state < kRowStates; ++state) {
      const double* c = rc.c[row][state];
      rows[row][state] = c[0] * v[0] + c[1] * v[1] + c[2];
    }
  }
  const Lanes zero = {};
  for (int state = 0; state < kRowStates; ++state) {
    wZero[state] |= rows[kDenominator][state] == zero;
  }
  Lanes quotients[kQuotients];
  for (int n = 0; n < kQuotients; ++n) {
    const Quotient& q = kPlan.quotients[n];
    quotients[n] = rows[q.row][q.numerator] / rows[kDenominator][q.denominator];
  }
  Lanes distances[kPoints];
  for (int k = 0; k < kPoints; ++k) {
    const Lanes du = v[2] - quotients[kPlan.quotient[k][0]];
    const Lanes dv = v[3] - quotients[kPlan.quotient[k][1]];
    distances[k] = du * du + dv * dv;
    takeSquareRoots(distances[k]);
  }
  const int lanes = std::min(kWidth, m.count - first);
  for (int k = 0; k < kPoints; ++k) {
    for (int l = 0; l < lanes; ++l) costs[k] += distances[k][l];
  }
}

template <typename Lanes>
[[gnu::always_inline]] inline void costsAroundPointInLanes(const RowCoefficients& rc,
                                                           const Matches& m, double* costs) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  WZero<Lanes> wZero[kRowStates] = {};
  for (int k = 0; k < kPoints; ++k) costs[k] = 0.0;
  for (int first = 0; first < m.count; first += kWidth) {
    addDistancesAroundPoint<Lanes>(rc, m, first, costs, wZero);
  }
  for (int k = 0; k < kPoints; ++k) {
    const WZero<Lanes>& zeros = wZero[kPlan.rowState[k][kDenominator]];
    for (int l = 0; l < kWidth; ++l) {
      if (zeros[l] != 0) costs[k] = kInfinity;
    }
  }
}

void costsAroundPointIn2Lanes(const RowCoefficients& rc, const Matches& m, double* costs) {
  costsAroundPointInLanes<Lanes2>(rc, m, costs);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void costsAroundPointIn4Lanes(const RowCoefficients& rc, const Matches& m,
                                                      double* costs) {
  costsAroundPointInLanes<Lanes4>(rc, m, costs);
}
#endif

// Four lanes at most: eight divide and take roots no faster per lane, and measured slower.
int chosenWidth(int laneWidth) {
  return laneWidth == 0 ? std::min(4, widestLaneWidth()) : laneWidth;
}

}  // namespace

double transferCostByMatchLanes(const Vector& p, const Matrix& points1, const Matrix& points2,
                                int laneWidth) {
  const Matches m(points1, points2);
  switch (chosenWidth(laneWidth)) {
#if defined(__x86_64__)
    case 4:
      return costBy4MatchLanes(p, m);
#endif
    default:
      return costBy2MatchLanes(p, m);
  }
}

void transferCostsAroundPoint(const Vector& p, const Vector& h, const Matrix& points1,
                              const Matrix& points2, std::vector<double>& costs, int laneWidth) {
  const Matches m(points1, points2);
  const RowCoefficients rc = rowCoefficients(p, h);
  costs.resize(kPoints);
  switch (chosenWidth(laneWidth)) {
#if defined(__x86_64__)
    case 4:
      costsAroundPointIn4Lanes(rc, m, costs.data());
      return;
#endif
    default:
      costsAroundPointIn2Lanes(rc, m, costs.data());
  }
}

}  // namespace plk
