#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/grey_image.h"

namespace plk::test {

// The folder of one Middlebury 2001 scene of the test data.
inline std::string sceneFolder(const std::string& scene) {
  return std::string(PLK_TESTDATA_DIR) + "/middlebury2001/" + scene + "/";
}

inline std::vector<std::uint8_t> fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::uint32_t littleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at,
                                  int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

// An uncompressed 8-bit BMP as pixel codes (bottom-up rows padded to 4 bytes); empty otherwise.
inline GreyImage readGreyBmp(const std::string& path) {
  const std::vector<std::uint8_t> bytes = fileBytes(path);
  if (bytes.size() < 54 || littleEndian(bytes, 28, 2) != 8 || littleEndian(bytes, 30, 4) != 0) {
    return {};
  }
  const auto offset = littleEndian(bytes, 10, 4);
  const auto width = static_cast<int>(littleEndian(bytes, 18, 4));
  const auto height = static_cast<int>(littleEndian(bytes, 22, 4));
  const std::size_t stride = (static_cast<std::size_t>(width) + 3) / 4 * 4;
  GreyImage image(width, height);
  for (int r = 0; r < height; ++r) {
    const std::size_t line = offset + static_cast<std::size_t>(height - 1 - r) * stride;
    for (int c = 0; c < width; ++c) image.set(r, c, bytes[line + static_cast<std::size_t>(c)]);
  }
  return image;
}

// A binary PGM (P5, maximum 255) as a grey image; empty otherwise.
inline GreyImage readPgm(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string magic;
  int width = 0;
  int height = 0;
  int maximum = 0;
  file >> magic >> width >> height >> maximum;
  file.get();
  if (magic != "P5" || maximum != 255 || width <= 0 || height <= 0) return {};
  GreyImage image(width, height);
  for (int r = 0; r < height; ++r) {
    file.read(reinterpret_cast<char*>(image.row(r)), width);
  }
  return file ? image : GreyImage();
}

// A stereo pair of the test data with its left ground truth (disparity times `scale`, 0 unknown).
struct StereoScene {
  GreyImage left;
  GreyImage right;
  GreyImage truth;
  double scale = 8.0;
};

inline StereoScene loadScene(const std::string& scene) {
  const std::string folder = sceneFolder(scene);
  if (scene == "tsukuba") {
    return {readGreyBmp(folder + "left.bmp"), readGreyBmp(folder + "right.bmp"),
            readPgm(folder + "truedisp.row3.col3.pgm"), 16.0};
  }
  const std::string truth = scene == "map" ? "disp0.pgm" : "disp2.pgm";
  return {readGreyBmp(folder + "left.bmp"), readGreyBmp(folder + "right.bmp"),
          readPgm(folder + truth), 8.0};
}

}  // namespace plk::test
