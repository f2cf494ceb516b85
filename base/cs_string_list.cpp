#include "base/cs_string_list.h"

#include <algorithm>
#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>
#include <utility>

#include "base/ascii.h"

namespace marlo::core {

namespace {

constexpr char kDuplicateError[] = "String list does not allow duplicates";
constexpr char kSortedListError[] = "Operation not allowed on sorted string list";

inline unsigned char FoldAscii(unsigned char c) { return static_cast<unsigned char>(AsciiLower(static_cast<char>(c))); }

// Name part of a name=value entry; false when the entry has no "=".
bool SplitName(std::string_view entry, std::string_view& name) {
  const auto pos = entry.find('=');
  if (pos == std::string_view::npos) return false;
  name = entry.substr(0, pos);
  return true;
}

}  // namespace

// ---- TCsStrings ----

void TCsStrings::IndexError(int index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TCsStrings::SetCaseSensitive(bool value) {
  if (value == caseSensitive_) return;
  caseSensitive_ = value;
  CaseSensitiveChanged();
}

bool TCsStrings::SameText(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  if (caseSensitive_) return a == b;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

int TCsStrings::CompareStrings(std::string_view a, std::string_view b) const {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (!caseSensitive_) {
      ca = FoldAscii(ca);
      cb = FoldAscii(cb);
    }
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void TCsStrings::Put(int index, const std::string& s) {
  void* object = GetObject(index);
  std::string copy = s;  // `s` may be the entry that Delete removes
  Delete(index);
  InsertObject(index, copy, object);
}

void* TCsStrings::GetObject(int /*index*/) const { return nullptr; }

void TCsStrings::PutObject(int /*index*/, void* /*object*/) {}

int TCsStrings::Add(const std::string& s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TCsStrings::AddObject(const std::string& s, void* object) {
  const int index = Add(s);
  PutObject(index, object);
  return index;
}

void TCsStrings::AddStrings(const TCsStrings& strings) {
  BeginUpdate();
  try {
    // Counted once, so that adding a list to itself doubles it and stops.
    const int n = strings.Count();
    for (int i = 0; i < n; ++i) {
      std::string s = strings.Get(i);
      AddObject(s, strings.GetObject(i));
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCsStrings::Exchange(int index1, int index2) {
  BeginUpdate();
  try {
    std::string s1 = Get(index1);
    void* o1 = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, s1);
    PutObject(index2, o1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TCsStrings::IndexOf(const std::string& s) const {
  const int n = Count();
  for (int i = 0; i < n; ++i) {
    if (SameText(Get(i), s)) return i;
  }
  return -1;
}

void TCsStrings::InsertObject(int index, const std::string& s, void* object) {
  Insert(index, s);
  PutObject(index, object);
}

void TCsStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  BeginUpdate();
  try {
    std::string s = Get(curIndex);
    void* object = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCsStrings::Assign(const TCsStrings& other) {
  if (&other == this) return;
  BeginUpdate();
  try {
    Clear();
    AddStrings(other);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TCsStrings::GetTextStr() const {
  const int n = Count();
  std::size_t size = 0;
  for (int i = 0; i < n; ++i) size += Get(i).size() + 2;
  std::string text;
  text.reserve(size);
  for (int i = 0; i < n; ++i) {
    text += Get(i);
    text += "\r\n";
  }
  return text;
}

void TCsStrings::SetTextStr(std::string_view text) {
  BeginUpdate();
  try {
    Clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t end = text.find_first_of("\r\n", pos);
      const std::size_t lineEnd = end == std::string_view::npos ? text.size() : end;
      Add(std::string(text.substr(pos, lineEnd - pos)));
      pos = lineEnd;
      if (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCsStrings::LoadFromFile(const std::filesystem::path& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot open file \"" + fileName.string() + "\"");
  LoadFromStream(in);
}

void TCsStrings::LoadFromStream(std::istream& stream) {
  const std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  SetTextStr(text);
}

void TCsStrings::SaveToFile(const std::filesystem::path& fileName) const {
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("Cannot create file \"" + fileName.string() + "\"");
  SaveToStream(out);
  out.flush();
  if (!out) throw std::runtime_error("Cannot write file \"" + fileName.string() + "\"");
}

void TCsStrings::SaveToStream(std::ostream& stream) const {
  const std::string text = GetTextStr();
  stream.write(text.data(), static_cast<std::streamsize>(text.size()));
}

int TCsStrings::IndexOfName(std::string_view name) const {
  const int n = Count();
  for (int i = 0; i < n; ++i) {
    std::string_view entryName;
    if (SplitName(Get(i), entryName) && SameText(entryName, name)) return i;
  }
  return -1;
}

std::string TCsStrings::Names(int index) const {
  std::string_view name;
  return SplitName(Get(index), name) ? std::string(name) : std::string();
}

std::string TCsStrings::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  if (index < 0) return {};
  const std::string& entry = Get(index);
  return entry.substr(entry.find('=') + 1);
}

void TCsStrings::SetValue(std::string_view name, std::string_view value) {
  int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string entry;
  entry.reserve(name.size() + 1 + value.size());
  entry.append(name).append("=").append(value);
  if (index < 0) {
    Add(entry);
  } else {
    Put(index, entry);
  }
}

void TCsStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TCsStrings::EndUpdate() {
  if (updateCount_ == 0) return;
  --updateCount_;
  if (updateCount_ == 0) SetUpdateState(false);
}

// ---- TCsStringList ----

TCsStringList::TCsStringList(const TCsStringList& other)
    : TCsStrings(other), items_(other.items_), sorted_(other.sorted_), duplicates_(other.duplicates_) {}

TCsStringList& TCsStringList::operator=(const TCsStringList& other) {
  if (&other == this) return *this;
  Changing();
  TCsStrings::operator=(other);
  items_ = other.items_;
  sorted_ = other.sorted_;
  duplicates_ = other.duplicates_;
  Changed();
  return *this;
}

const std::string& TCsStringList::Get(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return items_[static_cast<std::size_t>(index)].str;
}

void TCsStringList::Put(int index, const std::string& s) {
  if (sorted_) throw EStringListError(kSortedListError);
  if (index < 0 || index >= Count()) IndexError(index);
  Changing();
  items_[static_cast<std::size_t>(index)].str = s;
  Changed();
}

void* TCsStringList::GetObject(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return items_[static_cast<std::size_t>(index)].object;
}

void TCsStringList::PutObject(int index, void* object) {
  if (index < 0 || index >= Count()) IndexError(index);
  Changing();
  items_[static_cast<std::size_t>(index)].object = object;
  Changed();
}

void TCsStringList::SetCapacity(int capacity) {
  if (capacity > 0) items_.reserve(static_cast<std::size_t>(capacity));
}

int TCsStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

int TCsStringList::AddObject(const std::string& s, void* object) {
  int index = Count();
  if (sorted_ && Find(s, index)) {
    switch (duplicates_) {
      case dupIgnore:
        return index;
      case dupError:
        throw EStringListError(kDuplicateError);
      case dupAccept:
        break;
    }
  }
  InsertItem(index, s, object);
  return index;
}

void TCsStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

void TCsStringList::Delete(int index) {
  if (index < 0 || index >= Count()) IndexError(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TCsStringList::Exchange(int index1, int index2) {
  if (index1 < 0 || index1 >= Count()) IndexError(index1);
  if (index2 < 0 || index2 >= Count()) IndexError(index2);
  Changing();
  std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
  Changed();
}

int TCsStringList::IndexOf(const std::string& s) const {
  if (!sorted_) return TCsStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

void TCsStringList::Insert(int index, const std::string& s) {
  if (sorted_) throw EStringListError(kSortedListError);
  if (index < 0 || index > Count()) IndexError(index);
  InsertItem(index, s, nullptr);
}

void TCsStringList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  if (curIndex < 0 || curIndex >= Count()) IndexError(curIndex);
  if (newIndex < 0 || newIndex >= Count()) IndexError(newIndex);
  if (sorted_) throw EStringListError(kSortedListError);
  Changing();
  const auto first = items_.begin();
  if (curIndex < newIndex) {
    std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
  } else {
    std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
  }
  Changed();
}

bool TCsStringList::Find(const std::string& s, int& index) const {
  // Lower bound: on a match keep looking to the left, so that the first of
  // equal entries is the answer and an accepted duplicate goes before them.
  bool found = false;
  int low = 0;
  int high = Count() - 1;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    const int c = CompareStrings(items_[static_cast<std::size_t>(mid)].str, s);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = low;
  return found;
}

void TCsStringList::Sort() {
  if (sorted_ || Count() < 2) return;
  Changing();
  QuickSort(0, Count() - 1);
  Changed();
}

void TCsStringList::QuickSort(int left, int right) {
  // Hoare partition around the middle entry; recursion on the smaller side
  // keeps the stack depth logarithmic.
  while (left < right) {
    int i = left;
    int j = right;
    const std::string pivot = items_[static_cast<std::size_t>(left + (right - left) / 2)].str;
    while (i <= j) {
      while (CompareStrings(items_[static_cast<std::size_t>(i)].str, pivot) < 0) ++i;
      while (CompareStrings(items_[static_cast<std::size_t>(j)].str, pivot) > 0) --j;
      if (i <= j) {
        if (i != j) std::swap(items_[static_cast<std::size_t>(i)], items_[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    }
    if (j - left < right - i) {
      QuickSort(left, j);
      left = i;
    } else {
      QuickSort(i, right);
      right = j;
    }
  }
}

void TCsStringList::SetSorted(bool value) {
  if (value == sorted_) return;
  if (value) Sort();
  sorted_ = value;
}

void TCsStringList::Changed() {
  if (UpdateCount() == 0 && onChange_) onChange_(*this);
}

void TCsStringList::Changing() {
  if (UpdateCount() == 0 && onChanging_) onChanging_(*this);
}

void TCsStringList::SetUpdateState(bool updating) {
  if (updating) {
    Changing();
  } else {
    Changed();
  }
}

void TCsStringList::CaseSensitiveChanged() {
  // A sorted list must follow the new order, or Find would miss entries.
  if (!sorted_ || Count() < 2) return;
  Changing();
  QuickSort(0, Count() - 1);
  Changed();
}

void TCsStringList::InsertItem(int index, const std::string& s, void* object) {
  Changing();
  Item item{s, object};  // copied first: `s` may refer to an entry of this list
  items_.insert(items_.begin() + index, std::move(item));
  Changed();
}

// ---- TStack and tQue ----

std::string TStack::Pop() {
  const int n = Count();
  if (n == 0) return "<Err - Stack Empty>";
  std::string s = Get(n - 1);
  Delete(n - 1);
  return s;
}

int TStack::IndexOf(const std::string& s) const {
  for (int i = Count() - 1; i >= 0; --i) {
    if (SameText(Get(i), s)) return i;
  }
  return -1;
}

std::string tQue::Pop() {
  if (Count() == 0) return "<Err - Que Empty>";
  std::string s = Get(0);
  Delete(0);
  return s;
}

}  // namespace marlo::core
