#include "core/freshness.h"

#include <gtest/gtest.h>

namespace plk {
namespace {

void addSquare(PolygonList& list, double u, double v) {
  Polygone& polygon = list.appendPolygon();
  Sommet* first = list.createVertex(u, v);
  polygon.sommets = {first, list.createVertex(u, v + 5), list.createVertex(u + 5, v + 5),
                     list.createVertex(u + 5, v), first};
}

// What makes a polygon's results out of date, for each kind of inputs: its own outline and
// those before it, in the left image only or in both; not a later polygon, not a lock.
TEST(Freshness, ChangesUpToAPolygonMakeItsResultsOutOfDate) {
  Project project;
  for (int k = 0; k < 3; ++k) {
    addSquare(project.left.polygons, 10.0 * k, 0);
    addSquare(project.right.polygons, 10.0 * k, 1);
  }
  std::vector<std::uint64_t> left;
  std::vector<std::uint64_t> both;
  recordFingerprints(left, project, ResultInputs::LeftOutlines);
  recordFingerprints(both, project, ResultInputs::BothOutlines);
  const auto outOfDate = [&](const std::vector<std::uint64_t>& recorded, ResultInputs inputs) {
    return outOfDatePolygons(recorded, project, inputs, project.left.polygons.size());
  };
  using Numbers = std::vector<std::size_t>;
  EXPECT_EQ(outOfDate(both, ResultInputs::BothOutlines), Numbers{});

  Sommet& corner = *project.right.polygons[1].sommets[2];
  corner.V += 0.25;
  EXPECT_EQ(outOfDate(left, ResultInputs::LeftOutlines), Numbers{});
  EXPECT_EQ(outOfDate(both, ResultInputs::BothOutlines), (Numbers{2, 3}));
  project.left.polygons[2].locked = true;
  EXPECT_EQ(outOfDate(both, ResultInputs::BothOutlines), (Numbers{2}));
  corner.V -= 0.25;
  EXPECT_EQ(outOfDate(both, ResultInputs::BothOutlines), Numbers{});

  project.left.polygons[2].locked = false;
  addSquare(project.left.polygons, 40, 0);
  EXPECT_EQ(outOfDate(left, ResultInputs::LeftOutlines), Numbers{});
  const std::vector<Sommet*> firstCorners = project.left.polygons[0].sommets;
  for (std::size_t i = 0; i + 1 < firstCorners.size(); ++i) {
    (void)project.left.polygons.deleteVertex(firstCorners[i]);
  }
  EXPECT_EQ(outOfDate(left, ResultInputs::LeftOutlines), (Numbers{1, 2, 3}));
  EXPECT_EQ(outOfDateMessage("homographies", {2}, "l'estimation"),
            "Les homographies ne correspondent plus au polygone 2 : relancez l'estimation.");
  EXPECT_EQ(outOfDateMessage("points d'intérêt", {1, 2, 3}, "la détection"),
            "Les points d'intérêt ne correspondent plus aux polygones 1, 2 et 3 : relancez la "
            "détection.");
}

}  // namespace
}  // namespace plk
