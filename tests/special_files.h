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

// Opens and closes the writing end of a named pipe, which releases a reader blocked on it.
inline void releaseFifo(const QString& fifo) {
  const int writer = ::open(fifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) ::close(writer);
}

// For calls that must stay on the calling thread (widgets): releases the pipe after a few
// seconds unless destroyed first, so that a failing test ends instead of hanging.
class FifoWatchdog {
 public:
  explicit FifoWatchdog(const QString& fifo)
      : watch_(std::async(std::launch::async, [this, fifo] {
          if (disarmed_.get_future().wait_for(std::chrono::seconds(5)) ==
              std::future_status::timeout) {
            releaseFifo(fifo);
          }
        })) {}
  ~FifoWatchdog() {
    disarmed_.set_value();
    watch_.wait();
  }
  FifoWatchdog(const FifoWatchdog&) = delete;
  FifoWatchdog& operator=(const FifoWatchdog&) = delete;

 private:
  std::promise<void> disarmed_;
  std::future<void> watch_;
};

// Whether `call` returns within a few seconds. A call stuck on the named pipe `fifo` is released
// by opening and closing the pipe's writing end, so that a failing test ends instead of hanging.
inline bool returnsAtOnce(const std::function<void()>& call, const QString& fifo = QString()) {
  auto done = std::async(std::launch::async, call);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
    done.get();
    return true;
  }
  if (!fifo.isEmpty()) releaseFifo(fifo);
  done.wait();
  return false;
}

}  // namespace plk::test
