#include "core/freshness.h"
#include "io/project_file.h"
#include "shell/rapport.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

using KeptResultsTest = ShellTest;

// Saving writes the results beside the project; opening it again brings them back with the
// windows' stage flags, silently. Once the polygons in the project file have been changed, the
// results are left out with one report line, and the project opens all the same.
TEST_F(KeptResultsTest, SavedResultsComeBackUnlessThePolygonsChanged) {
  ASSERT_TRUE(openProject());
  Project& project = *main().project();
  addTriangle(project.left.polygons);
  addTriangle(project.right.polygons);
  project.results.interestPoints = {{{0, 0.1 + 0.2, 30.5, 40.25, 0, 0}}};
  project.results.interestPointCounts = {1};
  recordFingerprints(project.results.detectedFrom, project, ResultInputs::LeftOutlines);
  project.results.pointsDetected = true;
  const QString projectFile = path(QStringLiteral("scene.plk"));
  prompts.fileNames = {projectFile};
  ASSERT_EQ(main().session().saveProjectAs(), SaveOutcome::Saved);
  ASSERT_TRUE(QFile::exists(projectFile + QStringLiteral(".resultats")));

  const auto reopen = [&] {
    ASSERT_TRUE(main().session().askSaveAndClose());
    shell->rapport().Button2Click();
    prompts.fileNames = {projectFile};
    main().Ouvrirprojet1Click();
    ASSERT_NE(main().project(), nullptr);
  };
  reopen();
  const ToolResults& read = main().project()->results;
  ASSERT_EQ(read.interestPoints.size(), 1U);
  EXPECT_EQ(read.interestPoints[0][0].score, 0.1 + 0.2);
  EXPECT_TRUE(read.pointsDetected);
  EXPECT_EQ(outOfDatePolygons(read.detectedFrom, *main().project(), ResultInputs::LeftOutlines, 1),
            std::vector<std::size_t>{});
  EXPECT_TRUE(shell->rapport().lines().join(QString()).trimmed().isEmpty());

  io::ProjectFileData edited = io::readProjectFile(projectFile);
  edited.right.vertices[1].V += 1;
  io::writeProjectFile(projectFile, edited, format());
  reopen();
  EXPECT_TRUE(main().project()->results.interestPoints.empty());
  EXPECT_FALSE(main().project()->results.pointsDetected);
  EXPECT_TRUE(shell->rapport().lines().contains(
      QStringLiteral("Les résultats enregistrés dans scene.plk.resultats ne correspondent pas "
                     "aux polygones du projet : ils sont ignorés.")));
  EXPECT_TRUE(prompts.errors.isEmpty());
}

// A colour PNG and a 16-bit grey PNG make a project of 8-bit grey images, each conversion named
// in the report; the project file keeps the paths of the files chosen.
TEST_F(KeptResultsTest, ColourAndSixteenBitPngsOpenAsGrey) {
  QImage colour(40, 30, QImage::Format_RGB888);
  colour.fill(QColor(0, 0, 250));
  const QString colourPath = path(QStringLiteral("gauche.png"));
  ASSERT_TRUE(colour.save(colourPath));
  QImage sixteen(40, 30, QImage::Format_Grayscale16);
  for (int r = 0; r < 30; ++r) {
    auto* line = reinterpret_cast<quint16*>(sixteen.scanLine(r));
    std::fill(line, line + 40, quint16{32896});
  }
  const QString sixteenPath = path(QStringLiteral("droite.png"));
  ASSERT_TRUE(sixteen.save(sixteenPath));

  shell->newProject().setFields(QStringLiteral("couleur"), colourPath, sixteenPath);
  ASSERT_TRUE(main().session().createProjectFromImages());
  EXPECT_TRUE(prompts.errors.isEmpty());
  EXPECT_EQ(main().project()->left.image.at(29, 39), 29);
  EXPECT_EQ(main().project()->right.image.at(0, 0), 128);
  EXPECT_EQ(main().project()->left.gradientX.rows(), 31);
  const QStringList report = shell->rapport().lines();
  EXPECT_TRUE(report.contains(
      QStringLiteral("Image gauche convertie en niveaux de gris 8 bits (image en couleurs).")));
  EXPECT_TRUE(report.contains(QStringLiteral(
      "Image droite convertie en niveaux de gris 8 bits (image en gris sur 16 bits).")));

  const QString projectFile = path(QStringLiteral("couleur.plk"));
  ASSERT_EQ(main().session().saveProject(projectFile), SaveOutcome::Saved);
  const io::ProjectFileData saved = io::readProjectFile(projectFile);
  EXPECT_EQ(QString::fromStdString(saved.leftImagePath), colourPath);
  EXPECT_EQ(QString::fromStdString(saved.rightImagePath), sixteenPath);
}

}  // namespace
}  // namespace plk::test
