#include "batch/stages.h"

#include <QDir>
#include <algorithm>
#include <ostream>
#include <variant>

#include "batch/summary.h"
#include "core/runs/detect.h"
#include "core/runs/disparites.h"
#include "core/runs/estime.h"
#include "core/runs/match.h"
#include "core/runs/opti.h"
#include "io/disparity_files.h"

namespace plk::batch {

namespace {

void takeText(const OptionTexts& texts, const char* name, std::string& field) {
  if (const auto found = texts.find(name); found != texts.end()) field = found->second;
}

const StageOption kSampling{"sampling",
                            "KIND",
                            "adaptive or forced sampling step along the sides (adaptive)",
                            {"adaptive", "forced"}};
const StageOption kMethod{"method",
                          "KIND",
                          "exact, incomplete or incomplete-from-n (incomplete-from-n)",
                          {"exact", "incomplete", "incomplete-from-n"}};
const StageOption kHomography{
    "homography",
    "KIND",
    "linear, nonlinear, robust, robust-nonlinear or photometric (robust-nonlinear)",
    {"linear", "nonlinear", "robust", "robust-nonlinear", "photometric"}};

// The error of a check, if any.
template <typename Parameters>
std::optional<FieldError> refusal(const Checked<Parameters>& checked) {
  if (const auto* error = std::get_if<FieldError>(&checked)) return *error;
  return std::nullopt;
}

DetectFields detectionFields(const OptionTexts& texts) {
  DetectFields fields;
  takeText(texts, "detect-filter", fields.filterSize);
  takeText(texts, "detect-window", fields.inclusionSize);
  takeText(texts, "detect-count", fields.pointCount);
  return fields;
}

// The detection needs only the polygons, which no earlier stage opens or removes.
std::optional<FieldError> checkDetection(const StageContext& context) {
  return refusal(checkDetect(context.project, detectionFields(context.texts)));
}

std::optional<FieldError> runDetection(StageContext& context) {
  const DetectFields fields = detectionFields(context.texts);
  const Checked<DetectionParameters> checked = checkDetect(context.project, fields);
  if (const auto* error = std::get_if<FieldError>(&checked)) return *error;
  (void)runDetect(context.project, fields, std::get<DetectionParameters>(checked), context.report,
                  context.control, context.format);
  return std::nullopt;
}

// "p1,p2,q1,q2" into the four zone fields, or the usage message.
std::optional<FieldError> takeZone(const OptionTexts& texts, MatchFields& fields) {
  const auto found = texts.find("match-zone");
  if (found == texts.end()) return std::nullopt;
  std::vector<std::string> parts;
  std::string part;
  for (const char c : found->second + ",") {
    if (c == ',') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (parts.size() != 4) return FieldError{"plk-batch: --match-zone takes p1,p2,q1,q2"};
  fields.p1 = parts[0];
  fields.p2 = parts[1];
  fields.q1 = parts[2];
  fields.q2 = parts[3];
  return std::nullopt;
}

// The matching fields, or the usage message of a malformed zone.
std::variant<MatchFields, FieldError> matchingFields(const OptionTexts& texts) {
  MatchFields fields;
  takeText(texts, "match-window", fields.windowSize);
  if (auto error = takeZone(texts, fields)) return *error;
  takeText(texts, "match-threshold", fields.threshold);
  takeText(texts, "match-precision", fields.precision);
  if (const auto found = texts.find("match-flexibility"); found != texts.end()) {
    fields.bidirectional = found->second != "off";
    if (fields.bidirectional) fields.flexibility = found->second;
  }
  return fields;
}

std::optional<FieldError> checkMatching(const StageContext& context) {
  const auto fields = matchingFields(context.texts);
  if (const auto* error = std::get_if<FieldError>(&fields)) return *error;
  return refusal(checkMatchFields(std::get<MatchFields>(fields)));
}

std::optional<FieldError> runMatching(StageContext& context) {
  const auto built = matchingFields(context.texts);
  if (const auto* error = std::get_if<FieldError>(&built)) return *error;
  const MatchFields& fields = std::get<MatchFields>(built);
  const Checked<MatchParameters> checked = checkMatch(context.project, fields);
  if (const auto* error = std::get_if<FieldError>(&checked)) return *error;
  (void)runMatch(context.project, fields, std::get<MatchParameters>(checked), context.report,
                 context.control, context.format);
  return std::nullopt;
}

EstimeFields estimationFields(const OptionTexts& texts) {
  EstimeFields fields;
  takeText(texts, "iterations", fields.maxIterations);
  takeText(texts, "ransac-tolerance", fields.ransacTolerance);
  return fields;
}

std::optional<FieldError> checkEstimation(const StageContext& context) {
  return refusal(checkEstimeFields(estimationFields(context.texts)));
}

std::optional<FieldError> runEstimation(StageContext& context) {
  const EstimeFields fields = estimationFields(context.texts);
  const Checked<EstimationParameters> checked = checkEstime(context.project, fields);
  if (const auto* error = std::get_if<FieldError>(&checked)) return *error;
  (void)runEstime(context.project, fields, std::get<EstimationParameters>(checked), context.report,
                  context.control, context.format);
  return std::nullopt;
}

// The summary, the uncertainty map and the polygons the exit status must name.
void checkPolygons(StageContext& context, HomographyChoice choice, const DisparityMaps& maps) {
  const std::vector<bool> withDisparity = polygonsWithDisparity(context.project, maps);
  if (!context.outputs.summaryPath.isEmpty()) {
    writeSummary(context.outputs.summaryPath, summaryJson(context.project, choice, withDisparity));
  }
  if (context.outputs.pfm) {
    io::writePfm(QDir(context.outputs.folder).filePath(QStringLiteral("incertitude.pfm")),
                 maps.map.width, maps.map.height, uncertaintyMap(context.project, choice, maps));
  }
  context.mapCheck.mapWritten = true;
  context.mapCheck.doubtful = doubtfulPolygons(context.project, choice, withDisparity);
}

void writeDisparityOutputs(const StageContext& context, const DisparityMaps& maps) {
  const QDir folder(context.outputs.folder);
  io::writeDisparityFiles(folder.path(), maps);
  const int width = maps.map.width;
  const int height = maps.map.height;
  if (context.outputs.pfm) {
    io::writePfm(folder.filePath(QStringLiteral("disparites.pfm")), width, height,
                 maps.disparities);
  }
  if (context.outputs.kitti) {
    const std::int64_t left = io::writeKittiPng(folder.filePath(QStringLiteral("disparites.png")),
                                                width, height, maps.disparities);
    if (left > 0) {
      context.warnings << "disparites.png: " << left
                       << " pixels above 255.996 px written as having no disparity\n";
    }
  }
  if (context.outputs.pfm || context.outputs.kitti) {
    io::writeFineOcclusions(folder.filePath(QStringLiteral("occlusions_fines.bmp")), maps);
  }
}

OptiFields optimisationFields(const OptionTexts& texts) {
  OptiFields fields;
  takeText(texts, "levels", fields.levels);
  takeText(texts, "step", fields.forcedStep);
  takeText(texts, "level-iterations", fields.iterationsPerLevel);
  takeText(texts, "min-vertices", fields.minVertices);
  takeText(texts, "annealing-iterations", fields.annealingIterations);
  fields.sampling = static_cast<SamplingChoice>(
      wordIndex(texts, kSampling, static_cast<std::int32_t>(fields.sampling)));
  fields.method = static_cast<SearchMethod>(
      wordIndex(texts, kMethod, static_cast<std::int32_t>(fields.method)));
  return fields;
}

std::optional<FieldError> checkOptimisation(const StageContext& context) {
  OptiFields fields = optimisationFields(context.texts);
  return refusal(checkOpti(context.project, fields));
}

std::optional<FieldError> runOptimisation(StageContext& context) {
  OptiFields fields = optimisationFields(context.texts);
  const Checked<OptiParameters> checked = checkOpti(context.project, fields);
  if (const auto* error = std::get_if<FieldError>(&checked)) return *error;
  const OptiOutcome outcome = runOpti(context.project, fields, std::get<OptiParameters>(checked),
                                      context.report, context.control, context.format);
  // No later stage reads the gradient matrices: their memory goes back before the detection.
  for (ImageSide* side : {&context.project.left, &context.project.right}) {
    side->gradientX.clear();
    side->gradientY.clear();
  }
  if (outcome.logFailed) context.warnings << kOptimLogFailed << '\n';
  return std::nullopt;
}

DisparitesFields disparityFields(const OptionTexts& texts) {
  DisparitesFields fields;
  takeText(texts, "factor", fields.factor);
  takeText(texts, "rgb", fields.rgbMultiplier);
  takeText(texts, "grey", fields.greyMultiplier);
  fields.homographyIndex = wordIndex(texts, kHomography, fields.homographyIndex);
  return fields;
}

std::optional<FieldError> checkDisparities(const StageContext& context) {
  return refusal(checkDisparitesFields(context.project, disparityFields(context.texts)));
}

std::optional<FieldError> runDisparities(StageContext& context) {
  const DisparitesFields fields = disparityFields(context.texts);
  const Checked<DisparityParameters> checked = checkDisparites(context.project, fields);
  if (const auto* error = std::get_if<FieldError>(&checked)) return *error;
  const DisparitesOutcome outcome =
      runDisparites(context.project, fields, std::get<DisparityParameters>(checked), context.report,
                    context.control, context.format);
  if (outcome.maps) {
    writeDisparityOutputs(context, *outcome.maps);
    checkPolygons(context, std::get<DisparityParameters>(checked).homography, *outcome.maps);
  }
  return std::nullopt;
}

}  // namespace

std::int32_t wordIndex(const OptionTexts& texts, const StageOption& option, std::int32_t fallback) {
  const auto found = texts.find(std::string(option.name));
  if (found == texts.end()) return fallback;
  for (std::size_t i = 0; i < option.words.size(); ++i) {
    if (found->second == option.words[i]) return static_cast<std::int32_t>(i);
  }
  return fallback;
}

const std::vector<Stage>& chainStages() {
  static const std::vector<Stage> stages{
      {"optimise",
       "Optimisation de la segmentation",
       {{"levels", "\"P ...\"", "precision levels, 1/P pixel each (\"1 3 10\")"},
        kSampling,
        {"step", "X", "the forced sampling step in pixels (0,1)"},
        {"level-iterations", "N", "maximum iterations per precision level (10)"},
        kMethod,
        {"min-vertices", "N", "N of incomplete-from-n: annealing from N movable vertices (6)"},
        {"annealing-iterations", "N", "iteration limit of the annealing search (1000)"}},
       checkOptimisation,
       runOptimisation,
       false},
      {"detect",
       "Détection",
       {{"detect-filter", "N", "detector filter size, N x N (11)"},
        {"detect-window", "N", "inclusion window in the polygon, N x N (11)"},
        {"detect-count", "N", "points kept per polygon (300)"}},
       checkDetection,
       runDetection},
      {"match",
       "Appariement",
       {{"match-window", "N", "correlation window, N x N (11)"},
        {"match-zone", "P1,P2,Q1,Q2", "rows above and below, columns left and right (10,10,30,10)"},
        {"match-threshold", "R", "least correlation score (0,97)"},
        {"match-precision", "R", "sub-pixel precision (0,1)"},
        {"match-flexibility", "N|off", "bidirectional check within N pixels, or none (1)"}},
       checkMatching,
       runMatching},
      {"estimate",
       "Estimation",
       {{"iterations", "N", "iteration limit of the non-linear estimation (100)"},
        {"ransac-tolerance", "R", "RANSAC tolerance (1e-4)"}},
       checkEstimation,
       runEstimation},
      {"disparities",
       "Disparités",
       {{"factor", "N", "resolution factor, samples per pixel along each axis (1)"},
        {"rgb", "N", "multiplier of the colour-coded maps (1000)"},
        {"grey", "N", "multiplier of the grey map (8)"},
        kHomography},
       checkDisparities,
       runDisparities},
  };
  return stages;
}

}  // namespace plk::batch
