#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "core/fonctions/disparity.h"

namespace plk::io {

// The five files of the disparity tool, in this order, in `folder`, each replacing any file of
// the same name: "carte.bmp", "disparites.txt", "carte1.bmp", "carte1gris.bmp",
// "carte1occ.bmp". The pictures are 24-bit BMPs holding the blue, green and red channels; the text
// is ISO-8859-1 with CR LF. Returns their names in that order; throws IoError naming the first
// file that could not be written.
QStringList writeDisparityFiles(const QString& folder, const DisparityMaps& maps);

// The fine samples of the left polygons that found no disparity, white on black, at the size
// of the fine map, in the BMP form of "carte1occ.bmp".
void writeFineOcclusions(const QString& path, const DisparityMaps& maps);

// A grey PFM ("Pf", scale -1 for little-endian floats, rows from bottom to top) of the pixel
// disparities, infinity where there is none. Throws IoError.
void writePfm(const QString& path, int width, int height, const std::vector<double>& disparities);

// A 16-bit grey PNG of round(256 * d), 0 where there is none. A disparity that rounds to 0 is
// written as 1, the smallest value that marks a known pixel; one beyond 65535 / 256 cannot be
// written and is left at 0. Returns how many pixels were left out that way; throws IoError.
std::int64_t writeKittiPng(const QString& path, int width, int height,
                           const std::vector<double>& disparities);

}  // namespace plk::io
