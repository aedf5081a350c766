#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/runs/opti.h"
#include "run_test_support.h"
#include "segmentation_test_support.h"

namespace plk {
namespace {

using test::Corner;

// A project over a bright rectangle (rows 20..39, columns 25..54 of an 80 x 60 image) on both
// sides, with a quadrilateral 2 px off its edges on the left.
class OptiRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const test::Gradients g = test::gradientsOf(test::rectangleImage(80, 60, 20, 25, 39, 54));
    for (ImageSide* side : {&project.left, &project.right}) {
      side->gradientX = g.x;
      side->gradientY = g.y;
    }
    project.imageWidth = 80;
    project.imageHeight = 60;
  }

  Polygone& addQuadrilateral(PolygonList& list) {
    return test::addPolygon(list, {{17.5, 22.5}, {17.5, 56.5}, {41.5, 56.5}, {41.5, 22.5}});
  }

  [[nodiscard]] std::string refusal(OptiFields fields) const {
    const Checked<OptiParameters> checked = checkOpti(project, fields);
    const auto* error = std::get_if<FieldError>(&checked);
    return error == nullptr ? std::string() : error->message;
  }

  [[nodiscard]] OptiParameters accepted(OptiFields& fields) const {
    const Checked<OptiParameters> checked = checkOpti(project, fields);
    EXPECT_TRUE(std::holds_alternative<OptiParameters>(checked)) << refusal(fields);
    return std::holds_alternative<OptiParameters>(checked) ? std::get<OptiParameters>(checked)
                                                           : OptiParameters{};
  }

  OptiOutcome run(OptiFields fields, RunControl& control) {
    const OptiParameters parameters = accepted(fields);
    return runOpti(project, fields, parameters, report, control, NumberFormat{','});
  }

  OptiOutcome run(const OptiFields& fields) {
    UnattendedRun unattended;
    return run(fields, unattended);
  }

  [[nodiscard]] std::vector<std::string> reportFrom(std::size_t first) const {
    return {report.lines.begin() + static_cast<std::ptrdiff_t>(first), report.lines.end()};
  }

  Project project;
  test::ReportLines report;
};

TEST_F(OptiRunTest, PreconditionsComeFirstThenTheFieldsInOrder) {
  OptiFields fields;
  fields.iterationsPerLevel = "x";
  EXPECT_EQ(refusal(fields), "Au moins un polygone est nécessaire pour cette étape.");
  Polygone& open = project.right.polygons.appendPolygon();
  open.sommets = {project.right.polygons.createVertex(1, 1),
                  project.right.polygons.createVertex(5, 5)};
  EXPECT_EQ(refusal(fields), "Au moins un polygone n'est pas fermé.");
  open.sommets.push_back(open.sommets.front());
  EXPECT_EQ(refusal(fields), "Le nombre d'itérations n'est pas une valeur correcte.");
  fields.iterationsPerLevel = "0";
  EXPECT_EQ(refusal(fields), "Le nombre d'itérations n'est pas une valeur correcte.");
  fields.iterationsPerLevel = "10";
  fields.annealingIterations = "-1";
  fields.minVertices = "six";
  EXPECT_EQ(refusal(fields),
            "Le nombre d'itérations d'optimisation n'est pas une valeur correcte.");
  fields.annealingIterations = "0";
  EXPECT_EQ(refusal(fields), "Le nombre de sommets n'est pas une valeur correcte.");
  fields.method = SearchMethod::Exact;  // the N field is still read
  fields.minVertices = "-2";
  EXPECT_EQ(refusal(fields), "Le nombre de sommets n'est pas une valeur correcte.");
  fields.minVertices = "6";
  fields.forcedStep = "pas";
  fields.levels = "1  3";
  EXPECT_EQ(refusal(fields), "La profondeur n'est pas une valeur correcte.");  // step not read
  fields.sampling = SamplingChoice::Forced;
  EXPECT_EQ(refusal(fields), "Le pas n'est pas une valeur correcte.");
  for (const char* step : {"-0,5", "0,0001", "inf", "nan"}) {
    fields.forcedStep = step;
    EXPECT_EQ(refusal(fields), "Le pas n'est pas une valeur correcte.") << step;
  }
  fields.forcedStep = "0,25";
  EXPECT_EQ(refusal(fields), "La profondeur n'est pas une valeur correcte.");
}

TEST_F(OptiRunTest, LevelTextIsTrimmedAndEveryPieceMustBeALevel) {
  addQuadrilateral(project.left.polygons);
  OptiFields fields;
  fields.levels = " \t1 3 10  ";
  const OptiParameters parameters = accepted(fields);
  EXPECT_EQ(fields.levels, "1 3 10");
  EXPECT_EQ(parameters.optimisation.levels, (std::vector<std::int32_t>{1, 3, 10}));
  fields.levels = " 2 x ";
  fields.iterationsPerLevel = "?";
  EXPECT_EQ(checkOpti(project, fields).index(), 1U);
  EXPECT_EQ(fields.levels, " 2 x ");  // refused before the levels: left as typed
  fields.iterationsPerLevel = "10";
  EXPECT_EQ(checkOpti(project, fields).index(), 1U);
  EXPECT_EQ(fields.levels, "2 x");
  std::string twenty = "1";
  for (int k = 2; k <= 20; ++k) twenty += " " + std::to_string(k);
  fields.levels = twenty;
  EXPECT_EQ(accepted(fields).optimisation.levels.size(), 20U);
  fields.levels = "1 1000";
  EXPECT_EQ(accepted(fields).optimisation.levels.back(), 1000);
  for (const std::string& text : {std::string("1  3"), std::string("1 3 x"), std::string("x"),
                                  std::string(""), std::string("   "), std::string("1 0 3"),
                                  std::string("2 -1"), std::string("3 1001"), twenty + " 21"}) {
    fields.levels = text;
    EXPECT_EQ(refusal(fields), "La profondeur n'est pas une valeur correcte.") << text;
  }
}

TEST_F(OptiRunTest, MethodChoicesSetTheSearchParameters) {
  addQuadrilateral(project.left.polygons);
  OptiFields fields;
  fields.minVertices = "4";
  fields.annealingIterations = "200";
  const OptimisationParameters third = accepted(fields).optimisation;
  EXPECT_EQ(third.annealingIterations, 200);
  EXPECT_EQ(third.annealingMinVertices, 4);
  EXPECT_EQ(third.samplingStep, 0.0);
  fields.method = SearchMethod::Incomplete;
  EXPECT_EQ(accepted(fields).optimisation.annealingMinVertices, 0);
  fields.method = SearchMethod::Exact;
  EXPECT_EQ(accepted(fields).optimisation.annealingIterations, 0);
  fields.sampling = SamplingChoice::Forced;
  fields.forcedStep = "0.25";
  EXPECT_EQ(accepted(fields).optimisation.samplingStep, 0.25);
  fields.forcedStep = "0,001";
  EXPECT_EQ(accepted(fields).optimisation.samplingStep, 0.001);
}

TEST_F(OptiRunTest, HeaderForTheDefaultsAndForAnExactRunWithAForcedStep) {
  addQuadrilateral(project.left.polygons).locked = true;
  OptiFields fields;
  (void)run(fields);
  const std::string rule(52, '=');
  EXPECT_EQ(
      report.lines,
      (std::vector<std::string>{
          rule, "=========== Optimisation de la segmentation ==============", rule,
          "  Méthode de recherche des solutions : recherche incomplète à partir de 6 sommets",
          "  Niveaux de précision : 1 3 10", "  Nombre d'itérations par niveau de précision : 10",
          "  Nombre maximal d'itérations par procédure d'optimisation : 1000",
          "  Pas d'échantillonage : adaptatif", "", "--- Image gauche ---",
          "--- Image droite ---"}));
  report.lines.clear();
  fields.method = SearchMethod::Incomplete;
  fields.annealingIterations = "0";
  fields.sampling = SamplingChoice::Forced;
  fields.forcedStep = "0,50";
  fields.iterationsPerLevel = "+3";
  (void)run(fields);
  EXPECT_EQ(report.lines[3], "  Méthode de recherche des solutions : recherche exacte");
  EXPECT_EQ(report.lines[5], "  Nombre d'itérations par niveau de précision : +3");
  EXPECT_EQ(report.lines[6], "  Pas d'échantillonage : forcé à 0,50");
  report.lines.clear();
  fields.forcedStep = "0";
  (void)run(fields);
  EXPECT_EQ(report.lines[6], "  Pas d'échantillonage : adaptatif");
}

TEST_F(OptiRunTest, LockedPolygonsAreCountedButNotMovedAndSharedVerticesAreHeld) {
  PolygonList& left = project.left.polygons;
  Polygone& locked = addQuadrilateral(left);
  locked.locked = true;
  Polygone& first = test::addPolygon(left, {{17.5, 22.5}, {17.5, 56.5}, {41.5, 56.5}});
  // The second triangle starts on the first one's first vertex and shares its third.
  Polygone& second = left.appendPolygon();
  second.sommets = {first.sommets[0], first.sommets[2], left.createVertex(41.5, 22.5),
                    first.sommets[0]};
  OptiFields fields;
  fields.levels = "1";
  (void)run(fields);
  const std::vector<std::string> lines = report.lines;
  const auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_FALSE(has("  --> Polygone 1/3"));
  EXPECT_TRUE(has("  --> Polygone 2/3"));
  EXPECT_TRUE(has("  --> Polygone 3/3"));
  const auto label = std::find(lines.begin(), lines.end(), "  --> Polygone 3/3");
  ASSERT_NE(label, lines.end());
  // Written before the search: the held vertices where the first triangle put them, the new one
  // where it was drawn.
  Polygone drawn;
  Sommet third(41.5, 22.5);
  drawn.sommets = {first.sommets[0], first.sommets[2], &third, first.sommets[0]};
  EXPECT_EQ(*(label + 1), "          4 sommets (3 bloqués) " + vertexListText(drawn, {','}));
  // The locked quadrilateral shares no vertex and stays where it was drawn.
  EXPECT_EQ(vertexListText(locked, {}),
            "( 17.5  22.5) ( 17.5  56.5) ( 41.5  56.5) ( 41.5  22.5) ( 17.5  22.5) ");
  for (std::size_t i = 0; i < left.size(); ++i) {
    for (const Sommet* vertex : left[i].sommets) EXPECT_FALSE(vertex->Fixe);
  }
}

TEST_F(OptiRunTest, SharedFirstVertexCountsTwiceAmongTheHeld) {
  PolygonList& left = project.left.polygons;
  Polygone& first = test::addPolygon(left, {{17.5, 22.5}, {17.5, 56.5}, {41.5, 56.5}});
  Polygone& second = left.appendPolygon();
  second.sommets = {first.sommets[0], left.createVertex(41.5, 40), left.createVertex(41.5, 22.5),
                    first.sommets[0]};
  OptiFields fields;
  fields.levels = "1";
  (void)run(fields);
  const auto label = std::find(report.lines.begin(), report.lines.end(), "  --> Polygone 2/2");
  ASSERT_NE(label, report.lines.end());
  EXPECT_EQ((label + 1)->substr(0, 32), "          4 sommets (2 bloqués)");
}

TEST_F(OptiRunTest, CompletedRunMovesTheVerticesOfBothImages) {
  Polygone& left = addQuadrilateral(project.left.polygons);
  Polygone& right = addQuadrilateral(project.right.polygons);
  OptiFields fields;
  fields.method = SearchMethod::Exact;
  const OptiOutcome outcome = run(fields);
  EXPECT_EQ(outcome.status, RunStatus::Completed);
  EXPECT_FALSE(outcome.logFailed);
  for (const Polygone* polygon : {&left, &right}) {
    EXPECT_NEAR(polygon->sommets[0]->U, 19.5, 0.1 + 1e-9);
    EXPECT_NEAR(polygon->sommets[2]->V, 54.5, 0.1 + 1e-9);
    EXPECT_GT(polygon->value, 0.0);
  }
  EXPECT_EQ(report.lines.back(), " ");
}

TEST_F(OptiRunTest, CancelledRunLeavesEveryVertexAndValueAsBefore) {
  Polygone& left = addQuadrilateral(project.left.polygons);
  left.value = 12.5;
  Polygone& right = addQuadrilateral(project.right.polygons);
  const std::string before = vertexListText(left, {});
  for (const int steps : {1, 4, 12}) {
    test::CancelAfterSteps control(steps);
    OptiFields fields;
    fields.method = SearchMethod::Exact;
    report.lines.clear();
    EXPECT_EQ(run(fields, control).status, RunStatus::Cancelled) << steps;
    EXPECT_EQ(report.lines.back(), "Calcul interrompu.");
    EXPECT_EQ(vertexListText(left, {}), before);
    EXPECT_EQ(vertexListText(right, {}), before);
    EXPECT_EQ(left.value, 12.5);
    EXPECT_EQ(right.value, 0.0);
  }
  test::CancelAfterSteps control(3);
  report.lines.clear();
  (void)run(OptiFields{}, control);
  EXPECT_EQ(control.units.front(), "Image gauche : polygone 1/1");
  EXPECT_EQ(control.units.back(), "Image gauche : polygone 1/1, précision 1/1");
}

}  // namespace
}  // namespace plk
