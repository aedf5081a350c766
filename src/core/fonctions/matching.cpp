#include "core/fonctions/matching.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "core/fonctions/correlation.h"
#include "core/fonctions/double_pair.h"
#include "core/fonctions/geometry.h"
#include "core/fonctions/sampling.h"
#include "core/parallel.h"

namespace plk {

namespace {

// The score of a refused match or candidate.
constexpr double kRefused = -1.0;
// The running best of a scan before any candidate, and of a refinement pass.
constexpr double kNoScore = -100000.0;
constexpr double kNoRefinedScore = -1e10;
// Points matched between two looks at the run control.
constexpr std::size_t kPointsPerStep = 64;

std::size_t index(int i) { return static_cast<std::size_t>(i); }

InterestPoint refusedMatch() {
  InterestPoint m;
  m.score = kRefused;
  return m;
}

// A reference window, centred once for the many windows it is compared with: the same centred
// values and norm that correlationScore computes from it on every call.
struct Reference {
  std::vector<double> centred;
  double norm = 0.0;
};

Reference referenceWindow(const MatchingImage& image, const Rect& window) {
  const int n = window.width() * window.height();
  double sum = 0.0;
  for (int r = window.top; r <= window.bottom; ++r) {
    for (int c = window.left; c <= window.right; ++c) sum += image.at(r, c);
  }
  const double mean = sum / n;
  Reference reference;
  reference.centred.reserve(index(n));
  double squares = 0.0;
  for (int r = window.top; r <= window.bottom; ++r) {
    for (int c = window.left; c <= window.right; ++c) {
      const double centred = image.at(r, c) - mean;
      reference.centred.push_back(centred);
      squares += centred * centred;
    }
  }
  reference.norm = flatGuard(std::sqrt(squares));
  return reference;
}

// correlationScore of the reference against samples in the same row-major order.
double scoreSamples(const Reference& reference, const std::vector<double>& samples) {
  const std::size_t n = samples.size();
  double sum = 0.0;
  for (const double sample : samples) sum += sample;
  const double mean = sum / static_cast<double>(n);
  double squares = 0.0;
  for (const double sample : samples) squares += (sample - mean) * (sample - mean);
  double cross = 0.0;
  for (std::size_t i = 0; i < n; ++i) cross += reference.centred[i] * (samples[i] - mean);
  return correlationOf(cross, reference.norm, squares);
}

// Means of the N x N windows of one candidate row, from column sums. The pixel values are
// integers, so these sums are exact and equal to the row-major sums whatever their order.
std::vector<double> windowMeans(const MatchingImage& b, const Rect& search, int top, int size,
                                int positions) {
  std::vector<double> columnSums(index(search.width()), 0.0);
  for (int a = 0; a < size; ++a) {
    const double* line = b.row(top + a) + search.left;
    for (int x = 0; x < search.width(); ++x) columnSums[index(x)] += line[x];
  }
  std::vector<double> means(index(positions));
  double sum = 0.0;
  for (int x = 0; x < size; ++x) sum += columnSums[index(x)];
  const double n = static_cast<double>(size) * size;
  for (int c = 0; c < positions; ++c) {
    means[index(c)] = sum / n;
    if (c + 1 < positions) sum += columnSums[index(c + size)] - columnSums[index(c)];
  }
  return means;
}

// Candidate windows scored together, two per register.
constexpr int kBlock = 4;
constexpr int kPairs = kBlock / 2;

// correlationScore of the reference against kBlock consecutive candidate windows whose top-left
// pixels start at `origin` in a row of b, sample by sample in row-major order for each.
void scoreCandidateBlock(const Reference& reference, const MatchingImage& b, const double* origin,
                         int size, const double* means, double* scores) {
  std::array<DoublePair, kPairs> squares{};
  std::array<DoublePair, kPairs> cross{};
  std::array<DoublePair, kPairs> mean{};
  for (std::size_t j = 0; j < kPairs; ++j) mean[j] = loadPair(means + 2 * j);
  const std::size_t stride = static_cast<std::size_t>(b.columns);
  for (int a = 0; a < size; ++a) {
    const double* line = origin + index(a) * stride;
    for (int c = 0; c < size; ++c) {
      const DoublePair centred = broadcastPair(reference.centred[index(a * size + c)]);
#pragma GCC unroll 2
      for (std::size_t j = 0; j < kPairs; ++j) {
        const DoublePair d = loadPair(line + c + 2 * j) - mean[j];
        squares[j] += d * d;
        cross[j] += centred * d;
      }
    }
  }
  for (int x = 0; x < kBlock; ++x) {
    const std::size_t j = index(x / 2);
    const int lane = x % 2;
    scores[x] = correlationOf(cross[j][lane], reference.norm, squares[j][lane]);
  }
}

// The same score for one candidate window.
double scoreCandidate(const Reference& reference, const MatchingImage& b, const double* origin,
                      int size, double mean) {
  double squares = 0.0;
  double cross = 0.0;
  const std::size_t stride = static_cast<std::size_t>(b.columns);
  for (int a = 0; a < size; ++a) {
    const double* line = origin + index(a) * stride;
    for (int c = 0; c < size; ++c) {
      const double d = line[c] - mean;
      squares += d * d;
      cross += reference.centred[index(a * size + c)] * d;
    }
  }
  return correlationOf(cross, reference.norm, squares);
}

// Scores of one row of candidate windows, every candidate summing its squares and cross
// products in row-major order as correlationScore does.
void scoreCandidateRow(const Reference& reference, const MatchingImage& b, const Rect& search,
                       int top, int size, int positions, double* scores) {
  const std::vector<double> means = windowMeans(b, search, top, size, positions);
  const double* origin = b.row(top) + search.left;
  int x = 0;
  for (; x + kBlock <= positions; x += kBlock) {
    scoreCandidateBlock(reference, b, origin + x, size, &means[index(x)], scores + x);
  }
  for (; x < positions; ++x) {
    scores[x] = scoreCandidate(reference, b, origin + x, size, means[index(x)]);
  }
}

// Position of the first largest score (running best from -100000, strictly greater), or -1.
int firstMaximum(const std::vector<double>& scores) {
  int best = -1;
  double bestScore = kNoScore;
  for (std::size_t i = 0; i < scores.size(); ++i) {
    if (scores[i] > bestScore) {
      bestScore = scores[i];
      best = static_cast<int>(i);
    }
  }
  return best;
}

// Every pixel of the window centred at (u, v) lies in the region of its centre.
bool windowInOneRegion(const PolygonIndexMap& map, int u, int v, int h) {
  const std::int32_t region = map(u, v);
  for (int a = -h; a <= h; ++a) {
    for (int b = -h; b <= h; ++b) {
      if (map(u + a, v + b) != region) return false;
    }
  }
  return true;
}

// The rectangle rows [top, bottom] and columns [left, right] cut to the image; computed in 64
// bits because the search sizes have no upper limit.
Rect clippedRect(long long top, long long bottom, long long left, long long right, int rows,
                 int columns) {
  return {static_cast<int>(std::max(left, 0LL)), static_cast<int>(std::max(top, 0LL)),
          static_cast<int>(std::min(right, static_cast<long long>(columns) - 1)),
          static_cast<int>(std::min(bottom, static_cast<long long>(rows) - 1))};
}

Rect windowAround(int row, int column, int h) { return {column - h, row - h, column + h, row + h}; }

// The reverse search from the right window back into the left image lands within s pixels of
// the interest point, in each direction.
bool reverseCheckHolds(const MatchingImage& left, const MatchingImage& right,
                       const Rect& leftWindow, const InterestPoint& m,
                       const MatchParameters& parameters) {
  const int h = halfWidth(leftWindow.width());
  const int row = static_cast<int>(std::nearbyint(m.u));
  const int column = static_cast<int>(std::nearbyint(m.v));
  const long long r = row;
  const long long c = column;
  const Rect reverse =
      clippedRect(r - parameters.p2 - h, r + parameters.p1 + h, c - parameters.q2 - h,
                  c + parameters.q1 + h, left.rows, left.columns);
  const InterestPoint back = searchBestPosition(windowAround(row, column, h), reverse, right, left);
  if (back.score == kRefused) return false;
  const double s = parameters.flexibility;
  return std::fabs(back.v - (leftWindow.left + h)) <= s &&
         std::fabs(back.u - (leftWindow.top + h)) <= s;
}

// The right window at (y, x), h pixels around, sampled bicubically in row-major order.
void sampleWindow(const MatchingImage& right, double y, double x, int h,
                  std::vector<double>& samples) {
  std::vector<CubicTap> columns;
  columns.reserve(index(2 * h + 1));
  for (int b = -h; b <= h; ++b) columns.push_back(cubicTap(x + b));
  const auto at = [&right](int r, int c) { return right.at(r, c); };
  samples.clear();
  for (int a = -h; a <= h; ++a) {
    const CubicTap row = cubicTap(y + a);
    for (const CubicTap& column : columns) samples.push_back(cubicCombine(row, column, at));
  }
}

// Halves the step while it exceeds the precision, moving to the best of the 3 x 3 positions one
// step apart (the first of equal scores); the score is that of the last pass.
InterestPoint refine(const MatchingImage& right, const Reference& reference, InterestPoint m, int h,
                     double precision) {
  const int row = static_cast<int>(std::nearbyint(m.u));
  const int column = static_cast<int>(std::nearbyint(m.v));
  if (!(h + 1 < row && row < right.rows - h - 4 && h + 1 < column &&
        column < right.columns - h - 4)) {
    return refusedMatch();
  }
  const std::int32_t region = right.polygonMap(row, column);
  double y = row;
  double x = column;
  double step = 1.0;
  double best = kRefused;
  std::vector<double> samples;
  while (step > precision) {
    step /= 2.0;
    best = kNoRefinedScore;
    int bestDr = 0;
    int bestDc = 0;
    for (int dr = -1; dr <= 1; ++dr) {
      for (int dc = -1; dc <= 1; ++dc) {
        sampleWindow(right, y + dr * step, x + dc * step, h, samples);
        const double score = scoreSamples(reference, samples);
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
  if (findPolygon(right.polygons, y, x) != region) m.score = kRefused;
  return m;
}

}  // namespace

MatchingImage::MatchingImage(const GreyImage& image, const PolygonList& polygonList)
    : rows(image.height()),
      columns(image.width()),
      pixels(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns)),
      polygons(polygonList),
      polygonMap(polygonList, rows, columns) {
  for (int r = 0; r < rows; ++r) {
    const std::uint8_t* line = image.row(r);
    std::copy(line, line + columns, pixels.begin() + static_cast<std::ptrdiff_t>(r) * columns);
  }
}

InterestPoint searchBestPosition(const Rect& window, const Rect& search, const MatchingImage& a,
                                 const MatchingImage& b) {
  const int size = window.width();
  const int h = halfWidth(size);
  const int rowPositions = search.height() - size + 1;
  const int columnPositions = search.width() - size + 1;
  if (rowPositions <= 0 || columnPositions <= 0) return refusedMatch();
  const Reference reference = referenceWindow(a, window);
  std::vector<double> scores(index(rowPositions) * index(columnPositions));
  for (int r = 0; r < rowPositions; ++r) {
    scoreCandidateRow(reference, b, search, search.top + r, size, columnPositions,
                      &scores[index(r) * index(columnPositions)]);
  }
  for (;;) {
    const int best = firstMaximum(scores);
    if (best < 0 || scores[index(best)] == kRefused) return refusedMatch();
    const int u = search.top + best / columnPositions + h;
    const int v = search.left + best % columnPositions + h;
    if (windowInOneRegion(b.polygonMap, u, v, h)) {
      InterestPoint candidate;
      candidate.ordinal = best;
      candidate.score = scores[index(best)];
      candidate.u = u;
      candidate.v = v;
      return candidate;
    }
    scores[index(best)] = kRefused;
  }
}

InterestPoint matchPoint(const MatchingImage& left, const MatchingImage& right,
                         const Rect& leftWindow, const Rect& search,
                         const MatchParameters& parameters) {
  InterestPoint m = searchBestPosition(leftWindow, search, left, right);
  if (parameters.flexibility != -1 && m.score != kRefused &&
      !reverseCheckHolds(left, right, leftWindow, m, parameters)) {
    m.score = kRefused;
  }
  if (m.score == kRefused || parameters.precision == 1.0) return m;
  return refine(right, referenceWindow(left, leftWindow), m, halfWidth(leftWindow.width()),
                parameters.precision);
}

std::optional<InterestPoint> matchInterestPoint(const MatchingImage& left,
                                                const MatchingImage& right,
                                                const InterestPoint& point,
                                                const MatchParameters& parameters) {
  const long long h = halfWidth(parameters.windowSize);
  const double u = std::nearbyint(point.u);
  const double v = std::nearbyint(point.v);
  if (!(u - h >= 0.0 && u + h <= left.rows - 1.0 && v - h >= 0.0 && v + h <= left.columns - 1.0)) {
    return std::nullopt;
  }
  const long long r = static_cast<long long>(u);
  const long long c = static_cast<long long>(v);
  const Rect window = windowAround(static_cast<int>(r), static_cast<int>(c), static_cast<int>(h));
  const Rect search =
      clippedRect(r - parameters.p1 - h, r + parameters.p2 + h, c - parameters.q1 - h,
                  c + parameters.q2 + h, right.rows, right.columns);
  InterestPoint m = matchPoint(left, right, window, search, parameters);
  if (!(m.score >= parameters.threshold)) return std::nullopt;
  m.leftU = u;
  m.leftV = v;
  return m;
}

std::optional<MatchTables> matchInterestPoints(const MatchingImage& left,
                                               const MatchingImage& right,
                                               const std::vector<InterestPointList>& interestPoints,
                                               const MatchTables& previous,
                                               const MatchParameters& parameters,
                                               RunControl& control) {
  const std::size_t count = interestPoints.size();
  const std::size_t polygonCount = left.polygons.size();
  const auto matched = [&](std::size_t i) { return i < polygonCount && !left.polygons[i].locked; };
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) total += matched(i) ? interestPoints[i].size() : 0;
  MatchTables tables;
  tables.matches.resize(count);
  tables.matchCounts.resize(count, 0);
  std::size_t done = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!matched(i)) {
      if (i < previous.matches.size()) tables.matches[i] = previous.matches[i];
      if (i < previous.matchCounts.size()) tables.matchCounts[i] = previous.matchCounts[i];
      continue;
    }
    const InterestPointList& points = interestPoints[i];
    const std::string label =
        "Polygone " + std::to_string(i + 1) + "/" + std::to_string(polygonCount);
    std::vector<std::optional<InterestPoint>> found(points.size());
    for (std::size_t start = 0; start < points.size(); start += kPointsPerStep) {
      control.step(static_cast<int>(done), static_cast<int>(total), label);
      if (control.cancelled()) return std::nullopt;
      const std::size_t batch = std::min(kPointsPerStep, points.size() - start);
      parallelFor(batch, [&](std::size_t j) {
        found[start + j] = matchInterestPoint(left, right, points[start + j], parameters);
      });
      done += batch;
    }
    for (const std::optional<InterestPoint>& m : found) {
      if (m) tables.matches[i].push_back(*m);
    }
    tables.matchCounts[i] = static_cast<std::int32_t>(tables.matches[i].size());
  }
  if (control.cancelled()) return std::nullopt;
  return tables;
}

}  // namespace plk
