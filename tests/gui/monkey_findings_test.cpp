#include <QApplication>
#include <QMouseEvent>
#include <QToolButton>

#include "shell_fixture.h"

namespace plk::test {
namespace {

// Faults the GUI monkey found, each replayed here as the user's steps.
class MonkeyFindingsTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ASSERT_TRUE(openProject());
  }
  QWidget* surface() const { return main().leftWindow()->paintBox(); }
  void choose(const char* button) const { main().findChild<QToolButton*>(button)->click(); }
  void send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) const {
    QMouseEvent event(type, QPointF(at), QPointF(surface()->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(surface(), &event);
  }
  void click(QPoint at, Qt::MouseButton button = Qt::LeftButton) const {
    send(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, at, button, button);
    send(QEvent::MouseButtonRelease, at, button, Qt::NoButton);
  }
};

// The vertex jumps onto the border when the button goes up; the listing showed the column under
// the pointer until the next pointer move.
TEST_F(MonkeyFindingsTest, ADragReleasedNearTheBorderIsListedWhereTheVertexLands) {
  choose("SpeedButtonAdd");
  click(QPoint(10, 12));
  click(QPoint(10, 12), Qt::RightButton);
  choose("SpeedButtonMove");
  send(QEvent::MouseMove, QPoint(10, 12), Qt::NoButton, Qt::NoButton);
  send(QEvent::MouseButtonPress, QPoint(10, 12), Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, QPoint(37, 12), Qt::NoButton, Qt::LeftButton);
  EXPECT_TRUE(listing().contains(QStringLiteral("( 12.0  37.0) ")));
  send(QEvent::MouseButtonRelease, QPoint(37, 12), Qt::LeftButton, Qt::NoButton);
  QCoreApplication::processEvents();
  EXPECT_EQ(main().project()->left.polygons[0].sommets[0]->V, 39.0);
  EXPECT_TRUE(listing().contains(QStringLiteral("( 12.0  39.0) "))) << listing().toStdString();
}

}  // namespace
}  // namespace plk::test
