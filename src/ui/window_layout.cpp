#include "ui/window_layout.h"

#include <QSettings>
#include <QWidget>
#include <algorithm>

#include "ui/user_settings.h"

namespace plk {

namespace {

// Frame assumed before the window system reports one (title bar and borders).
const QMargins kTypicalFrame(8, 32, 8, 8);

QMargins frameMargins(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  const QRect client = window.geometry();
  const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                         frame.right() - client.right(), frame.bottom() - client.bottom());
  return margins.isNull() ? kTypicalFrame : margins;
}

QString settingsKey(const QString& key) { return QStringLiteral("fenetres/") + key; }

}  // namespace

WindowLayout layOutWindows(const QRect& available, QSize mainFrame, QSize imageFrame) {
  WindowLayout layout;
  const int columnWidth = std::min(mainFrame.width(), available.width());
  const int mainHeight = std::min(mainFrame.height(), available.height());
  layout.main = QRect(available.topLeft(), QSize(columnWidth, mainHeight));
  layout.report = QRect(available.left(), available.top() + mainHeight, columnWidth,
                        available.height() - mainHeight);
  const int half = (available.width() - columnWidth) / 2;
  const QSize imageSize = imageFrame.boundedTo(QSize(half, available.height()));
  layout.left = QRect(QPoint(available.left() + columnWidth, available.top()), imageSize);
  layout.right = QRect(layout.left.topRight() + QPoint(1, 0), imageSize);
  return layout;
}

QSize frameSizeFor(const QWidget& window, QSize clientSize) {
  return clientSize.grownBy(frameMargins(window));
}

// The client area is placed rather than the frame: before the window system has framed a new
// window, a move would put its client where its frame should go and its title bar off the screen.
void placeWindow(QWidget& window, const QRect& frame) {
  const QMargins margins = frameMargins(window);
  const bool fixedSize = window.minimumSize() == window.maximumSize();
  const QSize client = fixedSize ? window.size() : frame.size().shrunkBy(margins);
  window.setGeometry(QRect(frame.topLeft() + QPoint(margins.left(), margins.top()), client));
}

void rememberFrame(const QString& key, const QWidget& window) {
  userSettings().setValue(settingsKey(key), window.frameGeometry());
}

QRect rememberedFrame(const QString& key, const QRect& available) {
  const QRect frame = userSettings().value(settingsKey(key)).toRect();
  return frame.isValid() && available.contains(frame) ? frame : QRect();
}

}  // namespace plk
