#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "batch/batch.h"
#include "full_file_system.h"
#include "in_process.h"
#include "io/disparity_readers.h"
#include "io/project_file.h"

namespace plk::batch {
namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 140;

// The scene's plane: a pixel (u, v) of the left image is seen at (u, v - d) on the right.
double disparity(double u, double v) { return 9.0 + 0.02 * v + 0.015 * u; }

// A smooth texture of sinusoids in every direction, known at any real position, so that the
// right image is the left one carried by the plane's homography without interpolation.
class Texture {
 public:
  Texture() {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
    std::uniform_real_distribution<double> frequency(0.15, 0.7);
    for (int k = 0; k < 14; ++k) {
      const double direction = angle(random);
      const double f = frequency(random);
      waves_.push_back({f * std::cos(direction), f * std::sin(direction), angle(random)});
    }
  }
  [[nodiscard]] double at(double u, double v) const {
    double sum = 0.0;
    for (const Wave& wave : waves_) sum += std::sin(wave.alongU * u + wave.alongV * v + wave.phase);
    return 128.0 + 110.0 * sum / std::sqrt(double(waves_.size()) * 2.0);
  }

 private:
  struct Wave {
    double alongU;
    double alongV;
    double phase;
  };
  std::vector<Wave> waves_;
};

QImage greyImage(const std::function<double(int, int)>& level) {
  QImage image(kWidth, kHeight, QImage::Format_Grayscale8);
  for (int u = 0; u < kHeight; ++u) {
    for (int v = 0; v < kWidth; ++v) {
      image.scanLine(u)[v] = static_cast<uchar>(std::clamp(std::lround(level(u, v)), 0L, 255L));
    }
  }
  return image;
}

// The right column v' shows the left column v with v - d(u, v) = v', that is
// v = (v' + 9 + 0.015 u) / 0.98.
double leftColumn(double u, double rightV) { return (rightV + 9.0 + 0.015 * u) / 0.98; }

PolygonListRecord quadrilateral(const std::vector<std::pair<double, double>>& corners) {
  PolygonListRecord record;
  for (const auto& [u, v] : corners) record.vertices.push_back({u, v, false, false});
  record.polygons = {{0, 1, 2, 3, 0}};
  return record;
}

// The pair above with one left polygon, in `folder`, as "p.plk"; the right polygon is the
// left one carried by the plane unless another is given.
QString writeScene(const QDir& folder, std::optional<PolygonListRecord> rightPolygon = {}) {
  const Texture texture;
  EXPECT_TRUE(greyImage([&](int u, int v) {
                return texture.at(u, v);
              }).save(folder.filePath(QStringLiteral("l.bmp")), "BMP"));
  EXPECT_TRUE(greyImage([&](int u, int v) {
                return texture.at(u, leftColumn(u, v));
              }).save(folder.filePath(QStringLiteral("r.bmp")), "BMP"));
  io::ProjectFileData data;
  data.leftImagePath = "l.bmp";
  data.rightImagePath = "r.bmp";
  data.left = quadrilateral({{20.3, 50.2}, {20.3, 170.4}, {115.7, 170.4}, {115.7, 50.2}});
  const auto right = [](double u, double v) { return std::pair{u, v - disparity(u, v)}; };
  data.right = rightPolygon.value_or(quadrilateral(
      {right(17.3, 45.2), right(17.3, 175.4), right(118.7, 175.4), right(118.7, 45.2)}));
  const QString project = folder.filePath(QStringLiteral("p.plk"));
  io::writeProjectFile(project, data, NumberFormat{});
  return project;
}

using test::Outcome;
using test::run;

QByteArray bytesOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(Chain, ARightImageShiftedByAKnownHomographyGivesItsDisparities) {
  QTemporaryDir folder;
  const QDir dir(folder.path());
  writeScene(dir);
  std::ostringstream out;
  std::ostringstream err;
  const int status = runBatch({dir.filePath(QStringLiteral("p.plk")), QStringLiteral("--pfm"),
                               QStringLiteral("--out"), dir.filePath(QStringLiteral("out"))},
                              out, err, false);
  ASSERT_EQ(status, kDone) << err.str();
  const DisparityField map =
      io::readDisparityMap(dir.filePath(QStringLiteral("out/disparites.pfm")));
  int inside = 0;
  int close = 0;
  for (int u = 21; u <= 115; ++u) {
    for (int v = 51; v <= 170; ++v) {
      ++inside;
      const double d = map.values[static_cast<std::size_t>(u) * kWidth + v];
      if (std::fabs(d - disparity(u, v)) < 0.05) ++close;
    }
  }
  EXPECT_GE(close, 0.98 * inside) << close << " of " << inside << "\n" << out.str();
}

// A right image that is the left one moved by exactly seven columns: the matches fit the
// linear estimate to rounding, and both refinements keep it as a convergence instead of giving
// up with a zero matrix, so the default map carries the shift.
TEST(Chain, AnExactIntegerShiftConvergesAndGivesItsMap) {
  QTemporaryDir folder;
  const QDir dir(folder.path());
  const Texture texture;
  ASSERT_TRUE(greyImage([&](int u, int v) {
                return texture.at(u, v);
              }).save(dir.filePath(QStringLiteral("l.bmp")), "BMP"));
  ASSERT_TRUE(greyImage([&](int u, int v) {
                return texture.at(u, v + 7);
              }).save(dir.filePath(QStringLiteral("r.bmp")), "BMP"));
  io::ProjectFileData data;
  data.leftImagePath = "l.bmp";
  data.rightImagePath = "r.bmp";
  data.left = quadrilateral({{20.5, 50.5}, {20.5, 170.5}, {115.5, 170.5}, {115.5, 50.5}});
  data.right = quadrilateral({{18.5, 40.5}, {18.5, 166.5}, {117.5, 166.5}, {117.5, 40.5}});
  io::writeProjectFile(dir.filePath(QStringLiteral("p.plk")), data, NumberFormat{});
  const Outcome outcome = run({dir.filePath(QStringLiteral("p.plk")), QStringLiteral("--pfm"),
                               QStringLiteral("--out"), dir.path()});
  ASSERT_EQ(outcome.status, kDone) << outcome.err;
  const auto count = [&](const std::string& line) {
    std::size_t found = 0;
    for (std::size_t at = outcome.out.find(line); at != std::string::npos;
         at = outcome.out.find(line, at + 1)) {
      ++found;
    }
    return found;
  };
  EXPECT_EQ(count("******** Convergence ! ***********"), 3U) << outcome.out;
  EXPECT_EQ(count("Matrice hessienne"), 0U) << outcome.out;
  EXPECT_EQ(count("Paramètre de Marquardt"), 0U);
  const DisparityField map = io::readDisparityMap(dir.filePath(QStringLiteral("disparites.pfm")));
  for (int u = 22; u <= 114; u += 4) {
    for (int v = 52; v <= 168; v += 4) {
      EXPECT_NEAR(map.values[static_cast<std::size_t>(u) * kWidth + v], 7.0, 1e-6) << u << "," << v;
    }
  }
}

// Every requested stage's fields are checked before the first stage runs: nothing is reported,
// computed or saved. Factors whose f * f * H * C would overflow 64 bits are refused too.
TEST(Chain, BadFieldsOfALaterStageAreRefusedBeforeAnyWork) {
  QTemporaryDir folder;
  const QDir dir(folder.path());
  const QString project = writeScene(dir);
  const QString saved = dir.filePath(QStringLiteral("x.plk"));
  for (const char* factor : {"0", "7500000", "10000000", "2147483647"}) {
    const Outcome refused =
        run({project, QStringLiteral("--steps=optimise,detect,match,estimate,disparities"),
             QStringLiteral("--factor"), QString::fromLatin1(factor), QStringLiteral("--save"),
             saved, QStringLiteral("--out"), dir.filePath(QStringLiteral("out"))});
    EXPECT_EQ(refused.status, kBadArguments) << factor;
    EXPECT_EQ(refused.err, "Le facteur de résolution n'est pas une valeur correcte.\n") << factor;
    EXPECT_EQ(refused.out, "") << factor;
  }
  const Outcome badIterations = run({project, QStringLiteral("--iterations=x")});
  EXPECT_EQ(badIterations.err, "Le nombre d'itérations n'est pas une valeur correcte.\n");
  EXPECT_EQ(badIterations.out, "");
  EXPECT_FALSE(QFile::exists(saved));
}

// A right polygon reaching a million or a billion pixels off the image gives, in bounded memory,
// the map of its part over the image: here a quarter plane that cuts the polygon.
TEST(Chain, AFarRightPolygonGivesTheMapOfItsClippedShape) {
  QTemporaryDir folder;
  const QDir dir(folder.path());
  const auto mapWith = [&](const PolygonListRecord& rightPolygon) {
    const QString project = writeScene(dir, rightPolygon);
    // The non-linear estimate draws nothing from the random generator, which runs on from one
    // run to the next in this process.
    const Outcome outcome = run(
        {project, QStringLiteral("--homography=nonlinear"), QStringLiteral("--out"), dir.path()});
    EXPECT_EQ(outcome.status, kDone) << outcome.err;
    return bytesOf(dir.filePath(QStringLiteral("disparites.txt")));
  };
  // Corners off the sub-pixel grids of the matching, so that no match lies on a side.
  const double top = 60.37;
  const double left = 40.53;
  const QByteArray clipped =
      mapWith(quadrilateral({{top, left}, {top, 400}, {400, 400}, {400, left}}));
  EXPECT_TRUE(clipped.contains("0 0 ")) << "the quarter plane must cut the polygon";
  for (const double reach : {1e6, 1e9}) {
    PolygonListRecord triangle;
    triangle.vertices = {
        {top, left, false, false}, {top, reach, false, false}, {reach, left, false, false}};
    triangle.polygons = {{0, 1, 2, 0}};
    EXPECT_EQ(mapWith(triangle), clipped) << reach;
  }
}

// On a full disk the report, the project and the maps each fail with their message and exit
// status 3, and the files of the former run keep every byte.
TEST(Chain, AFullDiskKeepsEveryFormerFile) {
  const plk::test::FullFileSystem disk("2m");
  PLK_REQUIRE_FULL_FILE_SYSTEM(disk);
  const QDir dir(disk.path());
  const QString project = writeScene(dir);
  const QString report = dir.filePath(QStringLiteral("r.txt"));
  const QStringList written{QStringLiteral("carte.bmp"),     QStringLiteral("disparites.txt"),
                            QStringLiteral("carte1.bmp"),    QStringLiteral("carte1gris.bmp"),
                            QStringLiteral("carte1occ.bmp"), QStringLiteral("p.plk"),
                            QStringLiteral("r.txt")};
  ASSERT_EQ(run({project, QStringLiteral("--out"), dir.path(), QStringLiteral("--report"), report})
                .status,
            kDone);
  std::map<QString, QByteArray> former;
  for (const QString& name : written) {
    former[name] = bytesOf(dir.filePath(name));
    ASSERT_FALSE(former[name].isEmpty()) << name.toStdString();
  }
  disk.fill();

  const Outcome reportRun =
      run({project, QStringLiteral("--steps"), QStringLiteral("detect"), QStringLiteral("--save"),
           project, QStringLiteral("--report"), report});
  EXPECT_EQ(reportRun.status, kUnreadableOrUnwritable);
  EXPECT_EQ(reportRun.err, "Impossible d'écrire le fichier " + report.toStdString() + "\n");
  const Outcome projectRun = run({project, QStringLiteral("--steps"), QStringLiteral("detect"),
                                  QStringLiteral("--save"), project});
  EXPECT_EQ(projectRun.status, kUnreadableOrUnwritable);
  EXPECT_EQ(projectRun.err, "Unable to write to " + project.toStdString() + "\n");
  const Outcome mapRun = run({project, QStringLiteral("--out"), dir.path()});
  EXPECT_EQ(mapRun.status, kUnreadableOrUnwritable);
  EXPECT_EQ(mapRun.err, "Impossible d'écrire le fichier " +
                            dir.filePath(QStringLiteral("carte.bmp")).toStdString() + "\n");
  for (const auto& [name, bytes] : former) {
    EXPECT_EQ(bytesOf(dir.filePath(name)), bytes) << name.toStdString();
  }
}

// A second pair of polygons on a flat grey band beside the textured one: no point to match and
// nothing to align there, so the maps are written but that polygon gets no disparity from the
// default estimate nor a reliable one from the photometric plane.
TEST(Chain, APolygonWithoutDisparityOrReliableEstimateIsNamedWithExitFour) {
  QTemporaryDir folder;
  const QDir dir(folder.path());
  const Texture texture;
  constexpr int kFlatFrom = 172;
  const auto flatBeyond = [&](int v, double level) { return v >= kFlatFrom ? 100.0 : level; };
  ASSERT_TRUE(greyImage([&](int u, int v) {
                return flatBeyond(v, texture.at(u, v));
              }).save(dir.filePath(QStringLiteral("l.bmp")), "BMP"));
  ASSERT_TRUE(greyImage([&](int u, int v) {
                return flatBeyond(v + 12, texture.at(u, leftColumn(u, v)));
              }).save(dir.filePath(QStringLiteral("r.bmp")), "BMP"));
  io::ProjectFileData data;
  data.leftImagePath = "l.bmp";
  data.rightImagePath = "r.bmp";
  data.left = quadrilateral({{20.3, 30.2}, {20.3, 150.4}, {115.7, 150.4}, {115.7, 30.2}});
  const PolygonListRecord flatLeft = quadrilateral({{20, 180}, {20, 196}, {115, 196}, {115, 180}});
  const PolygonListRecord flatRight = quadrilateral({{20, 168}, {20, 184}, {115, 184}, {115, 168}});
  const auto right = [](double u, double v) { return std::pair{u, v - disparity(u, v)}; };
  data.right = quadrilateral(
      {right(17.3, 25.2), right(17.3, 155.4), right(118.7, 155.4), right(118.7, 25.2)});
  for (auto* list : {&data.left, &data.right}) {
    const PolygonListRecord& flat = list == &data.left ? flatLeft : flatRight;
    const auto offset = static_cast<std::int32_t>(list->vertices.size());
    list->vertices.insert(list->vertices.end(), flat.vertices.begin(), flat.vertices.end());
    list->polygons.push_back({offset, offset + 1, offset + 2, offset + 3, offset});
  }
  io::writeProjectFile(dir.filePath(QStringLiteral("p.plk")), data, NumberFormat{});

  const auto runWith = [&](const QString& homography, std::ostringstream& err) {
    std::ostringstream out;
    return runBatch({dir.filePath(QStringLiteral("p.plk")), QStringLiteral("--pfm"),
                     QStringLiteral("--homography"), homography, QStringLiteral("--summary"),
                     dir.filePath(QStringLiteral("summary.json")), QStringLiteral("--out"),
                     dir.filePath(QStringLiteral("out"))},
                    out, err, false);
  };
  std::ostringstream defaultErr;
  ASSERT_EQ(runWith(QStringLiteral("robust-nonlinear"), defaultErr), kDoubtfulPolygons)
      << defaultErr.str();
  EXPECT_NE(defaultErr.str().find("Polygone 2 : pas de disparité"), std::string::npos)
      << defaultErr.str();
  EXPECT_EQ(defaultErr.str().find("Polygone 1"), std::string::npos) << defaultErr.str();
  QFile summary(dir.filePath(QStringLiteral("summary.json")));
  ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
  const QJsonArray polygons =
      QJsonDocument::fromJson(summary.readAll()).object()[QStringLiteral("polygons")].toArray();
  ASSERT_EQ(polygons.size(), 2);
  EXPECT_EQ(polygons[0][QStringLiteral("verdict")].toString(), QStringLiteral("fiable"));
  EXPECT_EQ(polygons[0][QStringLiteral("estimate")].toString(), QStringLiteral("robust-nonlinear"));
  EXPECT_LT(polygons[0][QStringLiteral("max_disagreement_px")].toDouble(), 0.05);
  EXPECT_EQ(polygons[1][QStringLiteral("verdict")].toString(), QStringLiteral("rejeté"));
  EXPECT_EQ(polygons[1][QStringLiteral("matches")].toInt(), 0);
  const DisparityField uncertainty =
      io::readDisparityMap(dir.filePath(QStringLiteral("out/incertitude.pfm")));
  EXPECT_LT(uncertainty.values[static_cast<std::size_t>(60) * kWidth + 90], 0.05);
  EXPECT_TRUE(std::isinf(uncertainty.values[static_cast<std::size_t>(60) * kWidth + 188]));

  std::ostringstream photometricErr;
  ASSERT_EQ(runWith(QStringLiteral("photometric"), photometricErr), kDoubtfulPolygons);
  EXPECT_NE(photometricErr.str().find("Polygone 2 : "), std::string::npos) << photometricErr.str();
  EXPECT_EQ(photometricErr.str().find("Polygone 1"), std::string::npos) << photometricErr.str();
  const DisparityField map =
      io::readDisparityMap(dir.filePath(QStringLiteral("out/disparites.pfm")));
  double largest = 0.0;
  for (int u = 25; u <= 110; ++u) {
    for (int v = 35; v <= 145; ++v) {
      const double d = map.values[static_cast<std::size_t>(u) * kWidth + v];
      largest = std::max(largest, std::fabs(d - disparity(u, v)));
    }
  }
  EXPECT_LT(largest, 0.02);
}

}  // namespace
}  // namespace plk::batch
