#include "io/text_file.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "io/io_error.h"
#include "io_test_support.h"

namespace plk::io {
namespace {

using testing::fileBytes;
using testing::writeBytes;

TEST(WriteTextFile, Latin1BytesAndCrLfEndings) {
  QTemporaryDir dir;
  const QString path = dir.filePath("rapport.txt");
  writeTextFile(
      path, {QStringLiteral("=== Calcul des disparités ==="), QString(), QStringLiteral("fin")});
  EXPECT_EQ(fileBytes(path), QByteArray("=== Calcul des disparit\xE9s ===\r\n\r\nfin\r\n"));
}

TEST(WriteTextFile, ReplacesThePreviousContent) {
  QTemporaryDir dir;
  const QString path = dir.filePath("notes.txt");
  writeBytes(path, "an older and longer content\r\n");
  writeTextFile(path, {QStringLiteral("new")});
  EXPECT_EQ(fileBytes(path), QByteArray("new\r\n"));
}

TEST(WriteTextFile, FailureThrowsAFrenchSentenceAndKeepsTheOldFile) {
  QTemporaryDir dir;
  const QString path = testing::unsavablePath(QDir(dir.path()));
  writeBytes(path, "previous\r\n");
  try {
    writeTextFile(path, {QStringLiteral("new")});
    FAIL() << "no error reported";
  } catch (const IoError& error) {
    EXPECT_EQ(std::string(error.what()), "Impossible d'écrire le fichier " + path.toStdString());
  }
  EXPECT_EQ(fileBytes(path), QByteArray("previous\r\n"));

  const QString missingFolder = dir.filePath("absent/notes.txt");
  EXPECT_THROW(writeTextFile(missingFolder, {QStringLiteral("x")}), IoError);
}

TEST(ReadTextFile, Latin1WithEitherLineEnding) {
  QTemporaryDir dir;
  const QString path = dir.filePath("aide.txt");
  writeBytes(path, "Aide g\xE9n\xE9rale\r\n\r\nligne 3\nderni\xE8re");
  EXPECT_EQ(readTextFile(path),
            (QStringList{QStringLiteral("Aide générale"), QString(), QStringLiteral("ligne 3"),
                         QStringLiteral("dernière")}));
  EXPECT_FALSE(readTextFile(dir.filePath("absent.txt")));
}

}  // namespace
}  // namespace plk::io
