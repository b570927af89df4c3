#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace demo {

// Runs body(i) for every i in [first, last) on up to eight of the machine's cores, in no
// particular order; a body that writes only to what belongs to its i gives the same result
// as a plain loop. Returns when every call has ended; the first exception of any call comes
// out then, and calls not yet started are not made.
template <class Body>
void ParallelFor(size_t first, size_t last, const Body& body) {
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  if (threads == 1 || last - first < 16) {
    for (size_t i = first; i < last; ++i) body(i);
    return;
  }
  std::atomic<size_t> next{first};
  std::exception_ptr failure;
  std::mutex failure_mutex;
  auto work = [&] {
    try {
      for (size_t i; (i = next.fetch_add(1)) < last;) body(i);
    } catch (...) {
      next = last;
      const std::lock_guard lock(failure_mutex);
      if (!failure) failure = std::current_exception();
    }
  };
  {
    std::vector<std::jthread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace demo
