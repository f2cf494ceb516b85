// The preprocessor's token walk.
#include "preprocessor/pre_processor.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "base/ascii.h"
#include "base/system_error_text.h"
#include "preprocessor/expression_evaluator.h"
#include "preprocessor/scanner.h"
#include "preprocessor/token_reader.h"

namespace marlo::core {
namespace {

// The folder part of a path, with its separator ("" for a bare name). Only
// "/" separates folders here; Windows also has "\\" and a drive's ":".
std::string FolderOf(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\:");
#else
  const std::size_t slash = path.rfind('/');
#endif
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// How many tokens pass between two calls of the progress display.
constexpr int kTokensPerProgress = 4096;

// Below this size a second scanning thread costs more than it saves.
constexpr std::size_t kParallelScanFrom = 1 << 20;

struct WalkFailure {
  PreprocessError error;
};

void LowerCaseInPlace(std::string& text) {
  for (char& c : text) c = AsciiLower(c);
}

bool IsWord(const TToken& token) {
  return token.Kind == TTokenKind::tkIdentifier || token.Kind == TTokenKind::tkKeyword;
}

// Replaces every occurrence of `from` by `to` until none is left.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  // A replacement can complete a new occurrence with the characters before
  // it, so the search resumes that far back.
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at >= from.size() ? at - from.size() : 0))
    text.replace(at, from.size(), to);
}

}  // namespace

bool DiskIncludeFiles::Exists(const std::string& path) const {
  std::error_code error;
  return !path.empty() && std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error);
}

bool DiskIncludeFiles::Read(const std::string& path, std::string& contents, std::string& reason) const {
  // A device or a pipe could be read forever (or wait for a writer that
  // never comes): only plain files are included.
  std::error_code statusError;
  if (!std::filesystem::is_regular_file(path, statusError)) {
    reason = "not a plain file (a device, a pipe or a folder)";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reason = SystemErrorText(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    reason = "read error";
    return false;
  }
  contents = std::move(buffer).str();
  return true;
}

std::string PreprocessError::Describe() const { return file + "(" + std::to_string(line) + "): " + text; }

// The tokens of one stream as the walk needs them: read on demand into a
// ring of reused slots, and forgotten once the walk has passed them, so that
// only a line or so is held however long the stream is. A pointer from At()
// is valid until the next call of At().
class TokenWindow {
 public:
  TokenWindow() : ring_(64), mask_(63) {}
  void SetReader(TokenReader& reader) { reader_ = &reader; }

  // The token at `index`, or nullptr past the end.
  TToken* At(int index) {
    const auto offset = static_cast<std::size_t>(index - first_);
    if (offset < count_) return &ring_[(head_ + offset) & mask_];
    return Fetch(offset);
  }

  // Drops the tokens before `index`.
  void Forget(int index) {
    while (first_ < index && count_ > 0) {
      head_ = (head_ + 1) & mask_;
      --count_;
      ++first_;
    }
  }

 private:
  TToken* Fetch(std::size_t offset) {
    while (offset >= count_) {
      if (ended_) return nullptr;
      if (count_ == ring_.size()) Grow();
      if (!reader_->Next(ring_[(head_ + count_) & mask_])) {
        ended_ = true;
        return nullptr;
      }
      ++count_;
    }
    return &ring_[(head_ + offset) & mask_];
  }

  void Grow() {
    std::vector<TToken> larger(ring_.size() * 2);
    for (std::size_t i = 0; i < count_; ++i) larger[i] = std::move(ring_[(head_ + i) & mask_]);
    ring_ = std::move(larger);
    mask_ = ring_.size() - 1;
    head_ = 0;
  }

  TokenReader* reader_ = nullptr;
  std::vector<TToken> ring_;  // a power of two in size
  std::size_t mask_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  int first_ = 0;
  bool ended_ = false;
};

// One stream's walk: the main text or one included file.
class TPreProcessor::Walk {
 public:
  Walk(TPreProcessor& owner, std::string fileName, int depth)
      : owner_(owner),
        fileName_(std::move(fileName)),
        depth_(depth),
        fileIndex_(owner.repassing_ && depth == 0 ? 0 : owner.FileIndex(fileName_)) {}

  void Run(std::string_view text) {
    // Several editors begin a UTF-8 file with a byte-order mark; it is no
    // part of the script.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    // A long main text is scanned on a second thread while it is walked.
    std::unique_ptr<TokenReader> reader = std::make_unique<ScannerReader>(owner_.ConfiguredScanner(), text);
    if (depth_ == 0 && owner_.parallelScan_ && text.size() >= kParallelScanFrom) {
      try {
        reader = std::make_unique<ThreadedTokenReader>(std::move(reader));
      } catch (const std::system_error&) {
        // No second thread to be had: the scanner stays on this one.
        reader = std::make_unique<ScannerReader>(owner_.ConfiguredScanner(), text);
      }
    }
    tokens_.SetReader(*reader);
    IProgressBar* progress = depth_ == 0 ? owner_.progressBar_ : nullptr;
    if (progress) progress->SetMax(static_cast<std::int64_t>(text.size()));

    for (int i = 0;; ++i) {
      tokens_.Forget(i);
      TToken* current = tokens_.At(i);
      if (!current) break;
      TToken& token = *current;
      if (i % kTokensPerProgress == 0) {
        owner_.PublishOutput();
        if (progress) {
          progress->SetPosition(token.Position);
          progress->ProcessEvents();
        }
      }
      if (!owner_.defines_.CaseSensitive()) LowerCaseInPlace(token.Text);
      if (token.Kind == TTokenKind::tkKeyword && !token.Text.empty() && token.Text[0] == '#') {
        LowerCaseInPlace(token.Text);
        i = CarryOut(i);
      } else if (token.Kind != TTokenKind::tkComment) {
        Emit(token);
      }
    }
    if (progress) progress->SetPosition(static_cast<std::int64_t>(text.size()));
  }

 private:
  [[noreturn]] void Fail(int line, std::string text) const {
    throw WalkFailure{PreprocessError{std::move(text), fileName_, line}};
  }

  // An operand token of a directive. Folded like every token the walk
  // reaches, so names and values follow the case mode of the table.
  TToken* Operand(int index) {
    TToken* token = tokens_.At(index);
    if (token && !owner_.defines_.CaseSensitive()) LowerCaseInPlace(token->Text);
    return token;
  }

  void Emit(const TToken& token) {
    std::string& out = owner_.source_;
    const bool word = IsWord(token);
    const std::string_view text = owner_.Substitute(token.Text);
    if (token.Line == outputLine_) {
      if (word) out += ' ';
      out += text;
      if (word) out += ' ';
    } else {
      out += '\n';
      out += text;
      if (word) out += ' ';
      outputLine_ = token.Line;
      owner_.NoteRow(fileIndex_, token.Line, owner_.repassing_ && depth_ == 0);
    }
  }

  // Carries out the directive at `i`; returns the index of the last token
  // it used (the walk goes on after it).
  int CarryOut(int i) {
    const std::string name = tokens_.At(i)->Text;
    if (name == "#include") return Include(i);
    if (name == "#define") return Define(i);
    if (name == "#undef") {
      if (TToken* operand = Operand(i + 1)) owner_.RemoveDefines(operand->Text);
      return i + 1;
    }
    if (name == "#ifdef" || name == "#ifndef") {
      const TToken* operand = Operand(i + 1);
      const bool defined = operand && owner_.FindDefine(operand->Text) >= 0;
      return Conditional(i + 1, name == "#ifdef" ? defined : !defined);
    }
    if (name == "#if") return If(i);
    if (name == "#else") {
      const std::string marker = owner_.tests_.Pop();
      int last = i;
      if (marker != "doelse") last = SkipTo(i, false);
      owner_.tests_.Push(" ");
      return last;
    }
    if (name == "#endif") {
      owner_.tests_.Pop();
      return i;
    }
    return i;  // a '#' keyword that names no directive is dropped
  }

  // Pushes the conditional's marker; when the condition fails the walk
  // skips to the next #else or #endif (which is then carried out).
  int Conditional(int last, bool holds) {
    owner_.tests_.Push("skipelse");
    if (holds) return last;
    owner_.tests_.Pop();
    owner_.tests_.Push("doelse");
    return SkipTo(last, true);
  }

  // Passes over tokens up to the next "#endif" (or "#else"), compared
  // exactly and without counting nesting. Returns the index before it, so
  // that the directive is carried out next; at the end, the last index.
  int SkipTo(int from, bool orElse) {
    for (int j = from + 1;; ++j) {
      tokens_.Forget(j - 1);
      const TToken* token = tokens_.At(j);
      if (!token) return j - 1;
      if (token->Text == "#endif" || (orElse && token->Text == "#else")) return j - 1;
    }
  }

  // #define name [value]: a value on the name's line; a single number-like
  // token is the whole value; otherwise every token to the end of the line,
  // each after one blank. Comments take no part.
  int Define(int i) {
    const TToken* nameToken = Operand(i + 1);
    if (!nameToken) return i;
    const std::string name = nameToken->Text;
    const int line = nameToken->Line;
    outputLine_ = line;
    int last = i + 1;
    int next = last + 1;
    while (tokens_.At(next) && tokens_.At(next)->Kind == TTokenKind::tkComment && tokens_.At(next)->Line == line)
      ++next;
    const TToken* first = tokens_.At(next);
    std::string value;
    if (!first || first->Line != line) {
      value = "1";
    } else if (!first->Text.empty() &&
               ((first->Text[0] >= '0' && first->Text[0] <= '9') || first->Text[0] == '-' || first->Text[0] == '.')) {
      value = Operand(next)->Text;
      last = next;
    } else {
      for (int j = next;; ++j) {
        TToken* token = tokens_.At(j);
        if (!token || token->Kind == TTokenKind::tkEnd || token->Line != line) break;
        last = j;
        if (token->Kind == TTokenKind::tkComment) continue;
        Operand(j);
        value += ' ';
        value += token->Text;
      }
    }
    owner_.PushDefine(name, value);
    return last;
  }

  // #if condition: the rest of the line, substituted, evaluated as an
  // expression; only a Boolean true holds.
  int If(int i) {
    const int line = tokens_.At(i)->Line;
    std::string condition = " " + tokens_.At(i)->Text;
    int last = i;
    for (int j = i + 1;; ++j) {
      TToken* token = tokens_.At(j);
      if (!token || token->Kind == TTokenKind::tkEnd || token->Line != line) break;
      last = j;
      if (token->Kind == TTokenKind::tkComment) continue;
      Operand(j);
      condition += ' ';
      condition += owner_.Substitute(token->Text);
    }
    ReplaceAll(condition, "! =", "<>");
    ReplaceAll(condition, "> =", ">=");
    ReplaceAll(condition, "< =", "<=");
    ReplaceAll(condition, "= =", "=");
    ReplaceAll(condition, "#if ", "");
    bool holds = false;
    try {
      holds = EvaluateCondition(condition);
    } catch (const std::exception& error) {
      owner_.tests_.Push("skipelse");
      Fail(line, error.what());
    }
    return Conditional(last, holds);
  }

  // #include name: the name as given, else (when asked) in the including
  // file's folder, else each include directory as a prefix, in order. The included file's output stands in its place.
  int Include(int i) {
    const int line = tokens_.At(i)->Line;
    const TToken* operand = tokens_.At(i + 1);
    if (!operand) return i;
    const std::string name = operand->Text;
    const IIncludeFiles& files = *owner_.includeFiles_;
    std::string path;
    const std::string beside = owner_.includeBesideIncluder_ ? FolderOf(fileName_) : std::string();
    if (files.Exists(name)) {
      path = name;
    } else if (!beside.empty() && files.Exists(beside + name)) {
      path = beside + name;
    } else {
      for (const std::string& dir : owner_.includeDirs_) {
        if (files.Exists(dir + name)) {
          path = dir + name;
          break;
        }
      }
    }
    if (path.empty()) Fail(line, "Include file '" + name + "' not found");
    if (depth_ + 1 > kMaxIncludeDepth)
      Fail(line, "Include file '" + name + "' nested more than " + std::to_string(kMaxIncludeDepth) + " levels deep");
    std::string contents;
    std::string reason;
    if (!files.Read(path, contents, reason)) Fail(line, "Cannot read include file '" + path + "': " + reason);
    if (std::find(owner_.filesRead_.begin(), owner_.filesRead_.end(), path) == owner_.filesRead_.end())
      owner_.filesRead_.push_back(path);
    Walk(owner_, path, depth_ + 1).Run(contents);
    return i + 1;
  }

  TPreProcessor& owner_;
  std::string fileName_;
  int depth_;
  TokenWindow tokens_;
  int outputLine_ = 0;
  std::uint32_t fileIndex_;
};

TPreProcessor::TPreProcessor() {
  for (const std::string& word : DirectiveTokens()) tokens_.Add(word);
  defines_.SetCaseSensitive(true);
  defines_.SetOnChange([this](TCsStringList&) {
    if (!changingDefines_) defineIndexStale_ = true;
  });
}

TPreProcessor::~TPreProcessor() = default;

void TPreProcessor::Reset() {
  source_.clear();
  originFiles_.clear();
  origins_.clear();
  filesRead_.clear();
  droppedRows_ = 0;
  droppedCol_ = 0;
  defines_.Clear();
  tests_.Clear();
  error_.reset();
}

void TPreProcessor::SetIncludeDirs(std::string_view dirs) {
  includeDirs_.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = dirs.find(';', start);
    includeDirs_.emplace_back(dirs.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

void TPreProcessor::SetTokens(const TCsStrings& tokens) {
  tokens_.Assign(tokens);
  scanner_.reset();
}

const TScanner& TPreProcessor::ConfiguredScanner() {
  if (!scanner_) {
    scanner_ = std::make_unique<TScanner>();
    scanner_->ConfigureForPreprocessor(tokens_);
  }
  return *scanner_;
}

std::string TPreProcessor::Execute(std::string_view text) { return Process(text) ? source_ : std::string(); }

void TPreProcessor::PublishOutput() {
  if (!outputStream_ || published_ >= source_.size()) return;
  outputStream_->Append(std::string_view(source_).substr(published_));
  published_ = source_.size();
  if (keepSource_) return;
  const std::size_t lastBreak = source_.rfind('\n');
  if (lastBreak == std::string::npos) {
    droppedCol_ += static_cast<int>(source_.size());
  } else {
    droppedRows_ += static_cast<int>(std::count(source_.begin(), source_.end(), '\n'));
    droppedCol_ = static_cast<int>(source_.size() - lastBreak - 1);
  }
  source_.clear();
  published_ = 0;
}

void TPreProcessor::SourceEnd(int& row, int& col) const {
  row = droppedRows_;
  col = droppedCol_;
  for (char c : source_) {
    if (c == '\n') {
      ++row;
      col = 0;
    } else {
      ++col;
    }
  }
}

std::uint32_t TPreProcessor::FileIndex(const std::string& path) {
  const auto found = std::find(originFiles_.begin(), originFiles_.end(), path);
  if (found != originFiles_.end()) return static_cast<std::uint32_t>(found - originFiles_.begin());
  originFiles_.push_back(path);
  return static_cast<std::uint32_t>(originFiles_.size() - 1);
}

void TPreProcessor::NoteRow(std::uint32_t file, int line, bool fromEarlierSource) {
  if (!repassing_) {
    origins_.push_back({file, static_cast<std::uint32_t>(line)});
    return;
  }
  LineOrigin origin{file, static_cast<std::uint32_t>(line)};
  // Line 1 of the earlier Source is its leading empty line: line L is row L - 1.
  const std::size_t earlierIndex = static_cast<std::size_t>(std::max(line, 2) - 2);
  if (fromEarlierSource) origin = earlierIndex < origins_.size() ? origins_[earlierIndex] : LineOrigin{0, 0};
  if (!repassCopies_) {
    if (fromEarlierSource && repassWritten_ <= earlierIndex && repassWritten_ < origins_.size()) {
      origins_[repassWritten_++] = origin;
      return;
    }
    repassCopies_ = true;
    repassRows_.assign(origins_.begin(), origins_.begin() + static_cast<std::ptrdiff_t>(repassWritten_));
  }
  repassRows_.push_back(origin);
}

bool TPreProcessor::ProcessAgain(std::string_view earlierSource) {
  repassing_ = true;
  repassWritten_ = 0;
  repassCopies_ = false;
  repassRows_.clear();
  const bool ok = Process(earlierSource);
  repassing_ = false;
  if (repassCopies_) {
    origins_ = std::move(repassRows_);
    repassRows_ = {};
  } else if (ok) {
    origins_.resize(repassWritten_);
  }
  // After a failed pass the rows not reached keep their earlier origins,
  // for OriginOfEarlierLine.
  return ok;
}

bool TPreProcessor::OriginOf(int row, std::string& file, int& line) const {
  if (row < 1 || origins_.empty()) return false;
  const LineOrigin& origin = origins_[std::min(static_cast<std::size_t>(row - 1), origins_.size() - 1)];
  if (origin.line == 0 || origin.file >= originFiles_.size()) return false;
  file = originFiles_[origin.file];
  line = static_cast<int>(origin.line);
  return true;
}

bool TPreProcessor::OriginOfEarlierLine(int earlierLine, std::string& file, int& line) const {
  const std::size_t index = static_cast<std::size_t>(std::max(earlierLine, 2) - 2);
  if (repassCopies_ || index >= origins_.size()) return false;
  const LineOrigin& origin = origins_[index];
  if (origin.line == 0 || origin.file >= originFiles_.size()) return false;
  file = originFiles_[origin.file];
  line = static_cast<int>(origin.line);
  return true;
}

bool TPreProcessor::Process(std::string_view text) {
  error_.reset();
  published_ = source_.size();
  try {
    Walk(*this, fileName_, 0).Run(text);
  } catch (const WalkFailure& failure) {
    error_ = failure.error;
  } catch (const std::exception& error) {
    error_ = PreprocessError{error.what(), fileName_, 0};
  }
  PublishOutput();
  return !error_;
}

void TPreProcessor::SetDefinesCaseSensitive(bool value) {
  defines_.SetCaseSensitive(value);
  defineIndexStale_ = true;
}

std::string TPreProcessor::DefineKey(std::string_view name) const {
  std::string key(name);
  if (!defines_.CaseSensitive()) LowerCaseInPlace(key);
  return key;
}

void TPreProcessor::NoteDefinedName(std::string_view key) {
  defineLengths_ |= std::uint64_t{1} << std::min<std::size_t>(key.size(), 63);
  if (!key.empty()) defineFirstChars_[static_cast<unsigned char>(key[0])] = true;
}

void TPreProcessor::RebuildDefineIndex() {
  defineIndex_.clear();
  defineLengths_ = 0;
  std::fill(std::begin(defineFirstChars_), std::end(defineFirstChars_), false);
  for (int i = 0; i < defines_.Count(); ++i) {
    const std::string& entry = defines_.Get(i);
    std::string key = DefineKey(std::string_view(entry).substr(0, entry.find('=')));
    NoteDefinedName(key);
    defineIndex_.try_emplace(std::move(key), i);
  }
  defineIndexStale_ = false;
}

int TPreProcessor::FindDefine(std::string_view name) {
  if (defineIndexStale_) RebuildDefineIndex();
  if (!(defineLengths_ & (std::uint64_t{1} << std::min<std::size_t>(name.size(), 63)))) return -1;
  std::string_view key = name;
  if (!defines_.CaseSensitive()) {
    keyBuffer_.assign(name);
    LowerCaseInPlace(keyBuffer_);
    key = keyBuffer_;
  }
  if (!key.empty() && !defineFirstChars_[static_cast<unsigned char>(key[0])]) return -1;
  const auto found = defineIndex_.find(key);
  return found == defineIndex_.end() ? -1 : found->second;
}

std::string_view TPreProcessor::Substitute(const std::string& text) {
  if (defineIndex_.empty() && !defineIndexStale_) return text;
  const int index = FindDefine(text);
  if (index < 0) return text;
  const std::string& entry = defines_.Get(index);
  const std::size_t equals = entry.find('=');
  if (equals + 1 >= entry.size()) return text;
  return std::string_view(entry).substr(equals + 1);
}

void TPreProcessor::PushDefine(const std::string& name, const std::string& value) {
  if (defineIndexStale_) RebuildDefineIndex();
  changingDefines_ = true;
  const int index = defines_.Count();
  defines_.Push(name + "=" + value);
  changingDefines_ = false;
  std::string key = DefineKey(name);
  NoteDefinedName(key);
  defineIndex_.try_emplace(std::move(key), index);
}

void TPreProcessor::RemoveDefines(std::string_view name) {
  const std::string key = DefineKey(name);
  for (int i = defines_.Count() - 1; i >= 0; --i) {
    const std::string& entry = defines_.Get(i);
    if (DefineKey(std::string_view(entry).substr(0, entry.find('='))) == key) defines_.Delete(i);
  }
  defineIndexStale_ = true;
}

void TPreProcessor::SetLoadTokensFromFile(bool value) {
  loadTokensFromFile_ = value;
  LoadTokenFile();
}

void TPreProcessor::SetTokenFile(std::string file) {
  tokenFile_ = std::move(file);
  LoadTokenFile();
}

// A missing token file is offered to the chooser (the IDE's file dialog)
// until a file loads or the choice is cancelled; an empty choice cancels.
void TPreProcessor::LoadTokenFile() {
  if (!loadTokensFromFile_) return;
  scanner_.reset();
  while (!core::LoadTokenFile(tokenFile_, tokens_)) {
    std::optional<std::string> chosen = chooseTokenFile_ ? chooseTokenFile_(tokenFile_) : std::nullopt;
    if (!chosen || chosen->empty()) {
      if (onWarning_) onWarning_(tokenFile_ + " wasn't found, tokens not loaded");
      return;
    }
    tokenFile_ = std::move(*chosen);
  }
}

}  // namespace marlo::core
