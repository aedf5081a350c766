#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <sstream>

#include "batch/batch.h"
#include "batch/options.h"
#include "io/project_file.h"
#include "numeric/optim.h"

namespace plk::batch {
namespace {

// A project over an 80 x 60 pair holding a bright rectangle (rows 20..39, columns 25..54), with a
// quadrilateral drawn 2 px outside its edges on the left image.
class OptimiseStageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QImage image(80, 60, QImage::Format_Grayscale8);
    image.fill(50);
    for (int r = 20; r <= 39; ++r) {
      for (int c = 25; c <= 54; ++c) image.setPixel(c, r, qRgb(200, 200, 200));
    }
    ASSERT_TRUE(image.save(path("l.bmp"), "BMP"));
    ASSERT_TRUE(image.save(path("r.bmp"), "BMP"));
    io::ProjectFileData data;
    data.leftImagePath = "l.bmp";
    data.rightImagePath = "r.bmp";
    data.left.vertices = {{17.5, 22.5}, {17.5, 56.5}, {41.5, 56.5}, {41.5, 22.5}};
    data.left.polygons = {{0, 1, 2, 3, 0}};
    io::writeProjectFile(path("p.plk"), data, NumberFormat{});
    setOptimLogPath(path("optim.log").toStdString());
  }
  void TearDown() override { setOptimLogPath("optim.log"); }

  [[nodiscard]] QString path(const char* name) const {
    return QDir(folder.path()).filePath(QString::fromLatin1(name));
  }

  int run(const QStringList& arguments) {
    out.str("");
    err.str("");
    return runBatch(arguments, out, err, false);
  }

  QTemporaryDir folder;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(OptimiseStageTest, RunsOnlyWhenNamedAndSavesTheOptimisedProject) {
  const Command command = parseArguments({path("p.plk")});
  const auto* chain = std::get_if<ChainOptions>(&command);
  ASSERT_NE(chain, nullptr);
  for (const Stage* stage : chain->steps) EXPECT_NE(stage->name, "optimise");

  ASSERT_TRUE(QDir().mkpath(path("saved")));
  ASSERT_EQ(run({path("p.plk"), QStringLiteral("--steps=optimise"), QStringLiteral("--method"),
                 QStringLiteral("exact"), QStringLiteral("--levels"), QStringLiteral("1 3 10"),
                 QStringLiteral("--save"), path("saved/optimised.plk")}),
            kDone)
      << err.str();
  EXPECT_NE(out.str().find("  Méthode de recherche des solutions : recherche exacte\n"),
            std::string::npos);
  const io::ProjectFileData saved = io::readProjectFile(path("saved/optimised.plk"));
  ASSERT_EQ(saved.left.vertices.size(), 4U);
  EXPECT_NEAR(saved.left.vertices[0].U, 19.5, 0.1 + 1e-9);
  EXPECT_NEAR(saved.left.vertices[0].V, 24.5, 0.1 + 1e-9);
  EXPECT_NEAR(saved.left.vertices[2].U, 39.5, 0.1 + 1e-9);
  EXPECT_EQ(QString::fromStdString(saved.leftImagePath),
            QFileInfo(path("l.bmp")).absoluteFilePath());
}

TEST_F(OptimiseStageTest, FieldsAreCheckedAsTheDialogChecksThem) {
  EXPECT_EQ(run({path("p.plk"), QStringLiteral("--steps=optimise"), QStringLiteral("--levels=1  3"),
                 QStringLiteral("--save"), path("o.plk")}),
            kBadArguments);
  EXPECT_EQ(err.str(), "La profondeur n'est pas une valeur correcte.\n");
  EXPECT_FALSE(QFile::exists(path("o.plk")));
  EXPECT_EQ(run({path("p.plk"), QStringLiteral("--steps=optimise"),
                 QStringLiteral("--sampling=forced"), QStringLiteral("--step=-1")}),
            kBadArguments);
  EXPECT_EQ(err.str(), "Le pas n'est pas une valeur correcte.\n");
  EXPECT_EQ(run({path("p.plk"), QStringLiteral("--method=random")}), kBadArguments);
  EXPECT_EQ(err.str(), "plk-batch: --method takes exact, incomplete or incomplete-from-n\n");
}

}  // namespace
}  // namespace plk::batch
