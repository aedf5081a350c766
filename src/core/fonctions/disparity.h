#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/project.h"
#include "core/run_control.h"
#include "core/textformat.h"

namespace plk {

// One 32-bit pixel of the disparity pictures, bytes in file order. All four bytes 0 means that
// the pixel carries no disparity.
struct Bgr0 {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t fourth = 0;

  friend bool operator==(const Bgr0&, const Bgr0&) = default;
  [[nodiscard]] bool empty() const { return blue == 0 && green == 0 && red == 0 && fourth == 0; }
};

// An encoded disparity E in three channels: blue = E div 65536, green = (E mod 65536) div 256,
// red = E mod 256, each keeping its low 8 bits; the fourth byte is 0.
[[nodiscard]] Bgr0 encodeDisparity(std::int64_t e);
// blue * 65536 + green * 256 + red.
[[nodiscard]] std::int64_t decodeDisparity(Bgr0 pixel);

// Encoded values from this one on do not fit in three bytes.
inline constexpr std::int64_t kEncodedLimit = std::int64_t{1} << 24;

// A picture of 32-bit pixels, row-major.
struct ColourImage {
  int width = 0;
  int height = 0;
  std::vector<Bgr0> pixels;

  ColourImage() = default;
  ColourImage(int columns, int rows)
      : width(columns), height(rows), pixels(static_cast<std::size_t>(columns) * rows) {}
  [[nodiscard]] Bgr0& at(int row, int column) { return pixels[offset(row, column)]; }
  [[nodiscard]] const Bgr0& at(int row, int column) const { return pixels[offset(row, column)]; }

 private:
  [[nodiscard]] std::size_t offset(int row, int column) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
           static_cast<std::size_t>(column);
  }
};

// The five homography tables, in the order of the dialog's radio group.
enum class HomographyChoice : std::int32_t {
  Linear = 0,
  NonLinear = 1,
  Robust = 2,
  RobustNonLinear = 3,
  Photometric = 4
};

[[nodiscard]] const std::vector<Homography>& homographyTable(const ToolResults& results,
                                                             HomographyChoice choice);

struct DisparityParameters {
  std::int32_t factor = 1;            // f, samples per pixel along each axis
  std::int32_t rgbMultiplier = 1000;  // kRGB, E = kRGB * d rounded
  std::int32_t greyMultiplier = 8;    // kGrey, grey level = kGrey * d rounded
  HomographyChoice homography = HomographyChoice::RobustNonLinear;
};

// Largest fine map a run accepts (f * f * H * C samples), so that its pictures fit in memory.
inline constexpr std::int64_t kMaxFineSamples = std::int64_t{1} << 26;

// Value of `disparities` where a pixel has none.
inline constexpr double kNoDisparity = std::numeric_limits<double>::infinity();

// Everything the disparity tool writes, as data; the I/O layer turns it into files.
struct DisparityMaps {
  ColourImage fineMap;            // "carte.bmp": E per fine sample
  ColourImage map;                // "carte1.bmp": rounded mean E of the winning polygon
  ColourImage greyMap;            // "carte1gris.bmp"
  ColourImage occlusionMask;      // "carte1occ.bmp": white where a pixel has no disparity
  std::vector<std::string> text;  // "disparites.txt": one line per image row
  // Per pixel, row-major, the disparity in pixels that the text gives, kNoDisparity where none.
  std::vector<double> disparities;
  // Per fine sample: 255 where the sample lies in an unlocked left polygon that has a homography
  // but carries no disparity (mapped outside its right polygon, undefined position, E = 0 or
  // too large), 0 elsewhere.
  std::vector<std::uint8_t> fineOcclusions;
  std::int64_t droppedSamples = 0;  // samples whose E reached kEncodedLimit, written as none
};

// The fine map of the left polygons mapped through the chosen homographies (none for a polygon
// whose estimate is rejected), then the vote of the
// fine samples of each pixel. Changes nothing in the project; reports each block of rows to
// `control` and gives nothing when it asks to stop. The factor and multipliers must be
// validated first (factor >= 1, multipliers >= 0).
[[nodiscard]] std::optional<DisparityMaps> computeDisparities(const Project& project,
                                                              const DisparityParameters& parameters,
                                                              NumberFormat format,
                                                              RunControl& control);

}  // namespace plk
