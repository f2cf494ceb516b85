// Included files held in memory, by name, for callers that preprocess texts
// not (or not yet) on disk: tests, fuzzers, benchmarks and editors with
// unsaved documents. Names not held are asked of a fallback, if one is given.
#pragma once

#include <map>
#include <string>

#include "preprocessor/pre_processor.h"

namespace marlo::core {

class MemoryIncludeFiles : public IIncludeFiles {
 public:
  explicit MemoryIncludeFiles(const IIncludeFiles* fallback = nullptr) : fallback_(fallback) {}

  void Add(std::string name, std::string contents) { files_[std::move(name)] = std::move(contents); }
  // A file that is there but cannot be read, for `reason`.
  void AddUnreadable(std::string name, std::string reason) { unreadable_[std::move(name)] = std::move(reason); }
  void Remove(const std::string& name) {
    files_.erase(name);
    unreadable_.erase(name);
  }

  bool Exists(const std::string& path) const override {
    return files_.count(path) != 0 || unreadable_.count(path) != 0 || (fallback_ && fallback_->Exists(path));
  }
  bool Read(const std::string& path, std::string& contents, std::string& reason) const override {
    if (const auto found = files_.find(path); found != files_.end()) {
      contents = found->second;
      return true;
    }
    if (const auto found = unreadable_.find(path); found != unreadable_.end()) {
      reason = found->second;
      return false;
    }
    if (fallback_) return fallback_->Read(path, contents, reason);
    reason = "no such file";
    return false;
  }

 private:
  const IIncludeFiles* fallback_;
  std::map<std::string, std::string> files_;
  std::map<std::string, std::string> unreadable_;
};

}  // namespace marlo::core
