// String lists whose searches and sorts follow a case-sensitivity switch.
//
// TCsStrings is the abstract list: strings with one non-owning object
// pointer each, whole-text access, name=value access and streaming.
// TCsStringList stores the entries and adds sorting, duplicate handling and
// change notifications. TStack and tQue are the work stacks and queues of the
// compiler and the preprocessor (define table, conditional stack, symbol
// tables): they add Push/Pop and report emptiness with a marker string
// instead of an error.
//
// Comparisons: case-sensitive compares bytes (equality and unsigned byte
// order); case-insensitive folds only the ASCII letters A-Z to a-z and then
// compares bytes. The core has no locale, and BOS names are ASCII anyway.
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace marlo::core {

// Raised for a bad index, a refused duplicate or an operation that a sorted
// list cannot do.
class EStringListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TCsStrings {
 public:
  TCsStrings() = default;
  virtual ~TCsStrings() = default;

  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);

  // Equality and order under the current CaseSensitive setting; no allocation.
  bool SameText(std::string_view a, std::string_view b) const;
  int CompareStrings(std::string_view a, std::string_view b) const;  // -1, 0 or 1

  virtual int Count() const = 0;
  virtual const std::string& Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual void* GetObject(int index) const;
  virtual void PutObject(int index, void* object);
  virtual int Capacity() const { return Count(); }
  virtual void SetCapacity(int /*capacity*/) {}

  const std::string& Strings(int index) const { return Get(index); }
  void* Objects(int index) const { return GetObject(index); }

  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, void* object);
  virtual void AddStrings(const TCsStrings& strings);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  virtual void Exchange(int index1, int index2);
  virtual int IndexOf(const std::string& s) const;
  virtual void Insert(int index, const std::string& s) = 0;
  void InsertObject(int index, const std::string& s, void* object);
  virtual void Move(int curIndex, int newIndex);

  // Copies the strings and objects; the settings of this list stay as they are.
  void Assign(const TCsStrings& other);

  // Every entry followed by CR LF. Setting splits at CR LF, CR or LF; a final
  // line break does not start another entry.
  virtual std::string GetTextStr() const;
  virtual void SetTextStr(std::string_view text);
  std::string Text() const { return GetTextStr(); }
  void SetText(std::string_view text) { SetTextStr(text); }

  // Files are read and written as bytes; failure to open raises
  // std::runtime_error.
  virtual void LoadFromFile(const std::filesystem::path& fileName);
  virtual void LoadFromStream(std::istream& stream);
  virtual void SaveToFile(const std::filesystem::path& fileName) const;
  virtual void SaveToStream(std::ostream& stream) const;

  // Entries of the form name=value; an entry without "=" has no name.
  int IndexOfName(std::string_view name) const;
  std::string Names(int index) const;
  std::string Values(std::string_view name) const;
  // An empty value removes the entry; otherwise the entry is replaced or added.
  void SetValue(std::string_view name, std::string_view value);

  void BeginUpdate();
  void EndUpdate();

 protected:
  TCsStrings(const TCsStrings& other) : caseSensitive_(other.caseSensitive_) {}
  TCsStrings& operator=(const TCsStrings& other) {
    caseSensitive_ = other.caseSensitive_;
    return *this;
  }

  int UpdateCount() const { return updateCount_; }
  // Called with true by the first BeginUpdate, with false by the last EndUpdate.
  virtual void SetUpdateState(bool /*updating*/) {}
  virtual void CaseSensitiveChanged() {}

  [[noreturn]] static void IndexError(int index);

 private:
  bool caseSensitive_ = false;
  int updateCount_ = 0;
};

class TCsStringList : public TCsStrings {
 public:
  using TNotifyEvent = std::function<void(TCsStringList& sender)>;

  TCsStringList() = default;
  // Copies entries and settings; event handlers are not copied.
  TCsStringList(const TCsStringList& other);
  TCsStringList& operator=(const TCsStringList& other);

  int Count() const override { return static_cast<int>(items_.size()); }
  const std::string& Get(int index) const override;
  void Put(int index, const std::string& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  int Capacity() const override { return static_cast<int>(items_.capacity()); }
  void SetCapacity(int capacity) override;

  int Add(const std::string& s) override;
  int AddObject(const std::string& s, void* object) override;
  void Clear() override;
  void Delete(int index) override;
  void Exchange(int index1, int index2) override;
  int IndexOf(const std::string& s) const override;
  void Insert(int index, const std::string& s) override;
  void Move(int curIndex, int newIndex) override;

  // Binary search of a sorted list. Returns whether `s` is there; `index` is
  // the first of the equal entries, or where `s` would be inserted.
  virtual bool Find(const std::string& s, int& index) const;
  // Orders an unsorted list by CompareStrings (quicksort, middle pivot).
  virtual void Sort();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }

  const TNotifyEvent& OnChange() const { return onChange_; }
  void SetOnChange(TNotifyEvent handler) { onChange_ = std::move(handler); }
  const TNotifyEvent& OnChanging() const { return onChanging_; }
  void SetOnChanging(TNotifyEvent handler) { onChanging_ = std::move(handler); }

 protected:
  virtual void Changed();
  virtual void Changing();
  void SetUpdateState(bool updating) override;
  void CaseSensitiveChanged() override;

 private:
  struct Item {
    std::string str;
    void* object = nullptr;
  };

  void InsertItem(int index, const std::string& s, void* object);
  void QuickSort(int left, int right);

  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
  TNotifyEvent onChange_;
  TNotifyEvent onChanging_;
};

// Last in, first out. IndexOf finds the most recent equal entry, so a name
// pushed later hides an earlier one of the same name.
class TStack : public TCsStringList {
 public:
  void Push(const std::string& s) { Add(s); }
  void PushObject(const std::string& s, void* object) { AddObject(s, object); }
  // The newest entry, removed; "<Err - Stack Empty>" when there is none.
  std::string Pop();
  int IndexOf(const std::string& s) const override;
};

// First in, first out.
class tQue : public TCsStringList {
 public:
  void Push(const std::string& s) { Add(s); }
  // The oldest entry, removed; "<Err - Que Empty>" when there is none.
  std::string Pop();
};

}  // namespace marlo::core
