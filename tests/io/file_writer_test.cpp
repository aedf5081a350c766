#include "io/file_writer.h"

#include <gtest/gtest.h>

#include <QDir>

#include "full_file_system.h"
#include "io/io_error.h"
#include "io_test_support.h"

namespace plk::io {
namespace {

// On a full disk, a file smaller than a write buffer and one larger fail alike: the message
// comes back, the former file keeps every byte and no temporary file is left behind.
TEST(ReplaceFile, AFullDiskFailsAndKeepsTheFormerFile) {
  const test::FullFileSystem disk;
  PLK_REQUIRE_FULL_FILE_SYSTEM(disk);
  const QString path = disk.filePath(QStringLiteral("scene.plk"));
  const QByteArray former(3000, 'f');
  testing::writeBytes(path, former);
  disk.fill();
  for (const qsizetype size : {qsizetype{200}, qsizetype{16384}, qsizetype{200000}}) {
    try {
      replaceFile(path, QByteArray(size, 'n'), "refused " + std::to_string(size));
      ADD_FAILURE() << size << " bytes written on a full disk";
    } catch (const IoError& error) {
      EXPECT_EQ(std::string(error.what()), "refused " + std::to_string(size));
    }
    EXPECT_EQ(testing::fileBytes(path), former) << size;
  }
  EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files),
            (QStringList{QStringLiteral("filler"), QStringLiteral("scene.plk")}));
}

}  // namespace
}  // namespace plk::io
