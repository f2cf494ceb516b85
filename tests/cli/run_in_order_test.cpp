#include "cli/run_in_order.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "compiler/compile_text.h"

namespace marlo::cli {
namespace {

struct RunCase {
  const char* name;
  std::size_t count;
  int workers;
  std::vector<std::size_t> failing;
  std::vector<std::size_t> throwing;  // jobs whose function throws
};

bool Has(const std::vector<std::size_t>& list, std::size_t index) {
  return std::find(list.begin(), list.end(), index) != list.end();
}

// The result a job that threw gets: its text in the usual places.
JobResult Failed(std::size_t index, const std::string& what) {
  JobResult result;
  result.Out("out " + std::to_string(index) + "\n");
  result.Err(what);
  return result;
}

class RunInOrderTest : public testing::TestWithParam<RunCase> {};

// Early jobs are made the slowest, so with several workers the later ones
// finish first and the sink must still see them in order.
TEST_P(RunInOrderTest, ResultsArriveInIndexOrder) {
  const RunCase& c = GetParam();
  std::atomic<int> running{0};
  std::atomic<int> mostRunning{0};
  auto job = [&](std::size_t index) {
    int now = ++running;
    int seen = mostRunning.load();
    while (now > seen && !mostRunning.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * (c.count - index)));
    if (Has(c.throwing, index)) {
      --running;
      throw std::runtime_error("job " + std::to_string(index) + " threw");
    }
    JobResult result;
    result.ok = !Has(c.failing, index);
    result.Out("out " + std::to_string(index) + "\n");
    result.Err("err " + std::to_string(index) + "\n");
    --running;
    return result;
  };
  std::vector<std::size_t> order;
  std::vector<std::thread::id> sinkThreads;
  auto sink = [&](std::size_t index, const JobResult& result) {
    order.push_back(index);
    sinkThreads.push_back(std::this_thread::get_id());
    ASSERT_EQ(result.output.size(), 2u);
    EXPECT_EQ(result.output[0].text, "out " + std::to_string(index) + "\n");
    EXPECT_FALSE(result.output[0].toStderr);
    EXPECT_TRUE(result.output[1].toStderr);
    if (Has(c.throwing, index)) {
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.output[1].text, "job " + std::to_string(index) + " threw");
    }
  };

  bool allOk = RunInOrder(c.count, c.workers, job, sink, Failed);

  std::vector<std::size_t> expected(c.count);
  for (std::size_t i = 0; i < c.count; ++i) expected[i] = i;
  EXPECT_EQ(order, expected);
  EXPECT_EQ(allOk, c.failing.empty() && c.throwing.empty());
  for (std::thread::id id : sinkThreads) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_LE(mostRunning.load(), std::max(c.workers, 1));
  if (c.workers <= 1) {
    EXPECT_LE(mostRunning.load(), 1);
  }
}

const RunCase kRuns[] = {
    {"NoJobs", 0, 4, {}, {}},
    {"OneJobOneWorker", 1, 1, {}, {}},
    {"SeveralJobsOneWorker", 5, 1, {3}, {}},
    {"MoreWorkersThanJobs", 3, 8, {}, {}},
    {"TwoWorkers", 9, 2, {0}, {}},
    {"FourWorkers", 12, 4, {11}, {}},
    {"FailuresAnywhere", 6, 3, {1, 4}, {}},
    {"ThrowingJobAlone", 1, 1, {}, {0}},
    {"ThrowingJobsAmongOthers", 7, 3, {2}, {0, 5, 6}},
};

INSTANTIATE_TEST_SUITE_P(RunInOrder, RunInOrderTest, testing::ValuesIn(kRuns),
                         [](const testing::TestParamInfo<RunCase>& row) { return row.param.name; });

TEST(RunInOrder, WorkersRunAtTheSameTime) {
  // Two jobs that each wait for the other can only finish when both run at once.
  std::atomic<int> arrived{0};
  auto job = [&](std::size_t) {
    ++arrived;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (arrived.load() < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    JobResult result;
    result.ok = arrived.load() >= 2;
    return result;
  };
  EXPECT_TRUE(RunInOrder(
      2, 2, job, [](std::size_t, const JobResult&) {}, Failed));
}

// Jobs compile on threads of their own stack size, so the deepest nesting
// the compiler allows fits even where the threads' default stack is small.
TEST(RunInOrder, TheDeepestInputCompilesOnASmallDefaultStack) {
  std::string text = "\ncreate ()\n{\nreturn ";
  text += std::string(core::kMaxNestingDepth + 10, '(') + "1" + std::string(core::kMaxNestingDepth + 10, ')');
  text += ";\n}\n";
#ifdef __GLIBC__
  pthread_attr_t small;
  pthread_attr_init(&small);
  pthread_attr_setstacksize(&small, 256 << 10);
  pthread_attr_t saved;
  pthread_getattr_default_np(&saved);
  pthread_setattr_default_np(&small);
#endif
  for (bool extended : {false, true}) {
    std::string error;
    auto job = [&](std::size_t) {
      core::CompileOptions options;
      options.recurseDepth = 100000;
      options.extended = extended;
      error = core::CompileText(text, options).errorText;
      return JobResult{};
    };
    RunInOrder(
        1, 1, job, [](std::size_t, const JobResult&) {}, Failed);
    EXPECT_NE(error.find("the compiler's own nesting limit"), std::string::npos) << error;
  }
#ifdef __GLIBC__
  pthread_setattr_default_np(&saved);
  pthread_attr_destroy(&saved);
  pthread_attr_destroy(&small);
#endif
}

}  // namespace
}  // namespace marlo::cli
