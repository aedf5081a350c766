#include "io/results_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "core/freshness.h"
#include "core/results_text.h"
#include "io/project_file.h"
#include "io_test_support.h"
#include "qt_locale_scope.h"

namespace plk::io {
namespace {

// Two polygons a side whose coordinates need more digits than the project file keeps.
void addPolygons(Project& project) {
  for (PolygonList* list : {&project.left.polygons, &project.right.polygons}) {
    for (int k = 0; k < 2; ++k) {
      Polygone& polygon = list->appendPolygon();
      Sommet* first = list->createVertex(10.0 / 3.0 + 20 * k, 1.0 / 7.0);
      polygon.sommets = {first, list->createVertex(10.0 / 3.0 + 20 * k, 15.123456789012345),
                         list->createVertex(12.7 + 20 * k, 15), first};
    }
  }
}

// The project saved with its results, as "Sauver projet" writes it, under a French locale.
class ResultsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(french.active());
    projectPath = QDir(folder.path()).filePath(QStringLiteral("scene.plk"));
    addPolygons(saved);
    ToolResults& results = saved.results;
    results.interestPoints = {{{0, 0.1 + 0.2, 5.5, 6.25, 0, 0}}, {}};
    results.interestPointCounts = {1, 0};
    recordFingerprints(results.detectedFrom, saved, ResultInputs::LeftOutlines);
    recordFingerprints(results.matchedFrom, saved, ResultInputs::BothOutlines);
    results.matchedFrom[1] ^= 1;  // the second polygon changed since its matching
    results.pointsDetected = true;
    write(saved);
  }

  void write(const Project& project) const {
    ProjectFileData data;
    data.left = project.left.polygons.describe();
    data.right = project.right.polygons.describe();
    writeProjectFile(projectPath, data, kComma);
    ASSERT_EQ(writeResultsFile(projectPath, project, kComma), std::nullopt);
  }

  // The project file opened again: its polygons as read, no results yet.
  std::unique_ptr<Project> reopened() const {
    const ProjectFileData data = readProjectFile(projectPath);
    auto project = std::make_unique<Project>();
    project->left.polygons.rebuild(data.left);
    project->right.polygons.rebuild(data.right);
    return project;
  }

  static constexpr NumberFormat kComma{','};
  const test::ScopedLocale french{test::TestLocale::French};
  QTemporaryDir folder;
  QString projectPath;
  Project saved;
};

// The results come back to the bit, and what was current for the polygons saved is current for
// the polygons read back although the file rounded their coordinates; what was out of date
// stays so.
TEST_F(ResultsFileTest, ResultsComeBackAndStayAsCurrentAsTheyWere) {
  std::unique_ptr<Project> project = reopened();
  ASSERT_NE(project->left.polygons[0].sommets[0]->V, saved.left.polygons[0].sommets[0]->V)
      << "the project file must round a coordinate for this test";
  EXPECT_EQ(readResultsFile(projectPath, *project), std::nullopt);
  const ToolResults& read = project->results;
  EXPECT_EQ(read.interestPoints[0][0].score, 0.1 + 0.2);
  EXPECT_EQ(read.interestPoints.size(), 2U);
  EXPECT_TRUE(read.pointsDetected);
  EXPECT_EQ(outOfDatePolygons(read.detectedFrom, *project, ResultInputs::LeftOutlines, 2),
            std::vector<std::size_t>{});
  EXPECT_EQ(outOfDatePolygons(read.matchedFrom, *project, ResultInputs::BothOutlines, 2),
            std::vector<std::size_t>{2});
  EXPECT_TRUE(QFile::exists(resultsFilePath(projectPath)));
  EXPECT_EQ(resultsFilePath(projectPath), projectPath + QStringLiteral(".resultats"));
}

// Results of other polygons, a damaged or unknown file are ignored with one line naming the
// file; a missing file says nothing; a results file that cannot be written says so and leaves
// the project file alone.
TEST_F(ResultsFileTest, IgnoredOrUnwrittenResultsSayWhyInOneLine) {
  const QString resultsPath = resultsFilePath(projectPath);
  const QByteArray text = testing::fileBytes(resultsPath);
  const auto ignoredLine = [&](const QByteArray& bytes) {
    testing::writeBytes(resultsPath, bytes);
    std::unique_ptr<Project> project = reopened();
    const std::optional<std::string> line = readResultsFile(projectPath, *project);
    EXPECT_TRUE(project->results.interestPoints.empty());
    return line.value_or("");
  };
  EXPECT_EQ(ignoredLine(text.left(text.size() / 2)),
            "Le fichier de résultats scene.plk.resultats est illisible ou incomplet : il est "
            "ignoré.");
  EXPECT_EQ(ignoredLine(QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)),
            "Le fichier de résultats scene.plk.resultats est illisible ou incomplet : il est "
            "ignoré.");
  EXPECT_EQ(ignoredLine("plk-resultats 9\n"),
            "Le fichier de résultats scene.plk.resultats vient d'une version plus récente du "
            "programme : il est ignoré.");

  testing::writeBytes(resultsPath, text);
  saved.right.polygons[1].sommets[1]->U += 0.5;
  ProjectFileData moved;
  moved.left = saved.left.polygons.describe();
  moved.right = saved.right.polygons.describe();
  writeProjectFile(projectPath, moved, kComma);
  EXPECT_EQ(ignoredLine(text),
            "Les résultats enregistrés dans scene.plk.resultats ne correspondent pas aux "
            "polygones du projet : ils sont ignorés.");

  ASSERT_TRUE(QFile::remove(resultsPath));
  EXPECT_EQ(ignoredLine(QByteArray()),
            "Le fichier de résultats scene.plk.resultats est "
            "illisible ou incomplet : il est ignoré.");
  ASSERT_TRUE(QFile::remove(resultsPath));
  std::unique_ptr<Project> project = reopened();
  EXPECT_EQ(readResultsFile(projectPath, *project), std::nullopt);

  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("scene.plk.resultats")));
  const QByteArray projectBytes = testing::fileBytes(projectPath);
  EXPECT_EQ(writeResultsFile(projectPath, saved, kComma),
            "Impossible d'écrire le fichier " + resultsPath.toStdString() +
                " : les résultats des outils n'ont pas été enregistrés.");
  EXPECT_EQ(testing::fileBytes(projectPath), projectBytes);
}

}  // namespace
}  // namespace plk::io
