#include "shell/aide.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "scripted_prompts.h"

namespace plk::test {
namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

TEST(AideTest, ReadsTheFirstFolderHoldingTheText) {
  QTemporaryDir working;
  QTemporaryDir program;
  writeBytes(QDir(program.path()).filePath(QStringLiteral("aide.txt")), "programme\r\n");
  ScriptedPrompts prompts;
  {
    const TFHelp help(prompts, {working.path(), program.path()});
    EXPECT_EQ(help.text(), QStringLiteral("programme"));
  }
  writeBytes(QDir(working.path()).filePath(QStringLiteral("aide.txt")),
             "Cr\xe9"
             "er\r\nun projet\r\n");
  const TFHelp help(prompts, {working.path(), program.path()});
  EXPECT_EQ(help.windowTitle(), QStringLiteral("Aide"));
  EXPECT_EQ(help.text(), QStringLiteral("Créer\nun projet"));
  EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST(AideTest, MissingTextShowsAnErrorAndKeepsMemo1) {
  QTemporaryDir empty;
  ScriptedPrompts prompts;
  const TFHelp help(prompts, {empty.path()});
  EXPECT_EQ(prompts.errors.size(), 1);
  EXPECT_TRUE(prompts.errors.first().contains(QStringLiteral("aide.txt")));
  EXPECT_EQ(help.text(), QStringLiteral("Memo1"));
}

TEST(AideTest, ShippedHelpIsIsoLatinWithCrLf) {
  QFile file(QStringLiteral(PLK_SOURCE_DIR "/resources/aide.txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n"));
  EXPECT_TRUE(bytes.contains("Ajout de sommets"));
  EXPECT_TRUE(
      bytes.contains("Fl\xe8"
                     "che"));
}

}  // namespace
}  // namespace plk::test
