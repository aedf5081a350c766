#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QPushButton>
#include <QToolButton>
#include <QtTest/QTest>

#include "bmp_writer.h"
#include "full_file_system.h"
#include "io/project_file.h"
#include "shell/aide.h"
#include "shell/rapport.h"
#include "shell_fixture.h"
#include "views/image.h"

namespace plk::test {
namespace {

const QString kSaveQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de quitter ?");
const QString kOverwrite =
    QStringLiteral("Ce fichier de projet existe déjà. Voulez-vous le remplacer ?");
const char* const kProjectItems[] = {"Fermerprojet1", "Imagegauche1", "Imagedroite1", "Rapport1"};

class MainTest : public ShellTest {
 protected:
  bool projectMenusEnabled(bool enabled) const {
    for (const char* name : kProjectItems) {
      if (action(name)->isEnabled() != enabled) return false;
    }
    return main().findChild<QMenu*>(QStringLiteral("Outils1"))->menuAction()->isEnabled() ==
           enabled;
  }
  QToolButton* speedButton(const char* name) const { return main().findChild<QToolButton*>(name); }
  void click(const char* name) const {
    QTest::mouseClick(main().findChild<QPushButton*>(name), Qt::LeftButton);
  }
  void setPolygonNumber(const QString& text) const {
    main().findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(text);
  }
};

TEST_F(MainTest, StartsWithoutProject) {
  EXPECT_EQ(main().windowTitle(), QStringLiteral(" "));
  EXPECT_TRUE(projectMenusEnabled(false));
  for (const char* name : {"Nouveauprojet1", "Ouvrirprojet1", "Quitter1", "Aide2", "Apropos1",
                           "Rinitialiserlessommetsdelimagegauche1"}) {
    EXPECT_TRUE(action(name)->isEnabled()) << name;
  }
  EXPECT_TRUE(speedButton("SpeedButtonArrow")->isChecked());
  EXPECT_EQ(speedButton("SpeedButtonDel")->toolTip(), QStringLiteral("Supression de sommets"));
  EXPECT_EQ(main().editing().editMode, EditMode::Arrow);
  EXPECT_EQ(main().findChild<QLabel*>(QStringLiteral("LabelUV"))->text(),
            QStringLiteral("          "));
  EXPECT_EQ(main().findChild<QLineEdit*>(QStringLiteral("Edit1"))->text(), QStringLiteral("1"));
  EXPECT_TRUE(listing().isEmpty());
  EXPECT_EQ(main().project(), nullptr);
  EXPECT_FALSE(shell->rapport().isVisible());
  EXPECT_FALSE(shell->help().isVisible());
  EXPECT_TRUE(main().isVisible());
  EXPECT_EQ(main().centralWidget()->size(), QSize(328, 301));
}

TEST_F(MainTest, SpeedButtonsChooseTheModeExclusively) {
  speedButton("SpeedButtonMove")->click();
  EXPECT_EQ(main().editing().editMode, EditMode::Move);
  EXPECT_FALSE(speedButton("SpeedButtonArrow")->isChecked());
  speedButton("SpeedButtonAdd")->click();
  EXPECT_EQ(main().editing().editMode, EditMode::Add);
  action("Ajusterlessommetsdevantappartenirunct1")->trigger();
  EXPECT_EQ(main().editing().editMode, EditMode::Adjust);
  EXPECT_TRUE(speedButton("SpeedButtonAdjust")->isChecked());
  EXPECT_FALSE(speedButton("SpeedButtonAdd")->isChecked());
}

// A drag whose button-up never reached the window (the pointer grab was lost) must not survive
// a change to Arrow or Add: the vertex would stay under the pointer and Add would take the drag
// for a polygon under construction.
class ModeChangeDuringDragTest : public MainTest,
                                 public ::testing::WithParamInterface<const char*> {};

TEST_P(ModeChangeDuringDragTest, EndsTheDrag) {
  ASSERT_TRUE(openProject());
  PolygonList& polygons = main().project()->left.polygons;
  Sommet* vertex = polygons.appendPolygon().sommets.emplace_back(polygons.createVertex(10, 10));
  QWidget* surface = main().leftWindow()->paintBox();
  speedButton("SpeedButtonMove")->click();
  QTest::mouseMove(surface, {10, 10});
  QTest::mousePress(surface, Qt::LeftButton, Qt::NoModifier, {10, 10});
  ASSERT_EQ(main().leftWindow()->editor().draggedVertex(), vertex);

  speedButton(GetParam())->click();
  EXPECT_EQ(main().leftWindow()->editor().draggedVertex(), nullptr);
  EXPECT_EQ(main().leftWindow()->editor().constructionState(), 0);
  EXPECT_NE(surface->cursor().shape(), Qt::BlankCursor);
  QTest::mouseRelease(surface, Qt::LeftButton, Qt::NoModifier, {10, 10});
  speedButton("SpeedButtonAdd")->click();
  QTest::mouseMove(surface, {20, 15});
  QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, {20, 15});
  EXPECT_EQ(vertex->U, 10.0);
  EXPECT_EQ(vertex->V, 10.0);
  ASSERT_EQ(polygons.size(), 2U);
  EXPECT_EQ(polygons[1].sommets.size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(ArrowAndAdd, ModeChangeDuringDragTest,
                         ::testing::Values("SpeedButtonAdd", "SpeedButtonArrow"));

// Drawing with the mouse in an image window rewrites the main window's listing after every
// press; closing on the first vertex shows it again at the end of the line.
TEST_F(MainTest, ATriangleDrawnWithTheMouseIsListedClosed) {
  ASSERT_TRUE(openProject());
  speedButton("SpeedButtonAdd")->click();
  // Pointer moves reach the window under the pointer: keep the small image window uncovered.
  main().leftWindow()->move(700, 700);
  QWidget* surface = main().leftWindow()->paintBox();
  for (const QPoint press : {QPoint(8, 10), QPoint(30, 10), QPoint(8, 22), QPoint(9, 11)}) {
    QTest::mouseMove(surface, press);
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, press);
  }
  EXPECT_EQ(listing(), QStringLiteral("Image gauche :\n    1 (libre) : \n"
                                      "( 10.0   8.0) ( 10.0  30.0) ( 22.0   8.0) ( 10.0   8.0) \n"
                                      " \nImage droite :"));
  EXPECT_EQ(main().leftWindow()->editor().constructionState(), 0);
}

TEST_F(MainTest, NewProjectOpensBothImageWindows) {
  ASSERT_TRUE(openProject());
  ASSERT_NE(main().leftWindow(), nullptr);
  EXPECT_EQ(main().leftWindow()->windowTitle(), QStringLiteral("Image gauche: l.bmp [1:1]"));
  EXPECT_EQ(main().rightWindow()->windowTitle(), QStringLiteral("Image droite: r.bmp [1:1]"));
  EXPECT_GT(main().rightWindow()->x(), main().leftWindow()->frameGeometry().right());
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene]"));
  EXPECT_TRUE(projectMenusEnabled(true));
  const Project& project = *main().project();
  EXPECT_EQ(project.imageWidth, 40);
  EXPECT_EQ(project.imageHeight, 30);
  for (const ImageSide* side : {&project.left, &project.right}) {
    for (const IntMatrix* gradient : {&side->gradientX, &side->gradientY}) {
      EXPECT_EQ(gradient->rows(), 31);
      EXPECT_EQ(gradient->columns(), 41);
    }
  }
  // Pixel codes (r + c): the Sobel responses inside are 8 in both directions.
  EXPECT_EQ(project.left.gradientX(5, 5), 8);
  EXPECT_EQ(project.right.gradientY(5, 5), 8);
  EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(MainTest, RefusedImagesLeaveNoProject) {
  const QString fourBits = path(QStringLiteral("p4.bmp"));
  QFile fourBitsFile(fourBits);
  ASSERT_TRUE(fourBitsFile.open(QIODevice::WriteOnly));
  fourBitsFile.write(greyBmpBytes(std::vector<std::uint8_t>(40 * 30, 3), 40, 30, 4));
  fourBitsFile.close();
  const QString tall = writeGreyBmp(path(QStringLiteral("tall.bmp")), 640, 481);
  const QString wide = writeGreyBmp(path(QStringLiteral("wide.bmp")), 640, 480);
  const struct {
    QString left, right, message;
  } cases[] = {
      {path(QStringLiteral("none.bmp")), rightPath,
       QStringLiteral(
           "Erreur lors du chargement de l'image gauche ! Création du projet impossible.")},
      {fourBits, rightPath,
       QStringLiteral("L'image gauche n'est pas composée de pixels codés sur 8 bits ! "
                      "Création du projet impossible.")},
      {leftPath, path(QStringLiteral("none.bmp")),
       QStringLiteral(
           "Erreur lors du chargement de l'image droite ! Création du projet impossible.")},
      {leftPath, fourBits,
       QStringLiteral("L'image droite n'est pas composée de pixels codés sur 8 bits ! "
                      "Création du projet impossible.")},
      {wide, tall,
       QStringLiteral(
           "Les deux images n'ont pas les mêmes dimensions ! Création du projet impossible.")},
  };
  for (const auto& c : cases) {
    prompts.errors.clear();
    shell->newProject().setFields(QStringLiteral("scene"), c.left, c.right);
    EXPECT_FALSE(main().session().createProjectFromImages());
    EXPECT_EQ(prompts.errors, QStringList{c.message});
    EXPECT_EQ(main().project(), nullptr);
    EXPECT_EQ(main().leftWindow(), nullptr);
    EXPECT_EQ(main().rightWindow(), nullptr);
    EXPECT_EQ(main().windowTitle(), QStringLiteral(" "));
    EXPECT_TRUE(projectMenusEnabled(false));
  }
}

// A Middlebury image converted to 16 or 2 colours is expanded to 8 bits by the toolkit; the
// check reads the depth stored in the file.
TEST_F(MainTest, FourAndOneBitImagesAreRefused) {
  const QImage tsukuba(QStringLiteral(PLK_TESTDATA_DIR "/middlebury2001/tsukuba/left.bmp"));
  ASSERT_EQ(tsukuba.depth(), 8);
  const QString right =
      writeGreyBmp(path(QStringLiteral("r8.bmp")), tsukuba.width(), tsukuba.height());
  for (const int bits : {4, 1}) {
    const QString left = path(QStringLiteral("gauche%1.bmp").arg(bits));
    QFile file(left);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(greyBmpBytes(reducedCodes(tsukuba, bits), tsukuba.width(), tsukuba.height(), bits));
    file.close();
    prompts.errors.clear();
    shell->newProject().setFields(QStringLiteral("scene"), left, right);
    EXPECT_FALSE(main().session().createProjectFromImages());
    EXPECT_EQ(prompts.errors,
              QStringList{QStringLiteral("L'image gauche n'est pas composée de pixels codés sur 8 "
                                         "bits ! Création du projet impossible.")});
    EXPECT_EQ(main().project(), nullptr);
  }
}

TEST_F(MainTest, QuitAnswersCancelNoAndYes) {
  ASSERT_TRUE(openProject());
  makeUnsavedChange();
  prompts.answers = {Answer::Cancel};
  EXPECT_FALSE(main().close());
  EXPECT_NE(main().project(), nullptr);
  EXPECT_EQ(prompts.questions, QStringList{kSaveQuestion});

  prompts.answers = {Answer::No};
  EXPECT_TRUE(main().close());
  EXPECT_EQ(main().project(), nullptr);
  EXPECT_EQ(main().leftWindow(), nullptr);
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK"));
  EXPECT_TRUE(projectMenusEnabled(false));
  EXPECT_TRUE(prompts.dialogTitles.isEmpty());
  EXPECT_EQ(QDir(folder.path()).entryList({QStringLiteral("*.plk")}, QDir::Files).size(), 0);

  ASSERT_TRUE(openProject());
  makeUnsavedChange();
  speedButton("SpeedButtonDel")->click();
  prompts.answers = {Answer::Yes};  // then the save dialog is cancelled
  EXPECT_TRUE(main().session().askSaveAndClose(CloseReason::Quit));
  EXPECT_EQ(prompts.dialogTitles, QStringList{QStringLiteral("Sauvegarde du projet en cours")});
  EXPECT_EQ(main().project(), nullptr);
  EXPECT_TRUE(speedButton("SpeedButtonArrow")->isChecked());
  EXPECT_EQ(main().editing().editMode, EditMode::Arrow);
}

TEST_F(MainTest, LockButtonsIgnoreBadNumbers) {
  setPolygonNumber(QStringLiteral("1"));
  click("Button1");  // no project: nothing
  ASSERT_TRUE(openProject());
  addTriangle(main().project()->left.polygons);
  addTriangle(main().project()->right.polygons);
  for (const QString& text : {QStringLiteral("0"), QStringLiteral("abc"), QStringLiteral("2"),
                              QStringLiteral("99999999999")}) {
    setPolygonNumber(text);
    click("Button1");
    click("Button2");
    EXPECT_FALSE(main().project()->left.polygons[0].locked) << text.toStdString();
    EXPECT_FALSE(main().project()->right.polygons[0].locked) << text.toStdString();
  }
  EXPECT_TRUE(listing().isEmpty());
  EXPECT_TRUE(prompts.errors.isEmpty());

  setPolygonNumber(QStringLiteral("1"));
  click("Button1");
  EXPECT_TRUE(main().project()->left.polygons[0].locked);
  EXPECT_TRUE(listing().contains(QStringLiteral("    1 (bloqué) : ")));
  click("Button2");
  EXPECT_TRUE(main().project()->right.polygons[0].locked);
  click("Button1");
  EXPECT_FALSE(main().project()->left.polygons[0].locked);
  EXPECT_TRUE(listing().startsWith(QStringLiteral("Image gauche :\n    1 (libre) : ")));
}

TEST_F(MainTest, ListsPolygonsWithFixedFormat) {
  ASSERT_TRUE(openProject());
  addTriangle(main().project()->left.polygons);
  main().project()->right.polygons.appendPolygon();
  main().listPolygons();
  EXPECT_EQ(listing(), QStringLiteral("Image gauche :\n"
                                      "    1 (libre) : \n"
                                      "( 10.0  20.0) ( 10.0 200.0) (150.0  20.0) ( 10.0  20.0) \n"
                                      " \n"
                                      "Image droite :\n"
                                      "    1 (libre) : \n"));
}

class FrenchMainTest : public MainTest {
 protected:
  TestLocale testLocale() const override { return TestLocale::French; }
};

TEST_F(FrenchMainTest, ListingUsesTheCommaSeparator) {
  ASSERT_TRUE(openProject());
  Polygone& polygon = main().project()->left.polygons.appendPolygon();
  polygon.sommets = {main().project()->left.polygons.createVertex(12.5, 3.0)};
  main().listPolygons();
  EXPECT_TRUE(listing().contains(QStringLiteral("( 12,5   3,0) \n")));
}

TEST_F(MainTest, PointerLabelShowsRowThenColumn) {
  main().showPointerPosition(12, 345);
  EXPECT_EQ(main().findChild<QLabel*>(QStringLiteral("LabelUV"))->text(),
            QStringLiteral("(u,v) = (12,345)"));
}

TEST_F(MainTest, ReinitialisingTheLeftVerticesAsksFirst) {
  ASSERT_TRUE(openProject());
  addTriangle(main().project()->left.polygons);
  addTriangle(main().project()->right.polygons);
  main().project()->results.pointsDetected = true;
  main().project()->results.interestPoints.resize(1);

  prompts.answers = {Answer::No};
  main().Rinitialiserlessommetsdelimagegauche1Click();
  EXPECT_EQ(main().project()->left.polygons.size(), 1U);

  prompts.answers = {Answer::Yes};
  main().Rinitialiserlessommetsdelimagegauche1Click();
  EXPECT_EQ(
      prompts.questions.last(),
      QStringLiteral("Êtes vous sûr de vouloir supprimer tous les sommets de l'image gauche ?"));
  EXPECT_TRUE(main().project()->left.polygons.empty());
  EXPECT_EQ(main().project()->left.polygons.vertexCount(), 0U);
  EXPECT_FALSE(main().project()->results.pointsDetected);
  EXPECT_TRUE(main().project()->results.interestPoints.empty());
  EXPECT_EQ(main().project()->right.polygons.size(), 1U);
  EXPECT_EQ(listing(), QStringLiteral("Image gauche :\n \nImage droite :\n    1 (libre) : \n"
                                      "( 10.0  20.0) ( 10.0 200.0) (150.0  20.0) ( 10.0  20.0) "));
}

TEST_F(MainTest, ReinitialisingWithoutAProjectAsksNothing) {
  main().Rinitialiserlessommetsdelimagegauche1Click();
  main().Rinitialiserlessommetsdelimagedroite1Click();
  EXPECT_TRUE(prompts.questions.isEmpty());
  EXPECT_EQ(main().project(), nullptr);
}

TEST_F(MainTest, SaveAsProposesTheNameAndAppendsTheExtension) {
  ASSERT_TRUE(openProject());
  prompts.fileNames = {path(QStringLiteral("scene"))};
  main().Fermerprojet1Click();
  EXPECT_EQ(prompts.proposedNames, QStringList{QStringLiteral("scene.plk")});
  EXPECT_EQ(prompts.filters, QStringList{QStringLiteral("Projet PLK(*.plk)")});
  EXPECT_EQ(main().session().projectFileName(), path(QStringLiteral("scene.plk")));
  EXPECT_TRUE(QFile::exists(path(QStringLiteral("scene.plk"))));
  EXPECT_EQ(main().session().lastDirectory(), folder.path());

  prompts.fileNames = {path(QStringLiteral("my.plk.old"))};
  main().session().saveProjectAs();
  EXPECT_EQ(main().session().projectFileName(), path(QStringLiteral("my.plk.old")));
  EXPECT_TRUE(QFile::exists(path(QStringLiteral("my.plk.old"))));
}

// Typing "scene" when scene.plk exists asks before replacing it.
TEST_F(MainTest, SaveAsOverwriteNoKeepsTheFile) {
  ASSERT_TRUE(openProject());
  QFile old(path(QStringLiteral("scene.plk")));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old");
  old.close();
  for (const QString& chosen : {QStringLiteral("scene.plk"), QStringLiteral("scene")}) {
    prompts.questions.clear();
    prompts.fileNames = {path(chosen)};
    prompts.answers = {Answer::No};
    main().session().saveProjectAs();
    EXPECT_EQ(prompts.questions, QStringList{kOverwrite});
    EXPECT_TRUE(main().session().projectFileName().isEmpty());
    EXPECT_EQ(fileBytes(path(QStringLiteral("scene.plk"))), QByteArray("old"));
  }
}

TEST_F(MainTest, SavedProjectOpensWithSharedVertices) {
  ASSERT_TRUE(openProject());
  PolygonList& left = main().project()->left.polygons;
  addTriangle(left);
  Polygone& second = left.appendPolygon();
  second.sommets = {left[0].sommets[1], left[0].sommets[2], left.createVertex(160, 210)};
  left[0].locked = true;
  main().listPolygons();
  const QString before = listing();
  prompts.fileNames = {path(QStringLiteral("scene.plk"))};
  main().Fermerprojet1Click();

  prompts.answers = {Answer::No};
  prompts.fileNames = {path(QStringLiteral("scene.plk"))};
  main().Ouvrirprojet1Click();
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(prompts.dialogTitles.last(), QStringLiteral("Ouverture de projet"));
  EXPECT_EQ(main().session().projectFileName(), path(QStringLiteral("scene.plk")));
  const PolygonList& read = main().project()->left.polygons;
  ASSERT_EQ(read.size(), 2U);
  EXPECT_EQ(read.vertexCount(), 4U);
  EXPECT_EQ(read[0].sommets.front(), read[0].sommets.back());
  EXPECT_EQ(read[0].sommets[1], read[1].sommets[0]);
  EXPECT_EQ(read[0].sommets[2], read[1].sommets[1]);
  EXPECT_FALSE(read[0].locked);
  EXPECT_EQ(listing(), QString(before).replace(QStringLiteral("bloqué"), QStringLiteral("libre")));
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene]"));
  EXPECT_TRUE(projectMenusEnabled(true));
}

TEST_F(MainTest, FailedSaveShowsTheWriterMessage) {
  ASSERT_TRUE(openProject());
  const QString target = path(QStringLiteral("missing/scene.plk"));
  prompts.fileNames = {target};
  main().Fermerprojet1Click();
  EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Unable to write to ") + target});
  EXPECT_NE(main().project(), nullptr);
}

// Answering Yes to the save question and failing to write must not close the project: its
// polygons would be lost. The user can then save elsewhere or answer No.
TEST_F(MainTest, AFailedSaveWhenClosingKeepsTheProject) {
  ASSERT_TRUE(openProject());
  makeUnsavedChange();
  const QString target = path(QStringLiteral("missing/scene.plk"));
  prompts.answers = {Answer::Yes};
  prompts.fileNames = {target};
  EXPECT_FALSE(main().session().askSaveAndClose());
  EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Unable to write to ") + target});
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(main().project()->left.polygons.size(), 1U);
  EXPECT_TRUE(main().session().projectFileName().isEmpty());

  prompts.answers = {Answer::Yes};
  prompts.fileNames = {path(QStringLiteral("scene"))};
  EXPECT_TRUE(main().session().askSaveAndClose());
  EXPECT_EQ(main().project(), nullptr);
  EXPECT_TRUE(QFile::exists(path(QStringLiteral("scene.plk"))));
}

// "Sauver projet" onto a full disk shows the writer's message, keeps the former file byte for byte
// and leaves the project unsaved.
TEST_F(MainTest, SavingOntoAFullDiskKeepsTheFormerFile) {
  const FullFileSystem disk;
  PLK_REQUIRE_FULL_FILE_SYSTEM(disk);
  ASSERT_TRUE(openProject());
  const QString target = disk.filePath(QStringLiteral("scene.plk"));
  prompts.fileNames = {target};
  main().session().saveProjectAs();
  const QByteArray former = fileBytes(target);
  ASSERT_FALSE(former.isEmpty());
  makeUnsavedChange();
  disk.fill();
  main().Fermerprojet1Click();
  EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Unable to write to ") + target});
  EXPECT_EQ(fileBytes(target), former);
  EXPECT_TRUE(main().windowTitle().endsWith(QStringLiteral(" *")));
}

TEST_F(MainTest, ViewMenuShowsTheWindows) {
  ASSERT_TRUE(openProject());
  main().leftWindow()->hide();
  action("Imagegauche1")->trigger();
  action("Rapport1")->trigger();
  EXPECT_TRUE(main().leftWindow()->isVisible());
  EXPECT_TRUE(shell->rapport().isVisible());
}

// Leaving the file dialog of "Ouvrir projet..." keeps the open project, after its save question.
TEST_F(MainTest, CancellingOpenProjectKeepsTheOpenOne) {
  ASSERT_TRUE(openProject());
  makeUnsavedChange();
  prompts.answers = {Answer::No};
  main().Ouvrirprojet1Click();
  EXPECT_EQ(prompts.questions.size(), 1);
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(main().project()->left.polygons.size(), 1U);
  EXPECT_TRUE(main().windowTitle().endsWith(QStringLiteral(" *")));
}

TEST_F(MainTest, InvalidProjectFileOpensNothing) {
  const QString invalid = path(QStringLiteral("bad.plk"));
  QFile file(invalid);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "[polygones]\r\nnbre_gauche=1\r\n[gauche]\r\np1.nbre_sommets=1\r\np1-1.index=5\r\n"
      "[sommets]\r\nnbre_gauche=0\r\n");
  file.close();
  prompts.fileNames = {invalid};
  main().Ouvrirprojet1Click();
  EXPECT_EQ(prompts.errors,
            QStringList{QStringLiteral("Le fichier de projet est invalide : ") + invalid});
  EXPECT_EQ(main().project(), nullptr);
  EXPECT_TRUE(main().session().projectFileName().isEmpty());
}

// The program answers --help and --version on the terminal and ends.
TEST(Program, AnswersHelpAndVersionOnTheTerminal) {
  QProcess program;
  program.start(QStringLiteral(PLK_PROGRAM), {QStringLiteral("--version")});
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(program.readAllStandardOutput().startsWith("PLK 0."));
  program.start(QStringLiteral(PLK_PROGRAM), {QStringLiteral("--help")});
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(program.readAllStandardOutput().contains("[projet]"));
}

// "plk scene.plk" opens the project: the program, run on its own settings, lists it among the
// recent projects once it is open.
TEST(Program, OpensTheProjectNamedOnItsCommandLine) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const QDir folder(home.path());
  io::ProjectFileData data;
  data.projectName = "scene";
  data.leftImagePath = writeGreyBmp(folder.filePath(QStringLiteral("l.bmp")), 40, 30).toStdString();
  data.rightImagePath = writeGreyBmp(folder.filePath(QStringLiteral("r.bmp")), 40, 30).toStdString();
  const QString scene = folder.filePath(QStringLiteral("scene.plk"));
  io::writeProjectFile(scene, data, NumberFormat{});
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
  environment.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath(QStringLiteral("data")));
  QProcess program;
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(PLK_PROGRAM), {scene});
  ASSERT_TRUE(program.waitForStarted(20000));
  const QString settings = folder.filePath(QStringLiteral("config/PLK/PLK.ini"));
  bool listed = false;
  for (int wait = 0; wait < 200 && !listed; ++wait) {
    listed = QSettings(settings, QSettings::IniFormat)
                 .value(QStringLiteral("projetsRecents"))
                 .toStringList()
                 .contains(scene);
    if (!listed) QTest::qWait(100);
  }
  program.kill();
  program.waitForFinished(20000);
  EXPECT_TRUE(listed);
}

}  // namespace
}  // namespace plk::test
