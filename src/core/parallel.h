#pragma once

#include <cstddef>
#include <functional>

namespace plk {

// Threads used by the tools' parallel loops: the environment variable PLK_THREADS when it holds
// a positive integer, otherwise every core. Read on every call so that tests may change it.
[[nodiscard]] int threadCount();

// Calls body(i) for every i in [0, count), spread over threadCount() threads; the calling thread
// takes part and returns when every call has finished. Each call must write only what belongs to
// its own index: results are then identical, bit for bit, whatever the thread count.
void parallelFor(std::size_t count, const std::function<void(std::size_t)>& body);

}  // namespace plk
