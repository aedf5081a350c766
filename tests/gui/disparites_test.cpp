#include "tools/disparites.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

#include "core/freshness.h"
#include "full_file_system.h"
#include "shell/rapport.h"
#include "shell_fixture.h"
#include "views/disparity_map.h"

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

  // The pointer moves over the map to image position (row, column).
  static void movePointer(const DisparityMapWindow& window, double row, double column) {
    QWidget& surface = window.surface();
    const QPointF at = window.surfacePoint(row, column);
    QMouseEvent move(QEvent::MouseMove, at, surface.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&surface, &move);
  }

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
  for (const char* factor : {"100000", "7500000", "2147483647"}) {
    type("Edit1", QString::fromLatin1(factor));
    start();
  }
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
                factor, factor, factor, factor, factor,
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
                             QString(),
                             QStringLiteral("  Fichiers écrits dans ") +
                                 QDir::toNativeSeparators(folder.path()) +
                                 QStringLiteral(" : carte.bmp, disparites.txt, carte1.bmp, "
                                                "carte1gris.bmp, carte1occ.bmp")};
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

// A right polygon reaching a million or a billion pixels off the image gives, in bounded memory,
// the maps of its part over the image.
TEST_F(DisparitesTest, AFarRightPolygonGivesTheMapsOfItsClippedShape) {
  estimate();
  Polygone& right = main().project()->right.polygons[0];
  const auto mapsWithCorner = [&](double reach) {
    right.sommets[1]->V = reach;
    right.sommets[2]->U = reach;
    right.sommets[2]->V = reach;
    right.sommets[3]->U = reach;
    dialog->show();
    start();
    QByteArray maps;
    for (const char* name : {"carte.bmp", "carte1.bmp", "disparites.txt"}) {
      maps += fileBytes(path(QString::fromLatin1(name)));
    }
    return maps;
  };
  const QByteArray clipped = mapsWithCorner(100);
  EXPECT_EQ(mapsWithCorner(1e6), clipped);
  EXPECT_EQ(mapsWithCorner(1e9), clipped);
  EXPECT_TRUE(prompts.errors.isEmpty());
}

// On a full disk the run shows the first file it could not write and every file of the former
// run keeps its bytes.
TEST_F(DisparitesTest, AFullDiskKeepsTheFormerMaps) {
  const FullFileSystem disk;
  PLK_REQUIRE_FULL_FILE_SYSTEM(disk);
  QDir::setCurrent(disk.path());
  estimate();
  start();
  const QStringList names{QStringLiteral("carte.bmp"), QStringLiteral("disparites.txt"),
                          QStringLiteral("carte1.bmp"), QStringLiteral("carte1gris.bmp"),
                          QStringLiteral("carte1occ.bmp")};
  std::vector<QByteArray> former;
  for (const QString& name : names) former.push_back(fileBytes(disk.filePath(name)));
  disk.fill();
  dialog->show();
  start();
  EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Impossible d'écrire le fichier ") +
                                        disk.filePath(QStringLiteral("carte.bmp"))});
  EXPECT_TRUE(dialog->isVisible());
  for (std::size_t i = 0; i < former.size(); ++i) {
    EXPECT_FALSE(former[i].isEmpty());
    EXPECT_EQ(fileBytes(disk.filePath(names[static_cast<qsizetype>(i)])), former[i]);
  }
  QDir::setCurrent(folder.path());
}

// Homographies follow the polygons they were estimated for: once the first pair of four is
// deleted, the others are renumbered and their homographies refused until the estimation runs
// again; undoing the deletion makes them valid again.
TEST_F(DisparitesTest, HomographiesOfChangedPolygonsAreRefusedUntilUndone) {
  Project& project = *main().project();
  for (int k = 1; k < 4; ++k) {
    addRectangle(project.left.polygons, 2 + 6 * k, 1, 6 + 6 * k, 8);
    addRectangle(project.right.polygons, 2 + 6 * k, 0, 6 + 6 * k, 8);
  }
  const Homography shift{1, 0, 0, 0, 1, -4.5, 0, 0, 1};
  ToolResults& results = project.results;
  results.linearHomographies = results.nonLinearHomographies = results.robustHomographies =
      results.robustNonLinearHomographies = std::vector<Homography>(4, shift);
  recordFingerprints(results.estimatedFrom, project, ResultInputs::BothOutlines);

  main().beginPolygonEdit();
  VertexStore released;
  for (PolygonList* side : {&project.left.polygons, &project.right.polygons}) {
    const std::vector<Sommet*> corners = (*side)[0].sommets;
    for (std::size_t i = 0; i + 1 < corners.size(); ++i) {
      released.push_back(side->deleteVertex(corners[i]));
    }
  }
  main().endPolygonEdit(QStringLiteral("suppression"), std::move(released));
  start();
  EXPECT_EQ(prompts.errors, QStringList{QStringLiteral(
                                "Les homographies ne correspondent plus aux polygones 1, 2 et 3 : "
                                "relancez l'estimation.")});
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("carte.bmp"))));

  main().session().history().undo();
  start();
  EXPECT_EQ(prompts.errors.size(), 1);
  EXPECT_TRUE(QFile::exists(path(QStringLiteral("carte.bmp"))));
}

// The files go to the folder chosen with "Parcourir...", which the report names with them. The
// map window, which before a run says there is no map, then shows under the pointer the
// disparity of the pixel and its polygon's verdict, and where the map has none, that it has none.
TEST_F(DisparitesTest, TheMapWindowShowsTheDisparityAndVerdictUnderThePointer) {
  QAction* showMap = action("Cartedesdisparites1");
  showMap->trigger();
  EXPECT_EQ(prompts.errors, QStringList{QStringLiteral(
                                "Aucune carte des disparités n'a encore été calculée pour ce "
                                "projet.")});
  prompts.errors.clear();

  estimate();
  ToolResults& results = main().project()->results;
  results.matches = {InterestPointList(4)};
  PolygonEstimation fewInliers;
  fewInliers.inlierCount = 5;
  results.polygonEstimations = {fewInliers};
  results.homographiesEstimated = true;
  const QString maps = path(QStringLiteral("cartes"));
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("cartes")));
  prompts.fileNames = {maps};
  dialog->findChild<QPushButton*>(QStringLiteral("ButtonFolder"))->click();
  EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("EditFolder"))->text(),
            QDir::toNativeSeparators(maps));
  dialog->findChild<QButtonGroup*>()->button(1)->click();  // "Non linéaire"
  start();
  ASSERT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(QFile::exists(QDir(maps).filePath(QStringLiteral("carte1occ.bmp"))));
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("carte.bmp"))));
  EXPECT_EQ(shell->rapport().lines().last(),
            QStringLiteral("  Fichiers écrits dans ") + QDir::toNativeSeparators(maps) +
                QStringLiteral(" : carte.bmp, disparites.txt, carte1.bmp, carte1gris.bmp, "
                               "carte1occ.bmp"));

  showMap->trigger();
  auto* window = dynamic_cast<DisparityMapWindow*>(
      main().findChild<QWidget*>(QStringLiteral("Cartedesdisparites")));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  const QChar separator = QLatin1Char(main().numberFormat().decimalSeparator);
  movePointer(*window, 10.5, 15.5);
  EXPECT_EQ(window->pointerText(),
            QStringLiteral("Ligne 10, colonne 15 : disparité 4") + separator +
                QStringLiteral("50 px ; polygone 1 : à vérifier (5 inliers, moins de 8)"));
  movePointer(*window, 25.5, 5.5);
  EXPECT_EQ(window->pointerText(), QStringLiteral("Ligne 25, colonne 5 : aucune disparité"));
}

}  // namespace
}  // namespace plk::test
