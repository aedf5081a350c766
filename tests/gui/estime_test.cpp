#include "tools/estime.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include "numeric/optim.h"
#include "shell/rapport.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

class EstimeTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    setOptimLogEnabled(false);
    dialog = std::make_unique<TFEstime>(main(), prompts);
  }
  void TearDown() override { setOptimLogEnabled(true); }

  QLineEdit* edit(const char* name) const { return dialog->findChild<QLineEdit*>(name); }
  void start() const {
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
  }

  // One left triangle whose six matches follow a translation by (2, -3).
  void matchTheTriangle() {
    ASSERT_TRUE(openProject());
    Project& project = *main().project();
    addTriangle(project.left.polygons);
    const double points[6][2] = {{12, 25}, {14, 60}, {30, 30}, {40, 90}, {60, 28}, {90, 35}};
    InterestPointList matches;
    for (const auto& point : points) {
      matches.push_back({0, 0.99, point[0] + 2, point[1] - 3, point[0], point[1]});
    }
    project.results.matches = {matches};
    project.results.pointsMatched = true;
  }

  std::unique_ptr<TFEstime> dialog;
};

TEST_F(EstimeTest, LayoutDefaultsAndFocus) {
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Estimation des homographies"));
  EXPECT_GE(dialog->width(), 389);
  EXPECT_GE(dialog->height(), 123);
  dialog->show();
  for (const QLabel* label : dialog->findChildren<QLabel*>()) {
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
  }
  EXPECT_EQ(edit("Edit1")->text(), QStringLiteral("100"));
  EXPECT_EQ(edit("Edit2")->text(), QStringLiteral("1e-4"));
  QStringList labels;
  for (const QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.contains(
      QStringLiteral("Nombre maximal d'itérations pour l'estimation non linéaire : ")));
  EXPECT_TRUE(labels.contains(QStringLiteral("Tolérance pour ransac : ")));
  dialog->show();
  QApplication::setActiveWindow(dialog.get());
  EXPECT_EQ(dialog->focusWidget(), dialog->findChild<QPushButton*>(QStringLiteral("Button1")));
  dialog->hide();
}

TEST_F(EstimeTest, RefusalsKeepTheDialogOpenAndWriteNothing) {
  dialog->show();
  edit("Edit1")->setText(QStringLiteral("cent"));
  start();
  matchTheTriangle();
  start();
  edit("Edit1")->setText(QStringLiteral("100"));
  edit("Edit2")->setText(QStringLiteral("tol"));
  start();
  EXPECT_EQ(prompts.errors,
            (QStringList{
                QStringLiteral("Des points d'intérêt appariés sont nécessaires pour cette étape."),
                QStringLiteral("Le nombre d'itérations n'est pas une valeur correcte."),
                QStringLiteral("La tolérance ransac n'est pas une valeur correcte.")}));
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(shell->rapport().lines().isEmpty());
  EXPECT_FALSE(main().project()->results.homographiesEstimated);
}

TEST_F(EstimeTest, RunFillsTheTablesWritesTheReportAndCloses) {
  matchTheTriangle();
  dialog->show();
  edit("Edit2")->setText(QStringLiteral("0.01"));
  start();
  EXPECT_TRUE(prompts.errors.isEmpty());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const ToolResults& results = main().project()->results;
  EXPECT_TRUE(results.homographiesEstimated);
  EXPECT_EQ(results.inlierMatches.at(0).size(), 6U);
  const QStringList lines = shell->rapport().lines();
  ASSERT_GT(lines.size(), 8);
  EXPECT_EQ(lines[4], QStringLiteral("  Tolérance ransac : 0.01"));
  EXPECT_EQ(lines[6], QStringLiteral("  --> Polygone 1/1"));
  // The matrix entry is one report entry shown as three lines: LF CR is one line break.
  EXPECT_TRUE(lines[8].startsWith(QStringLiteral("        [ ")));
  EXPECT_TRUE(lines[9].startsWith(QStringLiteral("          ")));
  EXPECT_TRUE(lines[10].endsWith(QStringLiteral(" ]")));
  EXPECT_EQ(lines[11], QStringLiteral(" "));
}

// The listing follows the run: the triangle's six matches, a little off the translation so that
// the fit is not exact, are all inliers, too few for the default estimate to be called reliable,
// and the verdict shows beside the polygon's number.
TEST_F(EstimeTest, TheListingShowsEachPolygonsVerdictAfterTheRun) {
  matchTheTriangle();
  const double offsets[6] = {0.03, -0.02, 0.01, -0.03, 0.02, -0.01};
  InterestPointList& matches = main().project()->results.matches[0];
  for (std::size_t i = 0; i < matches.size(); ++i) matches[i].v += offsets[i];
  dialog->show();
  edit("Edit2")->setText(QStringLiteral("0.01"));
  start();
  EXPECT_TRUE(
      listing().contains(QStringLiteral("    1 (libre) : à vérifier (6 inliers, moins de 8)\n")))
      << listing().toStdString();
}

}  // namespace
}  // namespace plk::test
