#include "shell/listing_view.h"

#include <QScrollBar>
#include <random>

#include "shell_fixture.h"

namespace plk::test {
namespace {

constexpr NumberFormat kPoint{'.'};

QString joined(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << QString::fromStdString(line);
  return text.join(QLatin1Char('\n'));
}

// Random edits of both lists: after each, the text box written through the edits reads as a
// listing made afresh. Lines are inserted and removed at the start, in the middle and at the end,
// and empty vertex lines come and go.
TEST(ShowListingChange, TheTextBoxReadsAsAFreshListingAfterEveryEdit) {
  std::mt19937 random(11);
  PolygonList sides[2];
  PolygonListing listing(kPoint);
  QPlainTextEdit memo;
  memo.setUndoRedoEnabled(false);
  showListingChange(memo, listing.update(&sides[0], &sides[1]), listing.lines());
  for (int step = 0; step < 600; ++step) {
    PolygonList& side = sides[random() % 2];
    const std::size_t count = side.size();
    const unsigned choice = random() % 5;
    if (choice == 0 || count == 0) {
      Polygone& polygon = side.appendPolygon();
      if (random() % 3 != 0) polygon.sommets.push_back(side.createVertex(random() % 90, 7));
    } else if (choice == 1) {
      side[random() % count].sommets.push_back(side.createVertex(3, random() % 90));
    } else if (choice == 2) {
      Polygone& polygon = side[random() % count];
      if (!polygon.sommets.empty()) (void)side.deleteVertex(polygon.sommets.front());
    } else if (choice == 3) {
      side[random() % count].locked ^= true;
    } else {
      Polygone& polygon = side[random() % count];
      if (!polygon.sommets.empty()) polygon.sommets.back()->U += 2;
    }
    showListingChange(memo, listing.update(&sides[0], &sides[1]), listing.lines());
    PolygonListing fresh(kPoint);
    (void)fresh.update(&sides[0], &sides[1]);
    ASSERT_EQ(memo.toPlainText(), joined(fresh.lines())) << "step " << step;
  }
}

class ListingTest : public ShellTest {
 protected:
  [[nodiscard]] QPlainTextEdit& memo() const {
    return *main().findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
  }
};

// The listing follows the polygons once the events under way are processed, and only once
// however many changes asked for it.
TEST_F(ListingTest, TheListingIsRewrittenOnTheNextTurnOfTheEventLoop) {
  ASSERT_TRUE(openProject());
  main().listPolygons();
  const QString empty = listing();
  EXPECT_EQ(empty, QStringLiteral("Image gauche :\n \nImage droite :"));
  addTriangle(main().project()->left.polygons);
  main().listPolygons();
  addTriangle(main().project()->left.polygons);
  main().listPolygons();
  EXPECT_EQ(memo().toPlainText(), empty);
  EXPECT_EQ(listing(), QStringLiteral("Image gauche :\n"
                                      "    1 (libre) : \n"
                                      "( 10.0  20.0) ( 10.0 200.0) (150.0  20.0) ( 10.0  20.0) \n"
                                      "    2 (libre) : \n"
                                      "( 10.0  20.0) ( 10.0 200.0) (150.0  20.0) ( 10.0  20.0) \n"
                                      " \n"
                                      "Image droite :"));
}

TEST_F(ListingTest, ARefreshStillWaitingWhenTheProjectClosesLeavesTheListingEmpty) {
  ASSERT_TRUE(openProject());
  addTriangle(main().project()->left.polygons);
  main().listPolygons();
  main().session().closeProject();
  EXPECT_TRUE(listing().isEmpty());
  ASSERT_TRUE(openProject());
  main().listPolygons();
  EXPECT_EQ(listing(), QStringLiteral("Image gauche :\n \nImage droite :"));
}

// Editing one polygon rewrites its line only: the user's place in a long listing is kept.
TEST_F(ListingTest, AnEditKeepsWhereTheListingWasScrolledTo) {
  ASSERT_TRUE(openProject());
  PolygonList& left = main().project()->left.polygons;
  for (int i = 0; i < 200; ++i) addTriangle(left);
  main().listPolygons();
  (void)listing();
  QScrollBar& scroll = *memo().verticalScrollBar();
  scroll.setValue(scroll.maximum());
  const int bottom = scroll.value();
  ASSERT_GT(bottom, 0);
  left[0].sommets[1]->V = 123;
  main().listPolygons();
  EXPECT_TRUE(listing().contains(QStringLiteral("( 10.0 123.0)")));
  EXPECT_EQ(scroll.value(), bottom);
}

}  // namespace
}  // namespace plk::test
