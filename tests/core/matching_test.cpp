#include "core/fonctions/matching.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "core/fonctions/geometry.h"
#include "core/fonctions/sampling.h"
#include "core/fonctions/sampling_detail.h"
#include "middlebury.h"
#include "run_test_support.h"

namespace plk {
namespace {

// A textured grey image without repeats: part of the left view of Sawtooth.
const GreyImage& sawtoothLeft() {
  static const GreyImage image = test::loadScene("sawtooth").left;
  return image;
}

// Sawtooth's left view smoothed by a 5 x 5 box (so that the cubic model fits it), sampled
// bicubically at (r + shiftU, c + shiftV) from the corner (top, left) on, rounded to grey levels.
GreyImage textureImage(int width, int height, double shiftU, double shiftV, int top = 60,
                       int left = 60) {
  const GreyImage& source = sawtoothLeft();
  IntMatrix matrix(source.height(), source.width());
  for (int r = 0; r < source.height(); ++r) {
    for (int c = 0; c < source.width(); ++c) {
      for (int i = -2; i <= 2; ++i) {
        for (int j = -2; j <= 2; ++j) {
          matrix(r, c) += source.at(std::clamp(r + i, 0, source.height() - 1),
                                    std::clamp(c + j, 0, source.width() - 1));
        }
      }
    }
  }
  GreyImage image(width, height);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      const double value = bicubicSample(matrix, top + r + shiftU, left + c + shiftV) / 25.0;
      image.set(r, c, static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)));
    }
  }
  return image;
}

InterestPoint interestPointAt(double u, double v) {
  InterestPoint p;
  p.u = u;
  p.v = v;
  return p;
}

// --- The matcher as written, record lists and all, with the right image's integer matrix built
// --- anew for every refined point.

InterestPointList windowSamples(const GreyImage& image, int top, int left, int size) {
  InterestPointList samples;
  for (int r = top; r < top + size; ++r) {
    for (int c = left; c < left + size; ++c) {
      InterestPoint s;
      s.score = image.at(r, c);
      s.leftU = r;
      s.leftV = c;
      samples.push_back(s);
    }
  }
  return samples;
}

InterestPoint refused() {
  InterestPoint m;
  m.score = -1.0;
  return m;
}

InterestPoint referenceSearch(const Rect& w, const Rect& s, const GreyImage& a,
                              const PolygonList& polygonsB, const GreyImage& b) {
  const int n = w.width();
  const int h = halfWidth(n);
  const InterestPointList reference = windowSamples(a, w.top, w.left, n);
  InterestPointList candidates;
  for (int r = 0; r <= s.height() - n; ++r) {
    for (int c = 0; c <= s.width() - n; ++c) {
      InterestPoint candidate;
      candidate.u = s.top + r + h;
      candidate.v = s.left + c + h;
      candidate.score = correlationScore(reference, windowSamples(b, s.top + r, s.left + c, n));
      candidates.push_back(candidate);
    }
  }
  for (;;) {
    const InterestPoint best = findMaxScore(candidates);
    if (candidates.empty() || best.score == -1.0) return refused();
    const int k = findPolygon(polygonsB, best.u, best.v);
    bool admissible = true;
    for (int i = -h; i <= h; ++i) {
      for (int j = -h; j <= h; ++j) {
        admissible = admissible && findPolygon(polygonsB, best.u + i, best.v + j) == k;
      }
    }
    if (admissible) return best;
    candidates[static_cast<std::size_t>(best.ordinal)].score = -1.0;
  }
}

InterestPoint referenceMatchPoint(const GreyImage& left, const GreyImage& right,
                                  const PolygonList& leftPolygons, const PolygonList& rightPolygons,
                                  const Rect& w, const Rect& s, const MatchParameters& p) {
  const int h = halfWidth(w.width());
  InterestPoint m = referenceSearch(w, s, left, rightPolygons, right);
  if (p.flexibility != -1 && m.score != -1.0) {
    const int R = static_cast<int>(m.u);
    const int C = static_cast<int>(m.v);
    const Rect reverse{std::max(C - p.q2 - h, 0), std::max(R - p.p2 - h, 0),
                       std::min(C + p.q1 + h, left.width() - 1),
                       std::min(R + p.p1 + h, left.height() - 1)};
    const InterestPoint back =
        referenceSearch({C - h, R - h, C + h, R + h}, reverse, right, leftPolygons, left);
    if (back.score == -1.0 || std::fabs(back.v - (w.left + h)) > p.flexibility ||
        std::fabs(back.u - (w.top + h)) > p.flexibility) {
      m.score = -1.0;
    }
  }
  if (m.score == -1.0 || p.precision == 1.0) return m;
  const int R = static_cast<int>(m.u);
  const int C = static_cast<int>(m.v);
  if (!(h + 1 < R && R < right.height() - h - 4 && h + 1 < C && C < right.width() - h - 4)) {
    return refused();
  }
  const int k0 = findPolygon(rightPolygons, R, C);
  IntMatrix matrix(right.height(), right.width());
  for (int r = 0; r < right.height(); ++r) {
    for (int c = 0; c < right.width(); ++c) matrix(r, c) = right.at(r, c);
  }
  const InterestPointList reference = windowSamples(left, w.top, w.left, w.width());
  double y = R;
  double x = C;
  double step = 1.0;
  double best = -1.0;
  while (step > p.precision) {
    step /= 2.0;
    best = -1e10;
    int bestDr = 0;
    int bestDc = 0;
    for (int dr = -1; dr <= 1; ++dr) {
      for (int dc = -1; dc <= 1; ++dc) {
        InterestPointList samples;
        for (int a = -h; a <= h; ++a) {
          for (int b = -h; b <= h; ++b) {
            InterestPoint sample;
            sample.score = bicubicSample(matrix, y + dr * step + a, x + dc * step + b);
            samples.push_back(sample);
          }
        }
        const double score = correlationScore(reference, samples);
        if (score > best) {
          best = score;
          bestDr = dr;
          bestDc = dc;
        }
      }
    }
    x += bestDc * step;
    y += bestDr * step;
  }
  m.u = y;
  m.v = x;
  m.score = best;
  if (findPolygon(rightPolygons, y, x) != k0) m.score = -1.0;
  return m;
}

void expectSameMatch(const InterestPoint& actual, const InterestPoint& expected) {
  EXPECT_EQ(actual.score, expected.score);
  if (expected.score == -1.0) return;
  EXPECT_EQ(actual.u, expected.u);
  EXPECT_EQ(actual.v, expected.v);
  EXPECT_EQ(actual.ordinal, expected.ordinal);
}

// Search rectangle of the defaults around (r, c), as the matcher cuts it to the image.
Rect searchAround(int r, int c, int h, const GreyImage& image, const MatchParameters& p) {
  return {std::max(c - p.q1 - h, 0), std::max(r - p.p1 - h, 0),
          std::min(c + p.q2 + h, image.width() - 1), std::min(r + p.p2 + h, image.height() - 1)};
}

TEST(MatchPoint, AgreesBitForBitWithTheRecordListMatcherOnARealPair) {
  const test::StereoScene scene = test::loadScene("sawtooth");
  PolygonList leftPolygons;
  PolygonList rightPolygons;
  test::addBox(leftPolygons, 0, 0, 379, 433);
  test::addBox(rightPolygons, 40, 20, 300, 400);  // borders that cut some search zones
  const MatchingImage left(scene.left, leftPolygons);
  const MatchingImage right(scene.right, rightPolygons);
  int kept = 0;
  for (const int flexibility : {1, 0, -1}) {
    MatchParameters p;
    p.flexibility = flexibility;
    for (int r = 12; r < 370; r += 41) {
      for (int c = 12; c < 420; c += 53) {
        const Rect w{c - 5, r - 5, c + 5, r + 5};
        const Rect s = searchAround(r, c, 5, scene.right, p);
        const InterestPoint fast = matchPoint(left, right, w, s, p);
        SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
        expectSameMatch(fast, referenceMatchPoint(scene.left, scene.right, leftPolygons,
                                                  rightPolygons, w, s, p));
        kept += fast.score >= p.threshold ? 1 : 0;
      }
    }
  }
  EXPECT_GT(kept, 50);
}

TEST(MatchInterestPoint, FindsAKnownSubPixelShiftWithinThePrecision) {
  // right(r, c) = left(r + 1.25, c + 3.4): the left point (r, c) lies at (r - 1.25, c - 3.4).
  const GreyImage left = textureImage(200, 160, 0.0, 0.0);
  const GreyImage right = textureImage(200, 160, 1.25, 3.4);
  PolygonList none;
  const MatchingImage l(left, none);
  const MatchingImage r(right, none);
  int matched = 0;
  int withinPrecision = 0;
  for (int u = 20; u <= 140; u += 8) {
    for (int v = 40; v <= 180; v += 8) {
      const auto m = matchInterestPoint(l, r, interestPointAt(u, v), MatchParameters{});
      if (!m) continue;
      ++matched;
      const double error = std::max(std::fabs(m->u - (u - 1.25)), std::fabs(m->v - (v - 3.4)));
      EXPECT_LE(error, 0.5) << u << "," << v;
      withinPrecision += error <= 0.1 ? 1 : 0;
      EXPECT_EQ(m->leftU, u);
      EXPECT_EQ(m->leftV, v);
    }
  }
  // The 3 x 3 descent of halving steps can stop one step beside the peak: most matches, not all,
  // lie within the precision (246 of 273 when this was written).
  EXPECT_GE(matched, 250);
  EXPECT_GE(withinPrecision, matched * 85 / 100);
}

TEST(MatchInterestPoint, TheDefaultZoneReachesTenRowsEitherWayThirtyColumnsLeftTenRight) {
  MatchParameters p;
  p.precision = 1.0;
  p.flexibility = -1;
  PolygonList none;
  const GreyImage left = textureImage(160, 100, 0.0, 0.0);
  const auto shifted = [&](double du, double dv) {
    // The left point (50, 80) lies at (50 + du, 80 + dv) on the right.
    const GreyImage right = textureImage(160, 100, -du, -dv);
    const MatchingImage l(left, none);
    const MatchingImage r(right, none);
    return matchInterestPoint(l, r, interestPointAt(50, 80), p);
  };
  for (const auto& [du, dv] : {std::pair{10, -30}, {-10, 10}, {10, 10}, {-10, -30}}) {
    const auto m = shifted(du, dv);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->u, 50 + du);
    EXPECT_EQ(m->v, 80 + dv);
    EXPECT_NEAR(m->score, 1.0, 1e-12);
  }
  for (const auto& [du, dv] : {std::pair{11, 0}, {-11, 0}, {0, -31}, {0, 11}}) {
    const auto m = shifted(du, dv);
    EXPECT_FALSE(m && m->u == 50 + du && m->v == 80 + dv);
  }
}

TEST(MatchInterestPoint, TheReverseCheckMustLandWithinTheFlexibility) {
  // The left patch around (40, 60) is copied 12 columns to its left, in both images: the first
  // of the equal candidates is the copy, forward and back, 12 columns from the point.
  GreyImage image = textureImage(120, 80, 0.0, 0.0);
  for (int r = 35; r <= 45; ++r) {
    for (int c = 55; c <= 65; ++c) image.set(r, c - 12, image.at(r, c));
  }
  PolygonList none;
  const MatchingImage l(image, none);
  const MatchingImage r(image, none);
  MatchParameters p;
  p.precision = 1.0;
  p.q2 = 12;
  for (const auto& [flexibility, kept] : {std::pair{12, true}, {11, false}, {-1, true}}) {
    p.flexibility = flexibility;
    EXPECT_EQ(matchInterestPoint(l, r, interestPointAt(40, 60), p).has_value(), kept)
        << flexibility;
  }
  p.flexibility = 0;
  EXPECT_TRUE(
      matchInterestPoint(l, r, interestPointAt(20, 90), p));  // a unique patch comes back exactly
}

TEST(MatchInterestPoint, AScoreEqualToTheThresholdIsKept) {
  const test::StereoScene scene = test::loadScene("venus");
  PolygonList none;
  const MatchingImage l(scene.left, none);
  const MatchingImage r(scene.right, none);
  MatchParameters p;
  p.threshold = -0.5;
  const auto loose = matchInterestPoint(l, r, interestPointAt(200, 200), p);
  ASSERT_TRUE(loose);
  p.threshold = loose->score;
  EXPECT_TRUE(matchInterestPoint(l, r, interestPointAt(200, 200), p));
  p.threshold = std::nextafter(loose->score, 2.0);
  EXPECT_FALSE(matchInterestPoint(l, r, interestPointAt(200, 200), p));
}

TEST(MatchInterestPoint, WindowsLeavingTheLeftImageAreSkipped) {
  const GreyImage image = textureImage(60, 40, 0.0, 0.0);
  PolygonList none;
  const MatchingImage l(image, none);
  MatchParameters p;
  EXPECT_FALSE(matchInterestPoint(l, l, interestPointAt(4, 30), p));
  EXPECT_FALSE(matchInterestPoint(l, l, interestPointAt(20, 55), p));
  EXPECT_TRUE(matchInterestPoint(l, l, interestPointAt(20, 30), p));
  p.p1 = p.p2 = p.q1 = p.q2 = 2147483647;  // whole-image zones, no overflow
  p.precision = 1.0;
  EXPECT_TRUE(matchInterestPoint(l, l, interestPointAt(20, 30), p));
}

// Refinement needs h + 1 < R < H - h - 4 and the same for the column: the last admissible row
// and column at each border are kept, one further is refused.
TEST(MatchInterestPoint, TheRefinementDomainEndsAtItsBoundsOnEverySide) {
  const GreyImage image = textureImage(60, 40, 0.0, 0.0);
  PolygonList none;
  const MatchingImage l(image, none);
  MatchParameters p;
  p.flexibility = -1;
  for (const auto& [u, v, kept] : {std::tuple{7, 30, true},
                                   {6, 30, false},
                                   {30, 30, true},
                                   {31, 30, false},
                                   {20, 7, true},
                                   {20, 6, false},
                                   {20, 50, true},
                                   {20, 51, false}}) {
    EXPECT_EQ(matchInterestPoint(l, l, interestPointAt(u, v), p).has_value(), kept)
        << u << "," << v;
  }
}

// A flat candidate window scores 0, not 0 / 0, on the four-window path and on the single one:
// the first of the equal candidates wins.
TEST(SearchBestPosition, FlatCandidatesScoreZero) {
  const GreyImage textured = textureImage(40, 30, 0.0, 0.0);
  GreyImage flat(40, 30);
  for (int r = 0; r < 30; ++r) {
    for (int c = 0; c < 40; ++c) flat.set(r, c, 90);
  }
  PolygonList none;
  const MatchingImage a(textured, none);
  const MatchingImage b(flat, none);
  const Rect window{10, 10, 20, 20};
  for (const int positions : {6, 3}) {
    const Rect search{5, 8, 5 + 10 + positions - 1, 18};
    const InterestPoint best = searchBestPosition(window, search, a, b);
    EXPECT_EQ(best.score, 0.0) << positions;
    EXPECT_EQ(best.u, 13.0) << positions;
    EXPECT_EQ(best.v, 10.0) << positions;
  }
}

TEST(SearchBestPosition, ACandidateStraddlingARightPolygonBorderGivesWayToTheNextBest) {
  const GreyImage image = textureImage(100, 80, 0.0, 0.0);
  PolygonList none;
  PolygonList cut;
  test::addBox(cut, 0, 0, 79, 52);  // its right side crosses the window around (40, 50)
  const MatchingImage a(image, none);
  const MatchingImage free(image, none);
  const MatchingImage bounded(image, cut);
  const Rect window{45, 35, 55, 45};
  const Rect search{20, 25, 70, 55};
  const InterestPoint exact = searchBestPosition(window, search, a, free);
  EXPECT_EQ(exact.u, 40.0);
  EXPECT_EQ(exact.v, 50.0);
  EXPECT_NEAR(exact.score, 1.0, 1e-12);
  const InterestPoint next = searchBestPosition(window, search, a, bounded);
  EXPECT_LT(next.score, 1.0);
  EXPECT_TRUE(next.v <= 47.0 || next.v >= 58.0) << next.v;
  expectSameMatch(next, referenceSearch(window, search, image, cut, image));
}

TEST(MatchInterestPoints, OneThreadAndTwoGiveTheSameTablesAndLockedPolygonsKeepTheirs) {
  const test::StereoScene scene = test::loadScene("sawtooth");
  PolygonList leftPolygons;
  PolygonList rightPolygons;
  test::addBox(leftPolygons, 0, 0, 379, 200);
  test::addBox(leftPolygons, 0, 201, 379, 433);
  test::addBox(rightPolygons, 0, 0, 379, 433);
  leftPolygons[1].locked = true;
  std::vector<InterestPointList> points(2);
  for (int r = 10; r < 370; r += 9) {
    for (int c = 10; c < 200; c += 11) points[0].push_back(interestPointAt(r, c));
  }
  MatchTables previous;
  previous.matches = {{}, {interestPointAt(1, 2)}};
  previous.matchCounts = {0, 1};
  const MatchingImage left(scene.left, leftPolygons);
  const MatchingImage right(scene.right, rightPolygons);
  UnattendedRun run;
  setenv("PLK_THREADS", "1", 1);
  const auto one = matchInterestPoints(left, right, points, previous, MatchParameters{}, run);
  setenv("PLK_THREADS", "2", 1);
  const auto two = matchInterestPoints(left, right, points, previous, MatchParameters{}, run);
  unsetenv("PLK_THREADS");
  ASSERT_TRUE(one && two);
  ASSERT_GT(one->matchCounts[0], 100);
  EXPECT_EQ(one->matchCounts[0], static_cast<int>(one->matches[0].size()));
  ASSERT_EQ(two->matches[0].size(), one->matches[0].size());
  for (std::size_t i = 0; i < one->matches[0].size(); ++i) {
    expectSameMatch(two->matches[0][i], one->matches[0][i]);
    EXPECT_EQ(two->matches[0][i].leftU, one->matches[0][i].leftU);
  }
  EXPECT_EQ(one->matchCounts[1], 1);
  EXPECT_EQ(one->matches[1][0].v, 2.0);
  test::CancelAfterSteps cancel(2);
  EXPECT_FALSE(matchInterestPoints(left, right, points, previous, MatchParameters{}, cancel));
  EXPECT_EQ(cancel.units.front(), "Polygone 1/2");
}

}  // namespace
}  // namespace plk
