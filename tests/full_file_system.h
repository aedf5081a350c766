#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace plk::test {

// A small tmpfs mounted for one test: the test puts its former files there, then fills the file
// system to its last byte so that every later write fails for want of space. Mounting needs
// root; where it is refused, mounted() is false and refusal() says why, for the skip message.
class FullFileSystem {
 public:
  // `size` as the mount option gives it ("1m", "4m").
  explicit FullFileSystem(const char* size = "1m") {
    char folder[] = "/tmp/plk-full-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
      refusal_ = std::strerror(errno);
      return;
    }
    path_ = QString::fromLocal8Bit(folder);
    const std::string options = std::string("size=") + size;
    if (::mount("tmpfs", folder, "tmpfs", 0, options.c_str()) != 0) {
      refusal_ = std::string("cannot mount a tmpfs here (") + std::strerror(errno) + ")";
      ::rmdir(folder);
      return;
    }
    mounted_ = true;
  }
  ~FullFileSystem() {
    if (mounted_) ::umount2(path_.toLocal8Bit().constData(), MNT_DETACH);
    if (!path_.isEmpty()) ::rmdir(path_.toLocal8Bit().constData());
  }
  FullFileSystem(const FullFileSystem&) = delete;
  FullFileSystem& operator=(const FullFileSystem&) = delete;

  [[nodiscard]] bool mounted() const { return mounted_; }
  [[nodiscard]] const std::string& refusal() const { return refusal_; }
  [[nodiscard]] QString filePath(const QString& name) const { return QDir(path_).filePath(name); }
  [[nodiscard]] const QString& path() const { return path_; }

  // Writes a filler file until the file system refuses a single byte more.
  void fill() const {
    const QByteArray filler = filePath(QStringLiteral("filler")).toLocal8Bit();
    const int file = ::open(filler.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::vector<char> block(4096, 'x');
    for (std::size_t size = block.size(); size > 0; size /= 2) {
      while (::write(file, block.data(), size) == static_cast<ssize_t>(size)) {
      }
    }
    ::close(file);
  }

 private:
  QString path_;
  bool mounted_ = false;
  std::string refusal_;
};

}  // namespace plk::test

// Skips the test, saying why, where the full file system could not be made.
#define PLK_REQUIRE_FULL_FILE_SYSTEM(fileSystem) \
  if (!(fileSystem).mounted())                   \
  GTEST_SKIP() << "no full file system to test on: " << (fileSystem).refusal()
