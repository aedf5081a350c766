#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <utility>
#include <vector>

#include "core/editing.h"
#include "core/project.h"
#include "gui/scripted_prompts.h"
#include "views/image.h"
#include "views/image_host.h"

namespace plk::test {

// Records what an image window asks of the main window.
class RecordingHost final : public ImageWindowHost {
 public:
  int listings = 0;
  std::vector<std::pair<int, int>> labels;  // (row, column) of every pointer label
  std::vector<EditMode> chosenModes;
  int editsBegun = 0;
  QStringList edits;  // names of the edits ended, in order

  void listPolygons() override { ++listings; }
  void showPointerPosition(int row, int column) override { labels.emplace_back(row, column); }
  void chooseEditMode(EditMode mode) override { chosenModes.push_back(mode); }
  void copyPolygon(ImageSideKind) override {}
  void beginPolygonEdit() override { ++editsBegun; }
  void endPolygonEdit(const QString& what, VertexStore) override { edits << what; }
};

// Grey level of image pixel (row, column) in the pictures the tests load: neighbouring pixels
// differ, and no level is a drawing colour.
inline int testGrey(int row, int column) { return (row * 7 + column * 13) % 200 + 20; }

// One image window on a grey 8-bit picture saved as BMP, driven with real mouse events.
class ImageWindowTest : public ::testing::Test {
 public:
  QTemporaryDir folder;
  Project project;
  EditingState editing;
  RecordingHost host;
  ScriptedPrompts prompts;
  std::unique_ptr<TFImage> window;

  ImageSide& side() { return kind_ == ImageSideKind::Left ? project.left : project.right; }
  PolygonList& polygons() { return side().polygons; }

  QString writeGreyBmp(int width, int height) {
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int level = 0; level < 256; ++level) palette << qRgb(level, level, level);
    image.setColorTable(palette);
    for (int r = 0; r < height; ++r) {
      uchar* line = image.scanLine(r);
      for (int c = 0; c < width; ++c) line[c] = static_cast<uchar>(testGrey(r, c));
    }
    const QString path = folder.filePath(QStringLiteral("image.bmp"));
    EXPECT_TRUE(image.save(path, "BMP"));
    return path;
  }

  void open(int width, int height, ImageSideKind kind = ImageSideKind::Left) {
    kind_ = kind;
    window = std::make_unique<TFImage>(side(), kind, editing, project.results, host, prompts);
    ASSERT_TRUE(window->loadImage(writeGreyBmp(width, height), QStringLiteral("gauche"),
                                  QStringLiteral("image.bmp")));
    // The scroll area shows or hides its bars through queued calls: let it settle, as the
    // event loop does before the user acts.
    QCoreApplication::processEvents();
  }

  // Surface position of the pixel (row, column) at the current zoom.
  [[nodiscard]] QPoint at(int row, int column) const {
    return {column * window->zoom(), row * window->zoom()};
  }
  // The same position in the paint box's widget coordinates, which equal surface coordinates.
  void moveTo(QPoint surface) { QTest::mouseMove(window->paintBox(), surface); }
  void press(QPoint surface, Qt::MouseButton button = Qt::LeftButton,
             Qt::KeyboardModifiers keys = Qt::NoModifier) {
    QTest::mousePress(window->paintBox(), button, keys, surface);
  }
  void release(QPoint surface, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseRelease(window->paintBox(), button, Qt::NoModifier, surface);
  }
  // A pointer move then a full click, as a user does.
  void click(int row, int column, Qt::MouseButton button = Qt::LeftButton) {
    moveTo(at(row, column));
    press(at(row, column), button);
    release(at(row, column), button);
  }

  // A polygon made directly in the side's list, from (U, V) pairs; closed repeats the first.
  Polygone& makePolygon(std::initializer_list<std::pair<double, double>> corners,
                        bool closed = false) {
    Polygone& polygon = polygons().appendPolygon();
    for (auto [u, v] : corners) polygon.sommets.push_back(polygons().createVertex(u, v));
    if (closed) polygon.sommets.push_back(polygon.sommets.front());
    return polygon;
  }

  [[nodiscard]] QRgb pixel(int x, int y) const { return window->viewBuffer().pixel(x, y); }

 private:
  ImageSideKind kind_ = ImageSideKind::Left;
};

inline const QRgb kYellow = qRgb(255, 255, 0);
inline const QRgb kRed = qRgb(255, 0, 0);
inline const QRgb kBlue = qRgb(0, 0, 255);
inline const QRgb kGreen = qRgb(0, 128, 0);

}  // namespace plk::test
