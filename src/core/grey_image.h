#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

namespace plk {

// An 8-bit image as the algorithms see it: the pixel code 0..255 is the grey level.
class GreyImage {
 public:
  GreyImage() = default;
  GreyImage(int width, int height)
      : width_(width), height_(height), pixels_(pixelCount(width, height)) {}

  [[nodiscard]] int width() const { return width_; }
  [[nodiscard]] int height() const { return height_; }
  [[nodiscard]] bool empty() const { return pixels_.empty(); }
  [[nodiscard]] std::uint8_t at(int row, int column) const { return pixels_[offset(row, column)]; }
  void set(int row, int column, std::uint8_t value) { pixels_[offset(row, column)] = value; }
  // Row-major scan line of `width()` pixels.
  [[nodiscard]] std::uint8_t* row(int r) { return pixels_.data() + offset(r, 0); }
  [[nodiscard]] const std::uint8_t* row(int r) const { return pixels_.data() + offset(r, 0); }

 private:
  static std::size_t pixelCount(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  [[nodiscard]] std::size_t offset(int row, int column) const {
    assert(row >= 0 && row < height_ && column >= 0 && column < width_);
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(column);
  }

  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> pixels_;
};

// Rows of 32-bit integers, element (row, column); the gradient matrices.
class IntMatrix {
 public:
  IntMatrix() = default;
  IntMatrix(int rows, int columns)
      : rows_(rows),
        columns_(columns),
        values_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns), 0) {}

  [[nodiscard]] int rows() const { return rows_; }
  [[nodiscard]] int columns() const { return columns_; }
  [[nodiscard]] bool empty() const { return values_.empty(); }
  [[nodiscard]] std::int32_t& operator()(int row, int column) {
    return values_[offset(row, column)];
  }
  [[nodiscard]] std::int32_t operator()(int row, int column) const {
    return values_[offset(row, column)];
  }
  void clear() { *this = IntMatrix(); }

 private:
  [[nodiscard]] std::size_t offset(int row, int column) const {
    assert(row >= 0 && row < rows_ && column >= 0 && column < columns_);
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
           static_cast<std::size_t>(column);
  }

  int rows_ = 0;
  int columns_ = 0;
  std::vector<std::int32_t> values_;
};

}  // namespace plk
