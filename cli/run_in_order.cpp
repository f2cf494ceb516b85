#include "cli/run_in_order.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "driver/compile_thread.h"

namespace marlo::cli {
namespace {

JobResult Guarded(std::size_t index, const JobFunction& run, const FailureFunction& failed) {
  try {
    return run(index);
  } catch (const std::exception& error) {
    return failed(index, error.what());
  } catch (...) {
    return failed(index, "unknown failure");
  }
}

}  // namespace

bool RunInOrder(std::size_t count, int workers, const JobFunction& run, const ResultSink& sink,
                const FailureFunction& failed) {
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
      JobResult result = Guarded(index, run, failed);
      {
        std::lock_guard lock(mutex);
        results[index] = std::move(result);
      }
      done.notify_all();
    }
  };

  // Compiles run on threads whose stack holds the deepest nesting, also
  // for one job at a time; the threads are joined however this ends.
  std::vector<std::unique_ptr<core::CompileThread>> pool;
  const std::size_t wanted = std::min(count, static_cast<std::size_t>(std::max(workers, 1)));
  for (std::size_t t = 0; t < wanted; ++t) {
    try {
      pool.push_back(std::make_unique<core::CompileThread>(work));
    } catch (const std::system_error&) {
      break;  // the system gives no more threads: share those made
    }
  }
  if (pool.empty()) work();

  bool allOk = true;
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
