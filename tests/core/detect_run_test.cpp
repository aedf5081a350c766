#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "core/runs/detect.h"
#include "middlebury.h"
#include "run_test_support.h"

namespace plk {
namespace {

class DetectRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const test::StereoScene scene = test::loadScene("venus");
    project.left.image = scene.left;
    project.right.image = scene.right;
    test::addBox(project.left.polygons, 10, 10, 190, 200);
    test::addBox(project.left.polygons, 200, 220, 370, 420);
  }
  Project project;
};

TEST_F(DetectRun, RefusesPolygonsThenFieldsInTheirOrder) {
  Project empty;
  EXPECT_EQ(test::messageOf(checkDetect(empty, {})),
            "Au moins un polygone dans l'image gauche est nécessaire pour cette étape.");
  project.left.polygons.back().sommets.pop_back();
  EXPECT_EQ(test::messageOf(checkDetect(project, {"x", "x", "x"})),
            "Au moins un polygone de l'image gauche n'est pas fermé.");
  Project closed;
  test::addBox(closed.left.polygons, 10, 10, 20, 20);
  const std::string inclusion =
      "La taille de la fenêtre d'inclusion n'est pas une valeur correcte.";
  const std::string filter = "La taille du filtre détecteur n'est pas une valeur correcte.";
  const std::string count = "Le nombre de points n'est pas une valeur correcte.";
  EXPECT_EQ(test::messageOf(checkDetect(closed, {"x", "x", "x"})), inclusion);
  EXPECT_EQ(test::messageOf(checkDetect(closed, {"x", "x", "0"})), inclusion);
  EXPECT_EQ(test::messageOf(checkDetect(closed, {"x", "x", "11"})), filter);
  EXPECT_EQ(test::messageOf(checkDetect(closed, {"2", "x", "11"})), filter);  // no derivative tap
  EXPECT_EQ(test::messageOf(checkDetect(closed, {"11", "0", "11"})), count);
  EXPECT_EQ(test::messageOf(checkDetect(closed, {"11", "3,5", "11"})), count);
  const auto parameters = std::get<DetectionParameters>(checkDetect(closed, {"9", "+40", "7"}));
  EXPECT_EQ(parameters.filterSize, 9);
  EXPECT_EQ(parameters.pointCount, 40);
  EXPECT_EQ(parameters.inclusionSize, 7);
}

TEST_F(DetectRun, ReportsTheFieldsAsTypedAndOneLinePerUnlockedPolygon) {
  project.left.polygons[0].locked = true;
  project.results.pointsMatched = project.results.homographiesEstimated = true;
  const DetectFields fields{"011", "25", "11"};
  test::ReportLines report;
  UnattendedRun run;
  const auto parameters = std::get<DetectionParameters>(checkDetect(project, fields));
  EXPECT_EQ(runDetect(project, fields, parameters, report, run, {}), RunStatus::Completed);
  const std::string rule(52, '=');
  EXPECT_EQ(report.lines,
            (std::vector<std::string>{
                rule, "============ Détection de points d'intérêt   ============", rule,
                "  Nombre de points par polygone : 25", "  Taille du filtre : 011x011",
                "  Taille de la fenêtre d'inclusion dans le polygone : 11x11", "",
                "  --> Polygone 2/2: 25 points", " ", " "}));
  const ToolResults& results = project.results;
  EXPECT_TRUE(results.pointsDetected);
  EXPECT_FALSE(results.pointsMatched);
  EXPECT_FALSE(results.homographiesEstimated);
  EXPECT_EQ(results.interestPointCounts, (std::vector<std::int32_t>{0, 25}));
  EXPECT_TRUE(results.interestPoints[0].empty());
}

TEST_F(DetectRun, ACancelledRunLeavesTablesAndFlagsAsTheyWere) {
  project.results.interestPoints = {{InterestPoint{0, 5.0, 20.0, 30.0, 0.0, 0.0}}};
  project.results.interestPointCounts = {1};
  project.results.pointsMatched = true;
  test::ReportLines report;
  test::CancelAfterSteps cancel(2);
  EXPECT_EQ(runDetect(project, {}, {}, report, cancel, {}), RunStatus::Cancelled);
  EXPECT_EQ(report.lines.back(), "Calcul interrompu.");
  EXPECT_EQ(report.lines.size(), 8U);
  EXPECT_EQ(cancel.units, (std::vector<std::string>{"Polygone 1/2", "Polygone 2/2"}));
  EXPECT_EQ(project.results.interestPoints.size(), 1U);
  EXPECT_EQ(project.results.interestPoints[0][0].v, 30.0);
  EXPECT_FALSE(project.results.pointsDetected);
  EXPECT_TRUE(project.results.pointsMatched);
}

}  // namespace
}  // namespace plk
