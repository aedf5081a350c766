#include "core/fonctions/disparity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>

#include "core/fonctions/geometry.h"
#include "run_test_support.h"

namespace plk {
namespace {

constexpr NumberFormat kFrench{','};

using Corners = std::vector<std::pair<double, double>>;  // (U, V)

void addPolygon(PolygonList& list, const Corners& corners) {
  Polygone& polygon = list.appendPolygon();
  for (const auto& [u, v] : corners) polygon.sommets.push_back(list.createVertex(u, v));
  polygon.sommets.push_back(polygon.sommets.front());
}

Corners rectangle(double u0, double v0, double u1, double v1) {
  return {{u0, v0}, {u0, v1}, {u1, v1}, {u1, v0}};
}

// u' = u, v' = v - shift - slope * u: a horizontal disparity of shift + slope * u.
Homography shiftLeft(double shift, double slope = 0.0) {
  return {1, 0, 0, -slope, 1, -shift, 0, 0, 1};
}

std::unique_ptr<Project> emptyProject(int rows, int columns) {
  auto project = std::make_unique<Project>();
  project->imageHeight = rows;
  project->imageWidth = columns;
  return project;
}

void setHomographies(Project& project, const std::vector<Homography>& table) {
  project.results.robustNonLinearHomographies = table;
  project.results.linearHomographies = table;
}

DisparityMaps compute(const Project& project, DisparityParameters parameters = {},
                      NumberFormat format = kFrench) {
  UnattendedRun run;
  std::optional<DisparityMaps> maps = computeDisparities(project, parameters, format, run);
  EXPECT_TRUE(maps.has_value());
  return maps ? std::move(*maps) : DisparityMaps{};
}

std::vector<std::string> tokens(const std::string& line) {
  std::vector<std::string> result;
  std::istringstream stream(line);
  for (std::string token; stream >> token;) result.push_back(token);
  return result;
}

// The computation as first described, one findPolygon per lookup and a vote record per polygon,
// against which the row-classifying version is checked.
DisparityMaps referenceDisparities(const Project& project, const DisparityParameters& parameters,
                                   NumberFormat format) {
  const int f = parameters.factor;
  const int rows = project.imageHeight;
  const int columns = project.imageWidth;
  const auto& table = homographyTable(project.results, parameters.homography);
  const PolygonList& left = project.left.polygons;
  DisparityMaps maps;
  maps.fineMap = ColourImage(f * columns, f * rows);
  for (int y = 0; y < f * rows; ++y) {
    for (int x = 0; x < f * columns; ++x) {
      const double u = double(y) / f;
      const double v = double(x) / f;
      std::int32_t i = findPolygon(left, u, v);
      if (i >= 0 && left[static_cast<std::size_t>(i)].locked) i = -1;
      if (i < 0 || static_cast<std::size_t>(i) >= table.size()) continue;
      const Homography& h = table[static_cast<std::size_t>(i)];
      const double a = h[0] * u + h[1] * v + h[2];
      const double b = h[3] * u + h[4] * v + h[5];
      const double w = h[6] * u + h[7] * v + h[8];
      if (w == 0) continue;
      const double mu = a / w;
      const double mv = b / w;
      if (!std::isfinite(mu) || !std::isfinite(mv)) continue;
      const double d = std::sqrt((mu - u) * (mu - u) + (mv - v) * (mv - v));
      if (findPolygon(project.right.polygons, mu, mv) != i) continue;
      const double e = std::nearbyint(parameters.rgbMultiplier * d);
      if (e >= double(kEncodedLimit)) {
        ++maps.droppedSamples;
        continue;
      }
      maps.fineMap.at(y, x) = encodeDisparity(static_cast<std::int64_t>(e));
    }
  }
  maps.map = ColourImage(columns, rows);
  maps.greyMap = ColourImage(columns, rows);
  maps.occlusionMask = ColourImage(columns, rows);
  const std::size_t polygonCount = left.size();
  for (int p = 0; p < rows; ++p) {
    std::string line;
    for (int q = 0; q < columns; ++q) {
      std::vector<InterestPoint> records(polygonCount + 1);
      for (std::size_t r = 0; r < records.size(); ++r) records[r].ordinal = std::int32_t(r);
      for (int a = 0; a < f; ++a) {
        for (int b = 0; b < f; ++b) {
          const Bgr0 sample = maps.fineMap.at(f * p + a, f * q + b);
          const std::int32_t k =
              sample.empty() ? -1 : findPolygon(left, p + double(a) / f, q + double(b) / f);
          InterestPoint& record = records[k < 0 ? polygonCount : static_cast<std::size_t>(k)];
          record.score += 1;
          if (k >= 0) record.u += double(decodeDisparity(sample));
        }
      }
      InterestPoint best;
      best.score = -100000.0;
      for (std::size_t r = 0; r < records.size(); ++r) {
        if (records[r].score > best.score) {
          best = records[r];
          best.ordinal = std::int32_t(r);
        }
      }
      if (static_cast<std::size_t>(best.ordinal) == polygonCount) {
        maps.occlusionMask.at(p, q) = Bgr0{255, 255, 255, 0};
        line += "0 ";
        continue;
      }
      const double s = best.u;
      const double n = best.score;
      line += formatGeneral(s / n / parameters.rgbMultiplier, format) + " ";
      const double g = std::nearbyint(parameters.greyMultiplier * s / n / parameters.rgbMultiplier);
      const auto level = std::uint8_t(std::int64_t(g) & 0xFF);
      maps.greyMap.at(p, q) = Bgr0{level, level, level, 0};
      maps.map.at(p, q) = encodeDisparity(std::int64_t(std::nearbyint(s / n)));
    }
    maps.text.push_back(line);
  }
  return maps;
}

void expectSameMaps(const DisparityMaps& actual, const DisparityMaps& expected) {
  EXPECT_EQ(actual.fineMap.pixels, expected.fineMap.pixels);
  EXPECT_EQ(actual.map.pixels, expected.map.pixels);
  EXPECT_EQ(actual.greyMap.pixels, expected.greyMap.pixels);
  EXPECT_EQ(actual.occlusionMask.pixels, expected.occlusionMask.pixels);
  EXPECT_EQ(actual.text, expected.text);
  EXPECT_EQ(actual.droppedSamples, expected.droppedSamples);
}

TEST(DisparityEncoding, ChannelsOfAnEncodedValue) {
  EXPECT_EQ(encodeDisparity(12345), (Bgr0{0, 48, 57, 0}));
  EXPECT_EQ(encodeDisparity(0x123456), (Bgr0{0x12, 0x34, 0x56, 0}));
  EXPECT_EQ(decodeDisparity(Bgr0{0x12, 0x34, 0x56, 0}), 0x123456);
}

TEST(ComputeDisparities, WorkedExampleOfTwelvePointThreeFourFive) {
  auto project = emptyProject(3, 20);
  addPolygon(project->left.polygons, rectangle(0, 14, 2, 19));
  addPolygon(project->right.polygons, rectangle(0, 0, 2, 8));
  setHomographies(*project, {shiftLeft(12.345)});
  const DisparityMaps maps = compute(*project);
  EXPECT_EQ(maps.fineMap.at(1, 15), (Bgr0{0, 48, 57, 0}));
  EXPECT_EQ(maps.map.at(1, 15), (Bgr0{0, 48, 57, 0}));
  EXPECT_EQ(maps.greyMap.at(1, 15), (Bgr0{99, 99, 99, 0}));
  EXPECT_EQ(maps.occlusionMask.at(1, 15), Bgr0{});
  EXPECT_EQ(maps.occlusionMask.at(1, 3), (Bgr0{255, 255, 255, 0}));
  EXPECT_EQ(tokens(maps.text[1])[15], "12,345");
  EXPECT_EQ(maps.disparities[1 * 20 + 15], 12.345);
  EXPECT_EQ(maps.disparities[1 * 20 + 3], kNoDisparity);
  // Every row holds one token per column, each followed by a space.
  for (const std::string& line : maps.text) {
    EXPECT_EQ(tokens(line).size(), 20U);
    EXPECT_EQ(line.back(), ' ');
    EXPECT_NE(line.substr(line.size() - 2, 1), " ");
  }
  EXPECT_EQ(maps.text[0].substr(0, 4), "0 0 ");
}

TEST(ComputeDisparities, TwoSamplesOfAPolygonOutvoteNobodyAndTiesGoToTheLowerPosition) {
  auto project = emptyProject(2, 4);
  PolygonList& left = project->left.polygons;
  addPolygon(left, rectangle(0, 0, 1.5, 0.2));
  addPolygon(left, rectangle(0, 2.9, 1.5, 3.6));
  addPolygon(left, rectangle(0, 2.4, 1.5, 3.9));
  addPolygon(left, rectangle(0, 1.8, 1.5, 2.1));
  for (const double v : {-11.0, -18.0, -5.0, -29.0}) {
    addPolygon(project->right.polygons, rectangle(-1, v, 3, v + 2));
  }
  setHomographies(*project, {shiftLeft(10, 1), shiftLeft(20), shiftLeft(7), shiftLeft(30)});
  DisparityParameters parameters;
  parameters.factor = 2;
  const DisparityMaps maps = compute(*project, parameters);
  // Pixel (0, 0): the samples at v = 0 lie on polygon 0's side (d = 10 at u = 0, 10.5 at
  // u = 0.5), those at v = 0.5 in no polygon; the tie goes to polygon 0 with the mean 10.25.
  EXPECT_EQ(tokens(maps.text[0])[0], "10,25");
  EXPECT_EQ(maps.map.at(0, 0), encodeDisparity(10250));
  // Pixel (0, 1): empty samples only.
  EXPECT_EQ(tokens(maps.text[0])[1], "0");
  // Pixel (0, 2): two samples of polygon 3 (d = 30) and two of polygon 2 (d = 7).
  EXPECT_EQ(tokens(maps.text[0])[2], "7");
}

TEST(ComputeDisparities, NoDisparityForOtherPositionsLockedPolygonsMissingEntriesAndZeroW) {
  auto project = emptyProject(4, 40);
  PolygonList& left = project->left.polygons;
  addPolygon(left, rectangle(0, 30, 3, 39));  // lands in right polygon 1
  addPolygon(left, rectangle(0, 20, 3, 29));  // locked
  addPolygon(left, rectangle(0, 10, 3, 19));  // nine zeros: w = 0
  addPolygon(left, rectangle(0, 0, 3, 9));    // drawn after the estimation: no entry
  left[1].locked = true;
  addPolygon(project->right.polygons, rectangle(0, 100, 3, 120));
  addPolygon(project->right.polygons, rectangle(0, 0, 3, 40));
  setHomographies(*project, {shiftLeft(5), shiftLeft(5), Homography{}});
  const DisparityMaps maps = compute(*project);
  std::string zeros;
  for (int q = 0; q < 40; ++q) zeros += "0 ";
  for (const std::string& line : maps.text) EXPECT_EQ(line, zeros);
  // Samples of unlocked polygons with an entry that found nothing are fine occlusions.
  EXPECT_EQ(maps.fineOcclusions[35], 255);
  EXPECT_EQ(maps.fineOcclusions[15], 255);
  EXPECT_EQ(maps.fineOcclusions[25], 0);
  EXPECT_EQ(maps.fineOcclusions[5], 0);
}

TEST(ComputeDisparities, ZeroDisparityCannotBeToldFromNoneAndTooLargeValuesAreDropped) {
  auto project = emptyProject(2, 10);
  addPolygon(project->left.polygons, rectangle(0, 0, 1, 4));
  addPolygon(project->left.polygons, rectangle(0, 5, 1, 9));
  addPolygon(project->right.polygons, rectangle(0, 0, 1, 4));
  addPolygon(project->right.polygons, rectangle(0, 20000, 1, 20010));
  setHomographies(*project, {shiftLeft(0), shiftLeft(-20000)});
  const DisparityMaps maps = compute(*project);
  EXPECT_EQ(maps.text[0], "0 0 0 0 0 0 0 0 0 0 ");
  EXPECT_EQ(maps.droppedSamples, 10);
  EXPECT_EQ(maps.fineMap.at(0, 7), Bgr0{});
}

// Polygons and homographies drawn at random, some corners on sample positions, some polygons
// locked or mapped nowhere: the fast computation must give every byte and token of the literal
// one, for several factors and thread counts.
std::unique_ptr<Project> randomScene(std::mt19937& random) {
  auto project = emptyProject(14, 18);
  std::uniform_real_distribution<double> coordinate(-1.0, 19.0);
  std::uniform_real_distribution<double> shift(0.0, 6.0);
  std::uniform_real_distribution<double> small(-0.02, 0.02);
  std::vector<Homography> table;
  for (int k = 0; k < 5; ++k) {
    Corners corners;
    for (int i = 0; i < 5; ++i) {
      const double u = std::round(coordinate(random) * 2) / 2;
      const double v = std::round(coordinate(random) * 3) / 3;
      corners.emplace_back(u, v);
    }
    addPolygon(project->left.polygons, corners);
    Corners right;
    const double d = std::round(shift(random) * 4) / 4;
    for (const auto& [u, v] : corners) right.emplace_back(u + small(random), v - d);
    addPolygon(project->right.polygons, right);
    table.push_back({1 + small(random), small(random), small(random), small(random),
                     1 + small(random), -d, small(random) / 50, small(random) / 50, 1});
  }
  project->left.polygons[3].locked = true;
  table.pop_back();
  setHomographies(*project, table);
  return project;
}

TEST(ComputeDisparities, SameBytesAsTheLiteralComputation) {
  std::mt19937 random(61);
  for (int scene = 0; scene < 6; ++scene) {
    const auto project = randomScene(random);
    for (const int factor : {1, 2, 3}) {
      DisparityParameters parameters;
      parameters.factor = factor;
      parameters.greyMultiplier = 20;
      expectSameMaps(compute(*project, parameters),
                     referenceDisparities(*project, parameters, kFrench));
    }
  }
}

TEST(ComputeDisparities, SameOutputWhateverTheThreadCount) {
  std::mt19937 random(62);
  const auto project = randomScene(random);
  DisparityParameters parameters;
  parameters.factor = 3;
  setenv("PLK_THREADS", "1", 1);
  const DisparityMaps single = compute(*project, parameters);
  setenv("PLK_THREADS", "3", 1);
  const DisparityMaps three = compute(*project, parameters);
  unsetenv("PLK_THREADS");
  expectSameMaps(three, single);
  EXPECT_EQ(three.disparities, single.disparities);
  EXPECT_EQ(three.fineOcclusions, single.fineOcclusions);
}

TEST(ComputeDisparities, ACancelledRunGivesNothing) {
  std::mt19937 random(63);
  const auto project = randomScene(random);
  test::CancelAfterSteps control(2);
  EXPECT_FALSE(computeDisparities(*project, {}, kFrench, control).has_value());
  EXPECT_EQ(control.units.front(), "Carte fine : ligne 1/14");
}

}  // namespace
}  // namespace plk
