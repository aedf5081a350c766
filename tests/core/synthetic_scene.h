#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "core/grey_image.h"
#include "core/polygon_list.h"

// A piecewise-planar stereo pair rendered with known disparities: textured planar patches in
// front of a textured background plane, each seen in the right image at (u, v - d(u, v)),
// area-sampled, with a gain change, an offset and noise in the right view and the occlusions
// that the depth order gives.
namespace plk::test {

struct SyntheticPlane {
  double a = 0.0;
  double b = 0.0;  // along rows
  double c = 0.0;  // along columns
  [[nodiscard]] double at(double u, double v) const { return a + b * u + c * v; }
};

// A patch of the scene: its outline in the left image (row, column), its plane, and where its
// texture is taken from the source picture, with a contrast factor.
struct SyntheticPatch {
  std::vector<std::pair<double, double>> corners;
  SyntheticPlane plane;
  int textureRow = 0;
  int textureColumn = 0;
  double contrast = 1.0;
};

inline bool insideOutline(const std::vector<std::pair<double, double>>& corners, double u,
                          double v) {
  bool inside = false;
  const std::size_t n = corners.size();
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const auto [ui, vi] = corners[i];
    const auto [uj, vj] = corners[j];
    if ((ui > u) != (uj > u) && v < vj + (vi - vj) * (u - uj) / (ui - uj)) inside = !inside;
  }
  return inside;
}

class SyntheticScene {
 public:
  // The background (patch 0) covers the whole image; `texture` must be larger than the image
  // by the texture offsets used.
  SyntheticScene(const GreyImage& texture, int width, int height, SyntheticPatch background)
      : texture_(texture), width_(width), height_(height) {
    background.corners = {{-1e6, -1e6}, {-1e6, 1e6}, {1e6, 1e6}, {1e6, -1e6}};
    patches_.push_back(std::move(background));
  }

  void addPatch(SyntheticPatch patch) { patches_.push_back(std::move(patch)); }
  [[nodiscard]] const std::vector<SyntheticPatch>& patches() const { return patches_; }

  [[nodiscard]] GreyImage renderLeft(double noise, unsigned seed) const {
    return render([this](double u, double v) { return leftLevel(u, v); }, 1.0, 0.0, noise, seed);
  }
  [[nodiscard]] GreyImage renderRight(double gain, double offset, double noise,
                                      unsigned seed) const {
    return render([this](double u, double v) { return rightLevel(u, v); }, gain, offset, noise,
                  seed);
  }

  // The outline of a patch in the right image: its corners carried by its plane.
  [[nodiscard]] std::vector<std::pair<double, double>> rightOutline(
      const std::vector<std::pair<double, double>>& corners, const SyntheticPlane& plane) const {
    std::vector<std::pair<double, double>> mapped;
    for (const auto& [u, v] : corners) mapped.emplace_back(u, v - plane.at(u, v));
    return mapped;
  }

 private:
  // The patch seen at a left position: the nearest (largest disparity) that covers it.
  [[nodiscard]] double leftLevel(double u, double v) const {
    const SyntheticPatch* seen = nullptr;
    for (const SyntheticPatch& patch : patches_) {
      if (!insideOutline(patch.corners, u, v)) continue;
      if (seen == nullptr || patch.plane.at(u, v) > seen->plane.at(u, v)) seen = &patch;
    }
    return textureLevel(*seen, u, v);
  }

  // The right position (u, w) shows, for each patch, its left point (u, v) with
  // v - (a + b u + c v) = w; the nearest of those inside their outline is seen.
  [[nodiscard]] double rightLevel(double u, double w) const {
    const SyntheticPatch* seen = nullptr;
    double seenDisparity = 0.0;
    double seenV = 0.0;
    for (const SyntheticPatch& patch : patches_) {
      const double v = (w + patch.plane.a + patch.plane.b * u) / (1.0 - patch.plane.c);
      if (!insideOutline(patch.corners, u, v)) continue;
      const double d = patch.plane.at(u, v);
      if (seen == nullptr || d > seenDisparity) {
        seen = &patch;
        seenDisparity = d;
        seenV = v;
      }
    }
    return textureLevel(*seen, u, seenV);
  }

  // The source picture, bilinear, glued to the left image at the patch's offset.
  [[nodiscard]] double textureLevel(const SyntheticPatch& patch, double u, double v) const {
    const double row = std::clamp(u + patch.textureRow, 0.0, texture_.height() - 1.001);
    const double column = std::clamp(v + patch.textureColumn, 0.0, texture_.width() - 1.001);
    const int r = static_cast<int>(row);
    const int c = static_cast<int>(column);
    const double fr = row - r;
    const double fc = column - c;
    const double level = (1 - fr) * ((1 - fc) * texture_.at(r, c) + fc * texture_.at(r, c + 1)) +
                         fr * ((1 - fc) * texture_.at(r + 1, c) + fc * texture_.at(r + 1, c + 1));
    return 128.0 + patch.contrast * (level - 128.0);
  }

  // Each pixel the mean of 4 x 4 samples over its square, then gain, offset and noise.
  template <typename Level>
  [[nodiscard]] GreyImage render(const Level& level, double gain, double offset, double noise,
                                 unsigned seed) const {
    std::mt19937 random(seed);
    std::normal_distribution<double> sensor(0.0, noise > 0.0 ? noise : 1.0);
    GreyImage image(width_, height_);
    for (int u = 0; u < height_; ++u) {
      for (int v = 0; v < width_; ++v) {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
          for (int j = 0; j < 4; ++j)
            sum += level(u + (i + 0.5) / 4 - 0.5, v + (j + 0.5) / 4 - 0.5);
        }
        const double grey = gain * sum / 16.0 + offset + (noise > 0.0 ? sensor(random) : 0.0);
        image.set(u, v, static_cast<std::uint8_t>(std::clamp(std::lround(grey), 0L, 255L)));
      }
    }
    return image;
  }

  const GreyImage& texture_;
  int width_;
  int height_;
  std::vector<SyntheticPatch> patches_;
};

// Appends a closed polygon through the corners.
inline void addOutline(PolygonList& polygons,
                       const std::vector<std::pair<double, double>>& corners) {
  Polygone& polygon = polygons.appendPolygon();
  for (const auto& [u, v] : corners) polygon.sommets.push_back(polygons.createVertex(u, v));
  polygon.sommets.push_back(polygon.sommets.front());
}

}  // namespace plk::test
