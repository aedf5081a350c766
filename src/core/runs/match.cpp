#include "core/runs/match.h"

#include <cmath>
#include <optional>

#include "core/freshness.h"

namespace plk {

namespace {

std::optional<double> parseFinite(const std::string& text) {
  const std::optional<double> value = parseReal(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

void appendParameters(ReportSink& report, const MatchFields& fields,
                      const MatchParameters& parameters) {
  appendHeader(report, "============ Appariement des points d'intérêt   ==========");
  report.appendLine("  Taille de la fenêtre de corrélation : " + fields.windowSize + "x" +
                    fields.windowSize);
  report.appendLine("  Dimensions de la zone de recherche : ligne : -" + fields.p1 + "," +
                    fields.p2 + " ; colonne : -" + fields.q1 + "," + fields.q2);
  report.appendLine("  CNCC seuil : " + fields.threshold);
  report.appendLine("  Précision au sous-pixel : " + fields.precision);
  report.appendLine(parameters.flexibility == -1
                        ? std::string("  Pas de contrainte bidirectionnelle")
                        : "  Contrainte bidirectionnelle : + ou - " + fields.flexibility +
                              "pixel(s)");
  report.appendLine("");
}

std::int32_t countAt(const std::vector<std::int32_t>& counts, std::size_t i) {
  return i < counts.size() ? counts[i] : 0;
}

}  // namespace

Checked<MatchParameters> checkMatch(const Project& project, const MatchFields& fields) {
  if (project.results.interestPoints.empty()) {
    return FieldError{"Des points d'intérêt sont nécessaires pour cette étape."};
  }
  const std::vector<std::size_t> outOfDate =
      outOfDatePolygons(project.results.detectedFrom, project, ResultInputs::LeftOutlines,
                        project.left.polygons.size());
  if (!outOfDate.empty()) {
    return FieldError{outOfDateMessage("points d'intérêt", outOfDate, "la détection")};
  }
  return checkMatchFields(fields);
}

Checked<MatchParameters> checkMatchFields(const MatchFields& fields) {
  MatchParameters parameters;
  const std::optional<int> size = parseInteger(fields.windowSize);
  if (!size || *size < 1) {
    return FieldError{"La taille de la fenêtre de corrélation n'est pas une valeur correcte."};
  }
  parameters.windowSize = *size;
  int* const zone[] = {&parameters.p1, &parameters.p2, &parameters.q1, &parameters.q2};
  const std::string* const texts[] = {&fields.p1, &fields.p2, &fields.q1, &fields.q2};
  for (std::size_t i = 0; i < 4; ++i) {
    const std::optional<int> value = parseInteger(*texts[i]);
    if (!value) return FieldError{"Les dimensions de la zone de recherche ne sont pas valides."};
    *zone[i] = *value;
  }
  const std::optional<double> threshold = parseFinite(fields.threshold);
  if (!threshold || *threshold <= -1.0) {
    return FieldError{"Le score de corrélation minimum n'est pas une valeur correcte."};
  }
  parameters.threshold = *threshold;
  const std::optional<double> precision = parseFinite(fields.precision);
  if (!precision || *precision <= 0.0) {
    return FieldError{"La précision au sous-pixel n'est pas une valeur correcte."};
  }
  parameters.precision = *precision;
  const std::optional<int> flexibility = parseInteger(fields.flexibility);
  if (!flexibility) return FieldError{"La souplesse n'est pas une valeur correcte."};
  parameters.flexibility = fields.bidirectional ? *flexibility : -1;
  return parameters;
}

RunStatus runMatch(Project& project, const MatchFields& fields, const MatchParameters& parameters,
                   ReportSink& report, RunControl& control, NumberFormat /*format*/) {
  appendParameters(report, fields, parameters);
  ToolResults& results = project.results;
  const MatchingImage left(project.left.image, project.left.polygons);
  const MatchingImage right(project.right.image, project.right.polygons);
  std::optional<MatchTables> tables =
      matchInterestPoints(left, right, results.interestPoints,
                          {results.matches, results.matchCounts}, parameters, control);
  if (!tables) {
    appendEnding(report, RunStatus::Cancelled);
    return RunStatus::Cancelled;
  }
  results.matches = std::move(tables->matches);
  results.matchCounts = std::move(tables->matchCounts);
  recordFingerprints(results.matchedFrom, project, ResultInputs::BothOutlines);
  results.matchedDisparities = {-static_cast<double>(parameters.q2),
                                static_cast<double>(parameters.q1)};
  results.pointsMatched = true;
  results.homographiesEstimated = false;
  const std::size_t count = project.left.polygons.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (project.left.polygons[i].locked) continue;
    report.appendLine(polygonLabel(i, count) + ": " +
                      std::to_string(countAt(results.matchCounts, i)) + " points appariés sur " +
                      std::to_string(countAt(results.interestPointCounts, i)));
  }
  appendEnding(report, RunStatus::Completed);
  return RunStatus::Completed;
}

}  // namespace plk
