#include "core/runs/disparites.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "core/freshness.h"
#include "core/verdict.h"

namespace plk {

namespace {

constexpr std::array<std::string_view, 5> kChoiceNames{
    "estimation linéaire", "estimation non linéaire", "estimation robuste",
    "estimation robuste non linéaire", "estimation photométrique"};

// One line per unlocked left polygon that has a verdict on the chosen estimate.
void appendVerdicts(ReportSink& report, const Project& project, HomographyChoice choice,
                    NumberFormat format) {
  const PolygonList& polygons = project.left.polygons;
  for (std::size_t p = 0; p < polygons.size(); ++p) {
    if (polygons[p].locked) continue;
    if (const auto verdict = judgePolygon(project.results, p, choice, format)) {
      report.appendLine(verdictLine(p, polygons.size(), *verdict));
    }
  }
}

// A non-negative integer, or nothing.
std::optional<std::int32_t> parseCount(std::string_view text) {
  const std::optional<int> value = parseInteger(text);
  if (!value || *value < 0) return std::nullopt;
  return *value;
}

// A factor leaves at least one sample per pixel and a fine map that fits in memory.
bool acceptableFactor(std::int32_t factor, const Project& project) {
  if (factor < 1 || factor > kMaxFineSamples) return false;
  // f * f * H * C <= limit, divided rather than multiplied out so that no product can overflow.
  const std::int64_t pixels = std::max<std::int64_t>(
      std::int64_t{project.imageHeight} * std::int64_t{project.imageWidth}, 1);
  const std::int64_t f = factor;
  return f * f <= kMaxFineSamples / pixels;
}

}  // namespace

Checked<DisparityParameters> checkDisparites(const Project& project,
                                             const DisparitesFields& fields) {
  if (project.results.linearHomographies.empty()) {
    return FieldError{"Le calcul des homographies est nécessaire pour cette étape."};
  }
  const std::vector<std::size_t> outOfDate =
      outOfDatePolygons(project.results.estimatedFrom, project, ResultInputs::BothOutlines,
                        project.left.polygons.size());
  if (!outOfDate.empty()) {
    return FieldError{outOfDateMessage("homographies", outOfDate, "l'estimation")};
  }
  return checkDisparitesFields(project, fields);
}

Checked<DisparityParameters> checkDisparitesFields(const Project& project,
                                                   const DisparitesFields& fields) {
  DisparityParameters parameters;
  const std::optional<std::int32_t> factor = parseCount(fields.factor);
  if (!factor || !acceptableFactor(*factor, project)) {
    return FieldError{"Le facteur de résolution n'est pas une valeur correcte."};
  }
  parameters.factor = *factor;
  const std::optional<std::int32_t> rgb = parseCount(fields.rgbMultiplier);
  if (!rgb) return FieldError{"Le coefficient multiplicatif RVB n'est pas une valeur correcte."};
  parameters.rgbMultiplier = *rgb;
  const std::optional<std::int32_t> grey = parseCount(fields.greyMultiplier);
  if (!grey) {
    return FieldError{
        "Le coefficient multiplicatif niveaux de gris n'est pas une valeur correcte."};
  }
  parameters.greyMultiplier = *grey;
  parameters.homography = static_cast<HomographyChoice>(fields.homographyIndex);
  return parameters;
}

DisparitesOutcome runDisparites(const Project& project, const DisparitesFields& fields,
                                const DisparityParameters& parameters, ReportSink& report,
                                RunControl& control, NumberFormat format) {
  appendHeader(report, "=========== Calcul des disparités ==============");
  report.appendLine("  Facteur de résolution des calculs : " + fields.factor);
  report.appendLine("  Coefficient multiplicatif RVB : " + fields.rgbMultiplier);
  report.appendLine("  Coefficient multiplicatif niveaux de gris : " + fields.greyMultiplier);
  report.appendLine("  Homographie choisie : " +
                    std::string(kChoiceNames[static_cast<std::size_t>(parameters.homography)]));
  report.appendLine("");

  std::optional<DisparityMaps> maps = computeDisparities(project, parameters, format, control);
  if (!maps) {
    appendEnding(report, RunStatus::Cancelled);
    return {RunStatus::Cancelled, std::nullopt};
  }
  if (maps->droppedSamples > 0) {
    report.appendLine(
        "  Échantillons sans disparité, valeur codée trop grande pour trois octets : " +
        std::to_string(maps->droppedSamples));
  }
  appendVerdicts(report, project, parameters.homography, format);
  return {RunStatus::Completed, std::move(maps)};
}

}  // namespace plk
