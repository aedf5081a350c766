#pragma once

#include <QScreen>
#include <QWidget>

namespace plk {

// Places a window at the centre of its screen's available area.
inline void centreOnScreen(QWidget& window) {
  window.move(window.screen()->availableGeometry().center() - window.rect().center());
}

}  // namespace plk
