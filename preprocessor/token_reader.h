// Where the preprocessor's walk gets its tokens: straight from a scanner,
// or from a scanner running on a second thread a few thousand tokens ahead,
// so that scanning a long text and walking it run side by side.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "preprocessor/scanner.h"

namespace marlo::core {

class TokenReader {
 public:
  virtual ~TokenReader() = default;
  // The next token into `token` (whose text keeps its capacity); false at
  // the end.
  virtual bool Next(TToken& token) = 0;
};

class ScannerReader : public TokenReader {
 public:
  // Scans `text` with a copy of `configured`.
  ScannerReader(const TScanner& configured, std::string_view text) : scanner_(configured) { scanner_.Begin(text); }
  bool Next(TToken& token) override { return scanner_.Next(token); }

 private:
  TScanner scanner_;
};

// Reads `source` on a second thread a few thousand tokens ahead. What the
// source throws there is thrown again here, by Next.
class ThreadedTokenReader : public TokenReader {
 public:
  // Throws std::system_error when no thread can be made.
  explicit ThreadedTokenReader(std::unique_ptr<TokenReader> source);
  ~ThreadedTokenReader() override;
  bool Next(TToken& token) override;

 private:
  struct Batch {
    std::vector<TToken> tokens;
    std::size_t count = 0;
    bool last = false;
  };

  void Produce();
  void ProduceBatches();

  std::unique_ptr<TokenReader> source_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> full_;
  std::vector<std::unique_ptr<Batch>> free_;
  bool stopping_ = false;
  std::exception_ptr failure_;  // what the source threw, for Next
  std::unique_ptr<Batch> current_;
  std::size_t next_ = 0;
  bool ended_ = false;
  std::thread producer_;
};

}  // namespace marlo::core
