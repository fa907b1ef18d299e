#include "analysis/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace pairlab {

int threadCount(int requested) {
  if (requested > 0) return requested;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void forEachUnit(long long units, int threads,
                 const std::function<void(long long unit, int thread)>& work,
                 const std::function<void(long long done)>& progress) {
  constexpr long long kChunk = 64;  // units a thread takes at a time
  std::atomic<long long> next{0}, done{0};
  std::atomic<bool> failed{false};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto worker = [&](int thread) {
    try {
      for (;;) {
        const long long first = next.fetch_add(kChunk);
        if (first >= units || failed.load()) return;
        const long long last = std::min(units, first + kChunk);
        for (long long unit = first; unit < last; ++unit) work(unit, thread);
        const long long total = done.fetch_add(last - first) + (last - first);
        if (thread == 0) progress(total);
      }
    } catch (...) {
      const std::lock_guard<std::mutex> hold(failureLock);
      if (!failure) failure = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> others;
  const int count = static_cast<int>(std::clamp<long long>(threads, 1, std::max(units, 1LL)));
  others.reserve(static_cast<std::size_t>(count - 1));
  for (int t = 1; t < count; ++t) {
    try {
      others.emplace_back(worker, t);
    } catch (const std::system_error&) {  // fewer threads: the same results, later
      break;
    }
  }
  worker(0);
  for (std::thread& t : others) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace pairlab
