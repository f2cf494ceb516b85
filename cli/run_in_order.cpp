#include "cli/run_in_order.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace marlo::cli {

bool RunInOrder(std::size_t count, int workers, const JobFunction& run, const ResultSink& sink) {
  bool allOk = true;
  std::size_t threads = std::min(count, static_cast<std::size_t>(std::max(workers, 1)));
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      JobResult result = run(i);
      allOk = allOk && result.ok;
      sink(i, result);
    }
    return allOk;
  }

  std::mutex mutex;
  std::condition_variable done;
  std::vector<std::optional<JobResult>> results(count);
  std::size_t nextJob = 0;

  auto work = [&] {
    for (;;) {
      std::size_t index;
      {
        std::lock_guard lock(mutex);
        if (nextJob == count) return;
        index = nextJob++;
      }
      JobResult result = run(index);
      {
        std::lock_guard lock(mutex);
        results[index] = std::move(result);
      }
      done.notify_one();
    }
  };

  std::vector<std::jthread> pool;
  pool.reserve(threads);
  for (std::size_t t = 0; t < threads; ++t) pool.emplace_back(work);

  for (std::size_t i = 0; i < count; ++i) {
    JobResult result;
    {
      std::unique_lock lock(mutex);
      done.wait(lock, [&] { return results[i].has_value(); });
      result = std::move(*results[i]);
      results[i].reset();
    }
    allOk = allOk && result.ok;
    sink(i, result);
  }
  return allOk;
}

}  // namespace marlo::cli
