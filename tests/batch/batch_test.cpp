#include "batch/batch.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

#include "in_process.h"
#include "io/project_file.h"

namespace plk::batch {
namespace {

using test::Outcome;
using test::run;

class BatchTest : public ::testing::Test {
 protected:
  [[nodiscard]] QString path(const char* name) const {
    return QDir(folder.path()).filePath(QString::fromLatin1(name));
  }

  // A 20 x 10 pair of grey images and a project naming them relative to itself.
  QString writeProject() const {
    QImage image(20, 10, QImage::Format_Grayscale8);
    image.fill(50);
    EXPECT_TRUE(image.save(path("l.bmp"), "BMP"));
    EXPECT_TRUE(image.save(path("r.bmp"), "BMP"));
    io::ProjectFileData data;
    data.leftImagePath = "l.bmp";
    data.rightImagePath = "r.bmp";
    io::writeProjectFile(path("p.plk"), data, NumberFormat{});
    return path("p.plk");
  }

  void writeText(const char* name, const QByteArray& bytes) const {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QTemporaryDir folder;
};

TEST_F(BatchTest, HelpAndArgumentErrors) {
  const Outcome help = run({QStringLiteral("--help")});
  EXPECT_EQ(help.status, kDone);
  EXPECT_NE(help.out.find("Usage: plk-batch PROJECT.plk"), std::string::npos);
  EXPECT_NE(help.out.find("--homography KIND"), std::string::npos);
  for (const QStringList& arguments :
       {QStringList{}, QStringList{QStringLiteral("p.plk"), QStringLiteral("--bogus")},
        QStringList{QStringLiteral("p.plk"), QStringLiteral("--homography=affine")},
        QStringList{QStringLiteral("p.plk"), QStringLiteral("--steps"), QStringLiteral("x")},
        QStringList{QStringLiteral("p.plk"), QStringLiteral("--factor")},
        QStringList{QStringLiteral("score"), QStringLiteral("a.txt")}}) {
    const Outcome refused = run(arguments);
    EXPECT_EQ(refused.status, kBadArguments) << arguments.join(' ').toStdString();
    EXPECT_EQ(refused.err.rfind("plk-batch: ", 0), 0U) << refused.err;
  }
}

TEST_F(BatchTest, AMissingProjectImageOrOutputFolderIsExitThree) {
  const Outcome missing = run({path("absent.plk")});
  EXPECT_EQ(missing.status, kUnreadableOrUnwritable);
  writeProject();
  QFile::remove(path("r.bmp"));
  const Outcome noImage = run({path("p.plk")});
  EXPECT_EQ(noImage.status, kUnreadableOrUnwritable);
  EXPECT_EQ(noImage.err,
            "Erreur lors du chargement de l'image droite ! Création du projet impossible.\n");
  writeProject();
  writeText("blocker", "a file where the output folder should be");
  const Outcome noFolder = run({path("p.plk"), QStringLiteral("--out"), path("blocker/out")});
  EXPECT_EQ(noFolder.status, kUnreadableOrUnwritable);
}

TEST_F(BatchTest, ARefusedStageGivesTheDialogMessageAndExitTwo) {
  const Outcome refused = run({writeProject(), QStringLiteral("--steps=disparities"),
                               QStringLiteral("--out"), path("out")});
  EXPECT_EQ(refused.status, kBadArguments);
  EXPECT_EQ(refused.err, "Le calcul des homographies est nécessaire pour cette étape.\n");
  EXPECT_FALSE(QFile::exists(path("out/carte.bmp")));
}

TEST_F(BatchTest, ScoresOfATextMapAgainstAGroundTruthTimesEight) {
  writeText("map.txt", "0 10,5 20 \r\n10 0 3 \r\n");
  QImage truth(3, 2, QImage::Format_Grayscale8);
  const int levels[] = {80, 80, 160, 80, 80, 0};  // 10, 10, 20, 10, 10, unknown
  for (int i = 0; i < 6; ++i) truth.setPixel(i % 3, i / 3, qRgb(levels[i], levels[i], levels[i]));
  ASSERT_TRUE(truth.save(path("gt.pgm")));
  const Outcome text = run({QStringLiteral("score"), path("map.txt"), path("gt.pgm"),
                            QStringLiteral("--gt-scale"), QStringLiteral("8")});
  EXPECT_EQ(text.status, kDone) << text.err;
  EXPECT_EQ(text.out,
            "ground-truth pixels:  5\n"
            "scored pixels:        3\n"
            "coverage:             60.00 %\n"
            "mean absolute error:  0.1667 px\n"
            "RMS error:            0.2887 px\n"
            "bad pixels > 0.5 px:  0.00 %\n"
            "bad pixels > 1 px:    0.00 %\n"
            "bad pixels > 2 px:    0.00 %\n");
  const Outcome json = run({QStringLiteral("score"), path("map.txt"), path("gt.pgm"),
                            QStringLiteral("--gt-scale=8"), QStringLiteral("--json")});
  EXPECT_EQ(json.out,
            "{\"ground_truth_pixels\": 5, \"scored_pixels\": 3, \"coverage\": 0.600000, "
            "\"mean_absolute_error\": 0.166667, \"rms_error\": 0.288675, \"bad_0.5\": 0.000000, "
            "\"bad_1\": 0.000000, \"bad_2\": 0.000000}\n");
  writeText("small.txt", "1 2 \r\n");
  EXPECT_EQ(run({QStringLiteral("score"), path("small.txt"), path("gt.pgm")}).status,
            kBadArguments);
  EXPECT_EQ(run({QStringLiteral("score"), path("none.txt"), path("gt.pgm")}).status,
            kUnreadableOrUnwritable);
}

TEST_F(BatchTest, TheProgramGivesItsExitStatus) {
  QProcess program;
  program.start(QStringLiteral(PLK_BATCH_PROGRAM), {path("absent.plk")});
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitCode(), kUnreadableOrUnwritable);
  program.start(QStringLiteral(PLK_BATCH_PROGRAM), {QStringLiteral("--help")});
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitCode(), kDone);
  EXPECT_TRUE(program.readAllStandardOutput().startsWith("Usage: plk-batch"));
}

}  // namespace
}  // namespace plk::batch
