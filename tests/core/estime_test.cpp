#include "core/runs/estime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "homography_test_support.h"
#include "numeric/optim.h"
#include "run_test_support.h"

namespace plk {
namespace {

using test::Point;

// Matches (right point u, v; left point leftU, leftV) of a point set pair.
InterestPointList matchList(const std::vector<Point>& left, const std::vector<Point>& right) {
  InterestPointList matches;
  for (std::size_t i = 0; i < left.size(); ++i) {
    InterestPoint match;
    match.u = right[i].u;
    match.v = right[i].v;
    match.leftU = left[i].u;
    match.leftV = left[i].v;
    match.score = 0.99;
    matches.push_back(match);
  }
  return matches;
}

// Twenty matches of the test plane with a little noise, the last four of them wrong.
InterestPointList noisyMatches(unsigned seed) {
  std::mt19937 engine(seed);
  test::MatchSet set = test::exactMatches(test::kPlane, 20, engine);
  test::addNoise(set.right, 0.05, engine);
  for (std::size_t i = 16; i < 20; ++i) set.right[i].v += 25.0;
  return matchList(set.left, set.right);
}

// A project with `count` left polygons (no vertices needed here); `locked` positions locked.
void addPolygons(Project& project, int count, const std::vector<int>& locked = {}) {
  for (int p = 0; p < count; ++p) project.left.polygons.appendPolygon();
  for (const int p : locked) project.left.polygons[static_cast<std::size_t>(p)].locked = true;
}

class EstimeRun : public ::testing::Test {
 protected:
  void SetUp() override { setOptimLogEnabled(false); }
  void TearDown() override { setOptimLogEnabled(true); }

  RunStatus run(Project& project, test::ReportLines& report, RunControl& control,
                const EstimeFields& fields = {}) {
    const auto checked = checkEstime(project, fields);
    EXPECT_TRUE(std::holds_alternative<EstimationParameters>(checked));
    return runEstime(project, fields, std::get<EstimationParameters>(checked), report, control,
                     NumberFormat{','}, generator);
  }

  LinearCongruentialGenerator generator;
  UnattendedRun unattended;
};

TEST(CheckEstime, MessagesInOrderAndParsedValues) {
  Project project;
  EXPECT_EQ(test::messageOf(checkEstime(project, {"x", "y"})),
            "Des points d'intérêt appariés sont nécessaires pour cette étape.");
  project.results.matches.resize(1);
  EXPECT_EQ(test::messageOf(checkEstime(project, {"1.5", "y"})),
            "Le nombre d'itérations n'est pas une valeur correcte.");
  EXPECT_EQ(test::messageOf(checkEstime(project, {"100", "1e-4x"})),
            "La tolérance ransac n'est pas une valeur correcte.");
  // No range check: a negative limit and a comma decimal are taken as they are.
  const auto checked = checkEstime(project, {"-3", "0,25"});
  ASSERT_TRUE(std::holds_alternative<EstimationParameters>(checked));
  EXPECT_EQ(std::get<EstimationParameters>(checked).maxIterations, -3);
  EXPECT_EQ(std::get<EstimationParameters>(checked).ransacTolerance, 0.25);
  const auto defaults = checkEstime(project, {});
  EXPECT_EQ(std::get<EstimationParameters>(defaults).maxIterations, 100);
  EXPECT_EQ(std::get<EstimationParameters>(defaults).ransacTolerance, 1e-4);
}

TEST(MatrixEntry, RowsSeparatedByLineFeedCarriageReturnAndWideValuesPushColumns) {
  const Homography h = {1.5, -0.25, 1234.5678, 0, 1, -2, 1e-5, 0, 1};
  EXPECT_EQ(matrixEntry(h, NumberFormat{','}),
            "        [ 1,50000000 -0,25000000 1234,56780000 \n\r"
            "          0,00000000 1,00000000 -2,00000000 \n\r"
            "          0,00001000 0,00000000 1,00000000  ]");
}

// Hand-filled tables for three polygons, the second locked: every line of the blocks is known.
TEST(EstimationReport, GoldenBlocksOfHandFilledTables) {
  Project project;
  addPolygons(project, 3, {1});
  ToolResults& results = project.results;
  results.matches = {InterestPointList(12), InterestPointList(5), InterestPointList(1)};
  results.linearHomographies = {{1, 0, 2, 0, 1, -3, 0, 0, 1}, {}, {}};
  results.nonLinearHomographies = {{2, 0, 4, 0, 2, -6, 0, 0, 2}, {}, {}};
  results.robustHomographies = {
      {-1, 0, 0, 0, -1, 0, 0, 0, -1}, {}, {0.5, 0, 0, 0, 0.5, 0, 0, 0, 1}};
  results.robustNonLinearHomographies = {{3, 0, 0, 0, 3, 0, 0, 0, 3}, {}, {}};
  results.polygonEstimations = {
      {0.5, 0.25, 0, 9, 0, 0.125, 1e-6, -3}, {}, {0, 0, kLinearEstimateFailed, 0, -1, 0, 0, -1}};
  test::ReportLines report;
  appendEstimationReport(report, project, NumberFormat{'.'});
  const std::string identityRows = "\n\r          0.00000000 ";
  const std::vector<std::string> expected = {
      "  --> Polygone 1/3",
      "        Estimation linéaire: H =",
      "        [ 1.00000000 0.00000000 2.00000000 \n\r"
      "          0.00000000 1.00000000 -3.00000000 \n\r"
      "          0.00000000 0.00000000 1.00000000  ]",
      " ",
      "        Estimation non linéaire: H =",
      "        [ 2.00000000 0.00000000 4.00000000 \n\r"
      "          0.00000000 2.00000000 -6.00000000 \n\r"
      "          0.00000000 0.00000000 2.00000000  ]",
      " ",
      "        Valeur de la fonction objective avant optimisation: 0.5",
      "        Valeur de la fonction objective après optimisation: 0.25",
      "        ******** Convergence ! ***********",
      " ",
      "        Estimation robuste: H =",
      "        [ -1.00000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 -1.00000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 -1.00000000  ]",
      " ",
      "        nombre de points : 12",
      "        nombre d'inliers : 9",
      "        ******** Ransac a trouvé une solution ! ***********",
      " ",
      " ",
      "        Estimation non linéaire robuste : H =",
      "        [ 3.00000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 3.00000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 3.00000000  ]",
      " ",
      "        Valeur de la fonction objective avant optimisation: 0.125",
      "        Valeur de la fonction objective après optimisation: 1E-6",
      "        ******** Non convergence ! ********",
      " ",
      "  --> Polygone 3/3",
      "        Estimation linéaire: H =",
      "        [ 0.00000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 0.00000000  ]",
      " ",
      "        Estimation non linéaire: H =",
      "        [ 0.00000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 0.00000000  ]",
      " ",
      "        Valeur de la fonction objective avant optimisation: 0",
      "        Valeur de la fonction objective après optimisation: 0",
      "        ******** Non convergence de la décomposition SVD ! ********",
      " ",
      "        Estimation robuste: H =",
      "        [ 0.50000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 0.50000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 1.00000000  ]",
      " ",
      "        nombre de points : 1",
      "        nombre d'inliers : 0",
      "        ******** Impossible de trouver une configuration non dégénérée ! *********",
      " ",
      " ",
      "        Estimation non linéaire robuste : H =",
      "        [ 0.00000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 0.00000000 \n\r"
      "          0.00000000 0.00000000 0.00000000  ]",
      " ",
      "        Valeur de la fonction objective avant optimisation: 0",
      "        Valeur de la fonction objective après optimisation: 0",
      "        ******** Matrice hessienne singulière ! *********",
      " ",
  };
  EXPECT_EQ(report.lines, expected);
}

TEST(EstimationReport, RemainingStatusLinesAndStatusesWithoutLine) {
  Project project;
  addPolygons(project, 2);
  ToolResults& results = project.results;
  results.matches.resize(2);
  results.linearHomographies.resize(2);
  results.nonLinearHomographies.resize(2);
  results.robustHomographies.resize(2);
  results.robustNonLinearHomographies.resize(2);
  results.polygonEstimations = {{0, 0, -2, 0, -3, 0, 0, -2},
                                {0, 0, 7, 0, -4, 0, 0, kRobustRefinementSkipped}};
  test::ReportLines report;
  appendEstimationReport(report, project, NumberFormat{'.'});
  const std::string lambda = "        ******** Paramètre de Marquardt trop grand ! ********";
  const std::string noModel = "        ******** Ransac n'a pas trouvé de solution ! ********";
  // A block has 26 lines with its three status lines, 23 without.
  ASSERT_EQ(report.lines.size(), 26U + 23U);
  EXPECT_EQ(report.lines[9], lambda);
  EXPECT_EQ(report.lines[16], noModel);
  EXPECT_EQ(report.lines[24], lambda);
  // Second block: no line for status 7, for -4 and for a skipped refinement.
  EXPECT_EQ(report.lines[26 + 9], " ");
  EXPECT_EQ(report.lines[26 + 14], "        nombre d'inliers : 0");
  EXPECT_EQ(report.lines[26 + 15], " ");
  EXPECT_EQ(report.lines.back(), " ");
}

// Lines of the run's report with the computed numbers replaced: "<H>" for a matrix entry, "<x>"
// for a cost or an inlier count.
std::vector<std::string> withoutNumbers(const std::vector<std::string>& lines) {
  const std::regex value(" *-?\\d+,\\d{8} ");
  const std::regex entry(
      "        \\[ ( *-?\\d+,\\d{8} ){3}\n\r {10}( *-?\\d+,\\d{8} ){3}\n\r {10}( *-?\\d+,\\d{8} "
      "){3} "
      "\\]");
  const std::regex general("(optimisation|inliers ): -?\\d+(,\\d+)?(E-?\\d+)?$");
  std::vector<std::string> shapes;
  for (const std::string& line : lines) {
    if (std::regex_match(line, entry)) {
      shapes.emplace_back("<H>");
    } else {
      shapes.push_back(std::regex_replace(line, general, "$1: <x>"));
    }
  }
  return shapes;
}

TEST_F(EstimeRun, WholeReportOfThreePolygonsWithTheSecondLocked) {
  Project project;
  addPolygons(project, 3, {1});
  project.results.matches = {noisyMatches(1), noisyMatches(2), matchList({{5, 5}}, {{6, 6}})};
  test::ReportLines report;
  EstimeFields fields;
  fields.ransacTolerance = "1e-4";
  ASSERT_EQ(run(project, report, unattended, fields), RunStatus::Completed);
  const std::string rule(52, '=');
  const std::vector<std::string> expected = {
      rule,
      "=========== Estimation des homographies ==============",
      rule,
      "  Nombre maximal d'itérations pour l'estimation linéaire : 100",
      "  Tolérance ransac : 1e-4",
      "",
      "  --> Polygone 1/3",
      "        Estimation linéaire: H =",
      "<H>",
      " ",
      "        Estimation non linéaire: H =",
      "<H>",
      " ",
      "        Valeur de la fonction objective avant optimisation: <x>",
      "        Valeur de la fonction objective après optimisation: <x>",
      "        ******** Convergence ! ***********",
      " ",
      "        Estimation robuste: H =",
      "<H>",
      " ",
      "        nombre de points : 20",
      "        nombre d'inliers : <x>",
      "        ******** Ransac a trouvé une solution ! ***********",
      " ",
      " ",
      "        Estimation non linéaire robuste : H =",
      "<H>",
      " ",
      "        Valeur de la fonction objective avant optimisation: <x>",
      "        Valeur de la fonction objective après optimisation: <x>",
      "        ******** Convergence ! ***********",
      " ",
      "  --> Polygone 3/3",
      "        Estimation linéaire: H =",
      "<H>",
      " ",
      "        Estimation non linéaire: H =",
      "<H>",
      " ",
      "        Valeur de la fonction objective avant optimisation: <x>",
      "        Valeur de la fonction objective après optimisation: <x>",
      "        ******** Non convergence de la décomposition SVD ! ********",
      " ",
      "        Estimation robuste: H =",
      "<H>",
      " ",
      "        nombre de points : 1",
      "        nombre d'inliers : <x>",
      " ",
      " ",
      "        Estimation non linéaire robuste : H =",
      "<H>",
      " ",
      "        Valeur de la fonction objective avant optimisation: <x>",
      "        Valeur de la fonction objective après optimisation: <x>",
      " ",
      " ",
      " ",
  };
  EXPECT_EQ(withoutNumbers(report.lines), expected);
  EXPECT_TRUE(project.results.homographiesEstimated);
  // The locked polygon got nothing; the polygon without a usable match got zeros.
  EXPECT_TRUE(project.results.inlierMatches[1].empty());
  EXPECT_EQ(project.results.linearHomographies[1], Homography{});
  EXPECT_EQ(project.results.linearHomographies[2], Homography{});
  EXPECT_EQ(project.results.polygonEstimations[2].nonLinearCostBefore, 0.0);
  EXPECT_EQ(project.results.polygonEstimations[2].robustNonLinearCostAfter, 0.0);
  EXPECT_EQ(project.results.inlierMatches[0].size(),
            static_cast<std::size_t>(project.results.polygonEstimations[0].inlierCount));
}

TEST_F(EstimeRun, StoredResultsFollowTheStatuses) {
  Project project;
  addPolygons(project, 3);
  // Polygon 2 has three matches and polygon 3 six whose left points lie on one line: neither
  // determines a homography, so each gets zero matrices and says why, never a convergence.
  std::vector<Point> onALine;
  std::vector<Point> spread;
  for (int i = 0; i < 6; ++i) {
    onALine.push_back({10.0 + 3.0 * i, 20.0 + 7.0 * i});
    spread.push_back({12.0 + 3.0 * i, 15.0 + (i * i) % 5 * 4.0});
  }
  project.results.matches = {noisyMatches(3),
                             matchList({{5, 5}, {40, 9}, {17, 60}}, {{6, 6}, {41, 8}, {19, 63}}),
                             matchList(onALine, spread)};
  test::ReportLines report;
  ASSERT_EQ(run(project, report, unattended), RunStatus::Completed);
  const ToolResults& results = project.results;
  const PolygonEstimation& first = results.polygonEstimations[0];
  EXPECT_EQ(first.robustStatus, 0.0);
  // Most of the sixteen good matches and none of the four wrong ones.
  EXPECT_GE(first.inlierCount, 12.0);
  const InterestPointList& matches = results.matches[0];
  for (const InterestPoint& inlier : results.inlierMatches[0]) {
    const auto same = [&inlier](const InterestPoint& m) {
      return m.leftU == inlier.leftU && m.leftV == inlier.leftV && m.u == inlier.u &&
             m.v == inlier.v;
    };
    const auto found = std::find_if(matches.begin(), matches.end(), same);
    ASSERT_NE(found, matches.end());
    EXPECT_LT(found - matches.begin(), 16);
  }
  EXPECT_LT(first.nonLinearCostAfter, first.nonLinearCostBefore);
  EXPECT_LT(first.robustNonLinearCostAfter, first.robustNonLinearCostBefore);
  // On the inliers alone the mean transfer distance is about the noise, well below the
  // outliers' pull on the estimate from all matches.
  EXPECT_LT(first.robustNonLinearCostAfter, 1.0);
  EXPECT_GT(first.nonLinearCostAfter, 2.0);
  for (const InterestPoint& inlier : results.inlierMatches[0]) {
    EXPECT_EQ(inlier.score, 0.0);
    EXPECT_EQ(inlier.ordinal, 0);
  }
  for (const std::size_t p : {1U, 2U}) {
    const double reason = p == 1 ? kTooFewMatches : kCollinearMatches;
    const PolygonEstimation& estimation = results.polygonEstimations[p];
    EXPECT_EQ(estimation.nonLinearStatus, reason);
    EXPECT_EQ(estimation.robustStatus, reason);
    EXPECT_EQ(estimation.robustNonLinearStatus, reason);
    EXPECT_EQ(estimation.inlierCount, 0.0);
    for (const auto* table : {&results.linearHomographies, &results.nonLinearHomographies,
                              &results.robustHomographies, &results.robustNonLinearHomographies}) {
      EXPECT_EQ((*table)[p], Homography{}) << p;
    }
    EXPECT_TRUE(results.inlierMatches[p].empty());
  }
  const auto occurrences = [&report](const std::string& line) {
    return std::count(report.lines.begin(), report.lines.end(), line);
  };
  EXPECT_EQ(occurrences("        ******** Pas assez de points appariés (3) pour estimer une "
                        "homographie. ********"),
            3);
  EXPECT_EQ(occurrences("        ******** Points appariés tous alignés : pas d'homographie "
                        "possible. ********"),
            3);
  EXPECT_EQ(occurrences("        ******** Convergence ! ***********"), 2);
  EXPECT_EQ(occurrences("        ******** Ransac a trouvé une solution ! ***********"), 1);
}

// An iteration limit keeps the refined matrix; a start that already fits its matches to
// rounding is kept as a convergence, where the minimiser, finding no descent, would give up.
TEST_F(EstimeRun, IterationLimitKeepsTheMatrixAnExactStartConverges) {
  Project project;
  addPolygons(project, 2);
  // Exact integer transfers: the linear estimate is as good as it gets and cannot be improved.
  std::vector<Point> left;
  std::vector<Point> right;
  for (int i = 0; i < 8; ++i) {
    left.push_back({static_cast<double>(10 * i), static_cast<double>((i * i) % 7 * 10)});
    right.push_back({left.back().u + 3, left.back().v - 8});
  }
  project.results.matches = {noisyMatches(4), matchList(left, right)};
  test::ReportLines report;
  EstimeFields fields;
  fields.maxIterations = "1";
  ASSERT_EQ(run(project, report, unattended, fields), RunStatus::Completed);
  const ToolResults& results = project.results;
  EXPECT_EQ(results.polygonEstimations[0].nonLinearStatus, -3.0);
  EXPECT_NE(results.nonLinearHomographies[0], Homography{});
  EXPECT_NE(results.nonLinearHomographies[0], results.linearHomographies[0]);
  const PolygonEstimation& exact = results.polygonEstimations[1];
  EXPECT_LE(exact.nonLinearCostBefore, kExactFitDistance);
  EXPECT_EQ(exact.nonLinearStatus, 0.0);
  EXPECT_EQ(results.nonLinearHomographies[1], results.linearHomographies[1]);
  EXPECT_EQ(exact.nonLinearCostAfter, exact.nonLinearCostBefore);
  EXPECT_EQ(exact.robustNonLinearStatus, 0.0);
  EXPECT_EQ(results.robustNonLinearHomographies[1], results.robustHomographies[1]);
}

TEST_F(EstimeRun, SameSeedSameTablesAndReport) {
  const auto runOnce = [this](Project& project, test::ReportLines& report) {
    addPolygons(project, 3);
    project.results.matches = {noisyMatches(5), noisyMatches(6), noisyMatches(7)};
    generator.setSeed(12345);
    ASSERT_EQ(run(project, report, unattended), RunStatus::Completed);
  };
  Project first;
  Project second;
  test::ReportLines firstReport;
  test::ReportLines secondReport;
  runOnce(first, firstReport);
  runOnce(second, secondReport);
  EXPECT_EQ(firstReport.lines, secondReport.lines);
  EXPECT_EQ(first.results.robustHomographies, second.results.robustHomographies);
  EXPECT_EQ(first.results.robustNonLinearHomographies, second.results.robustNonLinearHomographies);
  for (std::size_t p = 0; p < 3; ++p) {
    EXPECT_EQ(first.results.inlierMatches[p].size(), second.results.inlierMatches[p].size());
    EXPECT_EQ(first.results.polygonEstimations[p].robustNonLinearCostAfter,
              second.results.polygonEstimations[p].robustNonLinearCostAfter);
  }
}

TEST_F(EstimeRun, CancelledRunChangesNothing) {
  Project project;
  addPolygons(project, 3);
  project.results.matches = {noisyMatches(8), noisyMatches(9), noisyMatches(10)};
  test::ReportLines report;
  ASSERT_EQ(run(project, report, unattended), RunStatus::Completed);
  const ToolResults before = project.results;
  project.results.matches[1] = noisyMatches(11);
  generator.setSeed(77);

  test::CancelAfterSteps control(2);
  test::ReportLines cancelled;
  EXPECT_EQ(run(project, cancelled, control), RunStatus::Cancelled);
  EXPECT_EQ(cancelled.lines.back(), "Calcul interrompu.");
  EXPECT_EQ(cancelled.lines.size(), 7U);
  EXPECT_EQ(control.units, (std::vector<std::string>{"Polygone 1/3", "Polygone 2/3"}));
  EXPECT_EQ(project.results.robustHomographies, before.robustHomographies);
  EXPECT_EQ(project.results.linearHomographies, before.linearHomographies);
  EXPECT_EQ(generator.seed(), 77U);
}

TEST_F(EstimeRun, LinearFailureAndLockedPolygonsKeepEarlierResults) {
  Project project;
  addPolygons(project, 2);
  project.results.matches = {noisyMatches(12), noisyMatches(13)};
  test::ReportLines report;
  ASSERT_EQ(run(project, report, unattended), RunStatus::Completed);
  const ToolResults before = project.results;

  project.left.polygons[1].locked = true;
  project.results.matches = {{}, noisyMatches(14)};
  ASSERT_EQ(run(project, report, unattended), RunStatus::Completed);
  const ToolResults& after = project.results;
  EXPECT_EQ(after.linearHomographies[0], Homography{});
  EXPECT_EQ(after.nonLinearHomographies[0], Homography{});
  EXPECT_EQ(after.polygonEstimations[0].nonLinearStatus, kLinearEstimateFailed);
  EXPECT_EQ(after.robustHomographies[0], before.robustHomographies[0]);
  EXPECT_EQ(after.robustNonLinearHomographies[0], before.robustNonLinearHomographies[0]);
  EXPECT_EQ(after.polygonEstimations[0].inlierCount, before.polygonEstimations[0].inlierCount);
  EXPECT_EQ(after.inlierMatches[0].size(), before.inlierMatches[0].size());
  EXPECT_EQ(after.linearHomographies[1], before.linearHomographies[1]);
  EXPECT_EQ(after.inlierMatches[1].size(), before.inlierMatches[1].size());
}

}  // namespace
}  // namespace plk
