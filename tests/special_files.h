#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <future>

namespace plk::test {

// Makes a named pipe; opening it for reading blocks until a writer comes.
inline bool makeFifo(const QString& path) {
  return ::mkfifo(path.toLocal8Bit().constData(), 0600) == 0;
}

// Whether `call` returns within a few seconds. A call stuck on the named pipe `fifo` is released
// by opening and closing the pipe's writing end, so that a failing test ends instead of hanging.
inline bool returnsAtOnce(const std::function<void()>& call, const QString& fifo = QString()) {
  auto done = std::async(std::launch::async, call);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
    done.get();
    return true;
  }
  if (!fifo.isEmpty()) {
    const int writer = ::open(fifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  done.wait();
  return false;
}

}  // namespace plk::test
