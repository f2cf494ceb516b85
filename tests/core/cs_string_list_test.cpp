#include "base/cs_string_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
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

// ---- comparisons ----

struct CompareCase {
  bool caseSensitive;
  std::string a;
  std::string b;
  int expected;
};

TEST(CsStringListCompare, FollowsCaseSensitiveSwitch) {
  const std::vector<CompareCase> cases = {
      {false, "abc", "ABC", 0}, {true, "abc", "ABC", 1},     {true, "ABC", "abc", -1}, {false, "Piece", "piecf", -1},
      {false, "ab", "abc", -1}, {true, "", "", 0},           {false, "_x", "ax", -1},  {false, "_x", "Ax", -1},
      {true, "_x", "Ax", 1},    {false, "\xC4", "\xE4", -1}, {true, "a\xFF", "ab", 1}, {false, "Z", "a", 1},
  };
  for (const auto& c : cases) {
    TCsStringList list;
    list.SetCaseSensitive(c.caseSensitive);
    SCOPED_TRACE(c.a + " vs " + c.b + (c.caseSensitive ? " (cs)" : " (ci)"));
    EXPECT_EQ(list.CompareStrings(c.a, c.b), c.expected);
    EXPECT_EQ(list.CompareStrings(c.b, c.a), -c.expected);
    EXPECT_EQ(list.SameText(c.a, c.b), c.expected == 0);
  }
}

TEST(CsStringListCompare, DefaultIsCaseInsensitive) {
  TCsStringList list;
  EXPECT_FALSE(list.CaseSensitive());
  list.Add("Turret");
  EXPECT_EQ(list.IndexOf("TURRET"), 0);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("TURRET"), -1);
}

// ---- searching ----

TEST(CsStringListSearch, StackSearchesFromNewestListAndQueueFromOldest) {
  TCsStringList list;
  TStack stack;
  tQue que;
  for (TCsStrings* l : std::vector<TCsStrings*>{&list, &stack, &que}) Fill(*l, {"a", "b", "A"});
  EXPECT_EQ(list.IndexOf("a"), 0);
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

TEST(CsStringListStackQueue, PopOrderAndEmptyMarkers) {
  TStack stack;
  tQue que;
  stack.Push("x");
  stack.Push("y");
  que.Push("x");
  que.Push("y");
  EXPECT_EQ(stack.Pop(), "y");
  EXPECT_EQ(stack.Pop(), "x");
  EXPECT_EQ(que.Pop(), "x");
  EXPECT_EQ(que.Pop(), "y");
  EXPECT_EQ(stack.Pop(), "<Err - Stack Empty>");
  EXPECT_EQ(que.Pop(), "<Err - Que Empty>");
  EXPECT_EQ(stack.Count(), 0);
  EXPECT_EQ(que.Count(), 0);
}

TEST(CsStringListStackQueue, PushObjectKeepsObject) {
  int a = 0;
  int b = 0;
  TStack stack;
  stack.PushObject("name", &a);
  stack.PushObject("name", &b);
  EXPECT_EQ(stack.GetObject(stack.IndexOf("name")), &b);
  stack.Pop();
  EXPECT_EQ(stack.GetObject(stack.IndexOf("name")), &a);
}

// ---- sorted lists ----

struct DuplicateCase {
  TDuplicates mode;
  std::vector<std::string> expected;
};

TEST(CsStringListSorted, DuplicateModes) {
  const std::vector<DuplicateCase> cases = {
      {dupIgnore, {"a", "B", "c"}},
      {dupAccept, {"a", "b", "B", "c"}},
  };
  for (const auto& c : cases) {
    TCsStringList list;
    list.SetSorted(true);
    list.SetDuplicates(c.mode);
    Fill(list, {"c", "a", "B"});
    const int index = list.Add("b");
    SCOPED_TRACE(static_cast<int>(c.mode));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(Entries(list), c.expected);
  }
  TCsStringList strict;
  strict.SetSorted(true);
  strict.SetDuplicates(dupError);
  Fill(strict, {"c", "a"});
  try {
    strict.Add("A");
    FAIL() << "no error";
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "String list does not allow duplicates");
  }
  EXPECT_EQ(strict.Count(), 2);
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
                                                    [&] { list.Move(0, 2); }}) {
    try {
      op();
      ADD_FAILURE() << "no error";
    } catch (const EStringListError& e) {
      EXPECT_STREQ(e.what(), "Operation not allowed on sorted string list");
    }
  }
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
  unsigned seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  for (int n = 0; n <= 40; ++n) {
    for (int shape = 0; shape < 5; ++shape) {
      std::vector<std::string> input;
      for (int i = 0; i < n; ++i) {
        const unsigned v = shape == 0 ? i : shape == 1 ? n - i : shape == 2 ? 7 : shape == 3 ? next() % 3 : next();
        std::string key = "k";
        input.push_back(key += std::to_string(v));
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

struct TextCase {
  std::string text;
  std::vector<std::string> lines;
};

TEST(CsStringListText, SplitsAtCrLfCrAndLf) {
  const std::vector<TextCase> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\n", {"a"}},
      {"\r\n", {""}},
      {"a\n\n", {"a", ""}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\r\nb\r", {"a", "", "b"}},
      {std::string("x\0y\nz", 5), {std::string("x\0y", 3), "z"}},
  };
  for (const auto& c : cases) {
    TCsStringList list;
    list.Add("old");
    list.SetText(c.text);
    EXPECT_EQ(Entries(list), c.lines) << testing::PrintToString(c.text);
  }
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
    try {
      c.op(list);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const EStringListError& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(c.index) + ")") << c.what;
    }
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
