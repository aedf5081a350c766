#include <QAction>
#include <QScreen>
#include <array>

#include "shell/rapport.h"
#include "shell_fixture.h"
#include "ui/window_layout.h"
#include "views/image.h"

namespace plk::test {
namespace {

std::array<QRect, 4> framesOf(const WindowLayout& layout) {
  return {layout.main, layout.report, layout.left, layout.right};
}

// Every window lies on the screen, none covers another, and the left image is on the left.
void expectTiled(const WindowLayout& layout, const QRect& screen) {
  const auto frames = framesOf(layout);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_FALSE(frames[i].isEmpty()) << i;
    EXPECT_TRUE(screen.contains(frames[i])) << i;
    for (std::size_t j = i + 1; j < frames.size(); ++j) {
      EXPECT_FALSE(frames[i].intersects(frames[j])) << i << " meets " << j;
    }
  }
  EXPECT_LT(layout.left.right(), layout.right.left());
}

TEST(WindowLayout, TilesTheScreenAtEverySizeAndForEveryImage) {
  const QSize mainFrame(344, 370);
  for (const QRect& screen : {QRect(0, 0, 1280, 800), QRect(0, 0, 2560, 1440),
                              QRect(1920, 24, 1280, 776)}) {
    for (const QSize& imageFrame : {QSize(466, 415), QSize(3016, 2040)}) {
      const WindowLayout layout = layOutWindows(screen, mainFrame, imageFrame);
      expectTiled(layout, screen);
      EXPECT_EQ(layout.main.size(), mainFrame);
      EXPECT_LE(layout.left.width(), imageFrame.width());
    }
  }
}

class WindowPlacementTest : public ShellTest {
 protected:
  [[nodiscard]] WindowLayout shown() const {
    return {main().frameGeometry(), shell->rapport().frameGeometry(),
            main().leftWindow()->frameGeometry(), main().rightWindow()->frameGeometry()};
  }
};

// A project opens with its windows tiled; the places they had when it closed come back with the
// next project, and "Disposer les fenêtres" tiles them again.
TEST_F(WindowPlacementTest, WindowsAreTiledRememberedAndArrangedAgain) {
  ASSERT_TRUE(openProject());
  const QRect screen = main().screen()->availableGeometry();
  expectTiled(shown(), screen);

  const QPoint moved = screen.topLeft() + QPoint(5, 7);
  main().rightWindow()->move(moved);
  main().session().closeProject();
  ASSERT_TRUE(openProject());
  EXPECT_EQ(main().rightWindow()->frameGeometry().topLeft(), moved);

  action("Disposerlesfenetres1")->trigger();
  expectTiled(shown(), screen);
}

}  // namespace
}  // namespace plk::test
