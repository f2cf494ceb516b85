// The compiler's symbol tables: names in declaration order, found without
// scanning. A stack table finds the most recently declared of equal names
// (statics, locals); a queue table finds the first declared (pieces,
// scripts).
//
// A name is looked up in up to three tables in a row (local, static,
// piece), so its hash is computed once, in a Key, and the tables are open
// hash sets over the name list that compare a stored hash before any text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlo::core::detail {

class NameTable {
 public:
  enum class Finds { kFirst, kLast };

  // A name and its hash, for lookups in several tables.
  struct Key {
    explicit Key(std::string_view text) : name(text), hash(Hash(text)) {}
    std::string_view name;
    std::uint32_t hash;
  };

  explicit NameTable(Finds finds) : finds_(finds) {}

  void Push(std::string_view name) {
    const int index = static_cast<int>(names_.size());
    names_.emplace_back(name);
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    const Key key(names_.back());
    Slot& slot = slots_[Find(key)];
    if (slot.index < 0) {
      slot = {key.hash, index};
      ++used_;
    } else if (finds_ == Finds::kLast) {
      slot.index = index;
    }
  }

  // The index of `key` by the table's rule, or -1.
  int IndexOf(const Key& key) const { return slots_.empty() ? -1 : slots_[Find(key)].index; }
  int IndexOf(std::string_view name) const { return IndexOf(Key(name)); }

  int Count() const { return static_cast<int>(names_.size()); }
  const std::vector<std::string>& Names() const { return names_; }

  // Locals are cleared for every script: a small table is emptied in
  // place, a large one is let go rather than swept each time.
  void Clear() {
    names_.clear();
    used_ = 0;
    if (slots_.size() > kKeptSlots)
      slots_ = {};
    else
      slots_.assign(slots_.size(), Slot{});
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    int index = -1;  // into names_; -1 for an empty slot
  };
  static constexpr std::size_t kKeptSlots = 64;

  // FNV-1a: names are short, and this is cheap per character.
  static std::uint32_t Hash(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
  }

  // The slot holding `key`, or the empty slot where it would go. The table
  // is at most half full, so an empty slot is always reached.
  std::size_t Find(const Key& key) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = key.hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.index < 0 || (slot.hash == key.hash && names_[slot.index] == key.name)) return i;
    }
  }

  // Doubles the slots and puts every entry back; the entries keep their
  // indices, so the first/last rule is unaffected.
  void Grow() {
    std::vector<Slot> old(slots_.empty() ? 8 : slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.index < 0) continue;
      std::size_t i = slot.hash & mask;
      while (slots_[i].index >= 0) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }

  Finds finds_;
  std::vector<std::string> names_;
  std::vector<Slot> slots_;  // a power of two in size, or empty
  std::size_t used_ = 0;     // slots in use: the distinct names
};

}  // namespace marlo::core::detail
