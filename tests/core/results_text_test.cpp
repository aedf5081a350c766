#include "core/results_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace plk {
namespace {

constexpr std::uint64_t kPolygons = 0xFEDCBA9876543210ULL;

std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// Tables of different lengths, with numbers whose shortest decimal form is long, signed zeros,
// a denormal, infinities and an absent disagreement.
ToolResults awkwardResults() {
  ToolResults r;
  r.interestPoints = {{{3, 0.1 + 0.2, 1.0 / 3.0, -0.0, 4.9e-324, 1e300}}, {}};
  r.interestPointCounts = {1, 0, 7};
  r.matches = {{{-2, -100, 12.5, 7.25, 1.0 / 7.0, 2.0 / 3.0}, {0, 0.75, 1, 2, 3, 4}}};
  r.matchCounts = {2};
  r.linearHomographies = {{1, 0.1, 2, 0, 1, 3, 1e-17, 0, 1}};
  r.robustNonLinearHomographies = {{}, {1, 2, 3, 4, 5, 6, 7, 8, 9}};
  r.photometricHomographies = {{1, 0, -1.5, 0, 1, 0, 0, 0, 1}};
  r.polygonEstimations = {{0.5, 0.25, 1, 9, 1, 0.4, 0.3, -1}};
  PhotometricQuality converged;
  converged.status = PhotometricStatus::Converged;
  converged.pixelsUsed = 1234;
  converged.iterations = 17;
  converged.residualGrey = 0.7;
  converged.correlation = 0.99;
  converged.disparitySd = 0.015;
  converged.maxDisagreement = 0.125;
  converged.centreU = 40.5;
  converged.scale = 23.0;
  converged.covariance = {1e-5, 2e-7, 0, 2e-7, 3e-6, 0, 0, 0, 4e-6};
  r.photometricQualities = {converged, PhotometricQuality{}};
  r.inlierMatches = {{}, {{1, 0.9, 5, 6, 7, 8}}};
  r.detectedFrom = {0, 0xFFFFFFFFFFFFFFFFULL};
  r.matchedFrom = {42};
  r.matchedDisparities = {-3.5, std::numeric_limits<double>::infinity()};
  r.verdictEstimate = 4;
  r.pointsDetected = true;
  r.homographiesEstimated = true;
  return r;
}

// Every number comes back to the same bits and every table to its length; reading and writing
// again gives the same text.
TEST(ResultsText, EveryNumberAndTableComesBackExactly) {
  const ToolResults original = awkwardResults();
  const std::string text = resultsText(original, kPolygons);
  auto parsed = parseResultsText(text, kPolygons);
  ASSERT_TRUE(std::holds_alternative<ToolResults>(parsed)) << text;
  const ToolResults& read = std::get<ToolResults>(parsed);
  EXPECT_EQ(resultsText(read, kPolygons), text);

  const InterestPoint& point = read.interestPoints[0][0];
  EXPECT_EQ(bits(point.score), bits(0.1 + 0.2));
  EXPECT_EQ(bits(point.u), bits(1.0 / 3.0));
  EXPECT_EQ(bits(point.v), bits(-0.0));
  EXPECT_EQ(bits(point.leftU), bits(4.9e-324));
  EXPECT_EQ(read.interestPoints.size(), 2U);
  EXPECT_EQ(read.interestPointCounts, original.interestPointCounts);
  EXPECT_TRUE(read.nonLinearHomographies.empty());
  EXPECT_EQ(read.robustNonLinearHomographies, original.robustNonLinearHomographies);
  EXPECT_EQ(read.photometricQualities[0].maxDisagreement, 0.125);
  EXPECT_FALSE(read.photometricQualities[1].maxDisagreement);
  EXPECT_EQ(read.photometricQualities[1].status, PhotometricStatus::TooFewPixels);
  EXPECT_TRUE(std::isinf(read.photometricQualities[1].disparitySd));
  EXPECT_EQ(read.detectedFrom, original.detectedFrom);
  EXPECT_EQ(read.verdictEstimate, 4);
  EXPECT_TRUE(read.pointsDetected && !read.pointsMatched && read.homographiesEstimated);
  EXPECT_NE(text.find("# polygone 1 : fiable\n"), std::string::npos) << text;
  EXPECT_NE(text.find("# polygone 2 : rejeté"), std::string::npos) << text;
}

// Results for other polygons, from a later format, cut anywhere or altered are refused as such.
TEST(ResultsText, RefusesOtherPolygonsLaterVersionsAndDamagedTexts) {
  const std::string text = resultsText(awkwardResults(), kPolygons);
  const auto refusal = [](std::string_view candidate, std::uint64_t polygons = kPolygons) {
    auto parsed = parseResultsText(candidate, polygons);
    return std::holds_alternative<ResultsRefusal>(parsed)
               ? std::optional(std::get<ResultsRefusal>(parsed))
               : std::nullopt;
  };
  EXPECT_EQ(refusal(text, kPolygons + 1), ResultsRefusal::OtherPolygons);
  EXPECT_EQ(refusal("plk-resultats 2\nautre chose"), ResultsRefusal::NewerVersion);
  for (std::size_t length = 0; length + 1 < text.size(); ++length) {
    EXPECT_EQ(refusal(text.substr(0, length)), ResultsRefusal::Malformed) << length;
  }
  for (const auto& [from, to] :
       {std::pair{"estimation_des_verdicts 4", "estimation_des_verdicts 5"},
        std::pair{"etapes 1 0 1", "etapes 1 2 1"}, std::pair{"liste 1", "liste 2"},
        std::pair{"0.7", "0,7"}, std::pair{"\nfin\n", "\nfin\nfin\n"}}) {
    std::string altered = text;
    const std::size_t at = altered.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    altered.replace(at, std::string_view(from).size(), to);
    EXPECT_EQ(refusal(altered), ResultsRefusal::Malformed) << to;
  }
}

}  // namespace
}  // namespace plk
