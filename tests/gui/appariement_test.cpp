#include "tools/appariement.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>
#include <tuple>
#include <variant>

#include "core/runs/detect.h"
#include "matching_dialogs_fixture.h"

namespace plk::test {
namespace {

// The matching dialog after a detection of 40 points in each of two left polygons.
class AppariementTest : public MatchingDialogTest<TFAppariement> {
 protected:
  void SetUp() override {
    MatchingDialogTest<TFAppariement>::SetUp();
    addBox(project().left.polygons, 0, 0, 379, 200);
    addBox(project().left.polygons, 0, 201, 379, 433);
    addBox(project().right.polygons, 0, 0, 379, 433);
  }

  void detect() {
    const DetectFields fields{"11", "40", "11"};
    UnattendedRun run;
    NoReport sink;
    ASSERT_EQ(
        runDetect(project(), fields, std::get<DetectionParameters>(checkDetect(project(), fields)),
                  sink, run, {}),
        RunStatus::Completed);
  }

  struct NoReport final : ReportSink {
    void appendLine(std::string_view) override {}
  };
};

TEST_F(AppariementTest, FieldsLabelsAndDefaults) {
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Appariement des points d'intérêt"));
  const QStringList defaults{QStringLiteral("11"),  QStringLiteral("10"), QStringLiteral("10"),
                             QStringLiteral("30"),  QStringLiteral("10"), QStringLiteral("0,97"),
                             QStringLiteral("0,1"), QStringLiteral("1")};
  const char* names[] = {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "Edit7", "Edit8"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(field(names[i])->text(), defaults[i]) << names[i];
  const auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox1"));
  EXPECT_EQ(box->text(), QStringLiteral("Contrainte bi-directionnelle"));
  EXPECT_TRUE(box->isChecked());
  QStringList labels;
  for (const QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
  EXPECT_EQ(
      labels,
      (QStringList{QStringLiteral("Taille de la fenêtre de corrélation (NxN) :"),
                   QStringLiteral("Dimensions de la zone de recherche "
                                  "(i-p1:i+p2,j-q1:j+q2) :"),
                   QStringLiteral("p1, p2, q1, q2 :"), QStringLiteral("CCNC minimum :"),
                   QStringLiteral("Précision au sous pixel :"), QStringLiteral("Souplesse : ")}));
}

TEST_F(AppariementTest, EveryRefusalShowsItsMessageWritesNothingAndKeepsTheDialogOpen) {
  start();
  detect();
  // Each field in turn refused, then set right again before the next one.
  const std::vector<std::tuple<const char*, QString, QString>> fields{
      {"Edit1", QStringLiteral("0"), QStringLiteral("11")},
      {"Edit5", QStringLiteral("a"), QStringLiteral("10")},
      {"Edit6", QStringLiteral("-1"), QStringLiteral("0,97")},
      {"Edit7", QStringLiteral("0"), QStringLiteral("0.1")},
      {"Edit8", QStringLiteral("1,5"), QStringLiteral("1,5")}};
  for (const auto& [name, refused, accepted] : fields) {
    type(name, refused);
    start();
    type(name, accepted);
  }
  dialog->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(false);
  start();
  const QString flexibility = QStringLiteral("La souplesse n'est pas une valeur correcte.");
  EXPECT_EQ(
      prompts.errors,
      (QStringList{QStringLiteral("Des points d'intérêt sont nécessaires pour cette étape."),
                   QStringLiteral("La taille de la fenêtre de corrélation n'est pas une valeur "
                                  "correcte."),
                   QStringLiteral("Les dimensions de la zone de recherche ne sont pas valides."),
                   QStringLiteral("Le score de corrélation minimum n'est pas une valeur correcte."),
                   QStringLiteral("La précision au sous-pixel n'est pas une valeur correcte."),
                   flexibility, flexibility}));
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(reportBlock().isEmpty());
  EXPECT_FALSE(project().results.pointsMatched);
}

TEST_F(AppariementTest, ARunReportsTheFieldsAsTypedAndDrawsTheMatchesInBlue) {
  detect();
  project().results.homographiesEstimated = true;
  type("Edit7", QStringLiteral("0.1"));
  start();
  EXPECT_TRUE(prompts.errors.isEmpty());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const ToolResults& results = project().results;
  const QString rule(52, QLatin1Char('='));
  const auto countLine = [&](int i) {
    return QStringLiteral("  --> Polygone %1/2: %2 points appariés sur 40")
        .arg(i + 1)
        .arg(results.matchCounts[static_cast<std::size_t>(i)]);
  };
  EXPECT_EQ(
      reportBlock(),
      (QStringList{
          rule, QStringLiteral("============ Appariement des points d'intérêt   =========="), rule,
          QStringLiteral("  Taille de la fenêtre de corrélation : 11x11"),
          QStringLiteral(
              "  Dimensions de la zone de recherche : ligne : -10,10 ; colonne : -30,10"),
          QStringLiteral("  CNCC seuil : 0,97"), QStringLiteral("  Précision au sous-pixel : 0.1"),
          QStringLiteral("  Contrainte bidirectionnelle : + ou - 1pixel(s)"), QString(),
          countLine(0), countLine(1), QStringLiteral(" "), QStringLiteral(" ")}));
  EXPECT_GT(results.matchCounts[0] + results.matchCounts[1], 40);
  EXPECT_TRUE(results.pointsMatched);
  EXPECT_FALSE(results.homographiesEstimated);
  EXPECT_GT(pixelsOf(main().leftWindow()->viewBuffer(), qRgb(0, 0, 255)), 40);
  EXPECT_GT(pixelsOf(main().rightWindow()->viewBuffer(), qRgb(0, 0, 255)), 40);
}

TEST_F(AppariementTest, ACancelledRunLeavesTheSavedProjectByteIdentical) {
  detect();
  ASSERT_EQ(main().session().saveProject(path(QStringLiteral("avant.plk"))), SaveOutcome::Saved);
  QTimer::singleShot(0, dialog.get(), [this] {
    if (auto* progress = dialog->findChild<QProgressDialog*>()) progress->cancel();
  });
  start();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(reportBlock().last(), QStringLiteral("Calcul interrompu."));
  EXPECT_FALSE(project().results.pointsMatched);
  EXPECT_TRUE(project().results.matches.empty());
  ASSERT_EQ(main().session().saveProject(path(QStringLiteral("apres.plk"))), SaveOutcome::Saved);
  EXPECT_EQ(fileBytes(path(QStringLiteral("apres.plk"))),
            fileBytes(path(QStringLiteral("avant.plk"))));
}

}  // namespace
}  // namespace plk::test
