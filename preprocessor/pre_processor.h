// TPreProcessor: turns BOS source text into the preprocessed text that the
// compiler reads.
//
// It tokenizes each stream (the main text and every included file), walks
// the tokens once, carries out the directives (#define, #undef, #include,
// #ifdef, #ifndef, #if, #else, #endif), replaces every other token that is
// a defined name by its value, and writes the surviving tokens, re-spaced,
// into Source: one line per source line that produced tokens, each begun by
// a LF; identifiers and keywords stand between single blanks, everything
// else is written without blanks.
//
// A walk that stops on an error keeps Source as produced so far and keeps
// the error (text, file, line) for the caller to report.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/cs_string_list.h"
#include "base/hooks.h"
#include "base/text_stream.h"

namespace marlo::core {

class TScanner;
struct TToken;

// Where included files come from: the disk by default; tests and fuzzers
// supply an in-memory set.
class IIncludeFiles {
 public:
  virtual ~IIncludeFiles() = default;
  virtual bool Exists(const std::string& path) const = 0;
  // Fills `contents`, or returns false with the reason.
  virtual bool Read(const std::string& path, std::string& contents, std::string& reason) const = 0;
};

class DiskIncludeFiles : public IIncludeFiles {
 public:
  bool Exists(const std::string& path) const override;
  bool Read(const std::string& path, std::string& contents, std::string& reason) const override;
};

struct PreprocessError {
  std::string text;
  std::string file;
  int line = 0;
  // "file(line): text", the form shown to the user.
  std::string Describe() const;
};

class TPreProcessor : public ISourceHolder {
 public:
  // Includes deeper than this end the walk; it also ends include cycles.
  static constexpr int kMaxIncludeDepth = 32;

  TPreProcessor();
  ~TPreProcessor() override;
  TPreProcessor(const TPreProcessor&) = delete;
  TPreProcessor& operator=(const TPreProcessor&) = delete;

  // Source, Defines and PreProcessorTests emptied; IncludeDirs kept.
  void Reset();
  // ";"-separated directories, each used as a prefix of the file name.
  void SetIncludeDirs(std::string_view dirs);
  const std::vector<std::string>& IncludeDirs() const { return includeDirs_; }

  // Walks `text`, appending to Source; returns a copy of the whole Source,
  // or an empty text when the walk stopped on an error (see Error()).
  std::string Execute(std::string_view text);
  // Execute without the copy: true when the walk ran to the end.
  bool Process(std::string_view text);
  // Process over the Source an earlier walk made (the second pass), so that
  // the rows' origins lead through both walks to the files.
  bool ProcessAgain(std::string_view earlierSource);

  // Where row `row` of Source (from 0, as SourceEnd counts; row 0 is the
  // leading empty line and has none) came from: a file as opened and its
  // line from 1. A row past the end gives the last row's origin.
  bool OriginOf(int row, std::string& file, int& line) const;
  // Where line `line` of the text given to ProcessAgain came from; valid
  // for the lines that walk has not passed (an error's line).
  bool OriginOfEarlierLine(int earlierLine, std::string& file, int& line) const;
  // Every header read since Reset, as opened, each once, in reading order.
  const std::vector<std::string>& FilesRead() const { return filesRead_; }

  const std::string& Source() const override { return source_; }
  void SetSource(std::string text) { source_ = std::move(text); }
  // Moves Source out, leaving it empty.
  std::string TakeSource() { return std::exchange(source_, std::string()); }

  TStack& Defines() { return defines_; }
  const TStack& Defines() const { return defines_; }
  const TStack& PreProcessorTests() const { return tests_; }

  const TCsStringList& Tokens() const { return tokens_; }
  void SetTokens(const TCsStrings& tokens);

  // "Case sensitive #defines": the owner sets it before each run.
  bool DefinesCaseSensitive() const { return defines_.CaseSensitive(); }
  void SetDefinesCaseSensitive(bool value);

  // Token files. Without a chooser, a missing file is reported through the
  // warning hook and Tokens stays as it was.
  using TChooseTokenFile = std::function<std::optional<std::string>(const std::string& missingFile)>;
  bool LoadTokensFromFile() const { return loadTokensFromFile_; }
  void SetLoadTokensFromFile(bool value);
  const std::string& TokenFile() const { return tokenFile_; }
  void SetTokenFile(std::string file);
  void SetOnChooseTokenFile(TChooseTokenFile chooser) { chooseTokenFile_ = std::move(chooser); }
  void SetOnWarning(TWarningEvent handler) { onWarning_ = std::move(handler); }

  // Where the owner keeps its settings; kept for the owner, not read here.
  const std::string& BaseKey() const { return baseKey_; }
  void SetBaseKey(std::string key) { baseKey_ = std::move(key); }
  const std::string& Progname() const { return progname_; }
  void SetProgname(std::string name) { progname_ = std::move(name); }

  IProgressBar* ProgressBar() const { return progressBar_; }
  void SetProgressBar(IProgressBar* bar) { progressBar_ = bar; }

  // The name that errors in the text given to Execute are reported under.
  const std::string& FileName() const { return fileName_; }
  void SetFileName(std::string name) { fileName_ = std::move(name); }

  // Whether an #include is also looked for in the including file's folder,
  // after the name as given and before the include directories.
  bool IncludeBesideIncluder() const { return includeBesideIncluder_; }
  void SetIncludeBesideIncluder(bool value) { includeBesideIncluder_ = value; }

  void SetIncludeFiles(const IIncludeFiles* files) { includeFiles_ = files ? files : &diskFiles_; }

  // While set, what each run adds to Source is also written to `stream` as
  // it is produced (for a reader on another thread).
  void SetOutputStream(TextStream* stream) { outputStream_ = stream; }
  // With an output stream, whether Source keeps what was written to the
  // stream (true) or lets it go once written, for a caller that needs only
  // the stream and where the text ended.
  void SetKeepSource(bool keep) { keepSource_ = keep; }
  // Whether a long text may be scanned on a second thread while it is
  // walked (the result is the same either way).
  void SetParallelScan(bool allowed) { parallelScan_ = allowed; }

  // Row and column (from 0) of the end of the text produced so far, the
  // part let go included.
  void SourceEnd(int& row, int& col) const;

  // Set when the last Execute stopped on an error.
  bool Failed() const { return error_.has_value(); }
  const PreprocessError& Error() const { return *error_; }

 private:
  class Walk;

  void LoadTokenFile();
  const TScanner& ConfiguredScanner();
  void PublishOutput();
  // The first entry named `name`, or -1.
  int FindDefine(std::string_view name);
  void PushDefine(const std::string& name, const std::string& value);
  void RemoveDefines(std::string_view name);
  void RebuildDefineIndex();
  std::string DefineKey(std::string_view name) const;
  void NoteDefinedName(std::string_view key);
  // The value of the first entry named `text` when it is not empty, else
  // `text` itself.
  std::string_view Substitute(const std::string& text);

  // One row's origin: an index into originFiles_ and a line from 1. Kept
  // for every row (8 bytes each); columns are found again when asked.
  struct LineOrigin {
    std::uint32_t file = 0;
    std::uint32_t line = 0;
  };
  void NoteRow(std::uint32_t file, int line, bool fromEarlierSource);
  std::uint32_t FileIndex(const std::string& path);

  std::string source_;
  std::vector<std::string> originFiles_;
  std::vector<LineOrigin> origins_;  // origins_[r - 1] for row r
  std::vector<std::string> filesRead_;
  // While ProcessAgain walks, the earlier walk's origins are overwritten in
  // place (a row never comes from a line after the one being read), unless
  // an include makes rows of its own: then they go to repassRows_.
  bool repassing_ = false;
  std::size_t repassWritten_ = 0;
  bool repassCopies_ = false;
  std::vector<LineOrigin> repassRows_;
  TStack defines_;
  TStack tests_;
  TCsStringList tokens_;
  // A scanner configured for tokens_, copied by each walk: configuring sorts
  // the keywords, which costs more than scanning a short include.
  std::unique_ptr<TScanner> scanner_;
  std::vector<std::string> includeDirs_;
  bool loadTokensFromFile_ = false;
  std::string tokenFile_;
  TChooseTokenFile chooseTokenFile_;
  TWarningEvent onWarning_;
  std::string baseKey_;
  std::string progname_;
  IProgressBar* progressBar_ = nullptr;
  std::string fileName_;
  DiskIncludeFiles diskFiles_;
  const IIncludeFiles* includeFiles_ = &diskFiles_;
  bool includeBesideIncluder_ = false;
  std::optional<PreprocessError> error_;
  TextStream* outputStream_ = nullptr;
  std::size_t published_ = 0;
  bool keepSource_ = true;
  bool parallelScan_ = false;
  // Lines and the length of the last line of the text let go.
  int droppedRows_ = 0;
  int droppedCol_ = 0;

  // Name -> index of its first entry in Defines, kept in step with our own
  // changes and rebuilt when anyone else changes the table.
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };
  std::unordered_map<std::string, int, KeyHash, std::equal_to<>> defineIndex_;
  // Cheap first tests before the hash: which name lengths (up to 63) and
  // which first characters occur among the defined names.
  std::uint64_t defineLengths_ = 0;
  bool defineFirstChars_[256] = {};
  std::string keyBuffer_;
  bool defineIndexStale_ = true;
  bool changingDefines_ = false;
};

}  // namespace marlo::core
