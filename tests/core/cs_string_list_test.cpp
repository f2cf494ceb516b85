#include "base/cs_string_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace marlo::core {
namespace {

std::vector<std::string> Entries(const TCsStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

void Fill(TCsStrings& list, const std::vector<std::string>& items) {
  for (const auto& s : items) list.Add(s);
}

// The text of the EStringListError `run` throws.
std::string ErrorOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const EStringListError& e) {
    return e.what();
  }
  return "<no error>";
}

// ---- comparisons ----

TEST(CsStringListCompare, FollowsCaseSensitiveSwitch) {
  int rows = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/string_list/compare.txt")) {
    SCOPED_TRACE("compare.txt:" + std::to_string(number));
    std::string_view line = std::string_view(text).substr(2);
    TCsStringList list;
    list.SetCaseSensitive(text.starts_with("cs"));
    const std::string a = marlo::test::TakeQuoted(line);
    const std::string b = marlo::test::TakeQuoted(line);
    const int expected = std::stoi(std::string(line.substr(line.find("=>") + 2)));
    EXPECT_EQ(list.CompareStrings(a, b), expected);
    EXPECT_EQ(list.CompareStrings(b, a), -expected);
    EXPECT_EQ(list.SameText(a, b), expected == 0);
    ++rows;
  }
  EXPECT_EQ(rows, 12);
}

// ---- searching ----

TEST(CsStringListSearch, StackSearchesFromNewestListAndQueueFromOldest) {
  TCsStringList list;
  EXPECT_FALSE(list.CaseSensitive());
  TStack stack;
  tQue que;
  for (TCsStrings* l : std::vector<TCsStrings*>{&list, &stack, &que}) Fill(*l, {"a", "b", "A"});
  EXPECT_EQ(list.IndexOf("a"), 0);
  EXPECT_EQ(list.IndexOf("B"), 1);
  EXPECT_EQ(que.IndexOf("a"), 0);
  EXPECT_EQ(stack.IndexOf("a"), 2);
  EXPECT_EQ(stack.IndexOf("b"), 1);
  EXPECT_EQ(stack.IndexOf("c"), -1);
  stack.SetCaseSensitive(true);
  EXPECT_EQ(stack.IndexOf("a"), 0);
  EXPECT_EQ(stack.IndexOf("A"), 2);
}

TEST(CsStringListSearch, NameValueAccess) {
  TCsStringList list;
  Fill(list, {"plain", "ABC=1", "x==y", "abc=2", "=empty"});
  EXPECT_EQ(list.IndexOfName("abc"), 1);
  EXPECT_EQ(list.Values("abc"), "1");
  EXPECT_EQ(list.Values("x"), "=y");
  EXPECT_EQ(list.Values(""), "empty");
  EXPECT_EQ(list.IndexOfName("plain"), -1);
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.Names(0), "");
  EXPECT_EQ(list.Names(1), "ABC");

  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOfName("abc"), 3);
  EXPECT_EQ(list.Values("abc"), "2");
  EXPECT_EQ(list.IndexOfName("Abc"), -1);
  EXPECT_EQ(list.Values("Abc"), "");

  list.SetValue("abc", "7");
  EXPECT_EQ(list.Get(3), "abc=7");
  list.SetValue("new", "v");
  EXPECT_EQ(list.Get(list.Count() - 1), "new=v");
  list.SetValue("ABC", "");
  EXPECT_EQ(list.IndexOfName("ABC"), -1);
  EXPECT_EQ(list.Count(), 5);
}

// ---- stack and queue ----

TEST(CsStringListStackQueue, PopOrderObjectsAndEmptyMarkers) {
  int a = 0;
  int b = 0;
  TStack stack;
  tQue que;
  stack.PushObject("x", &a);
  stack.PushObject("x", &b);
  que.Push("x");
  que.Push("y");
  EXPECT_EQ(stack.GetObject(stack.IndexOf("x")), &b);
  EXPECT_EQ(stack.Pop(), "x");
  EXPECT_EQ(stack.GetObject(stack.IndexOf("x")), &a);
  EXPECT_EQ(stack.Pop(), "x");
  EXPECT_EQ(que.Pop(), "x");
  EXPECT_EQ(que.Pop(), "y");
  EXPECT_EQ(stack.Pop(), "<Err - Stack Empty>");
  EXPECT_EQ(que.Pop(), "<Err - Que Empty>");
  EXPECT_EQ(stack.Count() + que.Count(), 0);
}

// ---- sorted lists ----

TEST(CsStringListSorted, DuplicateModes) {
  using Names = std::vector<std::string>;
  for (const TDuplicates mode : {dupIgnore, dupAccept, dupError}) {
    SCOPED_TRACE(static_cast<int>(mode));
    TCsStringList list;
    list.SetSorted(true);
    list.SetDuplicates(mode);
    Fill(list, {"c", "a", "B"});
    if (mode == dupError) {
      EXPECT_EQ(ErrorOf([&] { list.Add("b"); }), "String list does not allow duplicates");
    } else {
      EXPECT_EQ(list.Add("b"), 1);
    }
    EXPECT_EQ(Entries(list), (mode == dupAccept ? Names{"a", "b", "B", "c"} : Names{"a", "B", "c"}));
  }
}

TEST(CsStringListSorted, FindReturnsFirstOfEqualEntries) {
  TCsStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupAccept);
  Fill(list, {"m", "a", "z", "M", "m", "b", "m"});
  int index = -1;
  ASSERT_TRUE(list.Find("m", index));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list.IndexOf("M"), 2);
  EXPECT_FALSE(list.Find("n", index));
  EXPECT_EQ(index, 6);
  EXPECT_FALSE(list.Find("0", index));
  EXPECT_EQ(index, 0);
  EXPECT_FALSE(list.Find("zz", index));
  EXPECT_EQ(index, list.Count());

  // Unsorted input turned sorted afterwards still answers with the first match.
  TCsStringList later;
  later.SetDuplicates(dupIgnore);
  Fill(later, {"k", "k", "a", "k", "k", "k"});
  later.SetSorted(true);
  ASSERT_TRUE(later.Find("k", index));
  EXPECT_EQ(index, 1);
}

TEST(CsStringListSorted, RefusesPositionalChanges) {
  TCsStringList list;
  Fill(list, {"b", "a", "c"});
  list.SetSorted(true);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"a", "b", "c"}));
  for (auto op : std::vector<std::function<void()>>{[&] { list.Insert(0, "x"); }, [&] { list.Put(1, "x"); },
                                                    [&] { list.Move(0, 2); }})
    EXPECT_EQ(ErrorOf(op), "Operation not allowed on sorted string list");
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"a", "b", "c"}));
  list.Delete(1);
  list.Exchange(0, 1);  // allowed, even though it breaks the order
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"c", "a"}));
}

TEST(CsStringListSorted, SortCarriesObjectsAndFollowsCaseSwitch) {
  std::vector<std::string> words = {"delta", "Alpha", "charlie", "alpha", "Bravo", "echo", "_under", "bravo",
                                    "Delta", "a",     "",        "zulu",  "Echo",  "b",    "c"};
  TCsStringList list;
  for (auto& w : words) list.AddObject(w, &w);
  list.Sort();
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(*static_cast<std::string*>(list.GetObject(i)), list.Get(i));
    if (i > 0) {
      EXPECT_LE(list.CompareStrings(list.Get(i - 1), list.Get(i)), 0) << i;
    }
  }
  EXPECT_EQ(list.Get(0), "");
  EXPECT_EQ(list.Get(1), "_under");

  list.SetSorted(true);
  list.SetCaseSensitive(true);  // re-sorts in byte order
  for (int i = 1; i < list.Count(); ++i) EXPECT_LT(list.Get(i - 1), list.Get(i)) << i;
  EXPECT_EQ(list.IndexOf("Echo"), 4);  // "", Alpha, Bravo, Delta, Echo, ...
  EXPECT_EQ(list.IndexOf("ECHO"), -1);
}

TEST(CsStringListSorted, SortMatchesReferenceOnManyShapes) {
  // Ascending, descending, all equal, few distinct and scrambled inputs of
  // every length up to 40: the shapes that break partition loops.
  std::mt19937 next(12345);
  for (int n = 0; n <= 40; ++n) {
    for (int shape = 0; shape < 5; ++shape) {
      std::vector<std::string> input;
      for (int i = 0; i < n; ++i) {
        const unsigned v = shape == 0 ? i : shape == 1 ? n - i : shape == 2 ? 7 : shape == 3 ? next() % 3 : next();
        input.push_back("k" + std::to_string(v));
      }
      TCsStringList list;
      list.SetCaseSensitive(true);
      Fill(list, input);
      list.Sort();
      std::sort(input.begin(), input.end());
      EXPECT_EQ(Entries(list), input) << "n=" << n << " shape=" << shape;
    }
  }
}

// ---- whole text ----

TEST(CsStringListText, SplitsAtCrLfCrAndLf) {
  int rows = 0;
  for (const auto& [number, text] : marlo::test::TableLines(MARLO_TEST_DATA_DIR "/string_list/text.txt")) {
    std::string_view line = text;
    TCsStringList list;
    list.Add("old");
    list.SetText(marlo::test::TakeQuoted(line));
    ASSERT_TRUE(line.starts_with(" =>")) << "text.txt:" << number;
    line.remove_prefix(3);
    std::vector<std::string> expected;
    while (line.find('"') != std::string_view::npos) expected.push_back(marlo::test::TakeQuoted(line));
    EXPECT_EQ(Entries(list), expected) << "text.txt:" << number;
    ++rows;
  }
  EXPECT_EQ(rows, 11);
}

TEST(CsStringListText, TextEndsEveryEntryWithCrLfAndRoundTrips) {
  TCsStringList list;
  EXPECT_EQ(list.Text(), "");
  Fill(list, {"piece base;", "", "static-var x;"});
  EXPECT_EQ(list.Text(), "piece base;\r\n\r\nstatic-var x;\r\n");
  TCsStringList copy;
  copy.SetText(list.Text());
  EXPECT_EQ(Entries(copy), Entries(list));
}

TEST(CsStringListText, StreamsAndFiles) {
  TCsStringList list;
  Fill(list, {"one", "two"});
  std::stringstream stream;
  stream << "skipped\n";
  std::string skipped;
  std::getline(stream, skipped);
  list.SaveToStream(stream);
  TCsStringList loaded;
  loaded.LoadFromStream(stream);  // the rest of the stream only
  EXPECT_EQ(Entries(loaded), Entries(list));

  const marlo::test::ScratchDir dir("marlo_string_list");
  const auto path = dir / "list.txt";
  list.SaveToFile(path);
  TCsStringList fromFile;
  fromFile.LoadFromFile(path);
  EXPECT_EQ(Entries(fromFile), Entries(list));
  std::filesystem::remove(path);
  EXPECT_THROW(fromFile.LoadFromFile(path), std::runtime_error);
  EXPECT_EQ(Entries(fromFile), Entries(list));
}

// ---- positional operations and errors ----

TEST(CsStringListPositions, InsertMoveExchangeDelete) {
  int o1 = 0;
  TCsStringList list;
  Fill(list, {"a", "b", "c", "d"});
  list.InsertObject(4, "e", &o1);
  list.Insert(0, "z");
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"z", "a", "b", "c", "d", "e"}));
  list.Move(5, 1);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"z", "e", "a", "b", "c", "d"}));
  EXPECT_EQ(list.GetObject(1), &o1);
  list.Move(0, 5);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"e", "a", "b", "c", "d", "z"}));
  list.Exchange(0, 5);
  EXPECT_EQ(list.GetObject(5), &o1);
  list.Put(5, "E");
  EXPECT_EQ(list.GetObject(5), &o1);
  list.Delete(0);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"a", "b", "c", "d", "E"}));
}

TEST(CsStringListPositions, OutOfBoundsNamesTheIndex) {
  struct Case {
    const char* what;
    std::function<void(TCsStringList&)> op;
    int index;
  };
  const std::vector<Case> cases = {
      {"Get -1", [](TCsStringList& l) { l.Get(-1); }, -1},
      {"Get count", [](TCsStringList& l) { l.Get(3); }, 3},
      {"Put", [](TCsStringList& l) { l.Put(3, "x"); }, 3},
      {"GetObject", [](TCsStringList& l) { l.GetObject(7); }, 7},
      {"PutObject", [](TCsStringList& l) { l.PutObject(-2, nullptr); }, -2},
      {"Delete", [](TCsStringList& l) { l.Delete(3); }, 3},
      {"Insert past end", [](TCsStringList& l) { l.Insert(4, "x"); }, 4},
      {"Exchange second", [](TCsStringList& l) { l.Exchange(0, 3); }, 3},
      {"Move target", [](TCsStringList& l) { l.Move(0, 3); }, 3},
      {"Names", [](TCsStringList& l) { l.Names(5); }, 5},
  };
  for (const auto& c : cases) {
    TCsStringList list;
    Fill(list, {"a", "b", "c"});
    EXPECT_EQ(ErrorOf([&] { c.op(list); }), "List index out of bounds (" + std::to_string(c.index) + ")") << c.what;
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"a", "b", "c"})) << c.what;
  }
}

// ---- copies and notifications ----

TEST(CsStringListCopy, AssignCopiesEntriesAndObjectsOnly) {
  int o = 0;
  TStack source;
  source.SetCaseSensitive(true);
  source.PushObject("b", &o);
  source.Push("a");
  TCsStringList target;
  target.SetSorted(true);
  target.Add("old");
  target.Assign(source);
  EXPECT_EQ(Entries(target), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(target.GetObject(1), &o);
  EXPECT_FALSE(target.CaseSensitive());
  target.Assign(target);
  EXPECT_EQ(target.Count(), 2);
  target.AddStrings(target);
  EXPECT_EQ(target.Count(), 2);  // sorted, duplicates ignored

  TCsStringList unsorted;
  unsorted.Add("x");
  unsorted.AddStrings(unsorted);
  EXPECT_EQ(Entries(unsorted), (std::vector<std::string>{"x", "x"}));
}

TEST(CsStringListCopy, CopyTakesSettingsButNotHandlers) {
  int calls = 0;
  TCsStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupError);
  list.SetOnChange([&](TCsStringList&) { ++calls; });
  list.Add("a");
  TCsStringList copy(list);
  copy.Add("b");
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(copy.Sorted());
  EXPECT_THROW(copy.Add("A"), EStringListError);
}

TEST(CsStringListNotify, ChangesOutsideAndInsideUpdates) {
  std::vector<std::string> log;
  TCsStringList list;
  list.SetOnChanging([&](TCsStringList& l) { log.push_back("changing " + std::to_string(l.Count())); });
  list.SetOnChange([&](TCsStringList& l) { log.push_back("changed " + std::to_string(l.Count())); });
  list.Add("a");
  list.Clear();
  list.Clear();  // nothing to clear: silent
  EXPECT_EQ(log, (std::vector<std::string>{"changing 0", "changed 1", "changing 1", "changed 0"}));

  log.clear();
  list.BeginUpdate();
  list.BeginUpdate();
  list.SetText("x\ny\nz");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_TRUE(log.size() == 1 && log[0] == "changing 0");
  list.EndUpdate();
  EXPECT_EQ(log, (std::vector<std::string>{"changing 0", "changed 2"}));
  list.EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(log.size(), 2u);
}

}  // namespace
}  // namespace marlo::core
