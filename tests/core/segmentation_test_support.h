#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "core/fonctions/gradient.h"
#include "core/fonctions/segmentation.h"
#include "core/polygon_list.h"

namespace plk::test {

// The gradient matrices of one image.
struct Gradients {
  IntMatrix x;
  IntMatrix y;
};

inline Gradients gradientsOf(const GreyImage& image) {
  return {computeGradient(image, kSobelX), computeGradient(image, kSobelY)};
}

// A dark image (50) holding a bright rectangle (200) over rows top..bottom and columns
// left..right, both included: its edges lie half a pixel outside those bounds.
inline GreyImage rectangleImage(int width, int height, int top, int left, int bottom, int right) {
  GreyImage image(width, height);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      const bool inside = r >= top && r <= bottom && c >= left && c <= right;
      image.set(r, c, inside ? 200 : 50);
    }
  }
  return image;
}

// Gradients of a uniform image of the given size.
inline Gradients flatGradients(int width, int height) {
  return {IntMatrix(height + 1, width + 1), IntMatrix(height + 1, width + 1)};
}

// An 8-bit palette BMP read as pixel codes (the test pairs are grey).
inline GreyImage readGreyBmp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
  const auto word = [&](std::size_t at) {
    return static_cast<std::int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                     bytes[at + 3] << 24);
  };
  EXPECT_GT(bytes.size(), 54U) << path;
  if (bytes.size() <= 54) return {};
  const std::int32_t offset = word(10);
  const std::int32_t width = word(18);
  const std::int32_t height = word(22);
  EXPECT_EQ(bytes[28], 8) << path;
  const std::int32_t stride = (width + 3) / 4 * 4;
  GreyImage image(width, height);
  for (int r = 0; r < height; ++r) {
    const std::size_t line = static_cast<std::size_t>(offset + (height - 1 - r) * stride);
    for (int c = 0; c < width; ++c) image.set(r, c, bytes[line + static_cast<std::size_t>(c)]);
  }
  return image;
}

// A vertex description for polygon builders.
struct Corner {
  double u = 0.0;
  double v = 0.0;
  bool bordU = false;
  bool bordV = false;
  bool fixe = false;
};

// Appends a closed polygon through the given corners to the list.
inline Polygone& addPolygon(PolygonList& list, std::initializer_list<Corner> corners) {
  Polygone& polygon = list.appendPolygon();
  for (const Corner& c : corners) {
    Sommet* vertex = list.createVertex(c.u, c.v, c.bordU, c.bordV);
    vertex->Fixe = c.fixe;
    polygon.sommets.push_back(vertex);
  }
  polygon.sommets.push_back(polygon.sommets.front());
  return polygon;
}

// Parameters of a run: exact search unless annealing iterations are given.
inline OptimisationParameters parametersFor(std::vector<std::int32_t> levels,
                                            std::int32_t annealingIterations = 0) {
  OptimisationParameters parameters;
  parameters.levels = std::move(levels);
  parameters.annealingIterations = annealingIterations;
  return parameters;
}

}  // namespace plk::test
