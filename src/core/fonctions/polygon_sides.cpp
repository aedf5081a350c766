#include "core/fonctions/polygon_sides.h"

#include <algorithm>
#include <limits>

#include "core/lanes.h"

namespace plk {

namespace {

using Lanes1 = double __attribute__((vector_size(8)));

// Sides per vector at the widest lanes: the table's length is a multiple of it.
constexpr std::size_t kPadding = 8;

// The boundary test and the ray's crossings of every side, kWidth sides at a time. Each lane
// evaluates edgeLineValue and the four orientations of segmentsCross with their own operations
// in their own order; a side counts when its orientations differ as segmentsCross asks.
template <typename Lanes>
[[gnu::always_inline]] inline bool sidesContain(const PolygonSides& s, Point2 p, Point2 q) {
  constexpr std::size_t kWidth = sizeof(Lanes) / sizeof(double);
  using Mask = decltype(Lanes{} < Lanes{});
  const double qpv = q.v - p.v;
  const double qpu = q.u - p.u;
  Mask near = {};
  Mask crossings = {};
  for (std::size_t e = 0; e < s.au.size(); e += kWidth) {
    Lanes au, av, bu, bv, du, dv, negativeDv;
    loadLanes(au, s.au.data() + e);
    loadLanes(av, s.av.data() + e);
    loadLanes(bu, s.bu.data() + e);
    loadLanes(bv, s.bv.data() + e);
    loadLanes(du, s.du.data() + e);
    loadLanes(dv, s.dv.data() + e);
    loadLanes(negativeDv, s.negativeDv.data() + e);
    const Lanes value = du * (p.v - av) + negativeDv * (p.u - au);
    near |= (value < kBoundaryTolerance) & (value > -kBoundaryTolerance);
    const Mask towardsA = qpv * (au - p.u) - qpu * (av - p.v) > 0.0;
    const Mask towardsB = qpv * (bu - p.u) - qpu * (bv - p.v) > 0.0;
    const Mask sideOfP = dv * (p.u - au) - du * (p.v - av) > 0.0;
    const Mask sideOfQ = dv * (q.u - au) - du * (q.v - av) > 0.0;
    crossings += (towardsA != towardsB) & (sideOfP != sideOfQ);
  }
  long count = 0;
  for (std::size_t l = 0; l < kWidth; ++l) {
    if (near[l] != 0) return true;
    count -= crossings[l];
  }
  return count % 2 == 1;
}

bool sidesContain1(const PolygonSides& s, Point2 p, Point2 q) {
  return sidesContain<Lanes1>(s, p, q);
}
bool sidesContain2(const PolygonSides& s, Point2 p, Point2 q) {
  return sidesContain<Lanes2>(s, p, q);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] bool sidesContain4(const PolygonSides& s, Point2 p, Point2 q) {
  return sidesContain<Lanes4>(s, p, q);
}

[[gnu::target("avx512f")]] bool sidesContain8(const PolygonSides& s, Point2 p, Point2 q) {
  return sidesContain<Lanes8>(s, p, q);
}
#endif

using SidesTest = bool (*)(const PolygonSides&, Point2, Point2);

SidesTest sidesTest(int laneWidth) {
  switch (laneWidth) {
    case 1:
      return sidesContain1;
#if defined(__x86_64__)
    case 4:
      return sidesContain4;
    case 8:
      return sidesContain8;
#endif
    default:
      return sidesContain2;
  }
}

}  // namespace

PolygonSides::PolygonSides(std::span<const Point2> corners) {
  const std::size_t n = corners.size();
  const std::size_t padded = (n + kPadding - 1) / kPadding * kPadding;
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (auto* values : {&au, &av, &bu, &bv, &du, &dv, &negativeDv}) values->assign(padded, kNaN);
  for (std::size_t i = 0; i < n; ++i) {
    const Point2 a = corners[i];
    const Point2 b = corners[i + 1 == n ? 0 : i + 1];
    au[i] = a.u;
    av[i] = a.v;
    bu[i] = b.u;
    bv[i] = b.v;
    du[i] = b.u - a.u;
    dv[i] = b.v - a.v;
    negativeDv[i] = a.v - b.v;
  }
}

bool PolygonSides::contains(const BoundingBox& box, Point2 p, int laneWidth) const {
  // Four lanes at most: AVX-512F alone turns the comparisons' masks into vectors lane by lane.
  static const SidesTest widest = sidesTest(std::min(widestLaneWidth(), 4));
  const SidesTest test = laneWidth == 0 ? widest : sidesTest(laneWidth);
  return test(*this, p, rayEnd(box, p));
}

}  // namespace plk
