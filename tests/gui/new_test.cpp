#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QtTest/QTest>

#include "io/project_file.h"
#include "shell_fixture.h"

namespace plk::test {
namespace {

class NewTest : public ShellTest {
 protected:
  TFNew& dialog() const { return shell->newProject(); }
  void click(const char* name) const {
    QTest::mouseClick(dialog().findChild<QPushButton*>(name), Qt::LeftButton);
  }
  QLineEdit* field(const char* name) const {
    return dialog().findChild<QLineEdit*>(QString::fromLatin1(name));
  }
  // The clipboard's text pasted at the end of the field, as with Ctrl+V.
  void paste(const char* name, const QString& text) const {
    QApplication::clipboard()->setText(text);
    field(name)->end(false);
    field(name)->paste();
  }
};

TEST_F(NewTest, ChecksTheFieldsInOrder) {
  dialog().show();
  EXPECT_EQ(dialog().windowTitle(), QStringLiteral("Nouveau projet"));
  EXPECT_FALSE(dialog().isModal());
  const struct {
    QString name, left, right, message;
  } cases[] = {
      {{}, {}, {}, QStringLiteral("Vous devez spécifier un nom de projet !")},
      {QStringLiteral("s"), {}, {}, QStringLiteral("Vous devez spécifier une image gauche !")},
      {QStringLiteral("s"),
       leftPath,
       {},
       QStringLiteral("Vous devez spécifier une image droite !")},
  };
  for (const auto& c : cases) {
    prompts.errors.clear();
    dialog().setFields(c.name, c.left, c.right);
    click("Button3");
    EXPECT_EQ(prompts.errors, QStringList{c.message});
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(main().project(), nullptr);
  }
}

TEST_F(NewTest, OkCreatesTheProjectAndKeepsTheTexts) {
  dialog().show();
  dialog().setFields(QStringLiteral(" "), leftPath, rightPath);  // spaces pass the check
  click("Button3");
  EXPECT_FALSE(dialog().isVisible());
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [ ]"));

  // A project still open with unsaved changes is closed first; Cancel keeps it and the dialog.
  makeUnsavedChange();
  dialog().show();
  prompts.answers = {Answer::Cancel};
  click("Button3");
  EXPECT_TRUE(dialog().isVisible());
  prompts.answers = {Answer::No};
  dialog().setFields(QStringLiteral("scene"), leftPath, path(QStringLiteral("none.bmp")));
  click("Button3");
  EXPECT_FALSE(dialog().isVisible());
  EXPECT_EQ(main().project(), nullptr);
  EXPECT_EQ(dialog().projectName(), QStringLiteral("scene"));
  EXPECT_EQ(dialog().leftImagePath(), leftPath);
}

// A line break pasted into the name once started a line of its own in [general] of the file.
TEST_F(NewTest, RegressionPastedLineBreaksNeverReachTheProjectFile) {
  dialog().setFields({}, leftPath, rightPath);
  paste("EditNom", QStringLiteral("a\nimageg_location=evil"));
  paste("EditDroite", QStringLiteral("\r\n\t"));
  ASSERT_TRUE(field("EditNom")->text().contains(QLatin1Char('\n')));
  click("Button3");
  ASSERT_NE(main().project(), nullptr);
  EXPECT_EQ(dialog().projectName(), QStringLiteral("aimageg_location=evil"));
  EXPECT_EQ(dialog().rightImagePath(), rightPath);
  EXPECT_EQ(main().windowTitle(), QStringLiteral("PLK [aimageg_location=evil]"));

  const QString saved = path(QStringLiteral("scene.plk"));
  ASSERT_EQ(main().session().saveProject(saved), SaveOutcome::Saved);
  EXPECT_FALSE(fileBytes(saved).contains("\nimageg_location=evil"));
  const io::ProjectFileData data = io::readProjectFile(saved);
  EXPECT_EQ(data.projectName, "aimageg_location=evil");
  EXPECT_EQ(data.leftImagePath, leftPath.toStdString());
  EXPECT_EQ(data.rightImagePath, rightPath.toStdString());
}

TEST_F(NewTest, EveryControlCharacterIsRemovedAndANameOfThemAloneIsEmpty) {
  const QString controls = QStringLiteral("\x01\t\x1f\x7f\u0085\u2028\u2029");
  dialog().setFields(controls, leftPath, rightPath);
  click("Button3");
  EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Vous devez spécifier un nom de projet !")});
  EXPECT_EQ(main().project(), nullptr);
  dialog().setFields(QStringLiteral("s") + controls + QStringLiteral("cène é"), leftPath,
                     rightPath);
  click("Button3");
  EXPECT_EQ(dialog().projectName(), QStringLiteral("scène é"));
  EXPECT_NE(main().project(), nullptr);
}

TEST_F(NewTest, TheNameFieldHasTheFocusEachTimeTheDialogOpens) {
  for (int opening = 0; opening < 2; ++opening) {
    dialog().show();
    EXPECT_EQ(dialog().focusWidget(), dialog().findChild<QLineEdit*>(QStringLiteral("EditNom")))
        << opening;
    dialog().findChild<QLineEdit*>(QStringLiteral("EditDroite"))->setFocus();
    click("Button4");
    EXPECT_FALSE(dialog().isVisible());
  }
}

TEST_F(NewTest, BrowseFillsTheFieldAndTheLastFolder) {
  prompts.fileNames = {leftPath};
  click("Button1");
  click("Button2");  // cancelled
  EXPECT_EQ(prompts.dialogTitles, (QStringList{QStringLiteral("Ouvrir l'image gauche"),
                                               QStringLiteral("Ouvrir l'image droite")}));
  EXPECT_TRUE(prompts.filters.first().contains(QStringLiteral("*.bmp")));
  EXPECT_EQ(dialog().leftImagePath(), leftPath);
  EXPECT_TRUE(dialog().rightImagePath().isEmpty());
  EXPECT_EQ(main().session().lastDirectory(), folder.path());
}

}  // namespace
}  // namespace plk::test
