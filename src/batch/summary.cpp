#include "batch/summary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>
#include <optional>

#include "core/fonctions/polygon_scan.h"
#include "core/verdict.h"
#include "io/file_writer.h"

namespace plk::batch {

namespace {

// The words of --homography, in the order of the choices.
constexpr std::array<const char*, 5> kEstimateWords{"linear", "nonlinear", "robust",
                                                    "robust-nonlinear", "photometric"};

// Calls visit(at, polygon) for each pixel that carries a disparity, `at` its row-major index and
// `polygon` the left polygon it lies in, without a map of the whole image.
template <typename Visit>
void forEachPixelPolygon(const Project& project, const DisparityMaps& maps, Visit visit) {
  const std::vector<PolygonShape> shapes = shapesOf(project.left.polygons);
  for (int p = 0; p < maps.map.height; ++p) {
    for (int q = 0; q < maps.map.width; ++q) {
      const std::size_t at = static_cast<std::size_t>(p) * maps.map.width + q;
      if (maps.disparities[at] == kNoDisparity) continue;
      const std::int32_t polygon = findShape(shapes, p, q);
      if (polygon >= 0) visit(at, static_cast<std::size_t>(polygon));
    }
  }
}

const PhotometricQuality* photometricOf(const ToolResults& results, std::size_t p) {
  if (p >= results.photometricQualities.size()) return nullptr;
  const PhotometricQuality& quality = results.photometricQualities[p];
  return quality.status == PhotometricStatus::TooFewPixels ? nullptr : &quality;
}

QJsonValue number(double value) { return std::isfinite(value) ? QJsonValue(value) : QJsonValue(); }

QJsonObject polygonObject(const Project& project, std::size_t p, HomographyChoice choice,
                          bool withDisparity) {
  const ToolResults& results = project.results;
  QJsonObject object;
  object[QStringLiteral("number")] = static_cast<int>(p + 1);
  object[QStringLiteral("locked")] = project.left.polygons[p].locked;
  object[QStringLiteral("estimate")] = kEstimateWords[static_cast<std::size_t>(choice)];
  object[QStringLiteral("has_disparity")] = withDisparity;
  const std::optional<PolygonVerdict> verdict = judgePolygon(results, p, choice, NumberFormat{'.'});
  object[QStringLiteral("verdict")] =
      verdict ? QJsonValue(QString::fromStdString(std::string(verdictName(verdict->verdict))))
              : QJsonValue();
  object[QStringLiteral("reason")] = verdict && !verdict->reason.empty()
                                         ? QJsonValue(QString::fromStdString(verdict->reason))
                                         : QJsonValue();
  object[QStringLiteral("matches")] = p < results.matches.size()
                                          ? QJsonValue(static_cast<int>(results.matches[p].size()))
                                          : QJsonValue();
  object[QStringLiteral("inliers")] = p < results.polygonEstimations.size()
                                          ? number(results.polygonEstimations[p].inlierCount)
                                          : QJsonValue();
  const bool hasRecord = p < results.photometricQualities.size();
  const PhotometricQuality* quality = photometricOf(results, p);
  object[QStringLiteral("pixels_used")] =
      hasRecord ? QJsonValue(results.photometricQualities[p].pixelsUsed) : QJsonValue();
  object[QStringLiteral("residual_grey")] = quality ? number(quality->residualGrey) : QJsonValue();
  object[QStringLiteral("correlation")] = quality ? number(quality->correlation) : QJsonValue();
  object[QStringLiteral("disparity_sd_px")] = quality ? number(quality->disparitySd) : QJsonValue();
  object[QStringLiteral("max_disagreement_px")] =
      quality && quality->maxDisagreement ? number(*quality->maxDisagreement) : QJsonValue();
  return object;
}

// The disparity (displacement length) a homography gives at (u, v).
double disparityOf(const Homography& h, double u, double v) {
  const double w = h[6] * u + h[7] * v + h[8];
  const double du = (h[0] * u + h[1] * v + h[2]) / w - u;
  const double dv = (h[3] * u + h[4] * v + h[5]) / w - v;
  return std::sqrt(du * du + dv * dv);
}

}  // namespace

std::vector<bool> polygonsWithDisparity(const Project& project, const DisparityMaps& maps) {
  std::vector<bool> with(project.left.polygons.size(), false);
  forEachPixelPolygon(project, maps,
                      [&with](std::size_t, std::size_t polygon) { with[polygon] = true; });
  return with;
}

std::vector<std::string> doubtfulPolygons(const Project& project, HomographyChoice choice,
                                          const std::vector<bool>& withDisparity) {
  std::vector<std::string> lines;
  const PolygonList& polygons = project.left.polygons;
  for (std::size_t p = 0; p < polygons.size(); ++p) {
    if (polygons[p].locked) continue;
    const std::string name = "Polygone " + std::to_string(p + 1) + " : ";
    const std::optional<PolygonVerdict> verdict =
        judgePolygon(project.results, p, choice, NumberFormat{'.'});
    if (!withDisparity[p]) {
      lines.push_back(name + "pas de disparité" +
                      (verdict && !verdict->reason.empty() ? " (" + verdict->reason + ")" : ""));
    } else if (!verdict) {
      lines.push_back(name + "pas d'estimation à juger");
    } else if (verdict->verdict != Verdict::Reliable) {
      lines.push_back(name + std::string(verdictName(verdict->verdict)) + " (" + verdict->reason +
                      ")");
    }
  }
  return lines;
}

QByteArray summaryJson(const Project& project, HomographyChoice choice,
                       const std::vector<bool>& withDisparity) {
  QJsonArray polygons;
  for (std::size_t p = 0; p < project.left.polygons.size(); ++p) {
    polygons.append(polygonObject(project, p, choice, withDisparity[p]));
  }
  QJsonObject root;
  root[QStringLiteral("polygons")] = polygons;
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void writeSummary(const QString& path, const QByteArray& json) {
  io::replaceFile(path, json, io::cannotWriteMessage(path));
}

std::vector<double> uncertaintyMap(const Project& project, HomographyChoice choice,
                                   const DisparityMaps& maps) {
  const ToolResults& results = project.results;
  std::vector<double> uncertainty(maps.disparities.size(), kNoDisparity);
  forEachPixelPolygon(project, maps, [&](std::size_t at, std::size_t p) {
    const PhotometricQuality* quality = photometricOf(results, p);
    if (quality == nullptr) return;
    const double u = static_cast<double>(at / static_cast<std::size_t>(maps.map.width));
    const double v = static_cast<double>(at % static_cast<std::size_t>(maps.map.width));
    double value = quality->disparitySdAt(u, v);
    if (choice != HomographyChoice::Photometric) {
      const double difference = std::fabs(disparityOf(homographyTable(results, choice)[p], u, v) -
                                          disparityOf(results.photometricHomographies[p], u, v));
      value = std::max(value, difference);
    }
    uncertainty[at] = value;
  });
  return uncertainty;
}

}  // namespace plk::batch
