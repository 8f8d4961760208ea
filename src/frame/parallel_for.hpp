#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace tessarine::frame {

// Calls task(i) for every i below `count` on up to `threads` threads, the caller's included;
// each i runs exactly once. Tasks report through their own slots, never by throwing. A thread
// the system refuses leaves its share to the others.
// Joins every thread it holds when it goes out of scope (std::jthread, which not every
// standard library we build with has).
class JoiningThreads {
 public:
  JoiningThreads() = default;
  JoiningThreads(const JoiningThreads&) = delete;
  JoiningThreads& operator=(const JoiningThreads&) = delete;
  ~JoiningThreads() {
    for (auto& thread : threads_) thread.join();
  }
  std::vector<std::thread>& threads() { return threads_; }

 private:
  std::vector<std::thread> threads_;
};

template <class Task>
void parallel_for(std::size_t count, unsigned threads, const Task& task) {
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < count; i = next++) task(i);
  };
  JoiningThreads helpers;
  const std::size_t wanted = std::min<std::size_t>(std::max(threads, 1u), count);
  try {
    helpers.threads().reserve(wanted > 0 ? wanted - 1 : 0);
    for (std::size_t t = 1; t < wanted; ++t) helpers.threads().emplace_back(work);
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  work();
}  // the helpers join here

}  // namespace tessarine::frame
