#include "ui/window_layout.h"

#include <QSettings>
#include <QWidget>
#include <algorithm>

#include "ui/user_settings.h"

namespace plk {

namespace {

// Frame assumed before the window system reports one (title bar and borders).
const QSize kTypicalFrame(16, 40);

QSize frameMargins(const QWidget& window) {
  const QSize margins = window.frameGeometry().size() - window.size();
  return margins.isEmpty() ? kTypicalFrame : margins;
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
  layout.right = QRect(QPoint(available.left() + columnWidth + half, available.top()), imageSize);
  return layout;
}

QSize frameSizeFor(const QWidget& window, QSize clientSize) {
  return clientSize + frameMargins(window);
}

void placeWindow(QWidget& window, const QRect& frame) {
  window.move(frame.topLeft());
  if (window.minimumSize() == window.maximumSize()) return;
  window.resize(frame.size() - frameMargins(window));
}

void rememberFrame(const QString& key, const QWidget& window) {
  userSettings().setValue(settingsKey(key), window.frameGeometry());
}

QRect rememberedFrame(const QString& key, const QRect& available) {
  const QRect frame = userSettings().value(settingsKey(key)).toRect();
  return frame.isValid() && available.contains(frame) ? frame : QRect();
}

}  // namespace plk
