#include "fuzz/targets.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/cs_string_list.h"
#include "compiler/bos_compiler.h"
#include "compiler/cob_file.h"
#include "compiler/compile_text.h"
#include "compiler/listing.h"
#include "driver/compile_source.h"
#include "driver/memory_include_files.h"
#include "driver/standard_tokens.h"
#include "preprocessor/expression_evaluator.h"
#include "preprocessor/pre_processor.h"
#include "preprocessor/scanner.h"

namespace marlo::fuzz {

inline std::string_view AsText(Bytes data) { return {reinterpret_cast<const char*>(data.data()), data.size()}; }

inline void Require(bool holds, const char* what) {
  if (!holds) throw PropertyViolation(what);
}

// With the message built only when the check fails: the checks run for
// every token of every input.
template <typename Message>
void Require(bool holds, Message message) {
  if (!holds) throw PropertyViolation(message());
}

inline const core::TCsStringList& StandardTokens() { return core::StandardTokenList(); }

// A scanner with the preprocessor's settings, for keeping: configuring costs
// more than scanning a short input, and Scan and Begin start every scan
// afresh.
inline core::TScanner* NewPreprocessorScanner() {
  auto* scanner = new core::TScanner;
  scanner->ConfigureForPreprocessor(StandardTokens());
  return scanner;
}

// ---- scanner -------------------------------------------------------------

inline std::string DescribeToken(const core::TToken& token) {
  return std::string(core::TokenKindName(token.Kind)) + " at " + std::to_string(token.Line) + ":" +
         std::to_string(token.Column) + "@" + std::to_string(token.Position);
}

// Scan and Begin/Next must list the same tokens; the list ends with exactly
// one tkEnd, which keeps the start of the token before it (unless a block
// comment ran to the end); every other token starts inside the stream, in
// stream order, on a line and column from 1.
std::string RunScanner(Bytes data) {
  const std::string_view text = AsText(data);
  static core::TScanner& whole = *NewPreprocessorScanner();
  static core::TScanner& pulled = *NewPreprocessorScanner();
  whole.Scan(text);
  pulled.Begin(text);
  core::TToken token;
  int index = 0;
  while (pulled.Next(token)) {
    const core::TToken* listed = whole.Token(index);
    Require(listed != nullptr,
            [&] { return "Next gave more tokens than Scan (" + std::to_string(whole.Count()) + ")"; });
    Require(listed->Kind == token.Kind && listed->Text == token.Text && listed->Line == token.Line &&
                listed->Column == token.Column && listed->Position == token.Position,
            [&] {
              return "token " + std::to_string(index) + " differs: Scan " + DescribeToken(*listed) + ", Next " +
                     DescribeToken(token);
            });
    ++index;
  }
  Require(index == whole.Count(),
          [&] { return "Next gave " + std::to_string(index) + " tokens, Scan " + std::to_string(whole.Count()); });
  Require(!pulled.Next(token), "Next gave a token after it had ended");

  const int count = whole.Count();
  Require(count >= 1 && whole.Token(count - 1)->Kind == core::TTokenKind::tkEnd, "the list does not end with tkEnd");
  std::int32_t lastPosition = 0;
  std::int32_t lastLine = 1;
  for (int i = 0; i + 1 < count; ++i) {
    const core::TToken& t = *whole.Token(i);
    Require(t.Kind != core::TTokenKind::tkEnd, [&] { return "tkEnd before the end, at index " + std::to_string(i); });
    // The last line of a block comment that runs to the end may be empty and
    // start right at the end of the stream.
    const std::size_t limit = text.size() + (t.Kind == core::TTokenKind::tkComment ? 1 : 0);
    Require(t.Position >= lastPosition && static_cast<std::size_t>(t.Position) < limit, [&] {
      return "token " + std::to_string(i) + " starts out of order or outside the stream: " + DescribeToken(t);
    });
    Require(t.Line >= lastLine && t.Column >= 1,
            [&] { return "token " + std::to_string(i) + " has a bad line or column: " + DescribeToken(t); });
    lastPosition = t.Position;
    lastLine = t.Line;
  }
  const core::TToken& end = *whole.Token(count - 1);
  const core::TToken* before = count >= 2 ? whole.Token(count - 2) : nullptr;
  if (before && before->Kind == core::TTokenKind::tkComment) {
    // A block comment may run to the end of the stream; tkEnd then stands
    // where the stream ended.
    Require(end.Position >= before->Position && static_cast<std::size_t>(end.Position) <= text.size() &&
                end.Line >= before->Line,
            [&] { return "tkEnd after a comment stands before it or past the stream: " + DescribeToken(end); });
  } else {
    Require(end.Position == (before ? before->Position : 0) && end.Line == (before ? before->Line : 0) &&
                end.Column == (before ? before->Column : 0),
            [&] { return "tkEnd does not keep the start of the token before it: " + DescribeToken(end); });
  }
  return std::to_string(count) + " tokens";
}

// ---- compiler ------------------------------------------------------------

// Library exceptions that CompileText turns into an error line begin with
// these texts; the compiler's own messages begin with words of their own
// (names from the script come later in them).
inline bool LooksLikeLibraryError(std::string_view text) {
  for (std::string_view start :
       {"basic_string", "vector::", "std::", "cannot create std::", "stoi", "stol", "stoul", "stof", "stod", "map::at",
        "array::at", "bitset", "deque", "bad_", "List index", "string_view::"})
    if (text.substr(0, start.size()) == start) return true;
  return false;
}

// The image of a successful compile, written and read back, must come back
// as it was; the listings of the written file show every code word once.
inline void CheckCobRoundTrip(const core::CobImage& image) {
  Require(image.scriptStarts.size() == image.scriptNames.size(), "script starts and names differ in number");
  const std::vector<std::uint8_t> bytes = core::BuildCob(image);
  core::CobFile file;
  try {
    file = core::ReadCob(bytes);
  } catch (const core::CobFormatError& error) {
    throw PropertyViolation(std::string("ReadCob rejects the compiled image: ") + error.what());
  }
  Require(file.code == image.code, "code words differ after BuildCob + ReadCob");
  Require(file.scriptStarts == image.scriptStarts, "script starts differ after BuildCob + ReadCob");
  Require(file.pieceNames == image.pieceNames, "piece names differ after BuildCob + ReadCob");
  Require(file.header.StaticVarCount == image.staticVarCount, "static count differs after BuildCob + ReadCob");
  Require(file.scriptNames.size() == image.scriptNames.size(), "script count differs after BuildCob + ReadCob");
  for (std::size_t i = 0; i < image.scriptNames.size(); ++i)
    Require(file.scriptNames[i] == (image.scriptSpellings.empty() ? core::StoredScriptName(image.scriptNames[i])
                                                                  : image.scriptSpellings[i]),
            [&] { return "script name " + std::to_string(i) + " differs after BuildCob + ReadCob"; });

  // Scripts follow each other in the code, the first at word 0.
  bool inOrder = image.scriptStarts.empty() || image.scriptStarts[0] == 0;
  for (std::size_t i = 1; i < image.scriptStarts.size(); ++i)
    inOrder = inOrder && image.scriptStarts[i - 1] <= image.scriptStarts[i];
  if (inOrder) {
    const std::size_t expected = 2 * image.scriptNames.size() + (image.scriptNames.empty() ? 0 : image.code.size());
    const std::size_t lines = core::BuildListing(std::span<const std::uint8_t>(bytes)).size();
    Require(lines == expected, [&] {
      return "the listing of a compiled image has " + std::to_string(lines) + " lines, not " + std::to_string(expected);
    });
  }
  core::BuildDisassembly(std::span<const std::uint8_t>(bytes));
}

// Scales a setting may hold, the defaults first, the extremes among them.
inline constexpr double kFuzzScales[16] = {163840.0, 182.04444444, 65536.0, 182.0, 1.0,      0.5,    1e-9, 1e9,
                                           3.0,      1000.0,       1e-3,    7.5,   123456.0, 2048.0, 0.1,  999999.0};

inline std::string CheckCompile(std::string_view source, int recurseDepth, bool extended, double linearConst = 163840.0,
                                double angularConst = 182.04444444) {
  core::CompileOptions options;
  options.recurseDepth = recurseDepth;
  options.linearConst = linearConst;
  options.angularConst = angularConst;
  options.extended = extended;
  int warnings = 0;
  options.onWarning = [&warnings](const core::CompileWarning&) { ++warnings; };
  const core::CompileOutcome outcome = core::CompileText(source, options);
  Require(outcome.row >= 0 && outcome.col >= 0, "negative error position");
  if (!outcome.ok) {
    Require(!outcome.errorText.empty(), "a failed compile without an error text");
    Require(!LooksLikeLibraryError(outcome.errorText),
            [&] { return "a library exception escaped the compiler: " + outcome.errorText; });
    return "[" + std::to_string(outcome.row) + ": " + std::to_string(outcome.col) + "] " + outcome.errorText;
  }
  Require(outcome.errorText.empty(), "a successful compile with an error text");
  CheckCobRoundTrip(outcome.image);
  return "ok, " + std::to_string(outcome.image.code.size()) + " words, " + std::to_string(warnings) + " warnings";
}

inline constexpr std::uint8_t kCompileExtended = 0x80;

// The low seven bits pick the recurse depth: their value up to 120, then
// the default and a few large depths, among them some beyond the
// compiler's own nesting bound.
inline int RecurseDepthOf(std::uint8_t byte) {
  constexpr int kLarge[] = {200, 500, 1000, 1999, 2000, 2001, 100000};
  byte &= 0x7f;
  return byte < 121 ? byte : kLarge[byte - 121];
}

std::string RunCompiler(Bytes data) {
  if (data.size() < 2) return "empty";
  return CheckCompile(AsText(data.subspan(2)), RecurseDepthOf(data[0]), (data[0] & kCompileExtended) != 0,
                      kFuzzScales[data[1] & 15], kFuzzScales[data[1] >> 4 & 15]);
}

// ---- preprocessor --------------------------------------------------------

inline constexpr std::uint8_t kSegmentSeparator = 0x01;
inline constexpr int kMaxHeaders = 3;
// Flags byte of the preprocessor input.
inline constexpr std::uint8_t kIgnoreCase = 1;  // "Case sensitive #defines" off
inline constexpr std::uint8_t kCompile = 2;     // compile the result, on one core and on two
inline constexpr std::uint8_t kDropSource = 4;  // the two-core road lets Source go
inline constexpr std::uint8_t kReuse = 8 | 16;  // both bits: compare with a preprocessor used before
// With kCompile: the extended language, includes found beside their includer.
inline constexpr std::uint8_t kExtended = 32;
inline constexpr const char* kIncludeDirs = "inc/;";

// Tokens of `text` as the preprocessor's scanner reads them.
inline std::size_t CountTokens(std::string_view text) {
  static core::TScanner& scanner = *NewPreprocessorScanner();
  scanner.Begin(text);
  core::TToken token;
  std::size_t count = 0;
  while (scanner.Next(token)) ++count;
  return count;
}

// The longest line (between CR and LF bytes) that holds "#define" in any
// case: a define's value is read from its own line, so no value is longer.
inline std::size_t LongestDefineLine(std::string_view text) {
  std::size_t longest = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    for (std::size_t at = line.find('#'); at != std::string_view::npos; at = line.find('#', at + 1)) {
      constexpr std::string_view kDefine = "define";
      const std::string_view word = line.substr(at + 1, kDefine.size());
      bool same = word.size() == kDefine.size();
      for (std::size_t i = 0; same && i < word.size(); ++i)
        same = (word[i] | 0x20) == kDefine[i];  // ASCII letters only, so | 0x20 folds them
      if (same) {
        longest = std::max(longest, line.size());
        break;
      }
    }
    start = end + 1;
  }
  return longest;
}

// Thrown by OutputBudget. Not a std::exception, so that the preprocessor
// passes it on instead of reporting it as an error.
struct OverBudget {};

// The preprocessed text can grow much faster than its input: every token
// may be replaced by a define's value, in each of the two passes, and an
// included header is walked each time it is included. A 4 KiB input can so
// ask for gigabytes, correctly and slowly. Before each stretch of work the
// budget takes an upper bound of the text it can produce (tokens times the
// longest possible value) and throws OverBudget when a pass could exceed
// kBytes: the input is then skipped, and only faults take time.
class OutputBudget : public core::IProgressBar {
 public:
  static constexpr std::size_t kBytes = 256 * 1024;

  OutputBudget(const core::TPreProcessor& preprocessor, std::size_t longestValue)
      : preprocessor_(preprocessor), longestValue_(longestValue) {}

  // Before the first pass over a main text of `tokens` tokens.
  void Start(std::size_t tokens) {
    bound_ = 0;
    Add(tokens);
  }
  // Before an included text of `tokens` tokens is walked.
  void Add(std::size_t tokens) {
    bound_ += tokens * (longestValue_ + 2);  // a value between blanks
    if (bound_ > kBytes) throw OverBudget{};
  }

  void SetMax(std::int64_t max) override {
    ++passes_;
    max_ = max;
  }
  void SetPosition(std::int64_t position) override {
    if (passes_ != 1 || position != max_) return;
    // The first pass has ended and its text is the next pass's input; that
    // text may define longer values than the sources did.
    const std::string& first = preprocessor_.Source();
    longestValue_ = std::max(longestValue_, LongestDefineLine(first));
    const core::TStack& defines = preprocessor_.Defines();
    for (int i = 0; i < defines.Count(); ++i) longestValue_ = std::max(longestValue_, defines.Get(i).size());
    Start(CountTokens(first));
  }
  void ProcessEvents() override {}

 private:
  const core::TPreProcessor& preprocessor_;
  std::size_t longestValue_;
  std::size_t bound_ = 0;
  int passes_ = 0;
  std::int64_t max_ = -1;
};

// Headers kept in memory, with their token counts for the budget. Includes
// nest up to 32 deep, so headers that include each other can also ask for a
// number of reads exponential in that depth; the set serves a fixed number
// of reads per road and refuses the rest.
class MemoryIncludeFiles : public core::MemoryIncludeFiles {
 public:
  static constexpr int kReadBudget = 256;

  void Add(std::string name, std::string contents) {
    tokens_[name] = CountTokens(contents);
    longestDefineLine_ = std::max(longestDefineLine_, LongestDefineLine(contents));
    core::MemoryIncludeFiles::Add(std::move(name), std::move(contents));
  }
  std::size_t LongestValue() const { return longestDefineLine_; }
  // Starts a road: all reads available, and the budget (if any) told of each.
  void Refill(OutputBudget* budget = nullptr) {
    reads_ = 0;
    budget_ = budget;
  }

  bool Read(const std::string& path, std::string& contents, std::string& reason) const override {
    if (!Exists(path)) return core::MemoryIncludeFiles::Read(path, contents, reason);
    if (++reads_ > kReadBudget) {
      reason = "read budget spent";
      return false;
    }
    if (budget_) budget_->Add(tokens_.at(path));
    return core::MemoryIncludeFiles::Read(path, contents, reason);
  }

 private:
  std::map<std::string, std::size_t> tokens_;
  std::size_t longestDefineLine_ = 0;
  mutable int reads_ = 0;
  OutputBudget* budget_ = nullptr;
};

struct RoadResult {
  bool ok = false;
  std::string source;
  std::string error;  // Describe() of a failed road

  bool operator==(const RoadResult&) const = default;
};

inline RoadResult ResultOf(const core::TPreProcessor& preprocessor) {
  RoadResult result;
  result.ok = !preprocessor.Failed();
  result.source = preprocessor.Source();
  if (!result.ok) {
    // Walk errors always name a line; line 0 means something else was thrown.
    Require(preprocessor.Error().line >= 1,
            [&] { return "preprocessing stopped on an internal error: " + preprocessor.Error().Describe(); });
    result.error = preprocessor.Error().Describe();
  }
  return result;
}

inline core::PreprocessSettings SettingsFor(bool ignoreCase) {
  core::PreprocessSettings settings;
  settings.includeDirs = kIncludeDirs;
  settings.definesCaseSensitive = !ignoreCase;
  settings.secondCore = false;
  return settings;
}

// Both passes on one core. With `limited`, within the output budget: throws
// OverBudget where the text could grow past it.
inline RoadResult RunRoad(core::TPreProcessor& preprocessor, MemoryIncludeFiles& files, std::string_view main,
                          bool ignoreCase, bool limited) {
  OutputBudget budget(preprocessor, std::max(files.LongestValue(), LongestDefineLine(main)));
  if (limited) budget.Start(CountTokens(main));
  files.Refill(limited ? &budget : nullptr);
  preprocessor.SetProgressBar(limited ? &budget : nullptr);
  core::PreprocessTwice(preprocessor, std::string(main), "main.bos", SettingsFor(ignoreCase));
  preprocessor.SetProgressBar(nullptr);
  files.Refill();
  return ResultOf(preprocessor);
}

// Where the compile roads write their .cob files: a folder of this process,
// removed when it ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    path_ = std::filesystem::temp_directory_path(error) / ("marlo-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_, error);
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

inline const ScratchFolder& Scratch() {
  static const ScratchFolder folder;
  return folder;
}

class MessageLines : public core::IMessageList {
 public:
  explicit MessageLines(std::vector<std::string>& lines) : lines_(lines) {}
  void Add(const std::string& line) override { lines_.push_back(line); }

 private:
  std::vector<std::string>& lines_;
};

struct CompileRoadResult {
  bool ok = false;
  std::vector<std::string> messages;  // message lines and warnings, in order
  std::vector<std::uint8_t> cob;      // the file written, as the dump hook saw it
  RoadResult preprocessed;            // what the preprocessor holds afterwards
};

// The road of a compile as marloc takes it: both passes, then the compiler,
// which writes the .cob. With a second core the compiler reads the second
// pass's output on another thread while it is produced; on one core no
// other thread runs, so that road may carry the budget (`limited`).
inline CompileRoadResult RunCompileRoad(MemoryIncludeFiles& files, std::string_view main, bool ignoreCase,
                                        bool extended, bool secondCore, bool keepSource, bool limited = false) {
  CompileRoadResult result;
  core::TPreProcessor preprocessor;
  preprocessor.SetTokens(StandardTokens());
  preprocessor.SetIncludeFiles(&files);
  OutputBudget budget(preprocessor, std::max(files.LongestValue(), LongestDefineLine(main)));
  if (limited) {
    budget.Start(CountTokens(main));
    preprocessor.SetProgressBar(&budget);
  }
  files.Refill(limited ? &budget : nullptr);
  MessageLines messages(result.messages);
  core::TBosCompiler compiler;
  compiler.SetPreProcesser(&preprocessor);
  compiler.SetMessageListBox(&messages);
  compiler.SetOutputPath(Scratch().Path());
  compiler.SetOutputFilename("main.bos");
  compiler.SetSourceFile("main.bos");
  compiler.SetExtended(extended);
  compiler.SetOnWarning([&result](const core::CompileWarning& warning) {
    result.messages.push_back("warning: [" + std::to_string(warning.row) + ": " + std::to_string(warning.col) + "] " +
                              warning.text);
  });
  compiler.SetOnDumpFile([&result](std::istream& strm) {
    result.cob.assign(std::istreambuf_iterator<char>(strm), std::istreambuf_iterator<char>());
  });
  core::PreprocessSettings settings = SettingsFor(ignoreCase);
  settings.secondCore = secondCore;
  settings.keepSource = keepSource;
  settings.includeBesideIncluder = extended;
  result.ok = core::PreprocessAndCompile(preprocessor, compiler, std::string(main), "main.bos", settings);
  preprocessor.SetProgressBar(nullptr);
  files.Refill();
  result.preprocessed = ResultOf(preprocessor);
  return result;
}

std::string RunPreprocessor(Bytes data) {
  if (data.empty()) return "empty";
  const std::uint8_t flags = data[0];
  const bool ignoreCase = flags & kIgnoreCase;
  const bool extended = (flags & kCompile) && (flags & kExtended);
  std::string_view rest = AsText(data.subspan(1));

  std::size_t cut = rest.find(static_cast<char>(kSegmentSeparator));
  const std::string_view main = rest.substr(0, cut);
  MemoryIncludeFiles files;
  for (int header = 0; header < kMaxHeaders && cut != std::string_view::npos; ++header) {
    rest.remove_prefix(cut + 1);
    cut = rest.find(static_cast<char>(kSegmentSeparator));
    std::string_view segment = rest.substr(0, cut);
    const std::size_t lineEnd = segment.find('\n');
    std::string_view name = segment.substr(0, lineEnd);
    if (!name.empty() && name.back() == '\r') name.remove_suffix(1);
    segment.remove_prefix(lineEnd == std::string_view::npos ? segment.size() : lineEnd + 1);
    if (!name.empty()) files.Add(std::string(name), std::string(segment));
  }

  // The reference: both passes on a new preprocessor, within the budget;
  // with kCompile on the road of a compile on one core. Every other road
  // over the same input in the same case mode gives the same text, so it
  // needs no budget of its own.
  RoadResult road;
  CompileRoadResult oneCore;
  try {
    if (flags & kCompile) {
      oneCore = RunCompileRoad(files, main, ignoreCase, extended, false, true, true);
      road = oneCore.preprocessed;
    } else {
      // kExtended plays no part without kCompile.
      core::TPreProcessor preprocessor;
      preprocessor.SetTokens(StandardTokens());
      preprocessor.SetIncludeFiles(&files);
      road = RunRoad(preprocessor, files, main, ignoreCase, true);
    }
  } catch (const OverBudget&) {
    return "skipped: the text could grow past the budget";
  }
  if (ignoreCase) {
    for (char c : road.source) Require(c < 'A' || c > 'Z', "upper-case letter in the text of an ignore-case road");
  }

  if ((flags & kReuse) == kReuse) {
    // Reset must forget everything: a preprocessor used before, in the
    // other case mode, gives what a new one gives.
    core::TPreProcessor used;
    used.SetTokens(StandardTokens());
    used.SetIncludeFiles(&files);
    bool usedBefore = true;
    try {
      RunRoad(used, files, main, !ignoreCase, true);
    } catch (const OverBudget&) {
      usedBefore = false;  // too long in the other mode: nothing to compare
    }
    if (usedBefore) {
      Require(RunRoad(used, files, main, ignoreCase, false) == road,
              "a preprocessor used before gives another result than a new one");
    }
  }

  std::string summary = road.ok ? "ok, " + std::to_string(road.source.size()) + " bytes" : road.error;
  if (flags & kCompile) {
    const std::string compiled = road.ok ? CheckCompile(road.source, 200, extended) : std::string();
    if (road.ok) summary += "; compile: " + compiled;
    Require(oneCore.ok == (road.ok && compiled.starts_with("ok")),
            "the compile road and CompileText on the preprocessed text disagree on success");
    // One core or two, Source kept or not: the same text, messages and file.
    const CompileRoadResult twoCores = RunCompileRoad(files, main, ignoreCase, extended, true, !(flags & kDropSource));
    Require(oneCore.ok == twoCores.ok && oneCore.messages == twoCores.messages, [&] {
      return "the compile on two cores reports otherwise than on one: " +
             (twoCores.messages.empty() ? std::string("nothing") : twoCores.messages.back());
    });
    Require(oneCore.cob == twoCores.cob, "the compile on two cores writes another file than on one");
    if (!(flags & kDropSource)) {
      Require(twoCores.preprocessed == road, "the compile on two cores preprocesses otherwise than on one");
    }
  }
  return summary;
}

// ---- #if evaluator -------------------------------------------------------

// A few names of the caller's own, so that the identifier road is taken too.
inline std::unique_ptr<core::TExpression> FuzzIdentifiers(const std::string& upperName,
                                                          std::unique_ptr<core::TParameterList>& params) {
  if (params) return nullptr;
  if (upperName == "SEVEN") return std::make_unique<core::TIntegerLiteral>(7);
  if (upperName == "HALF") return std::make_unique<core::TFloatLiteral>(0.5);
  if (upperName == "NAME") return std::make_unique<core::TStringLiteral>("Tank");
  if (upperName == "YES") return std::make_unique<core::TBooleanLiteral>(true);
  return nullptr;
}

// Reads the tree by its type; a Float never reads as infinite or NaN.
inline std::string ReadByType(const core::TExpression& expression) {
  switch (expression.ExprType()) {
    case core::TExprType::ttString:
      return "String " + expression.AsString();
    case core::TExprType::ttFloat: {
      const double value = expression.AsFloat();
      Require(std::isfinite(value), "a Float value that is not finite");
      return "Float " + core::GeneralFloatText(value);
    }
    case core::TExprType::ttInteger:
      return "Integer " + std::to_string(expression.AsInteger());
    case core::TExprType::ttBoolean:
      return expression.AsBoolean() ? "Boolean TRUE" : "Boolean FALSE";
  }
  throw PropertyViolation("ExprType out of range");
}

std::string RunEvaluator(Bytes data) {
  const std::string_view text = AsText(data);
  std::string summary;
  try {
    const std::unique_ptr<core::TExpression> tree = core::ParseExpression(text, FuzzIdentifiers);
    summary = tree ? ReadByType(*tree) : "blank";
    if (tree) {
      // Every reader either gives a value or raises one of the two errors.
      for (int reader = 0; reader < 4; ++reader) {
        try {
          if (reader == 0) tree->AsString();
          if (reader == 1) Require(std::isfinite(tree->AsFloat()), "AsFloat gave a value that is not finite");
          if (reader == 2) tree->AsInteger();
          if (reader == 3) tree->AsBoolean();
        } catch (const core::EExpression&) {
        } catch (const core::EExpressionMath&) {
        }
      }
    }
  } catch (const core::EExpression& error) {
    summary = std::string("EExpression: ") + error.what();
  } catch (const core::EExpressionMath& error) {
    summary = std::string("EExpressionMath: ") + error.what();
  }
  try {
    summary += core::EvaluateCondition(text) ? "; holds" : "; does not hold";
  } catch (const core::EExpression&) {
  } catch (const core::EExpressionMath&) {
  }
  return summary;
}

// ---- COB reader and listings ---------------------------------------------

// Code lines start with a hexadecimal address; script headings with '/'.
inline std::size_t CodeLines(const std::vector<std::string>& lines) {
  std::size_t n = 0;
  for (const std::string& line : lines) n += line.empty() || line[0] != '/';
  return n;
}

std::string RunCob(Bytes data) {
  std::string summary;
  try {
    const core::CobFile file = core::ReadCob(data);
    summary = "read: " + std::to_string(file.scriptNames.size()) + " scripts";
    // What was read, written again and read back, is the same file.
    core::CobImage image;
    image.code = file.code;
    image.scriptStarts = file.scriptStarts;
    image.scriptNames = file.scriptNames;
    image.pieceNames = file.pieceNames;
    image.staticVarCount = file.header.StaticVarCount;
    const core::CobFile again = core::ReadCob(core::BuildCob(image));
    Require(again.code == file.code && again.scriptStarts == file.scriptStarts && again.pieceNames == file.pieceNames &&
                again.header.StaticVarCount == file.header.StaticVarCount,
            "a file read, written and read again differs");
    for (std::size_t i = 0; i < file.scriptNames.size(); ++i)
      Require(again.scriptNames[i] == core::StoredScriptName(file.scriptNames[i]),
              [&] { return "script name " + std::to_string(i) + " differs after writing it again"; });
  } catch (const core::CobFormatError& error) {
    summary = std::string("rejected: ") + error.what();
  }

  // The listings read any bytes; each shows at most as many code words as
  // the bytes hold. The stream overloads read the stream and hand the bytes
  // on: compared on small files only, where that costs little.
  constexpr std::size_t kStreamCheckLimit = 256;
  const bool viaStream = data.size() <= kStreamCheckLimit;
  {
    const std::vector<std::string> listing = core::BuildListing(data);
    Require(CodeLines(listing) <= data.size() / 4, "the listing shows more code words than the bytes hold");
    if (viaStream) {
      std::istringstream stream{std::string(AsText(data))};
      Require(core::BuildListing(stream) == listing, "BuildListing differs between stream and bytes");
    }
    summary += "; listing " + std::to_string(listing.size()) + " lines";
  }
  {
    const std::vector<std::string> disassembly = core::BuildDisassembly(data);
    Require(CodeLines(disassembly) <= data.size() / 4, "the disassembly shows more instructions than the bytes hold");
    if (viaStream) {
      std::istringstream stream{std::string(AsText(data))};
      Require(core::BuildDisassembly(stream) == disassembly, "BuildDisassembly differs between stream and bytes");
    }
    summary += "; disassembly " + std::to_string(disassembly.size()) + " lines";
  }
  return summary;
}

// ---- by name -------------------------------------------------------------

const std::vector<std::string>& TargetNames() {
  static const std::vector<std::string> names = {"scanner", "preprocessor", "evaluator", "compiler", "cob"};
  return names;
}

// The target's Run function; throws std::invalid_argument for an unknown name.
std::string RunTarget(std::string_view target, Bytes data) {
  if (target == "scanner") return RunScanner(data);
  if (target == "preprocessor") return RunPreprocessor(data);
  if (target == "evaluator") return RunEvaluator(data);
  if (target == "compiler") return RunCompiler(data);
  if (target == "cob") return RunCob(data);
  throw std::invalid_argument("unknown fuzz target '" + std::string(target) + "'");
}

}  // namespace marlo::fuzz
