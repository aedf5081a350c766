#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "numeric/matrices.h"

namespace plk::test {

// A point of an image, row first as everywhere in the program.
struct Point {
  double u;
  double v;
};

using Entries = std::array<double, 9>;  // a homography, row-major

inline Matrix toMatrix(const Entries& h) {
  Matrix m(3, 3);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) m[r][c] = h[static_cast<std::size_t>(3 * r + c)];
  }
  return m;
}

inline Entries toEntries(const Matrix& m) {
  Entries h{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) h[static_cast<std::size_t>(3 * r + c)] = m[r][c];
  }
  return h;
}

// The point set as a 3 x n matrix, one (u, v, 1) per column.
inline Matrix pointMatrix(const std::vector<Point>& points) {
  Matrix m(3, static_cast<int>(points.size()));
  for (std::size_t i = 0; i < points.size(); ++i) {
    m[0][i] = points[i].u;
    m[1][i] = points[i].v;
    m[2][i] = 1.0;
  }
  return m;
}

inline Point transfer(const Entries& h, Point p) {
  const double w = h[6] * p.u + h[7] * p.v + h[8];
  return {(h[0] * p.u + h[1] * p.v + h[2]) / w, (h[3] * p.u + h[4] * p.v + h[5]) / w};
}

// Unit Frobenius norm, sign chosen so that the entry of largest magnitude is positive: two
// homographies equal up to scale become equal.
inline Entries canonical(const Entries& h) {
  double norm = 0.0;
  double largest = 0.0;
  for (const double x : h) {
    norm += x * x;
    if (std::fabs(x) > std::fabs(largest)) largest = x;
  }
  const double scale = (largest < 0 ? -1.0 : 1.0) / std::sqrt(norm);
  Entries result{};
  for (std::size_t i = 0; i < 9; ++i) result[i] = h[i] * scale;
  return result;
}

inline void expectSameUpToScale(const Entries& actual, const Entries& expected, double tolerance) {
  const Entries a = canonical(actual);
  const Entries e = canonical(expected);
  for (std::size_t i = 0; i < 9; ++i) EXPECT_NEAR(a[i], e[i], tolerance) << "entry " << i;
}

// A plane seen from two views: a mild projective map of image coordinates.
inline const Entries kPlane = {0.97, 0.04, 2.5, -0.03, 1.02, -14.0, 2e-5, -4e-5, 1.0};

// n left points spread over a 300 x 400 image and their exact transfers through h.
struct MatchSet {
  std::vector<Point> left;
  std::vector<Point> right;
};

inline MatchSet exactMatches(const Entries& h, int n, std::mt19937& engine) {
  std::uniform_real_distribution<double> row(10.0, 290.0);
  std::uniform_real_distribution<double> column(10.0, 390.0);
  MatchSet set;
  for (int i = 0; i < n; ++i) {
    const Point p{row(engine), column(engine)};
    set.left.push_back(p);
    set.right.push_back(transfer(h, p));
  }
  return set;
}

inline void addNoise(std::vector<Point>& points, double sigma, std::mt19937& engine) {
  std::normal_distribution<double> noise(0.0, sigma);
  for (Point& p : points) {
    p.u += noise(engine);
    p.v += noise(engine);
  }
}

}  // namespace plk::test
