#include "core/runs/estime.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/fonctions/photometric.h"
#include "core/freshness.h"
#include "core/vision.h"
#include "numeric/optim.h"

namespace plk {

namespace {

constexpr std::string_view kNoMatches =
    "Des points d'intérêt appariés sont nécessaires pour cette étape.";
constexpr std::string_view kBadIterations = "Le nombre d'itérations n'est pas une valeur correcte.";
constexpr std::string_view kBadTolerance = "La tolérance ransac n'est pas une valeur correcte.";

bool isStatus(double stored, auto code) { return stored == static_cast<double>(code); }

// The line of a polygon whose matches cannot determine a homography, in place of the status
// lines of its three estimates; empty for any other status.
std::string underdeterminedLine(double status, std::size_t matchCount) {
  if (status == kTooFewMatches) {
    return "        ******** Pas assez de points appariés (" + std::to_string(matchCount) +
           ") pour estimer une homographie. ********";
  }
  if (status == kCollinearMatches) {
    return "        ******** Points appariés tous alignés : pas d'homographie possible. ********";
  }
  return {};
}

// Status line of a Marquardt refinement (or of a failed linear estimate); empty for none.
std::string_view refinementStatusLine(double status) {
  if (isStatus(status, OptimStatus::Converged)) return "        ******** Convergence ! ***********";
  if (isStatus(status, OptimStatus::SingularHessian)) {
    return "        ******** Matrice hessienne singulière ! *********";
  }
  if (isStatus(status, OptimStatus::IterationLimit)) {
    return "        ******** Non convergence ! ********";
  }
  if (isStatus(status, OptimStatus::LambdaTooLarge)) {
    return "        ******** Paramètre de Marquardt trop grand ! ********";
  }
  if (status == kLinearEstimateFailed) {
    return "        ******** Non convergence de la décomposition SVD ! ********";
  }
  return {};
}

std::string_view robustStatusLine(double status) {
  if (isStatus(status, RansacStatus::Found)) {
    return "        ******** Ransac a trouvé une solution ! ***********";
  }
  if (isStatus(status, RansacStatus::Degenerate)) {
    return "        ******** Impossible de trouver une configuration non dégénérée ! *********";
  }
  if (isStatus(status, RansacStatus::NoModel)) {
    return "        ******** Ransac n'a pas trouvé de solution ! ********";
  }
  return {};
}

void appendIfAny(ReportSink& report, std::string_view line) {
  if (!line.empty()) report.appendLine(line);
}

void appendMatrix(ReportSink& report, std::string_view title, const Homography& h,
                  NumberFormat format) {
  report.appendLine(title);
  report.appendLine(matrixEntry(h, format));
  report.appendLine(" ");
}

void appendCosts(ReportSink& report, double before, double after, NumberFormat format) {
  report.appendLine("        Valeur de la fonction objective avant optimisation: " +
                    formatGeneral(before, format));
  report.appendLine("        Valeur de la fonction objective après optimisation: " +
                    formatGeneral(after, format));
}

void appendPolygon(ReportSink& report, const ToolResults& results, std::size_t p,
                   std::size_t polygonCount, NumberFormat format) {
  const PolygonEstimation& estimation = results.polygonEstimations[p];
  report.appendLine(polygonLabel(p, polygonCount));
  appendMatrix(report, "        Estimation linéaire: H =", results.linearHomographies[p], format);
  appendMatrix(report, "        Estimation non linéaire: H =", results.nonLinearHomographies[p],
               format);
  const std::size_t matchCount = results.matches[p].size();
  appendCosts(report, estimation.nonLinearCostBefore, estimation.nonLinearCostAfter, format);
  appendIfAny(report, refinementStatusLine(estimation.nonLinearStatus));
  appendIfAny(report, underdeterminedLine(estimation.nonLinearStatus, matchCount));
  report.appendLine(" ");
  appendMatrix(report, "        Estimation robuste: H =", results.robustHomographies[p], format);
  report.appendLine("        nombre de points : " + std::to_string(matchCount));
  report.appendLine("        nombre d'inliers : " + formatGeneral(estimation.inlierCount, format));
  appendIfAny(report, robustStatusLine(estimation.robustStatus));
  appendIfAny(report, underdeterminedLine(estimation.robustStatus, matchCount));
  report.appendLine(" ");
  report.appendLine(" ");
  appendMatrix(report, "        Estimation non linéaire robuste : H =",
               results.robustNonLinearHomographies[p], format);
  appendCosts(report, estimation.robustNonLinearCostBefore, estimation.robustNonLinearCostAfter,
              format);
  appendIfAny(report, refinementStatusLine(estimation.robustNonLinearStatus));
  appendIfAny(report, underdeterminedLine(estimation.robustNonLinearStatus, matchCount));
  report.appendLine(" ");
}

// "a + b·U + c·V" with the signs of b and c written as such.
std::string planeText(const DisparityPlane& plane, NumberFormat format) {
  const auto term = [&](double value, const char* variable) {
    return (value < 0.0 ? " - " : " + ") + formatGeneral(std::fabs(value), format) + variable;
  };
  return formatGeneral(plane.a, format) + term(plane.b, "·U") + term(plane.c, "·V");
}

std::string_view photometricStatusLine(PhotometricStatus status) {
  switch (status) {
    case PhotometricStatus::Converged:
      return "        ******** Convergence ! ***********";
    case PhotometricStatus::IterationLimit:
      return "        ******** Non convergence ! ********";
    case PhotometricStatus::TooFewPixels:
      break;
  }
  return "        ******** Pas assez de pixels vus dans les deux images ! ********";
}

// The fifth estimate's lines, after the polygon's four: the plane, its matrix, its figures.
void appendPhotometric(ReportSink& report, const ToolResults& results, std::size_t p,
                       NumberFormat format) {
  const Homography& h = results.photometricHomographies[p];
  const PhotometricQuality& quality = results.photometricQualities[p];
  const DisparityPlane plane{-h[5], -h[3], 1.0 - h[4], h[2]};
  const bool fitted = quality.status != PhotometricStatus::TooFewPixels;
  report.appendLine("        Estimation photométrique : d = " +
                    (fitted ? planeText(plane, format) : std::string("?")));
  report.appendLine(matrixEntry(h, format));
  report.appendLine(" ");
  report.appendLine("        pixels utilisés : " + std::to_string(quality.pixelsUsed));
  report.appendLine("        itérations : " + std::to_string(quality.iterations));
  report.appendLine(photometricStatusLine(quality.status));
  if (fitted) {
    report.appendLine("        décalage vertical : " + formatGeneral(plane.e, format));
    report.appendLine("        résidu robuste (niveaux de gris) : " +
                      formatGeneral(quality.residualGrey, format));
    report.appendLine("        corrélation des pixels alignés : " +
                      formatGeneral(quality.correlation, format));
    report.appendLine("        écart type maximal de la disparité : " +
                      formatGeneral(quality.disparitySd, format));
    if (quality.maxDisagreement) {
      report.appendLine("        écart maximal avec l'estimation non linéaire robuste : " +
                        formatGeneral(*quality.maxDisagreement, format));
    }
  }
  report.appendLine(" ");
}

bool hasBothImages(const Project& project) {
  return !project.left.image.empty() && !project.right.image.empty() &&
         project.left.image.width() == project.right.image.width() &&
         project.left.image.height() == project.right.image.height();
}

std::vector<bool> lockedFlags(const PolygonList& polygons) {
  std::vector<bool> locked(polygons.size());
  for (std::size_t p = 0; p < polygons.size(); ++p) locked[p] = polygons[p].locked;
  return locked;
}

}  // namespace

Checked<EstimationParameters> checkEstime(const Project& project, const EstimeFields& fields) {
  if (project.results.matches.empty()) return FieldError{std::string(kNoMatches)};
  const std::vector<std::size_t> outOfDate =
      outOfDatePolygons(project.results.matchedFrom, project, ResultInputs::BothOutlines,
                        project.left.polygons.size());
  if (!outOfDate.empty()) {
    return FieldError{outOfDateMessage("points appariés", outOfDate, "l'appariement")};
  }
  return checkEstimeFields(fields);
}

Checked<EstimationParameters> checkEstimeFields(const EstimeFields& fields) {
  const std::optional<int> maxIterations = parseInteger(fields.maxIterations);
  if (!maxIterations) return FieldError{std::string(kBadIterations)};
  const std::optional<double> tolerance = parseReal(fields.ransacTolerance);
  if (!tolerance) return FieldError{std::string(kBadTolerance)};
  return EstimationParameters{*maxIterations, *tolerance};
}

std::string matrixEntry(const Homography& h, NumberFormat format) {
  std::string entry = "        [ ";
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      entry += formatFixed(h[static_cast<std::size_t>(3 * r + c)], 10, 8, format) + " ";
    }
    entry += r < 2 ? "\n\r          " : " ]";
  }
  return entry;
}

void appendEstimationReport(ReportSink& report, const Project& project, NumberFormat format) {
  const PolygonList& polygons = project.left.polygons;
  const ToolResults& results = project.results;
  // Only positions that have results: the polygon list may have changed since the matching.
  const std::size_t reported =
      std::min({polygons.size(), results.linearHomographies.size(), results.matches.size()});
  for (std::size_t p = 0; p < reported; ++p) {
    if (polygons[p].locked) continue;
    appendPolygon(report, results, p, polygons.size(), format);
    if (p < results.photometricQualities.size()) appendPhotometric(report, results, p, format);
  }
}

RunStatus runEstime(Project& project, const EstimeFields& fields,
                    const EstimationParameters& parameters, ReportSink& report, RunControl& control,
                    NumberFormat format, LinearCongruentialGenerator& generator) {
  appendHeader(report, "=========== Estimation des homographies ==============");
  report.appendLine("  Nombre maximal d'itérations pour l'estimation linéaire : " +
                    fields.maxIterations);
  report.appendLine("  Tolérance ransac : " + fields.ransacTolerance);
  report.appendLine("");

  const std::uint32_t seed = generator.seed();
  const PolygonList& polygons = project.left.polygons;
  const std::optional<EstimationOutcome> outcome = estimateHomographies(
      project.results.matches, lockedFlags(polygons), parameters, generator, control);
  // The photometric planes need both images; without them the run gives the four estimates only.
  std::optional<PhotometricOutcome> photometric;
  if (outcome && hasBothImages(project)) {
    photometric = estimatePhotometricPlanes(project, *outcome, control);
  }
  if (!outcome || (hasBothImages(project) && !photometric)) {
    generator.setSeed(seed);
    appendEnding(report, RunStatus::Cancelled);
    return RunStatus::Cancelled;
  }
  applyEstimation(*outcome, project.results);
  if (photometric) applyPhotometric(*photometric, project.results);
  recordFingerprints(project.results.estimatedFrom, project, ResultInputs::BothOutlines);
  appendEstimationReport(report, project, format);
  appendEnding(report, RunStatus::Completed);
  return RunStatus::Completed;
}

}  // namespace plk
