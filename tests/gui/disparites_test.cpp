#include "tools/disparites.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "shell/rapport.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

// The dialog on an open 40 x 30 project with one left rectangle that a shift of 4.5 columns
// carries into the right rectangle, run from the temporary folder as working folder.
class DisparitesTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ASSERT_TRUE(openProject());
    previousFolder = QDir::currentPath();
    QDir::setCurrent(folder.path());
    addRectangle(main().project()->left.polygons, 2, 10, 20, 30);
    addRectangle(main().project()->right.polygons, 2, 0, 20, 26);
    dialog = std::make_unique<TFDisparites>(main(), prompts);
    dialog->show();
  }
  void TearDown() override {
    dialog.reset();
    QDir::setCurrent(previousFolder);
  }

  static void addRectangle(PolygonList& list, double u0, double v0, double u1, double v1) {
    Polygone& polygon = list.appendPolygon();
    Sommet* first = list.createVertex(u0, v0);
    polygon.sommets = {first, list.createVertex(u0, v1), list.createVertex(u1, v1),
                       list.createVertex(u1, v0), first};
  }

  void estimate() {
    const Homography shift{1, 0, 0, 0, 1, -4.5, 0, 0, 1};
    ToolResults& results = main().project()->results;
    results.linearHomographies = {shift};
    results.nonLinearHomographies = {shift};
    results.robustHomographies = {Homography{}};
    results.robustNonLinearHomographies = {shift};
  }

  void type(const char* field, const QString& text) {
    dialog->findChild<QLineEdit*>(QString::fromLatin1(field))->setText(text);
  }
  void start() { dialog->findChild<QPushButton*>(QStringLiteral("Button1"))->click(); }

  QString previousFolder;
  std::unique_ptr<TFDisparites> dialog;
};

TEST_F(DisparitesTest, DefaultsAndHomographyChoices) {
  EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("Edit1"))->text(), QStringLiteral("1"));
  EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("Edit2"))->text(), QStringLiteral("1000"));
  EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("Edit3"))->text(), QStringLiteral("8"));
  QStringList items;
  QString checked;
  for (const QRadioButton* button : dialog->findChildren<QRadioButton*>()) {
    items << button->text();
    if (button->isChecked()) checked = button->text();
  }
  EXPECT_EQ(items, (QStringList{QStringLiteral("Linéaire"), QStringLiteral("Non linéaire"),
                                QStringLiteral("Robuste"), QStringLiteral("Robuste + non linéaire"),
                                QStringLiteral("Photométrique")}));
  EXPECT_EQ(checked, QStringLiteral("Robuste + non linéaire"));
}

TEST_F(DisparitesTest, EveryRefusalShowsItsMessageWritesNothingAndKeepsTheDialogOpen) {
  type("Edit1", QStringLiteral("x"));
  start();
  estimate();
  start();
  type("Edit1", QStringLiteral("0"));
  start();
  type("Edit1", QStringLiteral("100000"));
  start();
  type("Edit1", QStringLiteral("2"));
  type("Edit2", QStringLiteral("-1"));
  start();
  type("Edit2", QStringLiteral("1000"));
  type("Edit3", QStringLiteral("8,5"));
  start();
  const QString factor = QStringLiteral("Le facteur de résolution n'est pas une valeur correcte.");
  EXPECT_EQ(prompts.errors,
            (QStringList{
                QStringLiteral("Le calcul des homographies est nécessaire pour cette étape."),
                factor, factor, factor,
                QStringLiteral("Le coefficient multiplicatif RVB n'est pas une valeur correcte."),
                QStringLiteral("Le coefficient multiplicatif niveaux de gris n'est pas une "
                               "valeur correcte.")}));
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(shell->rapport().lines().join(QString()).trimmed().isEmpty());
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("carte.bmp"))));
}

TEST_F(DisparitesTest, ARunReportsItsFieldsAndWritesTheFiveFiles) {
  estimate();
  type("Edit1", QStringLiteral("2"));
  dialog->findChild<QButtonGroup*>()->button(1)->click();
  start();
  EXPECT_TRUE(prompts.errors.isEmpty());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const QStringList report = shell->rapport().lines();
  const QString rule(52, QLatin1Char('='));
  const QStringList expected{rule,
                             QStringLiteral("=========== Calcul des disparités =============="),
                             rule,
                             QStringLiteral("  Facteur de résolution des calculs : 2"),
                             QStringLiteral("  Coefficient multiplicatif RVB : 1000"),
                             QStringLiteral("  Coefficient multiplicatif niveaux de gris : 8"),
                             QStringLiteral("  Homographie choisie : estimation non linéaire"),
                             QString()};
  EXPECT_EQ(report.mid(report.indexOf(rule)), expected);

  const QImage fine(path(QStringLiteral("carte.bmp")));
  EXPECT_EQ(fine.size(), QSize(80, 60));
  const QImage map(path(QStringLiteral("carte1.bmp")));
  const QImage grey(path(QStringLiteral("carte1gris.bmp")));
  const QImage occlusions(path(QStringLiteral("carte1occ.bmp")));
  ASSERT_EQ(map.size(), QSize(40, 30));
  // E = 4500: blue 0, green 17, red 148; grey 8 x 4.5 = 36.
  EXPECT_EQ(map.pixel(15, 10), qRgb(148, 17, 0));
  EXPECT_EQ(grey.pixel(15, 10), qRgb(36, 36, 36));
  EXPECT_EQ(occlusions.pixel(15, 10), qRgb(0, 0, 0));
  EXPECT_EQ(map.pixel(5, 10), qRgb(0, 0, 0));
  EXPECT_EQ(occlusions.pixel(5, 10), qRgb(255, 255, 255));
  const QByteArray text = fileBytes(path(QStringLiteral("disparites.txt")));
  const QList<QByteArray> lines = text.split('\n');
  ASSERT_EQ(lines.size(), 31);
  EXPECT_TRUE(text.endsWith(" \r\n"));
  EXPECT_EQ(lines[10].split(' ')[15], QByteArray("4.5"));
  EXPECT_EQ(lines[10].count(' '), 40);
}

TEST_F(DisparitesTest, AFileThatCannotBeWrittenIsReportedAndTheDialogStaysOpen) {
  estimate();
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("carte1.bmp")));
  start();
  ASSERT_EQ(prompts.errors.size(), 1);
  EXPECT_TRUE(prompts.errors[0].contains(QStringLiteral("carte1.bmp")));
  EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
}  // namespace plk::test
