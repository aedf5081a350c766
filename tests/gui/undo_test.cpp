#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QUndoStack>
#include <QtTest/QTest>

#include "shell_fixture.h"
#include "views/image.h"

namespace plk::test {
namespace {

const QString kContinueQuestion =
    QStringLiteral("Vous avez un projet en cours. Voulez-vous le sauvegarder avant de continuer ?");

// Edits made with the mouse in the left image window of an open project.
class UndoTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ASSERT_TRUE(openProject());
    // Pointer moves reach the window under the pointer: keep the small image window uncovered.
    main().leftWindow()->move(700, 700);
  }

  PolygonList& left() const { return main().project()->left.polygons; }
  QWidget* surface() const { return main().leftWindow()->paintBox(); }
  void choose(const char* button) const { main().findChild<QToolButton*>(button)->click(); }
  void click(QPoint at) const {
    QTest::mouseMove(surface(), at);
    QTest::mouseClick(surface(), Qt::LeftButton, Qt::NoModifier, at);
  }
  void drag(QPoint from, QPoint to) const {
    QTest::mouseMove(surface(), from);
    QTest::mousePress(surface(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(surface(), to);
    QTest::mouseRelease(surface(), Qt::LeftButton, Qt::NoModifier, to);
  }
  // The triangle (10, 8), (10, 30), (22, 8), closed on its first vertex.
  void drawTriangle() const {
    choose("SpeedButtonAdd");
    for (const QPoint at : {QPoint(8, 10), QPoint(30, 10), QPoint(8, 22), QPoint(9, 11)}) click(at);
  }
  QString undoText() const { return action("Annuler1")->text(); }
  QString redoText() const { return action("Retablir1")->text(); }
};

TEST_F(UndoTest, AddingAndClosingUndoStepByStepAndResumeTheConstruction) {
  drawTriangle();
  const std::vector<Sommet*> corners = left()[0].sommets;
  ASSERT_EQ(corners.size(), 4U);
  EXPECT_EQ(undoText(), QStringLiteral("Annuler fermeture du polygone"));
  EXPECT_EQ(main().session().history().undoStack().count(), 4);

  action("Annuler1")->trigger();
  EXPECT_EQ(left()[0].sommets.size(), 3U);
  EXPECT_EQ(main().leftWindow()->editor().constructionState(), 1);
  EXPECT_EQ(main().leftWindow()->editor().lastVertex(), corners[2]);
  EXPECT_EQ(undoText(), QStringLiteral("Annuler ajout du sommet"));
  EXPECT_EQ(redoText(), QStringLiteral("Rétablir fermeture du polygone"));
  for (int i = 0; i < 3; ++i) action("Annuler1")->trigger();
  EXPECT_TRUE(left().empty());
  EXPECT_EQ(main().leftWindow()->editor().constructionState(), 0);
  EXPECT_FALSE(action("Annuler1")->isEnabled());
  EXPECT_EQ(undoText(), QStringLiteral("Annuler"));

  for (int i = 0; i < 4; ++i) action("Retablir1")->trigger();
  ASSERT_EQ(left().size(), 1U);
  EXPECT_EQ(left()[0].sommets, corners);
  EXPECT_EQ(main().leftWindow()->editor().constructionState(), 0);
  EXPECT_TRUE(listing().contains(QStringLiteral("( 10.0   8.0) ( 10.0  30.0) ( 22.0   8.0)")));
}

TEST_F(UndoTest, AMoveIsOneStepFromPressToRelease) {
  drawTriangle();
  choose("SpeedButtonMove");
  drag({30, 10}, {34, 16});
  ASSERT_EQ(left()[0].sommets[1]->V, 34.0);
  EXPECT_EQ(undoText(), QStringLiteral("Annuler déplacement du sommet"));
  main().session().history().undo();
  EXPECT_EQ(left()[0].sommets[1]->U, 10.0);
  EXPECT_EQ(left()[0].sommets[1]->V, 30.0);
  main().session().history().redo();
  EXPECT_EQ(left()[0].sommets[1]->U, 16.0);
  EXPECT_EQ(left()[0].sommets[1]->V, 34.0);
}

// A vertex shared by two polygons leaves both when deleted; the undo puts the one object back
// at its old positions in both.
TEST_F(UndoTest, AnUndoneDeleteRestoresTheSharedVertexObject) {
  drawTriangle();
  click({30, 10});  // starts a second polygon on the triangle's second vertex
  click({36, 24});
  QTest::mouseClick(surface(), Qt::RightButton, Qt::NoModifier, {36, 24});
  Sommet* shared = left()[0].sommets[1];
  ASSERT_EQ(left()[1].sommets.front(), shared);
  const PolygonListState before = left().capture();

  choose("SpeedButtonDel");
  click({30, 10});
  EXPECT_EQ(left()[0].sommets.size(), 3U);
  EXPECT_EQ(left()[1].sommets.size(), 1U);
  EXPECT_EQ(left().vertexCount(), 3U);
  EXPECT_EQ(undoText(), QStringLiteral("Annuler suppression du sommet"));

  main().session().history().undo();
  EXPECT_EQ(left().capture(), before);
  EXPECT_EQ(left()[0].sommets[1], shared);
  EXPECT_EQ(left()[1].sommets[0], shared);
  main().session().history().redo();
  EXPECT_EQ(left().vertexCount(), 3U);
}

TEST_F(UndoTest, EndingLockingAndAdjustingAreSteps) {
  choose("SpeedButtonAdd");
  click({8, 10});
  click({30, 10});
  QTest::mouseClick(surface(), Qt::RightButton, Qt::NoModifier, {30, 10});
  EXPECT_EQ(undoText(), QStringLiteral("Annuler fin du polygone"));
  main().session().history().undo();
  EXPECT_EQ(main().leftWindow()->editor().constructionState(), 1);
  main().session().history().redo();
  EXPECT_EQ(main().leftWindow()->editor().constructionState(), 0);

  main().findChild<QPushButton*>(QStringLiteral("Button1"))->click();
  EXPECT_TRUE(left()[0].locked);
  EXPECT_EQ(undoText(), QStringLiteral("Annuler blocage du polygone"));
  main().session().history().undo();
  EXPECT_FALSE(left()[0].locked);
  EXPECT_TRUE(listing().contains(QStringLiteral("1 (libre)")));

  // Picks (10, 8), (10, 30), then the vertical side through (5, 34) and (25, 34).
  click({34, 5});
  click({34, 25});
  QTest::mouseClick(surface(), Qt::RightButton, Qt::NoModifier, {34, 25});
  action("Ajusterlessommetsdevantappartenirunct1")->trigger();
  for (const QPoint at : {QPoint(8, 10), QPoint(30, 10), QPoint(34, 5), QPoint(34, 25)}) click(at);
  EXPECT_EQ(left()[0].sommets[1]->V, 34.0);
  EXPECT_EQ(undoText(), QStringLiteral("Annuler ajustement du sommet"));
  main().session().history().undo();
  EXPECT_EQ(left()[0].sommets[1]->V, 30.0);
}

// Undoing a reinitialisation brings the polygons back and, like the reinitialisation, forgets
// the interest points found since.
TEST_F(UndoTest, ReinitialisationIsUndoneWithItsEffectOnTheResults) {
  drawTriangle();
  const std::vector<Sommet*> corners = left()[0].sommets;
  prompts.answers = {Answer::Yes};
  main().Rinitialiserlessommetsdelimagegauche1Click();
  ASSERT_TRUE(left().empty());
  main().project()->results.pointsDetected = true;
  main().project()->results.interestPoints.resize(1);

  main().session().history().undo();
  ASSERT_EQ(left().size(), 1U);
  EXPECT_EQ(left()[0].sommets, corners);
  EXPECT_FALSE(main().project()->results.pointsDetected);
  EXPECT_TRUE(main().project()->results.interestPoints.empty());
}

// The title shows the unsaved changes; the questions come only with them.
TEST_F(UndoTest, TheCleanStateDrivesTheTitleAndTheQuestions) {
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene]"));
  EXPECT_TRUE(main().session().askSaveAndClose(CloseReason::Continue));
  EXPECT_TRUE(prompts.questions.isEmpty());

  ASSERT_TRUE(openProject());
  main().leftWindow()->move(700, 700);
  drawTriangle();
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene] *"));
  for (int i = 0; i < 4; ++i) main().session().history().undo();
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene]"));
  main().session().history().redo();
  prompts.fileNames = {path(QStringLiteral("scene.plk"))};
  main().Fermerprojet1Click();
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene]"));
  main().session().history().undo();
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene] *"));

  prompts.answers = {Answer::Cancel};
  main().Ouvrirprojet1Click();
  EXPECT_EQ(prompts.questions, QStringList{kContinueQuestion});
  EXPECT_NE(main().project(), nullptr);
  EXPECT_TRUE(prompts.dialogTitles.endsWith(QStringLiteral("Sauvegarde du projet en cours")));

  prompts.answers = {Answer::No};
  main().Nouveauprojet1Click();
  EXPECT_EQ(prompts.questions.size(), 2);
  EXPECT_EQ(prompts.questions.last(), kContinueQuestion);
  EXPECT_EQ(main().project(), nullptr);
  EXPECT_EQ(main().session().history().undoStack().count(), 0);
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK"));
}

// Closing a project empties the listing and the pointer label.
TEST_F(UndoTest, ClosingClearsTheListingAndThePointerLabel) {
  drawTriangle();
  main().showPointerPosition(3, 4);
  prompts.answers = {Answer::No};
  ASSERT_TRUE(main().session().askSaveAndClose(CloseReason::Quit));
  EXPECT_TRUE(listing().isEmpty());
  EXPECT_EQ(main().findChild<QLabel*>(QStringLiteral("LabelUV"))->text(),
            QStringLiteral("          "));
}

// The shortcuts reach the commands through real key events.
TEST_F(UndoTest, ShortcutsSaveOpenAndUndo) {
  drawTriangle();
  main().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&main()));
  QTest::keyClick(&main(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(left()[0].sommets.size(), 3U);
  QTest::keyClick(&main(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(left()[0].sommets.size(), 4U);
  QTest::keyClick(&main(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(left()[0].sommets.size(), 4U);

  prompts.fileNames = {path(QStringLiteral("scene.plk"))};
  QTest::keyClick(&main(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(QFile::exists(path(QStringLiteral("scene.plk"))));
  prompts.fileNames = {path(QStringLiteral("other.plk"))};
  QTest::keyClick(&main(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(main().session().projectFileName(), path(QStringLiteral("other.plk")));
  QTest::keyClick(&main(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(prompts.dialogTitles.last(), QStringLiteral("Ouverture de projet"));
}

TEST_F(UndoTest, RecentProjectsSurviveARestart) {
  for (const char* name : {"a.plk", "b.plk", "c.plk", "d.plk", "e.plk", "b.plk"}) {
    prompts.fileNames = {path(QString::fromLatin1(name))};
    prompts.answers = {Answer::Yes};  // replaces b.plk the second time
    main().session().saveProjectAs();
  }
  const QStringList expected = {path(QStringLiteral("b.plk")), path(QStringLiteral("e.plk")),
                                path(QStringLiteral("d.plk")), path(QStringLiteral("c.plk"))};
  EXPECT_EQ(main().session().recentProjects(), expected);

  startShell();
  EXPECT_EQ(main().session().recentProjects(), expected);
  QAction* first = main().findChild<QAction*>(QStringLiteral("Projetrecent1"));
  ASSERT_NE(first, nullptr);
  first->trigger();
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(main().session().projectFileName(), path(QStringLiteral("b.plk")));

  // A project that no longer opens leaves the list.
  QFile::remove(path(QStringLiteral("e.plk")));
  main().findChild<QAction*>(QStringLiteral("Projetrecent2"))->trigger();
  EXPECT_FALSE(main().session().recentProjects().contains(path(QStringLiteral("e.plk"))));
}

// A file that is no project file is named in the refusal; a valid file whose image is missing
// keeps the left image's message.
TEST_F(UndoTest, TheRefusalNamesTheProjectFileWhenTheFileIsInvalid) {
  const QString text = path(QStringLiteral("notes.plk"));
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("quelques notes\r\n");
  file.close();
  for (const QString& chosen : {text, path(QStringLiteral("absent.plk"))}) {
    prompts.errors.clear();
    prompts.fileNames = {chosen};
    main().Ouvrirprojet1Click();
    EXPECT_EQ(prompts.errors,
              QStringList{QStringLiteral("Le fichier de projet est invalide : ") + chosen});
    EXPECT_EQ(main().project(), nullptr);
  }

  ASSERT_TRUE(openProject());
  prompts.fileNames = {path(QStringLiteral("scene.plk"))};
  main().session().saveProjectAs();
  QFile::remove(leftPath);
  prompts.errors.clear();
  prompts.answers = {Answer::No};
  prompts.fileNames = {path(QStringLiteral("scene.plk"))};
  main().Ouvrirprojet1Click();
  EXPECT_EQ(prompts.errors,
            QStringList{QStringLiteral(
                "Erreur lors du chargement de l'image gauche ! Création du projet impossible.")});
}

}  // namespace
}  // namespace plk::test
