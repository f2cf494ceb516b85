// A thread for compiling: its stack is large enough for the deepest nesting
// the compiler allows (kMaxNestingDepth), whatever the platform's default
// thread stack is, and nothing it throws ends the program.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>

namespace marlo::core {

// Enough for kMaxNestingDepth levels with room to spare, also in a build
// with AddressSanitizer; reserved, not committed, until used.
inline constexpr std::size_t kCompileStackSize = std::size_t{32} << 20;

class CompileThread {
 public:
  // Starts `body` on a new thread; throws std::system_error when no thread
  // can be made (too many threads, no address space).
  explicit CompileThread(std::function<void()> body, std::size_t stackSize = kCompileStackSize);
  // Joins; a failure of the body not taken by Join is dropped.
  ~CompileThread();
  CompileThread(const CompileThread&) = delete;
  CompileThread& operator=(const CompileThread&) = delete;

  // Waits for the body and rethrows what it threw, once.
  void Join();

  struct State;  // shared with the thread's entry function

 private:
  std::unique_ptr<State> state_;
};

}  // namespace marlo::core
