#pragma once

#include <cstddef>
#include <functional>

namespace plk {

// PLK_THREADS is capped at this many threads per core: more only adds start-up cost and memory
// (a hundred thousand threads took thirty times longer than one per core).
inline constexpr int kThreadsPerCoreCap = 4;

// Threads used by the tools' parallel loops: the environment variable PLK_THREADS when it holds
// a positive integer, at most kThreadsPerCoreCap per core; otherwise every core. Read on every
// call so that tests may change it.
[[nodiscard]] int threadCount();

// Calls body(i) for every i in [0, count), spread over threadCount() threads; the calling thread
// takes part and returns when every call has finished. Each call must write only what belongs to
// its own index: results are then identical, bit for bit, whatever the thread count.
void parallelFor(std::size_t count, const std::function<void(std::size_t)>& body);

}  // namespace plk
