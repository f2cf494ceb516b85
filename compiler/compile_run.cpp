// Driver, scanner and declarations of the script compiler; CompileText.
#include "compiler/compile_run.h"

#include <algorithm>
#include <exception>

namespace marlo::core {
namespace detail {
namespace {

// How many characters pass between two calls of the progress display (and
// checks for Cancel). The display itself decides how often window events
// actually run.
constexpr std::uint32_t kCharsPerProgress = 4096;

constexpr bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsIdentifierChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
constexpr bool IsPieceNameChar(char c) { return c == '-' || IsIdentifierChar(c); }

constexpr CharSet kIdentifierChars(IsIdentifierChar);
constexpr CharSet kPieceNameChars(IsPieceNameChar);

}  // namespace

CompileRun::CompileRun(std::string_view source, const CompileOptions& options) : options_(options), text_(source) {}

CompileRun::CompileRun(TextStream& stream, const CompileOptions& options) : options_(options), stream_(&stream) {}

// What has been read is dropped now and then, so that a streamed text is
// never held whole a second time.
bool CompileRun::Refill(std::size_t needed) {
  if (!stream_) return false;
  constexpr std::size_t kKeepBelow = 1 << 20;
  if (pos_ >= kKeepBelow) {
    buffer_.erase(0, pos_);
    base_ += pos_;
    needed -= pos_;
    pos_ = 0;
  }
  while (buffer_.size() < needed && stream_->Take(buffer_)) {
  }
  text_ = buffer_;
  return needed <= text_.size();
}

void CompileRun::ShowProgress() {
  charsUntilProgress_ = kCharsPerProgress;
  if (options_.progress) {
    options_.progress->SetMax(static_cast<std::int64_t>(base_ + text_.size()));
    options_.progress->SetPosition(static_cast<std::int64_t>(Position()));
    options_.progress->ProcessEvents();
  }
  if (options_.abortFlag && options_.abortFlag->load(std::memory_order_relaxed)) Fail("Compile Aborted");
}

// As n times Consume, which stops at the end of the text.
void CompileRun::ConsumeN(std::size_t n) {
  Have(n);
  n = std::min(n, text_.size() - pos_);
  for (std::size_t i = pos_; i < pos_ + n; ++i) {
    if (text_[i] == '\n') {
      ++row_;
      col_ = 0;
    } else {
      ++col_;
    }
  }
  pos_ += n;
  CountProgress(n);
}

// The length of the run from the scan position on, waiting for streamed
// text as needed; `flags` collects the run's CharSet flags. Refill keeps
// everything from the scan position on, so the run is whole in text_ once
// its end is found.
inline std::size_t CompileRun::RunLength(const CharSet& accepts, std::uint8_t& flags) {
  std::size_t n = 0;
  for (;;) {
    const char* const run = text_.data() + pos_;
    const std::size_t left = text_.size() - pos_;
    for (; n < left; ++n) {
      const std::uint8_t f = accepts.Flags(run[n]);
      if (f == 0) break;
      flags |= f;
    }
    if (n < left || !Refill(pos_ + n + 1)) return n;
  }
}

inline void CompileRun::MovePastRun(std::size_t n) {
  pos_ += n;
  col_ += static_cast<int>(n);
  CountProgress(n);
}

std::string_view CompileRun::ReadRun(const CharSet& accepts, std::string& scratch) {
  std::uint8_t flags = 0;
  const std::size_t n = RunLength(accepts, flags);
  const std::string_view run(text_.data() + pos_, n);
  MovePastRun(n);
  if (!(flags & CharSet::kUpper)) return run;
  scratch.assign(run);
  for (char& c : scratch) c = Fold(c);
  return scratch;
}

void CompileRun::ConsumeRun(const CharSet& accepts, std::string& out, std::string* raw) {
  std::uint8_t flags = 0;
  const std::size_t n = RunLength(accepts, flags);
  const std::size_t from = out.size();
  out.append(text_.data() + pos_, n);
  if (raw) raw->append(text_.data() + pos_, n);
  MovePastRun(n);
  if (flags & CharSet::kUpper)
    for (std::size_t i = from; i < out.size(); ++i) out[i] = Fold(out[i]);
}

void CompileRun::SkipWhiteSpaceRun() {
  for (;;) {
    // Rows and columns are counted in locals: the compiler cannot keep
    // members in registers across stores through a char pointer.
    const char* const text = text_.data();
    const std::size_t size = text_.size();
    std::size_t i = pos_;
    int row = row_;
    int col = col_;
    for (; i < size; ++i) {
      const char c = text[i];
      if (c == ' ' || c == '\r') {
        ++col;
      } else if (c == '\n') {
        ++row;
        col = 0;
      } else {
        break;
      }
    }
    row_ = row;
    col_ = col;
    const std::size_t n = i - pos_;
    pos_ = i;
    CountProgress(n);
    if (pos_ < size || !Refill(pos_ + 1)) return;
  }
}

void CompileRun::Drop(std::size_t n) {
  Have(n);
  n = std::min(n, text_.size() - pos_);
  pos_ += n;
  CountProgress(n);
}

bool CompileRun::HasPrefix(std::string_view keyword) {
  if (!Have(keyword.size())) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i)
    if (Fold(text_[pos_ + i]) != keyword[i]) return false;
  return true;
}

bool CompileRun::AtWord(std::string_view word) { return HasPrefix(word) && !IsPieceNameChar(CharAt(word.size())); }

std::string CompileRun::FoundText() {
  return AtEnd() ? std::string("end of text") : "'" + std::string(1, Fold(text_[pos_])) + "'";
}

void CompileRun::FailNestingLimit() const {
  Fail("Expressions and blocks nested " + std::to_string(kMaxNativeDepth) + " levels deep in function '" +
       currentScript_ + "': the compiler's own nesting limit");
}

void CompileRun::Fail(std::string text) const { throw CompileFailure{std::move(text)}; }

void CompileRun::FailUnexpected(std::string_view where) {
  if (AtEnd()) Fail("Unexpected end of text in " + std::string(where));
  const auto c = static_cast<unsigned char>(Fold(text_[pos_]));
  // Line ends and tabs are named: a list split over lines is the usual way
  // to meet this message, and "'#10'" would not tell the author why.
  if (c == '\n' || c == '\r') Fail("Unexpected line break in " + std::string(where));
  if (c == '\t') Fail("Unexpected tab in " + std::string(where));
  const std::string shown = (c >= 32 && c < 127) ? std::string(1, static_cast<char>(c)) : "#" + std::to_string(c);
  Fail("Unexpected '" + shown + "' in " + std::string(where));
}

void CompileRun::MoveInFront(std::uint32_t mark, std::uint32_t later) {
  std::rotate(code_.begin() + mark, code_.begin() + later, code_.end());
}

void CompileRun::Run() {
  SkipWhiteSpace();
  while (!AtEnd()) {
    if (HasPrefix("piece"))
      CompilePieceDeclaration();
    else if (HasPrefix("static-var"))
      CompileStaticDeclaration();
    else
      CompileScriptDefinition();
    SkipWhiteSpace();
  }
  ResolvePendingReferences();
}

// piece-declaration: "piece" name { "," name } ";"
// White space inside a name joins its parts; empty names are kept.
void CompileRun::CompilePieceDeclaration() {
  Drop(5);
  std::string name;
  for (;;) {
    const char c = Peek();
    if (AtEnd()) FailUnexpected("piece declaration");
    if (IsPieceNameChar(c)) {
      ConsumeRun(kPieceNameChars, name);
    } else if (c == ',') {
      pieces_.Push(name);
      name.clear();
      Consume();
    } else if (IsWhiteSpace(c)) {
      Consume();
    } else if (c == '(') {
      Fail("Piece statement was not ended with ';'");
    } else if (c == ';') {
      pieces_.Push(name);
      Consume();
      return;
    } else {
      FailUnexpected("piece declaration");
    }
  }
}

// static-declaration: "static-var" name { "," name } ";"
void CompileRun::CompileStaticDeclaration() {
  Drop(10);
  std::string name;
  for (;;) {
    const char c = Peek();
    if (AtEnd()) FailUnexpected("static-var declaration");
    if ((IsLetter(c) && name.empty()) || (IsIdentifierChar(c) && !name.empty())) {
      name += Consume();
      ConsumeRun(kIdentifierChars, name);
    } else if (c == ',') {
      staticVars_.Push(name);
      name.clear();
      Consume();
    } else if (IsWhiteSpace(c)) {  // a list may run over several lines
      Consume();
    } else if (c == ';') {
      if (!name.empty()) staticVars_.Push(name);
      Consume();
      return;
    } else {
      FailUnexpected("static-var declaration");
    }
  }
}

// The name of a script, in a definition or a call: a letter, then letters,
// digits and "_", up to "(" or white space.
std::string CompileRun::ReadScriptName(std::string* spelling) {
  SkipWhiteSpace();
  std::string name;
  if (IsLetter(Peek())) {
    if (spelling) *spelling += text_[pos_];
    name += Consume();
    ConsumeRun(kIdentifierChars, name, spelling);
  }
  const char c = Peek();
  if (c != '(' && !IsWhiteSpace(c)) Fail("Syntax Error '" + name + "'");
  return name;
}

// script-definition: name "(" [ name { "," name } ] ")" block
void CompileRun::CompileScriptDefinition() {
  locals_.Clear();
  std::string spelling;
  const std::string name = ReadScriptName(options_.extended ? &spelling : nullptr);
  currentScript_ = name;
  if (scripts_.IndexOf(name) >= 0) Fail("Script function " + name + " already exists");
  scripts_.Push(name);
  if (options_.extended) scriptSpellings_.push_back(std::move(spelling));

  SkipWhiteSpace();
  scriptStarts_.push_back(WordIndex());

  SkipWhiteSpace();
  Consume();  // the opening parenthesis; not checked
  std::string parameter;
  for (char c = Peek(); c != ')'; c = Peek()) {
    if (AtEnd()) FailUnexpected("parameter list");
    if ((IsLetter(c) && parameter.empty()) || (IsIdentifierChar(c) && !parameter.empty())) {
      parameter += Consume();
      ConsumeRun(kIdentifierChars, parameter);
    } else if (c == ',') {
      Emit(Opcode::ALLOCATE_STACK);
      locals_.Push(parameter);
      parameter.clear();
      Consume();
    } else if (IsWhiteSpace(c)) {  // a list may run over several lines
      Consume();
    } else if (c == ';') {
      Fail("Syntax error ';' cannot appear in arg list");
    } else {
      FailUnexpected("parameter list");
    }
  }
  if (!parameter.empty()) {
    locals_.Push(parameter);
    Emit(Opcode::ALLOCATE_STACK);
  }
  Consume();

  SkipWhiteSpace();
  CompileBlock();
  SkipWhiteSpace();
  Emit(Opcode::PUSH_CONSTANT);
  Emit(0);
  Emit(Opcode::RETURN);
}

void CompileRun::ResolvePendingReferences() {
  for (const PendingReference& reference : pending_) {
    const int index = scripts_.IndexOf(reference.name);
    if (index < 0) {
      // Reported at the call, so that going to the error finds it.
      row_ = reference.row;
      col_ = reference.col;
      Fail("Function '" + reference.name + "' not defined");
    }
    code_[reference.position] = static_cast<std::uint32_t>(index);
  }
  pending_.clear();
}

CobImage CompileRun::TakeImage() {
  CobImage image;
  image.code = std::move(code_);
  image.scriptStarts = std::move(scriptStarts_);
  image.scriptNames = scripts_.Names();
  image.scriptSpellings = std::move(scriptSpellings_);
  image.pieceNames = pieces_.Names();
  image.staticVarCount = static_cast<std::uint32_t>(staticVars_.Count());
  return image;
}

}  // namespace detail

namespace {

CompileOutcome RunToOutcome(detail::CompileRun& run) {
  CompileOutcome outcome;
  try {
    run.Run();
    outcome.image = run.TakeImage();
    outcome.ok = true;
  } catch (const detail::CompileFailure& failure) {
    outcome.errorText = failure.text;
  } catch (const std::exception& error) {
    outcome.errorText = error.what();
  }
  outcome.row = run.Row();
  outcome.col = run.Col();
  return outcome;
}

}  // namespace

CompileOutcome CompileText(std::string_view source, const CompileOptions& options) {
  detail::CompileRun run(source, options);
  return RunToOutcome(run);
}

CompileOutcome CompileStream(TextStream& stream, const CompileOptions& options) {
  detail::CompileRun run(stream, options);
  CompileOutcome outcome = RunToOutcome(run);
  // Whatever the compile left unread is taken, so that the writer never
  // waits on a reader that has stopped.
  std::string rest;
  while (stream.Take(rest)) rest.clear();
  return outcome;
}

}  // namespace marlo::core
