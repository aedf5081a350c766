#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace plk {

int threadCount() {
  const int cores = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  if (const char* text = std::getenv("PLK_THREADS"); text != nullptr) {
    int value = 0;
    const char* last = text + std::strlen(text);
    const auto [end, error] = std::from_chars(text, last, value);
    if (error == std::errc() && end == last && value > 0) {
      return std::min(value, kThreadsPerCoreCap * cores);
    }
  }
  return cores;
}

// Indices are handed out one at a time from a shared counter, so uneven work (points near a
// border, polygons of different sizes) keeps every thread busy.
void parallelFor(std::size_t count, const std::function<void(std::size_t)>& body) {
  const std::size_t threads = std::min(static_cast<std::size_t>(threadCount()), count);
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) body(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) body(i);
  };
  std::vector<std::jthread> helpers;
  helpers.reserve(threads - 1);
  for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
}

}  // namespace plk
