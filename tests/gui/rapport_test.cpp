#include "shell/rapport.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest/QTest>

#include "shell_fixture.h"

namespace plk::test {
namespace {

class RapportTest : public ShellTest {
 protected:
  TFRapport& rapport() const { return shell->rapport(); }
  void click(const char* name) const {
    QTest::mouseClick(rapport().findChild<QPushButton*>(name), Qt::LeftButton);
  }
};

TEST_F(RapportTest, AppendsLinesAndClears) {
  EXPECT_EQ(rapport().windowTitle(), QStringLiteral("Rapport"));
  rapport().appendLine("=========== Calcul des disparités ==============");
  rapport().appendLine("a\nb");
  rapport().appendLine(" ");
  EXPECT_EQ(rapport().lines(),
            (QStringList{QStringLiteral("=========== Calcul des disparités =============="),
                         QStringLiteral("a"), QStringLiteral("b"), QStringLiteral(" ")}));
  click("Button2");
  EXPECT_TRUE(rapport().lines().isEmpty());
  rapport().appendLine("x");
  EXPECT_EQ(rapport().lines(), QStringList{QStringLiteral("x")});
}

TEST_F(RapportTest, LeadingEmptyLinesAreLines) {
  rapport().appendLine("");
  EXPECT_EQ(rapport().lines(), QStringList{QString()});
  rapport().appendLine("");
  rapport().appendLine("x");
  EXPECT_EQ(rapport().lines(), (QStringList{QString(), QString(), QStringLiteral("x")}));
  click("Button2");
  EXPECT_TRUE(rapport().lines().isEmpty());
  rapport().appendLine("y");
  EXPECT_EQ(rapport().lines(), QStringList{QStringLiteral("y")});
}

TEST_F(RapportTest, SavesIsoLatinWithCrLf) {
  shell->newProject().setFields(QStringLiteral("scene"), {}, {});
  rapport().appendLine("Disparités");
  rapport().appendLine("fin");
  prompts.fileNames = {path(QStringLiteral("notes"))};
  click("Button1");
  EXPECT_EQ(prompts.dialogTitles, QStringList{QStringLiteral("Sauvegarde du rapport en cours")});
  EXPECT_EQ(prompts.proposedNames, QStringList{QStringLiteral("scene.txt")});
  EXPECT_EQ(prompts.filters, QStringList{QStringLiteral("Rapport PLK(*.txt)")});
  EXPECT_EQ(fileBytes(path(QStringLiteral("notes.txt"))), QByteArray("Disparit\xe9s\r\nfin\r\n"));
  EXPECT_EQ(main().session().lastDirectory(), folder.path());

  prompts.fileNames = {path(QStringLiteral("notes.txt.bak"))};
  click("Button1");
  EXPECT_TRUE(QFile::exists(path(QStringLiteral("notes.txt.bak"))));
  EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(RapportTest, OverwriteNoWritesNothing) {
  QFile old(path(QStringLiteral("notes.txt")));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old");
  old.close();
  rapport().appendLine("new");
  for (const QString& chosen : {QStringLiteral("notes.txt"), QStringLiteral("notes")}) {
    prompts.fileNames = {path(chosen)};
    prompts.answers = {Answer::No};
    click("Button1");
  }
  EXPECT_EQ(prompts.questions.size(), 2);
  EXPECT_EQ(prompts.questions.first(),
            QStringLiteral("Ce fichier de projet existe déjà. Voulez-vous le remplacer ?"));
  EXPECT_EQ(fileBytes(path(QStringLiteral("notes.txt"))), QByteArray("old"));
}

TEST_F(RapportTest, FailedWriteKeepsTheReport) {
  rapport().appendLine("gardé");
  prompts.fileNames = {path(QStringLiteral("missing/notes.txt"))};
  click("Button1");
  ASSERT_EQ(prompts.errors.size(), 1);
  EXPECT_TRUE(prompts.errors.first().contains(path(QStringLiteral("missing/notes.txt"))));
  EXPECT_EQ(rapport().lines(), QStringList{QStringLiteral("gardé")});
}

// The report follows its newest line, lines written while it was hidden included, until the
// user scrolls up; back at the end, it follows again.
TEST_F(RapportTest, FollowsTheNewestLineUnlessScrolledUp) {
  QScrollBar& bar = *rapport().findChild<QPlainTextEdit*>("Memo1")->verticalScrollBar();
  const auto appendLines = [&](int count) {
    for (int i = 0; i < count; ++i) rapport().appendLine("ligne " + std::to_string(i));
  };
  appendLines(100);
  rapport().show();
  QCoreApplication::processEvents();
  ASSERT_GT(bar.maximum(), 0);
  EXPECT_EQ(bar.value(), bar.maximum());
  appendLines(100);
  EXPECT_EQ(bar.value(), bar.maximum());

  bar.setValue(bar.maximum() / 2);  // the user scrolls up to read
  const int reading = bar.value();
  appendLines(3);
  EXPECT_EQ(bar.value(), reading);

  bar.setValue(bar.maximum());
  appendLines(3);
  EXPECT_EQ(bar.value(), bar.maximum());
  EXPECT_TRUE(rapport().lines().endsWith(QStringLiteral("ligne 2")));
}

}  // namespace
}  // namespace plk::test
