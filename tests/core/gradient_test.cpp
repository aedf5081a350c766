#include "core/fonctions/gradient.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace plk {
namespace {

GreyImage patternImage(int width, int height) {
  GreyImage image(width, height);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c)
      image.set(r, c, static_cast<std::uint8_t>((r * 37 + c * c * 11) % 256));
  }
  return image;
}

// Independent computation of one interior value: the kernel applied turned by a half turn.
int interiorValue(const GreyImage& image, const GradientKernel& k, int i, int j) {
  int s = 0;
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) s += k[2 - a][2 - b] * image.at(i - 1 + a, j - 1 + b);
  }
  return s < 0 ? -s : s;
}

void expectGradientOf(const GreyImage& image, const GradientKernel& kernel) {
  const int w = image.width();
  const int h = image.height();
  const IntMatrix g = computeGradient(image, kernel);
  ASSERT_EQ(g.rows(), h + 1);
  ASSERT_EQ(g.columns(), w + 1);
  const auto sourceRow = [h](int r) { return r == 0 ? 1 : (r >= h - 1 ? h - 2 : r); };
  const auto sourceColumn = [w](int c) { return c == 0 ? 1 : (c >= w - 1 ? w - 2 : c); };
  for (int r = 0; r <= h; ++r) {
    for (int c = 0; c <= w; ++c) {
      EXPECT_EQ(g(r, c), interiorValue(image, kernel, sourceRow(r), sourceColumn(c)))
          << "at row " << r << ", column " << c;
    }
  }
}

TEST(ComputeGradient, SizesAndBorderCopiesForEveryAspect) {
  for (const auto& [w, h] : {std::pair{9, 5}, std::pair{6, 6}, std::pair{4, 8}, std::pair{3, 3}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    expectGradientOf(patternImage(w, h), kSobelX);
    expectGradientOf(patternImage(w, h), kSobelY);
  }
}

TEST(ComputeGradient, UniformImageGivesZeros) {
  GreyImage image(7, 5);
  for (int r = 0; r < 5; ++r) {
    for (int c = 0; c < 7; ++c) image.set(r, c, 180);
  }
  for (const GradientKernel& kernel : {kSobelX, kSobelY}) {
    const IntMatrix g = computeGradient(image, kernel);
    for (int r = 0; r <= 5; ++r) {
      for (int c = 0; c <= 7; ++c) EXPECT_EQ(g(r, c), 0);
    }
  }
}

TEST(ComputeGradient, VerticalStepGivesFourHundredOnBothSidesOfTheEdge) {
  constexpr int kWidth = 10;
  constexpr int kHeight = 6;
  GreyImage image(kWidth, kHeight);
  for (int r = 0; r < kHeight; ++r) {
    for (int c = kWidth / 2; c < kWidth; ++c) image.set(r, c, 100);
  }
  const IntMatrix gx = computeGradient(image, kSobelX);
  const IntMatrix gy = computeGradient(image, kSobelY);
  for (int r = 0; r <= kHeight; ++r) {
    for (int c = 0; c <= kWidth; ++c) {
      EXPECT_EQ(gx(r, c), (c == 4 || c == 5) ? 400 : 0) << r << "," << c;
      EXPECT_EQ(gy(r, c), 0);
    }
  }
}

TEST(ComputeGradient, ImagesUnderThreePixelsGiveZerosWithoutOverrun) {
  for (const auto& [w, h] :
       {std::pair{0, 0}, std::pair{1, 1}, std::pair{2, 5}, std::pair{5, 2}, std::pair{1, 7}}) {
    GreyImage image(w, h);
    for (int r = 0; r < h; ++r) {
      for (int c = 0; c < w; ++c) image.set(r, c, static_cast<std::uint8_t>(40 * (r + c)));
    }
    const IntMatrix g = computeGradient(image, kSobelX);
    ASSERT_EQ(g.rows(), h + 1);
    ASSERT_EQ(g.columns(), w + 1);
    for (int r = 0; r <= h; ++r) {
      for (int c = 0; c <= w; ++c) EXPECT_EQ(g(r, c), 0);
    }
  }
}

}  // namespace
}  // namespace plk
