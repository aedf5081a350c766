#include "shell/recovery.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QUndoStack>
#include <QtTest/QTest>
#include <chrono>

#include "io/project_file.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

using namespace std::chrono_literals;

const QString kAskAgain =
    QStringLiteral(" Voulez-vous la restaurer ? Si vous répondez Non, elle sera supprimée.");

// Recovery copies of a project on scripted prompts: the program is "killed" by destroying its
// windows without the closing questions, then started again on the same folders.
class RecoveryTest : public ShellTest {
 protected:
  [[nodiscard]] QString scene() const { return path(QStringLiteral("scene.plk")); }
  [[nodiscard]] static QString copyOf(const QString& project) {
    return project + QStringLiteral(".recovery");
  }
  [[nodiscard]] QString unsavedCopy() const {
    return QDir(recoveryFolder()).filePath(QStringLiteral("unsaved-project.plk.recovery"));
  }
  void saveAs(const QString& target) {
    prompts.fileNames = {target};
    ASSERT_EQ(main().session().saveProjectAs(), SaveOutcome::Saved);
  }
  void openScene() {
    prompts.fileNames = {scene()};
    action("Ouvrirprojet1")->trigger();
  }
  [[nodiscard]] std::size_t leftCount() const { return main().project()->left.polygons.size(); }
  [[nodiscard]] static std::size_t leftCountIn(const QString& file) {
    return io::readProjectFile(file).left.polygons.size();
  }
};

TEST_F(RecoveryTest, TheTimerCopiesAnEditAndTheNextRunRestoresIt) {
  ASSERT_TRUE(openProject());
  saveAs(scene());
  makeUnsavedChange();
  main().listPolygons();
  const QString edited = listing();
  main().session().recovery().setInterval(10ms);
  for (int wait = 0; wait < 300 && !QFile::exists(copyOf(scene())); ++wait) QTest::qWait(10);
  ASSERT_TRUE(QFile::exists(copyOf(scene())));

  startShell();
  EXPECT_TRUE(prompts.questions.isEmpty());
  prompts.answers = {Answer::Yes};
  openScene();
  ASSERT_EQ(prompts.questions.size(), 1);
  EXPECT_TRUE(prompts.questions[0].startsWith(QStringLiteral(
      "Une copie de secours plus récente que le fichier de ce projet existe (écrite le ")));
  EXPECT_TRUE(prompts.questions[0].endsWith(QStringLiteral(").") + kAskAgain));
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(listing(), edited);
  EXPECT_TRUE(main().project()->left.polygons[0].isClosed());
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene] *"));

  // The restoration is one step: undoing it shows the file as saved.
  main().session().history().undo();
  EXPECT_EQ(leftCount(), 0U);
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [scene]"));
  main().session().history().redo();
  action("Fermerprojet1")->trigger();
  EXPECT_FALSE(QFile::exists(copyOf(scene())));
  EXPECT_EQ(leftCountIn(scene()), 1U);
}

TEST_F(RecoveryTest, AProjectNeverSavedIsOfferedAtTheNextStart) {
  ASSERT_TRUE(openProject(QStringLiteral("brouillon")));
  makeUnsavedChange();
  main().session().recovery().saveCopy();
  ASSERT_TRUE(QFile::exists(unsavedCopy()));
  const QString expected =
      QStringLiteral(
          "Une copie de secours du projet « brouillon », qui n'a jamais "
          "été enregistré, existe (écrite le ") +
      QFileInfo(unsavedCopy()).lastModified().toString(QStringLiteral("dd/MM/yyyy 'à' HH:mm")) +
      QStringLiteral(").") + kAskAgain;
  shell->newProject().setFields(QStringLiteral("autre"), QString(), QString());

  prompts.answers = {Answer::Yes};
  startShell();
  EXPECT_EQ(prompts.questions, QStringList{expected});
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(leftCount(), 1U);
  EXPECT_TRUE(main().session().projectFileName().isEmpty());
  EXPECT_EQ(shell->newProject().leftImagePath(), leftPath);
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [brouillon] *"));

  prompts.fileNames = {path(QStringLiteral("brouillon"))};
  action("Fermerprojet1")->trigger();
  EXPECT_FALSE(QFile::exists(unsavedCopy()));
  EXPECT_EQ(leftCountIn(path(QStringLiteral("brouillon.plk"))), 1U);
}

TEST_F(RecoveryTest, AnsweringNoRemovesTheCopyAndOpensTheFile) {
  ASSERT_TRUE(openProject());
  makeUnsavedChange();
  saveAs(scene());
  makeUnsavedChange();
  main().session().recovery().saveCopy();
  EXPECT_EQ(leftCountIn(copyOf(scene())), 2U);

  startShell();
  prompts.answers = {Answer::No};
  openScene();
  EXPECT_EQ(prompts.questions.size(), 1);
  EXPECT_EQ(leftCount(), 1U);
  EXPECT_TRUE(main().session().history().undoStack().isClean());
  EXPECT_FALSE(QFile::exists(copyOf(scene())));

  makeUnsavedChange();
  main().session().saveProjectAs();  // cancelled: the project stays unsaved
  main().session().recovery().saveCopy();
  ASSERT_TRUE(QFile::exists(copyOf(scene())));
}

TEST_F(RecoveryTest, NoCopyIsWrittenWhileNothingChanged) {
  ASSERT_TRUE(openProject());
  main().session().recovery().saveCopy();
  saveAs(scene());
  main().session().recovery().saveCopy();
  EXPECT_FALSE(QFile::exists(unsavedCopy()));
  EXPECT_FALSE(QFile::exists(copyOf(scene())));

  // Undoing back to the saved polygons makes the copy useless.
  makeUnsavedChange();
  main().session().recovery().saveCopy();
  ASSERT_TRUE(QFile::exists(copyOf(scene())));
  main().session().history().undo();
  main().session().recovery().saveCopy();
  EXPECT_FALSE(QFile::exists(copyOf(scene())));
}

TEST_F(RecoveryTest, SavingAndClosingRemoveTheCopy) {
  ASSERT_TRUE(openProject());
  makeUnsavedChange();
  main().session().recovery().saveCopy();
  saveAs(scene());
  EXPECT_FALSE(QFile::exists(unsavedCopy()));

  makeUnsavedChange();
  main().session().recovery().saveCopy();
  prompts.answers = {Answer::No};
  ASSERT_TRUE(main().session().askSaveAndClose());
  EXPECT_FALSE(QFile::exists(copyOf(scene())));

  ASSERT_TRUE(openProject());
  makeUnsavedChange();
  main().session().recovery().saveCopy();
  prompts.answers = {Answer::No};
  EXPECT_TRUE(main().close());
  EXPECT_FALSE(QFile::exists(unsavedCopy()));
}

// Asked to save, the user left the save dialog: the edits exist nowhere but in the copy.
TEST_F(RecoveryTest, ASaveDialogLeftWhileClosingKeepsTheCopy) {
  ASSERT_TRUE(openProject());
  makeUnsavedChange();
  main().session().recovery().saveCopy();
  prompts.answers = {Answer::Yes};
  ASSERT_TRUE(main().session().askSaveAndClose(CloseReason::Quit));
  EXPECT_TRUE(QFile::exists(unsavedCopy()));

  // A new project's copy replaces it only once there is something to keep.
  ASSERT_TRUE(openProject());
  main().session().recovery().saveCopy();
  EXPECT_EQ(leftCountIn(unsavedCopy()), 1U);
}

TEST_F(RecoveryTest, AFailedSaveKeepsTheCopy) {
  ASSERT_TRUE(openProject());
  saveAs(scene());
  makeUnsavedChange();
  main().session().recovery().saveCopy();
  prompts.fileNames = {path(QStringLiteral("missing/other.plk"))};
  EXPECT_EQ(main().session().saveProjectAs(), SaveOutcome::Failed);
  EXPECT_EQ(leftCountIn(copyOf(scene())), 1U);

  prompts.answers = {Answer::Yes};
  prompts.fileNames = {path(QStringLiteral("missing/other.plk"))};
  EXPECT_FALSE(main().session().askSaveAndClose());
  EXPECT_TRUE(QFile::exists(copyOf(scene())));

  // The project has no file any more: its next copy goes with the unsaved one.
  main().session().recovery().saveCopy();
  EXPECT_FALSE(QFile::exists(copyOf(scene())));
  EXPECT_EQ(leftCountIn(unsavedCopy()), 1U);
}

TEST_F(RecoveryTest, ACopyThatCannotBeWrittenIsReportedOnce) {
  ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("sub"))));
  ASSERT_TRUE(openProject());
  saveAs(path(QStringLiteral("sub/scene.plk")));
  makeUnsavedChange();
  ASSERT_TRUE(QDir(path(QStringLiteral("sub"))).removeRecursively());
  QFile blocker(path(QStringLiteral("sub")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();

  main().session().recovery().saveCopy();
  main().session().recovery().saveCopy();
  EXPECT_EQ(prompts.errors,
            QStringList{recoveryFailureMessage(path(QStringLiteral("sub/scene.plk.recovery")))});
}

TEST_F(RecoveryTest, AnOlderCopyIsNeitherOfferedNorRemoved) {
  ASSERT_TRUE(openProject());
  saveAs(scene());
  makeUnsavedChange();
  main().session().recovery().saveCopy();
  QFile copy(copyOf(scene()));
  ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
  ASSERT_TRUE(copy.setFileTime(QFileInfo(scene()).lastModified().addSecs(-3600),
                               QFileDevice::FileModificationTime));
  copy.close();

  startShell();
  openScene();
  EXPECT_TRUE(prompts.questions.isEmpty());
  EXPECT_EQ(leftCount(), 0U);
  EXPECT_TRUE(QFile::exists(copyOf(scene())));
}

TEST_F(RecoveryTest, AnUnreadableCopyIsReportedAndLeft) {
  QDir().mkpath(recoveryFolder());
  QFile copy(unsavedCopy());
  ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
  copy.write("[polygones]\r\nnbre_gauche=1\r\n[gauche]\r\np1.nbre_sommets=1\r\np1-1.index=5\r\n");
  copy.close();
  startShell();
  EXPECT_EQ(prompts.errors,
            QStringList{QStringLiteral("Le fichier de projet est invalide : ") + unsavedCopy()});
  EXPECT_TRUE(prompts.questions.isEmpty());
  EXPECT_EQ(main().project(), nullptr);
  EXPECT_TRUE(QFile::exists(unsavedCopy()));
}

// The restore question keeps the copy on Return: its default button is Yes.
TEST(RecoveryQuestion, ReturnKeepsTheWork) {
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Return);
  });
  DialogPrompts prompts;
  EXPECT_EQ(prompts.askToKeep(nullptr, QStringLiteral("Restaurer ?")), Answer::Yes);
}

}  // namespace
}  // namespace plk::test
