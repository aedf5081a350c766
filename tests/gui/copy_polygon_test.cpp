#include <QAction>
#include <QKeyEvent>
#include <QUndoStack>
#include <random>

#include "shell_fixture.h"
#include "views/image.h"

namespace plk::test {
namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 90;
constexpr int kShift = 7;  // the left pixel (u, v) is the right pixel (u, v - 7)

// A textured pair: the right image is the left one moved 7 columns to the left.
QString writeTexture(const QString& path, int shift) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> grey(0, 255);
  std::vector<int> texture(static_cast<std::size_t>(kWidth + kShift) * kHeight);
  for (int& level : texture) level = grey(random);
  QImage image(kWidth, kHeight, QImage::Format_Indexed8);
  QList<QRgb> palette;
  for (int i = 0; i < 256; ++i) palette << qRgb(i, i, i);
  image.setColorTable(palette);
  for (int r = 0; r < kHeight; ++r) {
    for (int c = 0; c < kWidth; ++c) {
      image.setPixel(c, r, static_cast<uint>(texture[static_cast<std::size_t>(r) * (kWidth + kShift) +
                                                     static_cast<std::size_t>(c + shift)]));
    }
  }
  EXPECT_TRUE(image.save(path, "BMP"));
  return path;
}

class CopyPolygonTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    leftPath = writeTexture(path(QStringLiteral("tl.bmp")), 0);
    rightPath = writeTexture(path(QStringLiteral("tr.bmp")), kShift);
    ASSERT_TRUE(openProject());
  }

  static void addQuad(PolygonList& polygons, double top, double left, double bottom, double right) {
    Polygone& quad = polygons.appendPolygon();
    Sommet* first = polygons.createVertex(top, left);
    quad.sommets = {first, polygons.createVertex(top, right), polygons.createVertex(bottom, right),
                    polygons.createVertex(bottom, left), first};
  }

  static void pressC(TFImage& window) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, QStringLiteral("c"));
    QCoreApplication::sendEvent(&window, &press);
  }
};

// Key C on the left window places the partner by the disparity that aligns the pixels, shares
// nothing it should not, and is one undo step; a second press finds nothing more to copy.
TEST_F(CopyPolygonTest, TheCopyLandsOnTheShiftedPixelsAsOneUndoStep) {
  Project& project = *main().project();
  addQuad(project.left.polygons, 20, 30, 60, 80);
  pressC(*main().leftWindow());
  ASSERT_EQ(project.right.polygons.size(), 1U);
  const Polygone& copy = project.right.polygons[0];
  ASSERT_TRUE(copy.isClosed());
  const Polygone& original = project.left.polygons[0];
  ASSERT_EQ(copy.sommets.size(), original.sommets.size());
  for (std::size_t i = 0; i < copy.sommets.size(); ++i) {
    EXPECT_NEAR(copy.sommets[i]->U, original.sommets[i]->U, 0.5) << i;
    EXPECT_NEAR(copy.sommets[i]->V, original.sommets[i]->V - kShift, 0.5) << i;
  }
  EXPECT_EQ(main().session().history().undoStack().undoText(), QStringLiteral("copie du polygone"));

  pressC(*main().leftWindow());
  EXPECT_EQ(project.right.polygons.size(), 1U);
  EXPECT_EQ(prompts.errors.size(), 1);

  main().session().history().undo();
  EXPECT_EQ(project.right.polygons.size(), 0U);
}

// From the right image the copy goes the other way; a corner carried past the border is clamped
// and snapped to it as a click there would be.
TEST_F(CopyPolygonTest, TheReverseCopyIsClampedAndSnappedToTheBorder) {
  Project& project = *main().project();
  addQuad(project.right.polygons, 10, 90, 40, 115);
  main().findChild<QAction*>(QStringLiteral("CopierVersGauche1"))->trigger();
  ASSERT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
  ASSERT_EQ(project.left.polygons.size(), 1U);
  const Polygone& copy = project.left.polygons[0];
  const Polygone& original = project.right.polygons[0];
  ASSERT_EQ(copy.sommets.size(), original.sommets.size());
  for (std::size_t i = 0; i + 1 < copy.sommets.size(); ++i) {
    const Sommet& corner = *copy.sommets[i];
    const double expected = original.sommets[i]->V + kShift;
    EXPECT_NEAR(corner.U, original.sommets[i]->U, 0.5) << i;
    if (expected > kWidth - 5) {
      EXPECT_EQ(corner.V, kWidth - 1) << i;
      EXPECT_TRUE(corner.BordV) << i;
    } else {
      EXPECT_NEAR(corner.V, expected, 0.5) << i;
      EXPECT_FALSE(corner.BordV) << i;
    }
  }
}

}  // namespace
}  // namespace plk::test
