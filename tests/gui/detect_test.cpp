#include "tools/detect.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "matching_dialogs_fixture.h"

namespace plk::test {
namespace {

using DetectTest = MatchingDialogTest<TFDetect>;

TEST_F(DetectTest, FieldsLabelsAndDefaults) {
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Détection de points d'intérêt"));
  EXPECT_EQ(field("Edit1")->text(), QStringLiteral("11"));
  EXPECT_EQ(field("Edit2")->text(), QStringLiteral("300"));
  EXPECT_EQ(field("Edit3")->text(), QStringLiteral("11"));
  QStringList labels;
  for (const QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
  EXPECT_EQ(labels, (QStringList{QStringLiteral("Taille du filtre du détecteur (NxN) :"),
                                 QStringLiteral("Taille de fenêtre d'inclusion dans le polygone "
                                                "(NxN) : "),
                                 QStringLiteral("Nombre de points par polygone : ")}));
}

TEST_F(DetectTest, EveryRefusalShowsItsMessageWritesNothingAndKeepsTheDialogOpen) {
  start();
  addBox(project().left.polygons, 10, 10, 200, 200);
  project().left.polygons[0].sommets.pop_back();
  start();
  project().left.polygons[0].sommets.push_back(project().left.polygons[0].sommets.front());
  type("Edit1", QStringLiteral("x"));
  type("Edit2", QStringLiteral("x"));
  type("Edit3", QStringLiteral("0"));
  start();
  type("Edit3", QStringLiteral("11"));
  start();
  type("Edit1", QStringLiteral("11"));
  start();
  EXPECT_EQ(
      prompts.errors,
      (QStringList{
          QStringLiteral(
              "Au moins un polygone dans l'image gauche est nécessaire pour cette étape."),
          QStringLiteral("Au moins un polygone de l'image gauche n'est pas fermé."),
          QStringLiteral("La taille de la fenêtre d'inclusion n'est pas une valeur correcte."),
          QStringLiteral("La taille du filtre détecteur n'est pas une valeur correcte."),
          QStringLiteral("Le nombre de points n'est pas une valeur correcte.")}));
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(reportBlock().isEmpty());
  EXPECT_FALSE(project().results.pointsDetected);
}

TEST_F(DetectTest, ARunReportsEachUnlockedPolygonAndDrawsThePointsInRed) {
  addBox(project().left.polygons, 10, 10, 200, 200);
  addBox(project().left.polygons, 200, 220, 370, 420);
  project().left.polygons[0].locked = true;
  type("Edit2", QStringLiteral("40"));
  // The whole image in view, whatever the screen's size gave the window.
  main().leftWindow()->resize(project().imageWidth, project().imageHeight);
  start();
  EXPECT_TRUE(prompts.errors.isEmpty());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog->isVisible());
  const QString rule(52, QLatin1Char('='));
  EXPECT_EQ(reportBlock(),
            (QStringList{
                rule, QStringLiteral("============ Détection de points d'intérêt   ============"),
                rule, QStringLiteral("  Nombre de points par polygone : 40"),
                QStringLiteral("  Taille du filtre : 11x11"),
                QStringLiteral("  Taille de la fenêtre d'inclusion dans le polygone : 11x11"),
                QString(), QStringLiteral("  --> Polygone 2/2: 40 points"), QStringLiteral(" "),
                QStringLiteral(" ")}));
  EXPECT_TRUE(project().results.pointsDetected);
  EXPECT_GT(pixelsOf(main().leftWindow()->viewBuffer(), qRgb(255, 0, 0)), 40);
  EXPECT_EQ(pixelsOf(main().rightWindow()->viewBuffer(), qRgb(255, 0, 0)), 0);
}

}  // namespace
}  // namespace plk::test
