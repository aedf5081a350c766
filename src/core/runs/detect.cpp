#include "core/runs/detect.h"

#include <optional>

#include "core/fonctions/geometry.h"
#include "core/freshness.h"

namespace plk {

namespace {

// The smallest filter with a derivative tap on each side of the centre.
constexpr int kMinimumFilterSize = 3;

std::optional<int> parseAtLeast(const std::string& text, int minimum) {
  const std::optional<int> value = parseInteger(text);
  if (!value || *value < minimum) return std::nullopt;
  return value;
}

void appendParameters(ReportSink& report, const DetectFields& fields) {
  appendHeader(report, "============ Détection de points d'intérêt   ============");
  report.appendLine("  Nombre de points par polygone : " + fields.pointCount);
  report.appendLine("  Taille du filtre : " + fields.filterSize + "x" + fields.filterSize);
  report.appendLine("  Taille de la fenêtre d'inclusion dans le polygone : " +
                    fields.inclusionSize + "x" + fields.inclusionSize);
  report.appendLine("");
}

}  // namespace

Checked<DetectionParameters> checkDetect(const Project& project, const DetectFields& fields) {
  if (project.left.polygons.empty()) {
    return FieldError{"Au moins un polygone dans l'image gauche est nécessaire pour cette étape."};
  }
  if (!allPolygonsClosed(project.left.polygons)) {
    return FieldError{"Au moins un polygone de l'image gauche n'est pas fermé."};
  }
  const std::optional<int> inclusion = parseAtLeast(fields.inclusionSize, 1);
  if (!inclusion) {
    return FieldError{"La taille de la fenêtre d'inclusion n'est pas une valeur correcte."};
  }
  const std::optional<int> filter = parseAtLeast(fields.filterSize, kMinimumFilterSize);
  if (!filter) return FieldError{"La taille du filtre détecteur n'est pas une valeur correcte."};
  const std::optional<int> count = parseAtLeast(fields.pointCount, 1);
  if (!count) return FieldError{"Le nombre de points n'est pas une valeur correcte."};
  return DetectionParameters{*filter, *inclusion, *count};
}

RunStatus runDetect(Project& project, const DetectFields& fields,
                    const DetectionParameters& parameters, ReportSink& report, RunControl& control,
                    NumberFormat /*format*/) {
  appendParameters(report, fields);
  ToolResults& results = project.results;
  std::optional<InterestPointTables> tables =
      detectInterestPoints(project.left.polygons, project.left.image, parameters,
                           {results.interestPoints, results.interestPointCounts}, control);
  if (!tables) {
    appendEnding(report, RunStatus::Cancelled);
    return RunStatus::Cancelled;
  }
  results.interestPoints = std::move(tables->interestPoints);
  results.interestPointCounts = std::move(tables->interestPointCounts);
  recordFingerprints(results.detectedFrom, project, ResultInputs::LeftOutlines);
  results.pointsDetected = true;
  results.pointsMatched = false;
  results.homographiesEstimated = false;
  const std::size_t count = project.left.polygons.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (project.left.polygons[i].locked) continue;
    report.appendLine(polygonLabel(i, count) + ": " +
                      std::to_string(results.interestPointCounts[i]) + " points");
  }
  appendEnding(report, RunStatus::Completed);
  return RunStatus::Completed;
}

}  // namespace plk
