#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "core/scoring.h"

namespace plk::io {

// A disparity map to score, chosen by its extension: ".txt" as the disparity tool writes it
// ("0" where there is none, either decimal separator), ".pfm" (non-finite where there is none)
// or a KITTI ".png" (16-bit, value / 256, 0 where there is none). Throws IoError.
[[nodiscard]] DisparityField readDisparityMap(const QString& path);

// A ground truth: ".pfm" (non-finite = unknown), or any grey image of 8 or 16 bits whose
// values are divided by `scale`, 0 meaning unknown. Throws IoError.
[[nodiscard]] DisparityField readGroundTruth(const QString& path, double scale);

// The two readers above on a file's bytes; `path` gives the format by its extension and names
// the file in messages. Files are read whole, up to 1 GB, and fields hold at most 2^26 values.
[[nodiscard]] DisparityField parseDisparityMap(const QByteArray& bytes, const QString& path);
[[nodiscard]] DisparityField parseGroundTruth(const QByteArray& bytes, const QString& path,
                                              double scale);

// Which pixels to score, one byte per pixel (non-zero = scored). An 8-bit image is taken as it
// is; a colour image is taken as an occlusion picture of the disparity tool, whose white pixels
// (no disparity) are left out. Throws IoError.
struct ScoreMask {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> scored;
};
[[nodiscard]] ScoreMask readScoreMask(const QString& path);

}  // namespace plk::io
