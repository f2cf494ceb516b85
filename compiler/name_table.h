// The compiler's symbol tables: names in declaration order, found without
// scanning. A stack table finds the most recently declared of equal names
// (statics, locals); a queue table finds the first declared (pieces,
// scripts).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace marlo::core::detail {

class NameTable {
 public:
  enum class Finds { kFirst, kLast };

  explicit NameTable(Finds finds) : finds_(finds) {}

  void Push(const std::string& name) {
    const int index = static_cast<int>(names_.size());
    names_.push_back(name);
    if (finds_ == Finds::kLast)
      index_[name] = index;
    else
      index_.try_emplace(name, index);
  }

  // The index of `name` by the table's rule, or -1.
  int IndexOf(const std::string& name) const {
    const auto found = index_.find(name);
    return found == index_.end() ? -1 : found->second;
  }

  int Count() const { return static_cast<int>(names_.size()); }
  const std::vector<std::string>& Names() const { return names_; }

  void Clear() {
    names_.clear();
    index_.clear();
  }

 private:
  Finds finds_;
  std::vector<std::string> names_;
  std::unordered_map<std::string, int> index_;
};

}  // namespace marlo::core::detail
