#include "cli/run_in_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace marlo::cli {
namespace {

struct RunCase {
  const char* name;
  std::size_t count;
  int workers;
  std::vector<std::size_t> failing;
};

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
    JobResult result;
    result.ok = std::find(c.failing.begin(), c.failing.end(), index) == c.failing.end();
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
  };

  bool allOk = RunInOrder(c.count, c.workers, job, sink);

  std::vector<std::size_t> expected(c.count);
  for (std::size_t i = 0; i < c.count; ++i) expected[i] = i;
  EXPECT_EQ(order, expected);
  EXPECT_EQ(allOk, c.failing.empty());
  for (std::thread::id id : sinkThreads) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_LE(mostRunning.load(), std::max(c.workers, 1));
  if (c.workers <= 1) {
    EXPECT_LE(mostRunning.load(), 1);
  }
}

const RunCase kRuns[] = {
    {"NoJobs", 0, 4, {}},
    {"OneJobOneWorker", 1, 1, {}},
    {"SeveralJobsOneWorker", 5, 1, {3}},
    {"MoreWorkersThanJobs", 3, 8, {}},
    {"TwoWorkers", 9, 2, {0}},
    {"FourWorkers", 12, 4, {11}},
    {"FailuresAnywhere", 6, 3, {1, 4}},
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
  EXPECT_TRUE(RunInOrder(2, 2, job, [](std::size_t, const JobResult&) {}));
}

}  // namespace
}  // namespace marlo::cli
