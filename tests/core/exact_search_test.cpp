#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/fonctions/segmentation_detail.h"
#include "segmentation_test_support.h"

namespace plk {
namespace {

// Random polygons on the gradients of real images: the recursion over the cycle must choose the
// very vertices, and reach the very energy, that the enumeration of every combination does.
class ExactSearchAgainstEnumeration : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* scene : {"sawtooth", "venus", "map", "tsukuba"}) {
      for (const char* view : {"left", "right"}) {
        const std::string path =
            std::string(PLK_TESTDATA_DIR) + "/middlebury2001/" + scene + "/" + view + ".bmp";
        images_->push_back(test::gradientsOf(test::readGreyBmp(path)));
      }
    }
  }
  static void TearDownTestSuite() { images_->clear(); }

  static inline auto* images_ = new std::vector<test::Gradients>();
};

// The interpolation written out as first described: weights scaled by 2, columns of the 4 x 4
// neighbourhood first, the sum divided by 4.
double naiveBicubic(const IntMatrix& m, double u, double v) {
  const auto w = [](int k, double x) {
    switch (k) {
      case -1:
        return ((2 - x) * x - 1) * x;
      case 0:
        return (3 * x - 5) * x * x + 2;
      case 1:
        return ((4 - 3 * x) * x + 1) * x;
      default:
        return (x - 1) * x * x;
    }
  };
  const int r0 = static_cast<int>(std::floor(u));
  const int c0 = static_cast<int>(std::floor(v));
  const double t = u - r0;
  const double s = v - c0;
  double result = 0;
  for (int j = -1; j <= 2; ++j) {
    double column = 0;
    for (int i = -1; i <= 2; ++i) column += w(i, t) * m(r0 + i, c0 + j);
    result += w(j, s) * column;
  }
  return result / 4;
}

TEST_F(ExactSearchAgainstEnumeration, SideEnergyIsTheMeanOfTheInterpolatedGradientAcross) {
  std::mt19937 random(77);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 400; ++trial) {
    const test::Gradients& g = (*images_)[static_cast<std::size_t>(trial) % images_->size()];
    const double h = g.x.rows() - 1;
    const double w = g.x.columns() - 1;
    // Ends anywhere in the image, some samples falling in the skipped border band.
    const SidePoint p{unit(random) * (h - 1), unit(random) * (w - 1)};
    const SidePoint q{std::clamp(p.u + (unit(random) - 0.5) * 60, 0.0, h - 1),
                      std::clamp(p.v + (unit(random) - 0.5) * 60, 0.0, w - 1)};
    const double s = std::array<double, 4>{1.0, 1.0 / 3, 0.1, 0.37}[random() % 4];
    const std::vector<SidePoint> samples = sideSamples(p, q, s);
    const double length = std::sqrt((q.u - p.u) * (q.u - p.u) + (q.v - p.v) * (q.v - p.v));
    double sum = 0;
    int kept = 0;
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
      const auto [u, v] = samples[i];
      if (u < 1 || u >= h - 1 || v < 1 || v >= w - 1) continue;
      const double across = naiveBicubic(g.x, u, v) * (std::fabs(q.u - p.u) / length) +
                            naiveBicubic(g.y, u, v) * (std::fabs(q.v - p.v) / length);
      sum += across * across;
      ++kept;
    }
    ASSERT_EQ(sideEnergy(samples, g.x, g.y), kept == 0 ? 0.0 : sum / kept) << "trial " << trial;
  }
}

constexpr std::size_t kLargestEnumeration = 59049;  // 9^5 combinations

struct RandomPolygon {
  PolygonList list;
  Polygone* polygon = nullptr;
  double precisionStep = 1.0;
  double samplingStep = 1.0;
};

// Vertices around a random centre, on the grid of the precision, some of them on a border, in a
// corner or held; the combinations are kept within reach of the enumeration.
void makeRandomPolygon(std::mt19937& random, int height, int width, RandomPolygon& out) {
  const auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  const auto chance = [&](double p) { return uniform(0.0, 1.0) < p; };
  const int count = std::uniform_int_distribution<int>(3, 7)(random);
  const std::array<int, 3> precisions{1, 3, 10};
  const int precision = precisions[random() % 3];
  out.precisionStep = 1.0 / precision;
  const std::array<double, 4> forced{0.0, 0.5, 0.25, 1.0};
  const double step = forced[random() % 4];
  out.samplingStep = step == 0.0 ? out.precisionStep : step;
  const double radius = uniform(2.0, 25.0);
  // One polygon in five hugs the top-left corner, where samples fall outside the image.
  const bool nearBorder = chance(0.2);
  // One in ten lies along the top border: no side has energy, every combination ties.
  const bool alongTop = chance(0.1);
  const double centreU = nearBorder ? uniform(0.0, radius) : uniform(radius, height - 1 - radius);
  const double centreV = nearBorder ? uniform(0.0, radius) : uniform(radius, width - 1 - radius);
  std::vector<double> angles(static_cast<std::size_t>(count));
  for (double& angle : angles) angle = uniform(0.0, 2.0 * M_PI);
  std::sort(angles.begin(), angles.end());
  const auto onGrid = [&](double x, double last) {
    return std::clamp(std::round(x * precision) / precision, 0.0, last);
  };
  Polygone& polygon = out.list.appendPolygon();
  for (const double angle : angles) {
    const double r = radius * uniform(0.5, 1.0);
    Sommet* vertex = out.list.createVertex(onGrid(centreU + r * std::sin(angle), height - 1.0),
                                           onGrid(centreV + r * std::cos(angle), width - 1.0));
    if (alongTop || chance(0.1)) {
      vertex->BordU = true;
      vertex->U = alongTop || chance(0.5) ? 0.0 : height - 1.0;
    }
    if (chance(0.1)) {
      vertex->BordV = true;
      vertex->V = chance(0.5) ? 0.0 : width - 1.0;
    }
    vertex->Fixe = chance(0.15);
    polygon.sommets.push_back(vertex);
  }
  const auto combinations = [&] {
    std::size_t product = 1;
    for (int k = 0; k < count; ++k) {
      product *= vertexCandidates(*polygon.sommets[static_cast<std::size_t>(k)], out.precisionStep,
                                  height, width)
                     .size();
    }
    return product;
  };
  while (combinations() > kLargestEnumeration) {
    polygon.sommets[random() % polygon.sommets.size()]->Fixe = true;
  }
  polygon.sommets.push_back(polygon.sommets.front());
  out.polygon = &polygon;
}

TEST_F(ExactSearchAgainstEnumeration, SameVerticesAndSameEnergyOnThreeHundredPolygons) {
  std::mt19937 random(20011);
  int heldOrBorder = 0;
  int flat = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const test::Gradients& g = (*images_)[static_cast<std::size_t>(trial) % images_->size()];
    const int height = g.x.rows() - 1;
    const int width = g.x.columns() - 1;
    RandomPolygon shape;
    makeRandomPolygon(random, height, width, shape);
    const Polygone& working = *shape.polygon;
    for (const Sommet* vertex : working.sommets) {
      if (vertex->Fixe || vertex->BordU || vertex->BordV) ++heldOrBorder;
    }
    VertexStore store;
    Polygone byRecursion;
    byRecursion.copyVerticesFrom(working, store);
    Polygone byEnumeration;
    byEnumeration.copyVerticesFrom(working, store);
    SideEnergyCache recursionCache;
    SideEnergyCache enumerationCache;
    EnergyField recursionField{g.x, g.y, shape.samplingStep, recursionCache};
    EnergyField enumerationField{g.x, g.y, shape.samplingStep, enumerationCache};
    exactSearch(working, byRecursion, shape.precisionStep, recursionField);
    exactSearchByEnumeration(working, byEnumeration, shape.precisionStep, enumerationField);
    ASSERT_EQ(byRecursion.value, byEnumeration.value) << "trial " << trial;
    ASSERT_EQ(vertexListText(byRecursion, {}), vertexListText(byEnumeration, {}))
        << "trial " << trial;
    for (std::size_t i = 0; i < working.sommets.size(); ++i) {
      ASSERT_EQ(byRecursion.sommets[i]->U, byEnumeration.sommets[i]->U) << "trial " << trial;
      ASSERT_EQ(byRecursion.sommets[i]->V, byEnumeration.sommets[i]->V) << "trial " << trial;
    }
    if (byRecursion.value == 0.0) ++flat;
  }
  // The sample holds constrained vertices, and polygons without energy, where every combination
  // ties and the first one must win.
  EXPECT_GT(heldOrBorder, 100);
  EXPECT_GT(flat, 20) << flat;
}

}  // namespace
}  // namespace plk
