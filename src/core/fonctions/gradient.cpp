#include "core/fonctions/gradient.h"

#include <cstdlib>

namespace plk {

namespace {

int convolveAt(const GreyImage& image, const GradientKernel& kernel, int row, int column) {
  int sum = 0;
  for (int di = -1; di <= 1; ++di) {
    for (int dj = -1; dj <= 1; ++dj) {
      sum += image.at(row + di, column + dj) * kernel[1 - di][1 - dj];
    }
  }
  return sum;
}

void copyBorderRows(IntMatrix& m, int height, int width) {
  for (int c = 0; c <= width; ++c) {
    m(0, c) = m(1, c);
    m(height - 1, c) = m(height - 2, c);
    m(height, c) = m(height - 2, c);
  }
}

void copyBorderColumns(IntMatrix& m, int height, int width) {
  for (int r = 0; r <= height; ++r) {
    m(r, 0) = m(r, 1);
    m(r, width - 1) = m(r, width - 2);
    m(r, width) = m(r, width - 2);
  }
}

}  // namespace

IntMatrix computeGradient(const GreyImage& image, const GradientKernel& kernel) {
  const int height = image.height();
  const int width = image.width();
  IntMatrix gradient(height + 1, width + 1);
  if (height < 3 || width < 3) return gradient;
  for (int i = 1; i <= height - 2; ++i) {
    for (int j = 1; j <= width - 2; ++j) gradient(i, j) = std::abs(convolveAt(image, kernel, i, j));
  }
  copyBorderRows(gradient, height, width);
  copyBorderColumns(gradient, height, width);
  return gradient;
}

}  // namespace plk
