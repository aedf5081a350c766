#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "io/locale.h"
#include "qt_locale_scope.h"
#include "scripted_prompts.h"
#include "shell/main.h"
#include "shell/new.h"
#include "shell/shell.h"

namespace plk::test {

// Writes a grey 8-bit BMP (palette-indexed, grey palette) whose pixel code is (row + column) % 256.
inline QString writeGreyBmp(const QString& path, int width, int height) {
  QImage image(width, height, QImage::Format_Indexed8);
  QList<QRgb> palette;
  for (int i = 0; i < 256; ++i) palette << qRgb(i, i, i);
  image.setColorTable(palette);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) image.setPixel(c, r, static_cast<uint>((r + c) % 256));
  }
  EXPECT_TRUE(image.save(path, "BMP"));
  return path;
}

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The whole set of windows on scripted prompts, under the locale the test chooses (C unless it
// says otherwise, whatever the environment's), and a temporary folder holding the help text,
// l.bmp and r.bmp (40 x 30).
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    locale.emplace(testLocale());
    ASSERT_TRUE(locale->active()) << "the test run generates " << kFrenchLocale;
    ASSERT_TRUE(folder.isValid());
    QFile help(path(QStringLiteral("aide.txt")));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("Aide de test\r\n");
    help.close();
    leftPath = writeGreyBmp(path(QStringLiteral("l.bmp")), 40, 30);
    rightPath = writeGreyBmp(path(QStringLiteral("r.bmp")), 40, 30);
    startShell();
  }

  virtual TestLocale testLocale() const { return TestLocale::C; }
  // The separator the program reads from the locale, as at start-up.
  virtual NumberFormat format() const { return io::systemNumberFormat(); }

  // A new run of the program on the same folders, as after quitting or a crash: the windows of
  // the previous run go without the closing questions.
  void startShell() {
    shell.reset();
    shell =
        std::make_unique<Shell>(prompts, format(), QStringList{folder.path()}, recoveryFolder());
  }
  // Where the program keeps the recovery copy of a project never saved.
  [[nodiscard]] QString recoveryFolder() const { return path(QStringLiteral("appdata")); }

  [[nodiscard]] QString path(const QString& name) const {
    return QDir(folder.path()).filePath(name);
  }
  [[nodiscard]] TFMain& main() const { return shell->main(); }

  QAction* action(const char* name) const { return main().findChild<QAction*>(name); }

  bool openProject(const QString& name = QStringLiteral("scene")) {
    shell->newProject().setFields(name, leftPath, rightPath);
    return main().session().createProjectFromImages();
  }

  // The listing as shown once the events under way are processed: it follows the polygons once
  // per turn of the event loop.
  [[nodiscard]] QString listing() const {
    QCoreApplication::processEvents();
    return main().findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
  }

  // A change of the polygons recorded as an undo step, as a gesture makes one: the project then
  // differs from its file.
  void makeUnsavedChange() {
    main().beginPolygonEdit();
    addTriangle(main().project()->left.polygons);
    main().endPolygonEdit(QStringLiteral("ajout du triangle"));
  }

  // The closed triangle (10,20), (10,200), (150,20) on the left side.
  void addTriangle(PolygonList& polygons) {
    Polygone& triangle = polygons.appendPolygon();
    Sommet* first = polygons.createVertex(10, 20);
    triangle.sommets = {first, polygons.createVertex(10, 200), polygons.createVertex(150, 20),
                        first};
  }

  std::optional<ScopedLocale> locale;  // first member: restored after the windows are gone
  QTemporaryDir folder;
  ScriptedPrompts prompts;
  QString leftPath;
  QString rightPath;
  std::unique_ptr<Shell> shell;
};

}  // namespace plk::test
