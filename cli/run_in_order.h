// Runs numbered jobs on a few threads and hands their results on strictly in
// job order, each as soon as it and every job before it have finished.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "cli/compile_job.h"

namespace marlo::cli {

using JobFunction = std::function<JobResult(std::size_t index)>;
using ResultSink = std::function<void(std::size_t index, const JobResult& result)>;
// The result of a job whose function threw `what`.
using FailureFunction = std::function<JobResult(std::size_t index, const std::string& what)>;

// Runs `run` for 0 .. count-1 on at most `workers` compile threads and calls
// `sink` on the calling thread, in index order. A job that throws gets the
// result `failed` makes of it. When fewer threads can be made than asked
// for, the jobs share those that could; when none can, they run on the
// calling thread. Returns true when every result was ok.
bool RunInOrder(std::size_t count, int workers, const JobFunction& run, const ResultSink& sink,
                const FailureFunction& failed);

}  // namespace marlo::cli
