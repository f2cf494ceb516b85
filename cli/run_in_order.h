// Runs numbered jobs on a few threads and hands their results on strictly in
// job order, each as soon as it and every job before it have finished.
#pragma once

#include <cstddef>
#include <functional>

#include "cli/compile_job.h"

namespace marlo::cli {

using JobFunction = std::function<JobResult(std::size_t index)>;
using ResultSink = std::function<void(std::size_t index, const JobResult& result)>;

// Runs `run` for 0 .. count-1 on at most `workers` threads (none besides the
// caller's when `workers` is 1) and calls `sink` on the calling thread, in
// index order. Returns true when every result was ok.
bool RunInOrder(std::size_t count, int workers, const JobFunction& run, const ResultSink& sink);

}  // namespace marlo::cli
