#pragma once

#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace plk {

// Frame rectangles of the windows of a session: the main window, the report and the two images.
struct WindowLayout {
  QRect main;
  QRect report;
  QRect left;
  QRect right;
};

// Lays the windows out on a screen's available area: the main window at the top of a column on
// the left and the report below it down to the bottom; the image windows side by side at the top
// of the rest of the width, the left image on the left, each as large as `imageFrame` (its image
// at zoom 1 with the frame) but no larger than half that width. No two rectangles meet.
[[nodiscard]] WindowLayout layOutWindows(const QRect& available, QSize mainFrame, QSize imageFrame);

// The size of a window with its frame; the frame is assumed typical until the window system has
// reported it.
[[nodiscard]] QSize frameSizeFor(const QWidget& window, QSize clientSize);

// Places a window and sizes it (unless its size is fixed) so that its frame covers `frame`.
void placeWindow(QWidget& window, const QRect& frame);

// The frames last given to the windows, kept in the user's settings under `key`.
void rememberFrame(const QString& key, const QWidget& window);
// The frame remembered under `key` when it lies wholly on `available`; an empty one otherwise.
[[nodiscard]] QRect rememberedFrame(const QString& key, const QRect& available);

}  // namespace plk
