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

// Parameter vectors laid end to end, `stride` entries apart.
struct ParameterList {
  const std::vector<double>& values;
  std::size_t stride;
  std::size_t count;
};

// The costs of the parameter vectors first .. first + kWidth - 1 (the last one repeated past the
// end of the list), one per lane.
template <typename Lanes>
[[gnu::always_inline]] inline void costsInLanes(const ParameterList& parameters,
                                                std::size_t first, const Matches& m,
                                                double* costs) {
  constexpr int kWidth = sizeof(Lanes) / sizeof(double);
  Lanes p[9];
  for (int l = 0; l < kWidth; ++l) {
    const std::size_t k = std::min(first + static_cast<std::size_t>(l), parameters.count - 1);
    const double* q = parameters.values.data() + k * parameters.stride;
    for (int e = 0; e < 9; ++e) p[e][l] = q[e];
  }
  Lanes cost = {};
  Lanes zero = {};
  decltype(cost == cost) atInfinity = {};
  for (int i = 0; i < m.count; ++i) {
    const Lanes s = p[0] * m.x[i] + p[3] * m.y[i] + p[6];
    const Lanes t = p[1] * m.x[i] + p[4] * m.y[i] + p[7];
    const Lanes w = p[2] * m.x[i] + p[5] * m.y[i] + p[8];
    atInfinity |= w == zero;
    const Lanes du = m.x2[i] - s / w;
    const Lanes dv = m.y2[i] - t / w;
    Lanes distance = du * du + dv * dv;
    takeSquareRoots(distance);
    cost += distance;
  }
  for (int l = 0; l < kWidth && first + static_cast<std::size_t>(l) < parameters.count; ++l) {
    costs[l] = atInfinity[l] != 0 ? kInfinity : cost[l];
  }
}

template <typename Lanes>
[[gnu::always_inline]] inline void allCostsInLanes(const ParameterList& parameters,
                                                   const Matches& m, std::vector<double>& costs) {
  constexpr std::size_t kWidth = sizeof(Lanes) / sizeof(double);
  for (std::size_t first = 0; first < parameters.count; first += kWidth) {
    costsInLanes<Lanes>(parameters, first, m, costs.data() + first);
  }
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

void costsIn2Lanes(const ParameterList& parameters, const Matches& m,
                   std::vector<double>& costs) {
  allCostsInLanes<Lanes2>(parameters, m, costs);
}

double costBy2MatchLanes(const Vector& p, const Matches& m) { return costByMatchLanes<Lanes2>(p, m); }

#if defined(__x86_64__)
[[gnu::target("avx2")]] void costsIn4Lanes(const ParameterList& parameters,
                                           const Matches& m, std::vector<double>& costs) {
  allCostsInLanes<Lanes4>(parameters, m, costs);
}

[[gnu::target("avx2")]] double costBy4MatchLanes(const Vector& p, const Matches& m) {
  return costByMatchLanes<Lanes4>(p, m);
}

[[gnu::target("avx512f")]] void costsIn8Lanes(const ParameterList& parameters,
                                              const Matches& m, std::vector<double>& costs) {
  allCostsInLanes<Lanes8>(parameters, m, costs);
}

[[gnu::target("avx512f")]] double costBy8MatchLanes(const Vector& p, const Matches& m) {
  return costByMatchLanes<Lanes8>(p, m);
}
#endif

int chosenWidth(int laneWidth) { return laneWidth == 0 ? widestLaneWidth() : laneWidth; }

}  // namespace

void transferCosts(const std::vector<double>& parameters, std::size_t stride,
                   const Matrix& points1, const Matrix& points2, std::vector<double>& costs,
                   int laneWidth) {
  if (costs.empty()) return;
  const Matches m(points1, points2);
  const ParameterList list{parameters, stride, costs.size()};
  switch (chosenWidth(laneWidth)) {
#if defined(__x86_64__)
    case 8:
      costsIn8Lanes(list, m, costs);
      return;
    case 4:
      costsIn4Lanes(list, m, costs);
      return;
#endif
    default:
      costsIn2Lanes(list, m, costs);
  }
}

double transferCostByMatchLanes(const Vector& p, const Matrix& points1, const Matrix& points2,
                                int laneWidth) {
  const Matches m(points1, points2);
  switch (chosenWidth(laneWidth)) {
#if defined(__x86_64__)
    case 8:
      return costBy8MatchLanes(p, m);
    case 4:
      return costBy4MatchLanes(p, m);
#endif
    default:
      return costBy2MatchLanes(p, m);
  }
}

}  // namespace plk
