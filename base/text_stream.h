// Text handed from one thread to another in pieces: the preprocessor's last
// pass writes its output here while the compiler, on another thread, reads
// it, so the two run side by side.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>

namespace marlo::core {

class TextStream {
 public:
  // Producer: more text.
  void Append(std::string_view piece) {
    if (piece.empty()) return;
    {
      std::lock_guard lock(mutex_);
      pending_.append(piece);
    }
    ready_.notify_one();
  }

  // Producer: no more text will come.
  void Close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    ready_.notify_one();
  }

  // Consumer: waits for text, appends all that has arrived to `into`;
  // false once the stream is closed and nothing is left.
  bool Take(std::string& into) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !pending_.empty() || closed_; });
    if (pending_.empty()) return false;
    into.append(pending_);
    pending_.clear();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::string pending_;
  bool closed_ = false;
};

}  // namespace marlo::core
