#include "core/listing.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace plk {
namespace {

constexpr NumberFormat kPoint{'.'};
constexpr NumberFormat kComma{','};

Polygone& addPolygon(PolygonList& list, const std::vector<std::pair<double, double>>& corners,
                     bool closed) {
  Polygone& polygon = list.appendPolygon();
  for (const auto& [u, v] : corners) polygon.sommets.push_back(list.createVertex(u, v));
  if (closed) polygon.sommets.push_back(polygon.sommets.front());
  return polygon;
}

// The lines an update's edits make of the lines before it, applied in the order given.
std::vector<std::string> applied(std::vector<std::string> before, const ListingChange& change,
                                 const std::vector<std::string>& after) {
  if (change.whole) return after;
  for (const ListingEdit& edit : change.edits) {
    const auto at = before.begin() + static_cast<std::ptrdiff_t>(edit.first);
    before.erase(at, at + static_cast<std::ptrdiff_t>(edit.removed));
    const auto from = after.begin() + static_cast<std::ptrdiff_t>(edit.newFirst);
    before.insert(before.begin() + static_cast<std::ptrdiff_t>(edit.first), from,
                  from + static_cast<std::ptrdiff_t>(edit.inserted));
  }
  return before;
}

TEST(PolygonListing, LinesOfBothImagesWithLockedAndEmptyPolygons) {
  PolygonList left;
  PolygonList right;
  addPolygon(left, {{10, 20}, {10, 200}, {150, 20}}, true);
  addPolygon(left, {}, false).locked = true;
  addPolygon(right, {{1.5, 1234.5}}, false);
  PolygonListing listing(kPoint);
  EXPECT_TRUE(listing.update(&left, &right).whole);
  EXPECT_EQ(listing.lines(),
            (std::vector<std::string>{"Image gauche :", "    1 (libre) : ",
                                      "( 10.0  20.0) ( 10.0 200.0) (150.0  20.0) ( 10.0  20.0) ",
                                      "    2 (bloqué) : ", "", " ",
                                      "Image droite :", "    1 (libre) : ", "(  1.5 1234.5) "}));

  PolygonListing commas(kComma);
  (void)commas.update(nullptr, nullptr);
  EXPECT_EQ(commas.lines(), (std::vector<std::string>{"Image gauche :", " ", "Image droite :"}));
  (void)commas.update(&left, &right);
  EXPECT_EQ(commas.lines()[2], "( 10,0  20,0) ( 10,0 200,0) (150,0  20,0) ( 10,0  20,0) ");
}

TEST(PolygonListing, AnEditReportsOnlyTheLinesThatChanged) {
  PolygonList left;
  PolygonList right;
  Polygone& first = addPolygon(left, {{10, 20}, {10, 200}, {150, 20}}, true);
  addPolygon(left, {{50, 60}}, false);
  addPolygon(right, {{5, 5}}, false);
  PolygonListing listing(kPoint);
  (void)listing.update(&left, &right);

  EXPECT_TRUE(listing.update(&left, &right).edits.empty());
  // A move below the shown precision changes no line.
  first.sommets[1]->U = 10.01;
  EXPECT_TRUE(listing.update(&left, &right).edits.empty());

  first.sommets[1]->U = 12;
  right[0].locked = true;
  const ListingChange moved = listing.update(&left, &right);
  EXPECT_FALSE(moved.whole);
  EXPECT_EQ(moved.edits, (std::vector<ListingEdit>{{7, 1, 7, 1}, {2, 1, 2, 1}}));  // last first
  EXPECT_EQ(listing.lines()[7], "    1 (bloqué) : ");

  addPolygon(left, {{1, 2}}, false);
  const ListingChange added = listing.update(&left, &right);
  EXPECT_EQ(added.edits, (std::vector<ListingEdit>{{5, 0, 5, 2}}));
  EXPECT_EQ(listing.lines()[5], "    3 (libre) : ");

  listing.reset();
  EXPECT_TRUE(listing.update(&left, &right).whole);
}

// Random edits of both lists, the kind the mouse tools and the undo make: after each update the
// old lines with the edits applied, and the lines themselves, equal a listing made afresh.
TEST(PolygonListing, EditsTurnTheOldLinesIntoAFreshListing) {
  std::mt19937 random(5);
  PolygonList sides[2];
  PolygonListing listing(kComma);
  (void)listing.update(&sides[0], &sides[1]);
  for (int step = 0; step < 3000; ++step) {
    PolygonList& side = sides[random() % 2];
    const std::size_t count = side.size();
    switch (random() % 6) {
      case 0:
        addPolygon(side, {{random() % 300 * 0.5, random() % 400 * 0.25}}, false);
        break;
      case 1:
        if (count > 0) {
          Polygone& polygon = side[random() % count];
          polygon.sommets.push_back(side.createVertex(random() % 300, random() % 400));
        }
        break;
      case 2:
        if (count > 0) {
          Polygone& polygon = side[random() % count];
          if (!polygon.sommets.empty()) polygon.sommets.front()->V += 1.5;
        }
        break;
      case 3:
        if (count > 0) {
          Polygone& polygon = side[random() % count];
          if (!polygon.sommets.empty()) (void)side.deleteVertex(polygon.sommets.back());
        }
        break;
      case 4:
        if (count > 0) side[random() % count].locked ^= true;
        break;
      default:
        if (random() % 40 == 0) side.clear();
        break;
    }
    const std::vector<std::string> before = listing.lines();
    const ListingChange change = listing.update(&sides[0], &sides[1]);
    PolygonListing fresh(kComma);
    (void)fresh.update(&sides[0], &sides[1]);
    ASSERT_EQ(listing.lines(), fresh.lines()) << "step " << step;
    ASSERT_EQ(applied(before, change, listing.lines()), fresh.lines()) << "step " << step;
  }
}

}  // namespace
}  // namespace plk
