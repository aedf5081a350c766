#include "core/fonctions/disparity.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <span>
#include <string_view>

#include "core/fonctions/polygon_scan.h"
#include "core/parallel.h"
#include "core/verdict.h"

namespace plk {

namespace {

constexpr Bgr0 kWhite{255, 255, 255, 0};
constexpr std::uint8_t kOccluded = 255;
// Rows per unit of progress and cancellation: about this many units per pass.
constexpr int kUnitsPerPass = 64;

// Everything the two passes read, fixed for the run.
struct Scene {
  std::vector<PolygonShape> left;
  std::vector<PolygonShape> right;
  std::optional<ShapeStack> rightStack;  // over `right`, whose elements stay in place
  std::vector<bool> mapped;  // per left polygon: unlocked and present in the chosen table
  const std::vector<Homography>* table = nullptr;
  int factor = 1;
  int height = 0;
  int width = 0;
};

Scene sceneOf(const Project& project, const DisparityParameters& parameters) {
  Scene scene;
  scene.left = shapesOf(project.left.polygons);
  scene.right = shapesOf(project.right.polygons);
  scene.rightStack.emplace(scene.right, project.imageHeight, project.imageWidth);
  scene.table = &homographyTable(project.results, parameters.homography);
  for (std::size_t i = 0; i < project.left.polygons.size(); ++i) {
    scene.mapped.push_back(!project.left.polygons[i].locked && i < scene.table->size() &&
                           !isRejected(project.results, i, parameters.homography));
  }
  scene.factor = parameters.factor;
  scene.height = project.imageHeight;
  scene.width = project.imageWidth;
  return scene;
}

// True when the first right polygon containing (u, v) is the one at `position`.
bool landsInRightPolygon(const Scene& scene, std::size_t position, double u, double v) {
  return scene.rightStack->findShape(u, v) == static_cast<std::int32_t>(position);
}

// std::nearbyint in the rounding mode the program runs in (to nearest, ties to even), without a
// library call: below 2^52 in magnitude, adding 2^52 rounds the fraction away and subtracting it
// gives the rounded magnitude back exactly; larger magnitudes are already integers.
double roundToNearest(double x) {
  constexpr double kTwo52 = 4503599627370496.0;
  const double magnitude = std::fabs(x);
  if (!(magnitude < kTwo52)) return x;
  return std::copysign((magnitude + kTwo52) - kTwo52, x);
}

// What a fine sample at (u, v) of left polygon i carries.
struct FineSample {
  Bgr0 pixel;
  bool dropped = false;  // E did not fit in three bytes
};

FineSample mapSample(const Scene& scene, std::size_t i, double u, double v, int rgbMultiplier) {
  const std::optional<Point2> mapped = transferPoint((*scene.table)[i], u, v);
  if (!mapped) return {};
  const double mappedU = mapped->u;
  const double mappedV = mapped->v;
  const double d = std::sqrt((mappedU - u) * (mappedU - u) + (mappedV - v) * (mappedV - v));
  if (!landsInRightPolygon(scene, i, mappedU, mappedV)) return {};
  const double e = roundToNearest(rgbMultiplier * d);
  if (!(e < static_cast<double>(kEncodedLimit))) return {Bgr0{}, true};
  return {encodeDisparity(static_cast<std::int64_t>(e)), false};
}

// First pass over one fine row: the sample (y / f, x / f) of each column.
std::int64_t computeFineRow(const Scene& scene, int y, std::span<const double> columns,
                            int rgbMultiplier, DisparityMaps& maps) {
  const double u = static_cast<double>(y) / scene.factor;
  std::vector<std::int32_t> polygons(columns.size());
  classifyRow(scene.left, u, columns, polygons);
  const std::size_t rowStart = static_cast<std::size_t>(y) * columns.size();
  std::int64_t dropped = 0;
  for (std::size_t x = 0; x < columns.size(); ++x) {
    const std::int32_t i = polygons[x];
    if (i < 0 || !scene.mapped[static_cast<std::size_t>(i)]) continue;
    const FineSample sample =
        mapSample(scene, static_cast<std::size_t>(i), u, columns[x], rgbMultiplier);
    maps.fineMap.pixels[rowStart + x] = sample.pixel;
    if (sample.pixel.empty()) maps.fineOcclusions[rowStart + x] = kOccluded;
    if (sample.dropped) ++dropped;
  }
  return dropped;
}

// The vote of one pixel: one record per polygon that received votes, and the empty votes.
struct Vote {
  std::int32_t polygon = 0;
  std::int32_t count = 0;
  double sum = 0.0;  // sum of the voters' E values
};

class PixelVote {
 public:
  void reset() {
    votes_.clear();
    empty_ = 0;
  }
  void addEmpty() { ++empty_; }
  void add(std::int32_t polygon, std::int64_t e) {
    auto vote = std::find_if(votes_.begin(), votes_.end(),
                             [polygon](const Vote& v) { return v.polygon == polygon; });
    if (vote == votes_.end()) vote = votes_.insert(votes_.end(), Vote{polygon, 0, 0.0});
    ++vote->count;
    vote->sum += static_cast<double>(e);
  }
  // The polygon with the most votes, the lowest position among equals; nothing when the empty
  // votes outnumber every polygon's, as the last of the vote records.
  [[nodiscard]] std::optional<Vote> winner() const {
    std::optional<Vote> best;
    for (const Vote& vote : votes_) {
      if (!best || vote.count > best->count ||
          (vote.count == best->count && vote.polygon < best->polygon)) {
        best = vote;
      }
    }
    if (!best || empty_ > best->count) return std::nullopt;
    return best;
  }

 private:
  std::vector<Vote> votes_;
  std::int32_t empty_ = 0;
};

void writeNoDisparity(DisparityMaps& maps, int p, int q) {
  maps.map.at(p, q) = Bgr0{};
  maps.greyMap.at(p, q) = Bgr0{};
  maps.occlusionMask.at(p, q) = kWhite;
  maps.disparities[static_cast<std::size_t>(p) * maps.map.width + q] = kNoDisparity;
}

void writeWinner(DisparityMaps& maps, int p, int q, const Vote& vote,
                 const DisparityParameters& parameters) {
  const double s = vote.sum;
  const double n = vote.count;
  // A division by one changes no bit, so a single vote (every pixel at factor 1) skips it.
  const bool single = vote.count == 1;
  const double mean = single ? s : s / n;
  const double greySum = parameters.greyMultiplier * s;
  const double value = mean / parameters.rgbMultiplier;
  const double grey = roundToNearest((single ? greySum : greySum / n) / parameters.rgbMultiplier);
  const auto level = static_cast<std::uint8_t>(static_cast<std::int64_t>(grey) & 0xFF);
  maps.greyMap.at(p, q) = Bgr0{level, level, level, 0};
  maps.map.at(p, q) = encodeDisparity(static_cast<std::int64_t>(roundToNearest(mean)));
  maps.occlusionMask.at(p, q) = Bgr0{};
  maps.disparities[static_cast<std::size_t>(p) * maps.map.width + q] = value;
}

// The second pass at factor 1: a pixel's only sample is its vote. The vote would classify the
// pixel at (p, q) exactly as the first pass did, so a sample that carries a value lies in its
// polygon and wins alone; an empty one leaves the pixel without disparity.
void computeImageRowAtFactorOne(const Scene& scene, int p, const DisparityParameters& parameters,
                                DisparityMaps& maps) {
  for (int q = 0; q < scene.width; ++q) {
    const Bgr0 sample = maps.fineMap.at(p, q);
    if (sample.empty()) {
      writeNoDisparity(maps, p, q);
    } else {
      writeWinner(maps, p, q, Vote{0, 1, static_cast<double>(decodeDisparity(sample))}, parameters);
    }
  }
}

// Second pass over one image row: the f x f fine samples of each pixel vote, classified at
// (p + a / f, q + b / f).
void computeImageRow(const Scene& scene, int p, std::span<const double> voteColumns,
                     const DisparityParameters& parameters, DisparityMaps& maps) {
  const int f = scene.factor;
  if (f == 1) {
    computeImageRowAtFactorOne(scene, p, parameters, maps);
    return;
  }
  const std::size_t fineWidth = voteColumns.size();
  std::vector<std::int32_t> polygons(fineWidth * static_cast<std::size_t>(f));
  for (int a = 0; a < f; ++a) {
    const double u = p + static_cast<double>(a) / f;
    classifyRow(scene.left, u, voteColumns,
                std::span(polygons).subspan(static_cast<std::size_t>(a) * fineWidth, fineWidth));
  }
  PixelVote vote;
  for (int q = 0; q < scene.width; ++q) {
    vote.reset();
    for (int a = 0; a < f; ++a) {
      for (int b = 0; b < f; ++b) {
        const std::size_t x = static_cast<std::size_t>(f) * q + b;
        const Bgr0 sample = maps.fineMap.at(f * p + a, static_cast<int>(x));
        const std::int32_t k = polygons[static_cast<std::size_t>(a) * fineWidth + x];
        if (sample.empty() || k < 0) {
          vote.addEmpty();
        } else {
          vote.add(k, decodeDisparity(sample));
        }
      }
    }
    if (const std::optional<Vote> winner = vote.winner()) {
      writeWinner(maps, p, q, *winner, parameters);
    } else {
      writeNoDisparity(maps, p, q);
    }
  }
}

// The text of a few neighbouring rows: a plane's disparities recur from row to row, so each
// value is formatted once per group.
constexpr int kRowsPerTextGroup = 8;

// The token ("text ") of each value met, found by the value's bits in an open-addressing table;
// the tokens lie end to end in one string.
class TokenCache {
 public:
  explicit TokenCache(NumberFormat format) : format_(format), slots_(kInitialSlots) {}

  [[nodiscard]] std::string_view token(double value) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    std::size_t index = slotOf(bits);
    while (slots_[index].used && slots_[index].bits != bits) index = (index + 1) & mask();
    Slot& slot = slots_[index];
    if (!slot.used) {
      slot = {bits, tokens_.size(), 0, true};
      tokens_ += formatGeneral(value, format_);
      tokens_ += ' ';
      slot.length = tokens_.size() - slot.offset;
      if (2 * ++used_ > slots_.size()) grow();
      return token(value);
    }
    return std::string_view(tokens_).substr(slot.offset, slot.length);
  }

 private:
  static constexpr std::size_t kInitialSlots = 1024;
  struct Slot {
    std::uint64_t bits = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
    bool used = false;
  };

  [[nodiscard]] std::size_t mask() const { return slots_.size() - 1; }
  [[nodiscard]] std::size_t slotOf(std::uint64_t bits) const {
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ULL) >> 32) & mask();
  }
  void grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (!slot.used) continue;
      std::size_t index = slotOf(slot.bits);
      while (slots_[index].used) index = (index + 1) & mask();
      slots_[index] = slot;
    }
  }

  NumberFormat format_;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  std::string tokens_;
};

// The number of decimals d of a multiplier that is 10^d with d <= 5, or -1. The disparities
// are then mostly quotients E / 10^d, which print straight from E's digits.
int decimalsOf(std::int32_t multiplier) {
  std::int32_t power = 1;
  for (int d = 0; d <= 5; ++d, power *= 10) {
    if (multiplier == power) return d;
  }
  return -1;
}

// Longest token: formatGeneral's longest text and the space.
constexpr std::size_t kTokenRoom = 24;

// Writes the tokens of the values; each is formatted once per group of rows unless it prints
// straight from the digits of an encoded disparity.
class TokenWriter {
 public:
  TokenWriter(NumberFormat format, std::int32_t rgbMultiplier)
      : format_(format),
        multiplier_(rgbMultiplier),
        decimals_(decimalsOf(rgbMultiplier)),
        cache_(format) {}

  // The token of `value` at `out`; returns its end.
  char* write(double value, char* out) {
    if (value == kNoDisparity) {
      *out++ = '0';
      *out++ = ' ';
      return out;
    }
    if (decimals_ >= 0) {
      // A value that is exactly the double nearest E / 10^d prints as that decimal quotient.
      const double e = roundToNearest(value * multiplier_);
      if (e >= 1.0 && e < 1e15 && e / multiplier_ == value) {
        out = writeGeneralQuotient(static_cast<std::int64_t>(e), decimals_, format_, out);
        *out++ = ' ';
        return out;
      }
    }
    const std::string_view token = cache_.token(value);
    return std::copy(token.begin(), token.end(), out);
  }

 private:
  NumberFormat format_;
  double multiplier_;
  int decimals_;
  TokenCache cache_;
};

void writeTextRows(int firstRow, NumberFormat format, std::int32_t rgbMultiplier,
                   DisparityMaps& maps) {
  TokenWriter tokens(format, rgbMultiplier);
  const int lastRow = std::min(firstRow + kRowsPerTextGroup, maps.map.height);
  // Each line is built in one buffer and kept at its exact length: the text is as large as the
  // maps, and a string grown by doubling could hold twice its length.
  std::string line(kTokenRoom * static_cast<std::size_t>(maps.map.width), '\0');
  for (int p = firstRow; p < lastRow; ++p) {
    char* end = line.data();
    const double* values = maps.disparities.data() + static_cast<std::size_t>(p) * maps.map.width;
    for (int q = 0; q < maps.map.width; ++q) end = tokens.write(values[q], end);
    maps.text[static_cast<std::size_t>(p)].assign(line.data(), end);
  }
}

// Runs body(row) for rows [0, rows) in blocks, reporting each block and stopping between
// blocks when asked. False when cancelled.
template <typename Body>
bool runInBlocks(int rows, const char* label, RunControl& control, Body body) {
  const int block = std::max(1, rows / kUnitsPerPass);
  for (int start = 0; start < rows; start += block) {
    control.step(start, rows,
                 std::string(label) + std::to_string(start + 1) + "/" + std::to_string(rows));
    if (control.cancelled()) return false;
    const int count = std::min(block, rows - start);
    parallelFor(static_cast<std::size_t>(count),
                [&](std::size_t r) { body(start + static_cast<int>(r)); });
  }
  return !control.cancelled();
}

std::vector<double> fineColumns(const Scene& scene) {
  std::vector<double> columns(static_cast<std::size_t>(scene.factor) * scene.width);
  for (std::size_t x = 0; x < columns.size(); ++x) {
    columns[x] = static_cast<double>(x) / scene.factor;
  }
  return columns;
}

// The columns of the second pass, q + b / f, which need not equal x / f bit for bit.
std::vector<double> voteColumns(const Scene& scene) {
  std::vector<double> columns(static_cast<std::size_t>(scene.factor) * scene.width);
  for (int q = 0; q < scene.width; ++q) {
    for (int b = 0; b < scene.factor; ++b) {
      columns[static_cast<std::size_t>(scene.factor) * q + b] =
          q + static_cast<double>(b) / scene.factor;
    }
  }
  return columns;
}

DisparityMaps emptyMaps(const Scene& scene) {
  DisparityMaps maps;
  const int f = scene.factor;
  maps.fineMap = ColourImage(f * scene.width, f * scene.height);
  maps.fineOcclusions.assign(maps.fineMap.pixels.size(), 0);
  maps.map = ColourImage(scene.width, scene.height);
  maps.greyMap = ColourImage(scene.width, scene.height);
  maps.occlusionMask = ColourImage(scene.width, scene.height);
  maps.text.resize(static_cast<std::size_t>(scene.height));
  maps.disparities.assign(maps.map.pixels.size(), kNoDisparity);
  return maps;
}

}  // namespace

Bgr0 encodeDisparity(std::int64_t e) {
  return Bgr0{static_cast<std::uint8_t>((e / 65536) & 0xFF),
              static_cast<std::uint8_t>(((e % 65536) / 256) & 0xFF),
              static_cast<std::uint8_t>((e % 256) & 0xFF), 0};
}

std::int64_t decodeDisparity(Bgr0 pixel) {
  return std::int64_t{pixel.blue} * 65536 + std::int64_t{pixel.green} * 256 + pixel.red;
}

const std::vector<Homography>& homographyTable(const ToolResults& results,
                                               HomographyChoice choice) {
  switch (choice) {
    case HomographyChoice::Linear:
      return results.linearHomographies;
    case HomographyChoice::NonLinear:
      return results.nonLinearHomographies;
    case HomographyChoice::Robust:
      return results.robustHomographies;
    case HomographyChoice::Photometric:
      return results.photometricHomographies;
    case HomographyChoice::RobustNonLinear:
      break;
  }
  return results.robustNonLinearHomographies;
}

std::optional<DisparityMaps> computeDisparities(const Project& project,
                                                const DisparityParameters& parameters,
                                                NumberFormat format, RunControl& control) {
  const Scene scene = sceneOf(project, parameters);
  DisparityMaps maps = emptyMaps(scene);
  const int fineRows = scene.factor * scene.height;

  const std::vector<double> columns = fineColumns(scene);
  std::vector<std::int64_t> dropped(static_cast<std::size_t>(fineRows), 0);
  const bool fineDone = runInBlocks(fineRows, "Carte fine : ligne ", control, [&](int y) {
    dropped[static_cast<std::size_t>(y)] =
        computeFineRow(scene, y, columns, parameters.rgbMultiplier, maps);
  });
  if (!fineDone) return std::nullopt;
  for (const std::int64_t count : dropped) maps.droppedSamples += count;

  const std::vector<double> votes = voteColumns(scene);
  const bool voteDone = runInBlocks(scene.height, "Vote : ligne ", control, [&](int p) {
    computeImageRow(scene, p, votes, parameters, maps);
  });
  if (!voteDone) return std::nullopt;
  const int groups = (scene.height + kRowsPerTextGroup - 1) / kRowsPerTextGroup;
  parallelFor(static_cast<std::size_t>(groups), [&](std::size_t g) {
    writeTextRows(static_cast<int>(g) * kRowsPerTextGroup, format, parameters.rgbMultiplier, maps);
  });
  return maps;
}

}  // namespace plk
