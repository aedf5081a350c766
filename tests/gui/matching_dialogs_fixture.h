#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QRgb>

#include "shell/rapport.h"
#include "shell_fixture.h"

namespace plk::test {

// An open project on the Sawtooth pair (434 x 380) with the given tool dialog shown.
template <typename Dialog>
class MatchingDialogTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    const QString scene = QStringLiteral(PLK_TESTDATA_DIR "/middlebury2001/sawtooth/");
    shell->newProject().setFields(QStringLiteral("dents"), scene + QStringLiteral("left.bmp"),
                                  scene + QStringLiteral("right.bmp"));
    ASSERT_TRUE(main().session().createProjectFromImages());
    dialog = std::make_unique<Dialog>(main(), prompts);
    dialog->show();
  }
  void TearDown() override { dialog.reset(); }

  [[nodiscard]] Project& project() const { return *main().project(); }

  static void addBox(PolygonList& list, double u0, double v0, double u1, double v1) {
    Polygone& polygon = list.appendPolygon();
    Sommet* first = list.createVertex(u0, v0);
    polygon.sommets = {first, list.createVertex(u0, v1), list.createVertex(u1, v1),
                       list.createVertex(u1, v0), first};
  }

  [[nodiscard]] QLineEdit* field(const char* name) const {
    return dialog->template findChild<QLineEdit*>(QString::fromLatin1(name));
  }
  void type(const char* name, const QString& text) { field(name)->setText(text); }
  void start() { dialog->template findChild<QPushButton*>(QStringLiteral("Button1"))->click(); }

  // The report from its first rule on.
  [[nodiscard]] QStringList reportBlock() const {
    const QStringList lines = shell->rapport().lines();
    const qsizetype first = lines.indexOf(QString(52, QLatin1Char('=')));
    return first < 0 ? QStringList() : lines.mid(first);
  }

  // Pixels of exactly this colour in an image window's picture.
  static int pixelsOf(const QImage& picture, QRgb colour) {
    int count = 0;
    for (int y = 0; y < picture.height(); ++y) {
      for (int x = 0; x < picture.width(); ++x) count += picture.pixel(x, y) == colour ? 1 : 0;
    }
    return count;
  }

  std::unique_ptr<Dialog> dialog;
};

}  // namespace plk::test
