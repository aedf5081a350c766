#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

#include "core/fonctions/disparity.h"
#include "core/project.h"

// What plk-batch says about each polygon after the disparity stage: whether it received a
// disparity, the verdict on the estimate the maps used, the JSON summary and the uncertainty map.
namespace plk::batch {

// Per left polygon: true when some pixel of the map at image resolution carries its disparity
// (the pixel's centre lies in the polygon, as the vote classifies it).
[[nodiscard]] std::vector<bool> polygonsWithDisparity(const Project& project,
                                                      const DisparityMaps& maps);

// One line per unlocked left polygon without a disparity or without an estimate called
// "fiable", naming it and saying why; empty when every one is reliable.
[[nodiscard]] std::vector<std::string> doubtfulPolygons(const Project& project,
                                                        HomographyChoice choice,
                                                        const std::vector<bool>& withDisparity);

// {"polygons": [...]}: for every left polygon its number, lock, the estimate used, verdict and
// reason, matches, inliers and the photometric figures (null where they do not apply).
[[nodiscard]] QByteArray summaryJson(const Project& project, HomographyChoice choice,
                                     const std::vector<bool>& withDisparity);

// Writes the summary through a temporary file renamed into place; io::IoError on failure.
void writeSummary(const QString& path, const QByteArray& json);

// Per pixel, row-major: the uncertainty of its disparity in pixels, infinity where it has none.
// For the photometric plane, its standard deviation there; for a homography, the larger of that
// and the difference between the two estimates there; infinity without a photometric plane.
[[nodiscard]] std::vector<double> uncertaintyMap(const Project& project, HomographyChoice choice,
                                                 const DisparityMaps& maps);

}  // namespace plk::batch
