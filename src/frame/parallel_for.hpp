#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace tessarine::frame {

// Calls task(i) for every i below `count` on up to `threads` threads, the caller's included;
// each i runs exactly once. Tasks report through their own slots, never by throwing. A thread
// the system refuses leaves its share to the others.
template <class Task>
void parallel_for(std::size_t count, unsigned threads, const Task& task) {
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < count; i = next++) task(i);
  };
  // Joins every helper on the way out (std::jthread would, but not every standard library we
  // build with has it).
  const auto join_all = [](std::vector<std::thread>* started) {
    for (std::thread& thread : *started) thread.join();
  };
  std::vector<std::thread> helpers;
  const std::unique_ptr<std::vector<std::thread>, decltype(join_all)> joiner(&helpers, join_all);
  const std::size_t wanted = std::min<std::size_t>(std::max(threads, 1u), count);
  try {
    helpers.reserve(wanted > 0 ? wanted - 1 : 0);
    for (std::size_t t = 1; t < wanted; ++t) helpers.emplace_back(work);
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  work();
}  // the helpers join here

}  // namespace tessarine::frame
