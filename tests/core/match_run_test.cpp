#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "core/runs/detect.h"
#include "core/runs/match.h"
#include "middlebury.h"
#include "run_test_support.h"

namespace plk {
namespace {

class MatchRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const test::StereoScene scene = test::loadScene("sawtooth");
    project.left.image = scene.left;
    project.right.image = scene.right;
    test::addBox(project.left.polygons, 0, 0, 379, 200);
    test::addBox(project.left.polygons, 0, 201, 379, 433);
    test::addBox(project.right.polygons, 0, 0, 379, 433);
    test::ReportLines report;
    UnattendedRun run;
    const DetectFields fields{"11", "40", "11"};
    const auto parameters = std::get<DetectionParameters>(checkDetect(project, fields));
    ASSERT_EQ(runDetect(project, fields, parameters, report, run, {}), RunStatus::Completed);
  }

  MatchFields withField(std::string MatchFields::*field, const std::string& text) const {
    MatchFields fields;
    fields.*field = text;
    return fields;
  }

  Project project;
};

TEST_F(MatchRun, RefusesEachFieldWithItsMessageInTheDialogOrder) {
  EXPECT_EQ(test::messageOf(checkMatch(Project{}, {})),
            "Des points d'intérêt sont nécessaires pour cette étape.");
  const std::string window =
      "La taille de la fenêtre de corrélation n'est pas une valeur correcte.";
  const std::string zone = "Les dimensions de la zone de recherche ne sont pas valides.";
  const std::string threshold = "Le score de corrélation minimum n'est pas une valeur correcte.";
  const std::string precision = "La précision au sous-pixel n'est pas une valeur correcte.";
  const std::string flexibility = "La souplesse n'est pas une valeur correcte.";
  EXPECT_EQ(test::messageOf(checkMatch(project, withField(&MatchFields::windowSize, "0"))), window);
  EXPECT_EQ(test::messageOf(checkMatch(project, withField(&MatchFields::windowSize, "1 1"))),
            window);
  for (auto field : {&MatchFields::p1, &MatchFields::p2, &MatchFields::q1, &MatchFields::q2}) {
    EXPECT_EQ(test::messageOf(checkMatch(project, withField(field, "1,5"))), zone);
  }
  for (const char* text : {"x", "-1", "-1,5", "inf", "nan"}) {
    EXPECT_EQ(test::messageOf(checkMatch(project, withField(&MatchFields::threshold, text))),
              threshold)
        << text;
  }
  for (const char* text : {"", "0", "-0,1", "inf"}) {
    EXPECT_EQ(test::messageOf(checkMatch(project, withField(&MatchFields::precision, text))),
              precision)
        << text;
  }
  MatchFields unticked = withField(&MatchFields::flexibility, "un");
  unticked.bidirectional = false;
  EXPECT_EQ(test::messageOf(checkMatch(project, unticked)), flexibility);
  unticked.flexibility = "3";
  EXPECT_EQ(std::get<MatchParameters>(checkMatch(project, unticked)).flexibility, -1);
  // Both separators, whatever the locale; the first failing field wins.
  MatchFields typed{"9", "-2", "3", "4", "5", "0.5", "0,25", true, "2"};
  const auto parameters = std::get<MatchParameters>(checkMatch(project, typed));
  EXPECT_EQ(parameters.windowSize, 9);
  EXPECT_EQ(parameters.p1, -2);
  EXPECT_EQ(parameters.q2, 5);
  EXPECT_EQ(parameters.threshold, 0.5);
  EXPECT_EQ(parameters.precision, 0.25);
  EXPECT_EQ(parameters.flexibility, 2);
  typed.p2 = "x";
  typed.threshold = "x";
  EXPECT_EQ(test::messageOf(checkMatch(project, typed)), zone);
}

TEST_F(MatchRun, ReportsTheFieldsAsTypedAndTheCountsOfEveryUnlockedPolygon) {
  project.left.polygons[0].locked = true;
  project.results.homographiesEstimated = true;
  MatchFields fields;
  fields.flexibility = "01";
  test::ReportLines report;
  UnattendedRun run;
  const auto parameters = std::get<MatchParameters>(checkMatch(project, fields));
  EXPECT_EQ(runMatch(project, fields, parameters, report, run, {}), RunStatus::Completed);
  const ToolResults& results = project.results;
  const std::string rule(52, '=');
  EXPECT_EQ(report.lines,
            (std::vector<std::string>{
                rule, "============ Appariement des points d'intérêt   ==========", rule,
                "  Taille de la fenêtre de corrélation : 11x11",
                "  Dimensions de la zone de recherche : ligne : -10,10 ; colonne : -30,10",
                "  CNCC seuil : 0,97", "  Précision au sous-pixel : 0,1",
                "  Contrainte bidirectionnelle : + ou - 01pixel(s)", "",
                "  --> Polygone 2/2: " + std::to_string(results.matchCounts[1]) +
                    " points appariés sur 40",
                " ", " "}));
  EXPECT_GT(results.matchCounts[1], 20);
  EXPECT_EQ(results.matchCounts[0], 0);
  EXPECT_TRUE(results.pointsMatched);
  EXPECT_FALSE(results.homographiesEstimated);
  fields.bidirectional = false;
  report.lines.clear();
  (void)runMatch(project, fields, std::get<MatchParameters>(checkMatch(project, fields)), report,
                 run, {});
  EXPECT_EQ(report.lines[7], "  Pas de contrainte bidirectionnelle");
}

TEST_F(MatchRun, PolygonsAddedAfterTheDetectionCountNothing) {
  test::addBox(project.left.polygons, 5, 5, 50, 50);
  test::ReportLines report;
  UnattendedRun run;
  (void)runMatch(project, {}, std::get<MatchParameters>(checkMatch(project, {})), report, run, {});
  EXPECT_EQ(report.lines[report.lines.size() - 3], "  --> Polygone 3/3: 0 points appariés sur 0");
  EXPECT_EQ(project.results.matches.size(), 2U);
}

TEST_F(MatchRun, ACancelledRunLeavesTablesAndFlagsAsTheyWere) {
  project.results.homographiesEstimated = true;
  test::ReportLines report;
  test::CancelAfterSteps cancel(1);
  EXPECT_EQ(runMatch(project, {}, {}, report, cancel, {}), RunStatus::Cancelled);
  EXPECT_EQ(report.lines.back(), "Calcul interrompu.");
  EXPECT_TRUE(project.results.matches.empty());
  EXPECT_FALSE(project.results.pointsMatched);
  EXPECT_TRUE(project.results.homographiesEstimated);
}

}  // namespace
}  // namespace plk
