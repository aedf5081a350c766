#include "core/runs/disparites.h"

#include <gtest/gtest.h>

#include "run_test_support.h"

namespace plk {
namespace {

Project estimatedProject() {
  Project project;
  project.imageHeight = 2;
  project.imageWidth = 3;
  project.results.linearHomographies = {Homography{}};
  return project;
}

TEST(CheckDisparites, PreconditionThenFieldsInOrder) {
  Project project;
  project.imageHeight = 2;
  project.imageWidth = 3;
  DisparitesFields fields;
  fields.factor = "x";
  EXPECT_EQ(test::messageOf(checkDisparites(project, fields)),
            "Le calcul des homographies est nécessaire pour cette étape.");
  project = estimatedProject();
  const std::string factor = "Le facteur de résolution n'est pas une valeur correcte.";
  for (const char* text : {"x", "0", "-2", "1,5", "", "5000"}) {
    fields.factor = text;
    fields.rgbMultiplier = "y";
    EXPECT_EQ(test::messageOf(checkDisparites(project, fields)), factor) << text;
  }
  fields.factor = "4";
  for (const char* text : {"y", "-1"}) {
    fields.rgbMultiplier = text;
    EXPECT_EQ(test::messageOf(checkDisparites(project, fields)),
              "Le coefficient multiplicatif RVB n'est pas une valeur correcte.");
  }
  fields.rgbMultiplier = "0";
  fields.greyMultiplier = "-8";
  EXPECT_EQ(test::messageOf(checkDisparites(project, fields)),
            "Le coefficient multiplicatif niveaux de gris n'est pas une valeur correcte.");
  fields.greyMultiplier = "+8";
  fields.homographyIndex = 2;
  const auto parameters = std::get<DisparityParameters>(checkDisparites(project, fields));
  EXPECT_EQ(parameters.factor, 4);
  EXPECT_EQ(parameters.rgbMultiplier, 0);
  EXPECT_EQ(parameters.greyMultiplier, 8);
  EXPECT_EQ(parameters.homography, HomographyChoice::Robust);
}

TEST(RunDisparites, HeaderWithTheFieldsAsTypedThenNothingElse) {
  const Project project = estimatedProject();
  DisparitesFields fields;
  fields.factor = "+1";
  fields.homographyIndex = 0;
  const auto parameters = std::get<DisparityParameters>(checkDisparites(project, fields));
  test::ReportLines report;
  UnattendedRun control;
  const DisparitesOutcome outcome =
      runDisparites(project, fields, parameters, report, control, NumberFormat{});
  EXPECT_EQ(outcome.status, RunStatus::Completed);
  ASSERT_TRUE(outcome.maps.has_value());
  EXPECT_EQ(outcome.maps->text, (std::vector<std::string>{"0 0 0 ", "0 0 0 "}));
  const std::string rule(52, '=');
  EXPECT_EQ(report.lines, (std::vector<std::string>{
                              rule, "=========== Calcul des disparités ==============", rule,
                              "  Facteur de résolution des calculs : +1",
                              "  Coefficient multiplicatif RVB : 1000",
                              "  Coefficient multiplicatif niveaux de gris : 8",
                              "  Homographie choisie : estimation linéaire", ""}));
}

TEST(RunDisparites, DroppedSamplesGetOneLineAndACancelledRunEndsItsReport) {
  Project project = estimatedProject();
  for (PolygonList* list : {&project.left.polygons, &project.right.polygons}) {
    Polygone& polygon = list->appendPolygon();
    const double shift = list == &project.left.polygons ? 0.0 : 30000.0;
    Sommet* first = list->createVertex(0, shift);
    polygon.sommets = {first, list->createVertex(0, shift + 2), list->createVertex(1, shift + 2),
                       list->createVertex(1, shift), first};
  }
  project.results.linearHomographies = {Homography{1, 0, 0, 0, 1, 30000, 0, 0, 1}};
  DisparitesFields fields;
  fields.homographyIndex = 0;
  const auto parameters = std::get<DisparityParameters>(checkDisparites(project, fields));
  test::ReportLines report;
  UnattendedRun control;
  const DisparitesOutcome outcome =
      runDisparites(project, fields, parameters, report, control, NumberFormat{});
  EXPECT_EQ(report.lines.back(),
            "  Échantillons sans disparité, valeur codée trop grande pour trois octets : 6");

  test::ReportLines cancelledReport;
  test::CancelAfterSteps cancel(0);
  const DisparitesOutcome cancelled =
      runDisparites(project, fields, parameters, cancelledReport, cancel, NumberFormat{});
  EXPECT_EQ(cancelled.status, RunStatus::Cancelled);
  EXPECT_FALSE(cancelled.maps.has_value());
  EXPECT_EQ(cancelledReport.lines.back(), "Calcul interrompu.");
}

}  // namespace
}  // namespace plk
