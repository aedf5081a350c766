#include "tools/opti.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QUndoStack>

#include "numeric/optim.h"
#include "numeric/simopt.h"
#include "shell/rapport.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

// The dialog on the shell's main window; the project, when opened, holds a closed triangle on
// the left image (40 x 30, grey level (row + column) % 256).
class OptiTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    setAnnealingClock([] { return 5000U; });
    setOptimLogPath(path(QStringLiteral("optim.log")).toStdString());
    dialog = std::make_unique<TFOpti>(main(), prompts);
  }
  void TearDown() override {
    dialog.reset();
    setOptimLogPath("optim.log");
    setAnnealingClock({});
    ShellTest::TearDown();
  }

  void openWithTriangle() {
    ASSERT_TRUE(openProject());
    PolygonList& left = main().project()->left.polygons;
    Polygone& triangle = left.appendPolygon();
    Sommet* first = left.createVertex(5, 5);
    triangle.sommets = {first, left.createVertex(5, 30), left.createVertex(20, 12), first};
  }

  QLineEdit* edit(const char* name) const { return dialog->findChild<QLineEdit*>(name); }

  void choose(const char* group, const QString& item) const {
    for (QRadioButton* button :
         dialog->findChild<QGroupBox*>(group)->findChildren<QRadioButton*>()) {
      if (button->text() == item) button->click();
    }
  }

  QRadioButton* checkedItem(const char* group) const {
    for (QRadioButton* button :
         dialog->findChild<QGroupBox*>(group)->findChildren<QRadioButton*>()) {
      if (button->isChecked()) return button;
    }
    return nullptr;
  }

  // Presses "Démarrer" on the shown dialog.
  void start() const {
    dialog->show();
    dialog->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
  }

  std::unique_ptr<TFOpti> dialog;
};

TEST_F(OptiTest, CaptionLabelsAndDefaults) {
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Optimisation de la segmentation"));
  EXPECT_EQ(edit("Edit1")->text(), QStringLiteral("1 3 10"));
  EXPECT_EQ(edit("Edit2")->text(), QStringLiteral("0,1"));
  EXPECT_EQ(edit("Edit3")->text(), QStringLiteral("10"));
  EXPECT_EQ(edit("Edit4")->text(), QStringLiteral("6"));
  EXPECT_EQ(edit("Edit5")->text(), QStringLiteral("1000"));
  EXPECT_EQ(dialog->findChild<QGroupBox*>("RadioGroup1")->title(),
            QStringLiteral("Pas d'échantillonage"));
  EXPECT_EQ(checkedItem("RadioGroup1")->text(), QStringLiteral("Adaptatif"));
  EXPECT_EQ(dialog->findChild<QGroupBox*>("RadioGroup2")->title(),
            QStringLiteral("Méthode de recherche des solutions"));
  EXPECT_EQ(checkedItem("RadioGroup2")->text(),
            QStringLiteral("Méthode incomplète à partir de N sommets"));
}

TEST_F(OptiTest, EveryRefusalShowsItsMessageKeepsTheDialogAndWritesNothing) {
  start();
  openWithTriangle();
  const struct {
    const char* field;
    const char* text;
    QString message;
  } refusals[] = {
      {"Edit3", "dix", QStringLiteral("Le nombre d'itérations n'est pas une valeur correcte.")},
      {"Edit5", "-5",
       QStringLiteral("Le nombre d'itérations d'optimisation n'est pas une valeur correcte.")},
      {"Edit4", "N", QStringLiteral("Le nombre de sommets n'est pas une valeur correcte.")},
      {"Edit2", "-1", QStringLiteral("Le pas n'est pas une valeur correcte.")},
      {"Edit1", "1 3 25 x", QStringLiteral("La profondeur n'est pas une valeur correcte.")},
  };
  choose("RadioGroup1", QStringLiteral("Forcé"));
  choose("RadioGroup2", QStringLiteral("Solutions exactes"));
  for (const auto& refusal : refusals) {
    const QString kept = edit(refusal.field)->text();
    edit(refusal.field)->setText(QString::fromUtf8(refusal.text));
    start();
    edit(refusal.field)->setText(kept);
  }
  QStringList expected{QStringLiteral("Au moins un polygone est nécessaire pour cette étape.")};
  for (const auto& refusal : refusals) expected << refusal.message;
  EXPECT_EQ(prompts.errors, expected);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(shell->rapport().isVisible());
  EXPECT_TRUE(shell->rapport().lines().join(QString()).trimmed().isEmpty());

  main().project()->left.polygons[0].sommets.pop_back();
  prompts.errors.clear();
  start();
  EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Au moins un polygone n'est pas fermé.")});
}

TEST_F(OptiTest, LevelTextIsTrimmedAndWrittenBack) {
  openWithTriangle();
  edit("Edit1")->setText(QStringLiteral("  1  3 "));
  start();
  EXPECT_EQ(prompts.errors,
            QStringList{QStringLiteral("La profondeur n'est pas une valeur correcte.")});
  EXPECT_EQ(edit("Edit1")->text(), QStringLiteral("1  3"));
  edit("Edit1")->setText(QStringLiteral(" 1 3 10\t"));
  choose("RadioGroup2", QStringLiteral("Solutions exactes"));
  start();
  EXPECT_EQ(edit("Edit1")->text(), QStringLiteral("1 3 10"));
  EXPECT_TRUE(shell->rapport().lines().contains(QStringLiteral("  Niveaux de précision : 1 3 10")));
}

TEST_F(OptiTest, IncompleteMethodWithoutIterationsRunsTheExactSearch) {
  openWithTriangle();
  const QString before = listing();
  choose("RadioGroup2", QStringLiteral("Méthode incomplète"));
  edit("Edit5")->setText(QStringLiteral("0"));
  edit("Edit1")->setText(QStringLiteral("1"));
  start();
  EXPECT_TRUE(prompts.errors.isEmpty());
  const QStringList lines = shell->rapport().lines();
  EXPECT_TRUE(
      lines.contains(QStringLiteral("  Méthode de recherche des solutions : recherche exacte")));
  EXPECT_FALSE(lines.filter(QStringLiteral("Nombre maximal")).size() > 0);
  EXPECT_TRUE(lines.contains(QStringLiteral("--- Image droite ---")));
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_TRUE(shell->rapport().isVisible());
  EXPECT_NE(listing(), before);  // the listing follows the moved vertices
}

TEST_F(OptiTest, ACompletedRunIsOneUndoStep) {
  openWithTriangle();
  main().listPolygons();
  const QString before = listing();
  edit("Edit1")->setText(QStringLiteral("1"));
  start();
  ASSERT_NE(listing(), before);
  QUndoStack& undo = main().session().history().undoStack();
  EXPECT_EQ(undo.undoText(), QStringLiteral("optimisation de la segmentation"));
  undo.undo();
  EXPECT_EQ(listing(), before);
  EXPECT_FALSE(undo.canUndo());
}

TEST_F(OptiTest, FieldsKeepTheirTextsBetweenOpenings) {
  edit("Edit3")->setText(QStringLiteral("7"));
  choose("RadioGroup1", QStringLiteral("Forcé"));
  dialog->show();
  dialog->findChild<QPushButton*>(QStringLiteral("Button2"))->click();
  EXPECT_FALSE(dialog->isVisible());
  dialog->show();
  EXPECT_EQ(edit("Edit3")->text(), QStringLiteral("7"));
  EXPECT_EQ(checkedItem("RadioGroup1")->text(), QStringLiteral("Forcé"));
}

TEST_F(OptiTest, UnwritableTraceGivesOneErrorAfterACompletedRun) {
  openWithTriangle();
  setOptimLogPath(path(QStringLiteral("absent/optim.log")).toStdString());
  choose("RadioGroup2", QStringLiteral("Méthode incomplète"));
  edit("Edit1")->setText(QStringLiteral("1"));
  edit("Edit3")->setText(QStringLiteral("2"));
  edit("Edit5")->setText(QStringLiteral("3"));
  start();
  EXPECT_EQ(prompts.errors,
            QStringList{QStringLiteral("Le fichier de suivi optim.log n'a pas pu être écrit.")});
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

// An exact search at fine levels, seconds of work, lets the events through: its progress shows
// at half a second and "Annuler" ends it at once, the polygons as they were.
TEST_F(OptiTest, AnExactSearchShowsItsProgressAndStopsWhenCancelled) {
  openWithTriangle();
  const QString before = listing();
  choose("RadioGroup2", QStringLiteral("Solutions exactes"));
  edit("Edit1")->setText(QStringLiteral("1000 999 998 997 996 995 994 993 992 991"));
  bool shown = false;
  bool cancelled = false;
  QString unit;
  // "Annuler" is pressed at 600 ms; the run sees it at its next turn of the event loop.
  constexpr qint64 kPressAt = 600;
  QElapsedTimer clock;
  clock.start();
  QTimer::singleShot(kPressAt, dialog.get(), [&] {
    auto* progress = dialog->findChild<QProgressDialog*>();
    if (progress == nullptr) return;
    shown = progress->isVisible();
    unit = progress->labelText();
    cancelled = true;
    progress->cancel();
  });
  start();
  ASSERT_TRUE(cancelled) << "no event was processed during the run";
  const qint64 stopping = clock.elapsed() - kPressAt;
  RecordProperty("millisecondsFromCancelToReturn", static_cast<int>(stopping));
  EXPECT_LT(stopping, 500);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(unit.startsWith(QStringLiteral("Image gauche : polygone 1/1"))) << unit.toStdString();
  EXPECT_EQ(shell->rapport().lines().last(), QStringLiteral("Calcul interrompu."));
  EXPECT_EQ(listing(), before);
  EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
}  // namespace plk::test
