#include "batch/score_command.h"

#include <cstdio>
#include <string>

#include "batch/batch.h"
#include "core/scoring.h"
#include "io/disparity_readers.h"
#include "io/io_error.h"

namespace plk::batch {

namespace {

std::string fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

std::string thresholdName(double threshold) {
  std::string name = fixed(threshold, 1);
  if (name.ends_with(".0")) name.resize(name.size() - 2);
  return name;
}

void printText(const DisparityScore& score, std::ostream& out) {
  out << "ground-truth pixels:  " << score.groundTruthPixels << '\n'
      << "scored pixels:        " << score.scoredPixels << '\n'
      << "coverage:             " << fixed(100.0 * score.coverage, 2) << " %\n";
  if (score.scoredPixels == 0) return;
  out << "mean absolute error:  " << fixed(score.meanAbsoluteError, 4) << " px\n"
      << "RMS error:            " << fixed(score.rootMeanSquareError, 4) << " px\n";
  for (std::size_t t = 0; t < kBadPixelThresholds.size(); ++t) {
    std::string label = "bad pixels > " + thresholdName(kBadPixelThresholds[t]) + " px:";
    label.resize(22, ' ');
    out << label << fixed(100.0 * score.badPixelRates[t], 2) << " %\n";
  }
}

// Errors and rates are null when no pixel was scored; rates are fractions.
void printJson(const DisparityScore& score, std::ostream& out) {
  const bool any = score.scoredPixels > 0;
  const auto number = [any](double value) { return any ? fixed(value, 6) : std::string("null"); };
  out << "{\"ground_truth_pixels\": " << score.groundTruthPixels
      << ", \"scored_pixels\": " << score.scoredPixels
      << ", \"coverage\": " << fixed(score.coverage, 6)
      << ", \"mean_absolute_error\": " << number(score.meanAbsoluteError)
      << ", \"rms_error\": " << number(score.rootMeanSquareError);
  for (std::size_t t = 0; t < kBadPixelThresholds.size(); ++t) {
    out << ", \"bad_" << thresholdName(kBadPixelThresholds[t])
        << "\": " << number(score.badPixelRates[t]);
  }
  out << "}\n";
}

bool sameSize(const DisparityField& a, int width, int height) {
  return a.width == width && a.height == height;
}

}  // namespace

int runScore(const ScoreOptions& options, std::ostream& out, std::ostream& err) {
  DisparityField map;
  DisparityField truth;
  io::ScoreMask mask;
  try {
    map = io::readDisparityMap(options.mapPath);
    truth = io::readGroundTruth(options.truthPath, options.truthScale);
    if (!options.maskPath.isEmpty()) mask = io::readScoreMask(options.maskPath);
  } catch (const io::IoError& error) {
    err << error.what() << '\n';
    return kUnreadableOrUnwritable;
  }
  if (!sameSize(map, truth.width, truth.height) ||
      (!options.maskPath.isEmpty() && !sameSize(map, mask.width, mask.height))) {
    err << "plk-batch: the map, the ground truth and the mask must have the same size\n";
    return kBadArguments;
  }
  const DisparityScore score = scoreDisparities(map, truth, mask.scored);
  if (options.json) {
    printJson(score, out);
  } else {
    printText(score, out);
  }
  return kDone;
}

}  // namespace plk::batch
