#include "core/verdict.h"

#include "core/fonctions/estimation.h"
#include "core/vision.h"
#include "numeric/optim.h"

namespace plk {

namespace {

PolygonVerdict reliable() { return {Verdict::Reliable, {}}; }
PolygonVerdict toCheck(std::string reason) { return {Verdict::ToCheck, std::move(reason)}; }
PolygonVerdict rejected(std::string reason) { return {Verdict::Rejected, std::move(reason)}; }

bool refinementKept(double status) {
  return status == static_cast<double>(OptimStatus::Converged) ||
         status == static_cast<double>(OptimStatus::IterationLimit);
}

// Why the chosen homography has no usable matrix, or nothing.
std::optional<std::string> homographyFailure(const PolygonEstimation& estimation,
                                             HomographyChoice choice) {
  if (estimation.nonLinearStatus == kLinearEstimateFailed) {
    return "l'estimation linéaire a échoué";
  }
  const bool ransacFound = estimation.robustStatus == static_cast<double>(RansacStatus::Found);
  switch (choice) {
    case HomographyChoice::Linear:
      return std::nullopt;
    case HomographyChoice::NonLinear:
      if (!refinementKept(estimation.nonLinearStatus))
        return "le raffinement non linéaire a échoué";
      return std::nullopt;
    case HomographyChoice::Robust:
      if (!ransacFound) return "Ransac n'a pas trouvé de solution";
      return std::nullopt;
    case HomographyChoice::RobustNonLinear:
    case HomographyChoice::Photometric:
      break;
  }
  if (!ransacFound) return "Ransac n'a pas trouvé de solution";
  if (!refinementKept(estimation.robustNonLinearStatus)) {
    return "le raffinement non linéaire robuste a échoué";
  }
  return std::nullopt;
}

std::string pixels(double value, NumberFormat format) {
  return formatFixed(value, 1, 3, format) + " px";
}

// The photometric figures that cast doubt on the plane, or nothing.
std::optional<std::string> photometricDoubt(const PhotometricQuality& quality,
                                            NumberFormat format) {
  if (quality.status == PhotometricStatus::IterationLimit) {
    return "l'estimation photométrique n'a pas convergé";
  }
  if (!(quality.correlation >= kMinCorrelation)) {
    return "alignement médiocre (corrélation " + formatFixed(quality.correlation, 1, 3, format) +
           ")";
  }
  if (!(quality.disparitySd <= kMaxDisparitySd)) {
    return "disparité incertaine (écart type " + pixels(quality.disparitySd, format) + ")";
  }
  return std::nullopt;
}

std::optional<std::string> disagreement(const PhotometricQuality& quality, NumberFormat format) {
  if (quality.maxDisagreement && !(*quality.maxDisagreement <= kMaxDisagreement)) {
    return "les estimations photométrique et non linéaire robuste diffèrent de " +
           pixels(*quality.maxDisagreement, format);
  }
  return std::nullopt;
}

std::optional<PolygonVerdict> judgePhotometric(const ToolResults& results, std::size_t p,
                                               NumberFormat format) {
  if (p >= results.photometricQualities.size()) return std::nullopt;
  const PhotometricQuality& quality = results.photometricQualities[p];
  if (quality.status == PhotometricStatus::TooFewPixels) {
    return rejected("pas assez de pixels vus dans les deux images (" +
                    std::to_string(quality.pixelsUsed) + ")");
  }
  if (auto doubt = photometricDoubt(quality, format)) return toCheck(*doubt);
  if (auto differ = disagreement(quality, format)) return toCheck(*differ);
  return reliable();
}

std::optional<PolygonVerdict> judgeHomography(const ToolResults& results, std::size_t p,
                                              HomographyChoice choice, NumberFormat format) {
  if (p >= results.polygonEstimations.size() || p >= results.matches.size()) return std::nullopt;
  const std::size_t matches = results.matches[p].size();
  if (matches < kMinMatches) {
    return rejected(std::to_string(matches) + " points appariés, il en faut au moins " +
                    std::to_string(kMinMatches));
  }
  const PolygonEstimation& estimation = results.polygonEstimations[p];
  if (auto failure = homographyFailure(estimation, choice)) return rejected(*failure);
  if (estimation.inlierCount < kMinInliers) {
    return toCheck(formatGeneral(estimation.inlierCount, format) + " inliers, moins de " +
                   formatGeneral(kMinInliers, format));
  }
  if (p < results.photometricQualities.size()) {
    if (auto differ = disagreement(results.photometricQualities[p], format)) {
      return toCheck(*differ);
    }
  }
  return reliable();
}

}  // namespace

std::string_view verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Reliable:
      return "fiable";
    case Verdict::ToCheck:
      return "à vérifier";
    case Verdict::Rejected:
      break;
  }
  return "rejeté";
}

std::optional<PolygonVerdict> judgePolygon(const ToolResults& results, std::size_t p,
                                           HomographyChoice choice, NumberFormat format) {
  if (choice == HomographyChoice::Photometric) return judgePhotometric(results, p, format);
  return judgeHomography(results, p, choice, format);
}

bool isRejected(const ToolResults& results, std::size_t p, HomographyChoice choice) {
  const std::optional<PolygonVerdict> verdict = judgePolygon(results, p, choice, NumberFormat{});
  return verdict && verdict->verdict == Verdict::Rejected;
}

std::string verdictLine(std::size_t p, std::size_t count, const PolygonVerdict& verdict) {
  std::string line = "  Polygone " + std::to_string(p + 1) + "/" + std::to_string(count) + " : " +
                     std::string(verdictName(verdict.verdict));
  if (!verdict.reason.empty()) line += " (" + verdict.reason + ")";
  if (verdict.verdict == Verdict::Rejected) line += ", pas de disparité";
  return line;
}

}  // namespace plk
