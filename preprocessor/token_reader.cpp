#include "preprocessor/token_reader.h"

#include <utility>

namespace marlo::core {
namespace {

// Tokens per batch, and batches in flight: enough to keep both threads
// busy, little enough to hold only a few hundred kilobytes.
constexpr std::size_t kBatchSize = 2048;
constexpr std::size_t kBatches = 4;

}  // namespace

ThreadedTokenReader::ThreadedTokenReader(std::unique_ptr<TokenReader> source) : source_(std::move(source)) {
  for (std::size_t i = 0; i < kBatches; ++i) {
    auto batch = std::make_unique<Batch>();
    batch->tokens.resize(kBatchSize);
    free_.push_back(std::move(batch));
  }
  producer_ = std::thread([this] { Produce(); });
}

ThreadedTokenReader::~ThreadedTokenReader() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  producer_.join();
}

// Nothing leaves the thread: a failure is handed to the reading side.
void ThreadedTokenReader::Produce() {
  try {
    ProduceBatches();
  } catch (...) {
    {
      std::lock_guard lock(mutex_);
      failure_ = std::current_exception();
    }
    changed_.notify_all();
  }
}

void ThreadedTokenReader::ProduceBatches() {
  for (;;) {
    std::unique_ptr<Batch> batch;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
      if (stopping_) return;
      batch = std::move(free_.back());
      free_.pop_back();
    }
    batch->count = 0;
    batch->last = false;
    while (batch->count < kBatchSize) {
      if (!source_->Next(batch->tokens[batch->count])) {
        batch->last = true;
        break;
      }
      ++batch->count;
    }
    const bool last = batch->last;
    {
      std::lock_guard lock(mutex_);
      full_.push_back(std::move(batch));
    }
    changed_.notify_all();
    if (last) return;
  }
}

bool ThreadedTokenReader::Next(TToken& token) {
  while (!current_ || next_ == current_->count) {
    if (ended_ || (current_ && current_->last)) {
      ended_ = true;
      return false;
    }
    std::unique_lock lock(mutex_);
    if (current_) free_.push_back(std::move(current_));
    changed_.notify_all();
    changed_.wait(lock, [this] { return !full_.empty() || failure_; });
    if (full_.empty()) {
      ended_ = true;
      std::rethrow_exception(std::exchange(failure_, nullptr));
    }
    current_ = std::move(full_.front());
    full_.pop_front();
    next_ = 0;
  }
  // The text is swapped, so that the batch gets back a string with capacity
  // to reuse.
  TToken& slot = current_->tokens[next_++];
  token.Kind = slot.Kind;
  token.Text.swap(slot.Text);
  token.Position = slot.Position;
  token.Line = slot.Line;
  token.Column = slot.Column;
  return true;
}

}  // namespace marlo::core
