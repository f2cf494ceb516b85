#include "lsp/features.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string_view>

#include "base/ascii.h"
#include "compiler/compile_text.h"

namespace marlo::lsp {
namespace {

using core::TTokenKind;
using FileRef = std::shared_ptr<const IndexedFile>;
using Files = std::vector<FileRef>;

constexpr std::array<std::string_view, 29> kStatementKeywords = {
    "attach-unit",   "cache",         "call-script", "dont-cache",
    "dont-shade",    "drop-unit",     "emit-sfx",    "explode",
    "get",           "hide",          "if",          "move",
    "rand",          "return",        "set",         "set-signal-mask",
    "shade",         "show",          "signal",      "sleep",
    "spin",          "start-script",  "stop-spin",   "turn",
    "wait-for-move", "wait-for-turn", "while",       "var",
    "static-var"};
constexpr std::array<std::string_view, 8> kDirectives = {"#define", "#undef", "#include", "#ifdef",
                                                         "#ifndef", "#if",    "#else",    "#endif"};
constexpr std::array<std::string_view, 3> kAxes = {"x-axis", "y-axis", "z-axis"};

// The protocol's kinds.
constexpr int kSymbolField = 8;
constexpr int kSymbolFunction = 12;
constexpr int kSymbolVariable = 13;
constexpr int kCompletionFunction = 3;
constexpr int kCompletionField = 5;
constexpr int kCompletionVariable = 6;
constexpr int kCompletionKeyword = 14;
constexpr int kCompletionConstant = 21;

bool IsWord(const core::TToken& token) {
  return token.Kind == TTokenKind::tkIdentifier || token.Kind == TTokenKind::tkKeyword;
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

struct Found {
  FileRef file;
  const Symbol* symbol = nullptr;
  explicit operator bool() const { return symbol != nullptr; }
};

// A #define: the first one the preprocessor meets wins.
Found FindDefine(const Files& files, std::string_view name) {
  for (const FileRef& file : files)
    for (const Symbol& symbol : file->index.symbols)
      if (symbol.kind == SymbolKind::kDefine && symbol.name == name) return {file, &symbol};
  return {};
}

// A name the compiler sees, as it looks names up: a local or parameter of
// the script at `offset` in `self` (the newest declared before it first),
// then a static (newest first), a piece (first first), a script.
Found FindName(const Files& files, const FileRef& self, std::size_t offset, std::string_view name) {
  if (self) {
    const int script = self->index.ScriptAt(offset);
    Found local;
    for (const Symbol& symbol : self->index.symbols)
      if (script >= 0 && symbol.script == script && SameName(symbol.name, name) && (!local || symbol.offset <= offset))
        local = {self, &symbol};
    if (local) return local;
  }
  for (auto file = files.rbegin(); file != files.rend(); ++file)
    for (auto symbol = (*file)->index.symbols.rbegin(); symbol != (*file)->index.symbols.rend(); ++symbol)
      if (symbol->kind == SymbolKind::kStatic && SameName(symbol->name, name)) return {*file, &*symbol};
  for (const SymbolKind kind : {SymbolKind::kPiece, SymbolKind::kScript})
    for (const FileRef& file : files)
      for (const Symbol& symbol : file->index.symbols)
        if (symbol.kind == kind && SameName(symbol.name, name)) return {file, &symbol};
  return {};
}

// What a request is about: the document's closure and the token there.
struct Place {
  Files files;
  FileRef self;
  std::size_t offset = 0;
  const core::TToken* token = nullptr;
  int tokenIndex = -1;
};

Place PlaceOf(Workspace& workspace, const Document& document, Position position, Encoding encoding) {
  Place place;
  place.files = workspace.Closure(document);
  if (place.files.empty()) return place;
  place.self = place.files.front();
  place.offset = place.self->text.Offset(position, encoding);
  place.tokenIndex = place.self->index.TokenAt(place.offset);
  // A caret right after a word means the word.
  const auto& tokens = place.self->index.tokens;
  if (place.tokenIndex > 0 && !IsWord(tokens[static_cast<std::size_t>(place.tokenIndex)]) &&
      IsWord(tokens[static_cast<std::size_t>(place.tokenIndex) - 1]) &&
      place.self->index.tokenEnds[static_cast<std::size_t>(place.tokenIndex) - 1] == place.offset)
    --place.tokenIndex;
  if (place.tokenIndex >= 0) place.token = &place.self->index.tokens[static_cast<std::size_t>(place.tokenIndex)];
  return place;
}

// The closures of the open scripts that include `path`: a header's names
// (pieces, statics) are usually declared by its includers.
std::vector<Files> IncluderClosures(Workspace& workspace, const std::string& path) {
  std::vector<Files> closures;
  for (const auto& [uri, other] : workspace.Documents()) {
    if (!other.IsScript() || other.path == path) continue;
    Files files = workspace.Closure(other);
    if (std::any_of(files.begin(), files.end(), [&](const FileRef& file) { return file->path == path; }))
      closures.push_back(std::move(files));
  }
  return closures;
}

Found Resolve(Workspace& workspace, const Document& document, const Place& place) {
  const std::string& name = place.token->Text;
  if (Found define = FindDefine(place.files, name)) return define;
  if (Found found = FindName(place.files, place.self, place.offset, name)) return found;
  for (const Files& files : IncluderClosures(workspace, document.path)) {
    if (Found define = FindDefine(files, name)) return define;
    if (Found found = FindName(files, nullptr, 0, name)) return found;
  }
  return {};
}

Json LocationOf(Workspace& workspace, const IndexedFile& file, std::size_t begin, std::size_t end, Encoding encoding) {
  return Json{{"uri", workspace.UriOf(file.path)}, {"range", RangeJson(file.text, begin, end, encoding)}};
}

// A #define's value with its names replaced once more, as the second pass
// does.
std::string Expanded(const Files& files, const std::string& value) {
  std::string expanded;
  for (std::size_t at = 0; at < value.size();) {
    const std::size_t end = std::min(value.find(' ', at), value.size());
    const std::string word = value.substr(at, end - at);
    const Found define = word.empty() ? Found{} : FindDefine(files, word);
    expanded += define ? define.symbol->written : word;
    if (end < value.size()) expanded += ' ';
    at = end + 1;
  }
  return Trimmed(expanded);
}

std::string Written(const Symbol& define) {
  return "#define " + define.name + (define.written.empty() ? "" : " " + define.written);
}

Json Markdown(std::string text) { return Json{{"kind", "markdown"}, {"value", std::move(text)}}; }

std::string Code(const std::string& text) { return "```bos\n" + text + "\n```"; }

// An angular <...> or linear [...] literal around `offset` on its line,
// with its #define'd names replaced, as "<90>"; "" when there is none.
std::string LiteralAt(const Files& files, const TextDocument& text, std::size_t offset, std::size_t& begin,
                      std::size_t& end) {
  const Position position = text.PositionAt(offset, Encoding::kUtf8);
  const std::string_view line = text.Line(position.line);
  const std::size_t lineStart = text.LineStart(position.line);
  const std::size_t column = offset - lineStart;
  const std::size_t open = line.find_last_of("<[", std::min(column, line.size() ? line.size() - 1 : 0));
  if (open == std::string_view::npos || line.empty()) return {};
  const char closer = line[open] == '<' ? '>' : ']';
  const std::size_t close = line.find(closer, open + 1);
  if (close == std::string_view::npos || column > close) return {};
  std::string inner;
  for (std::size_t at = open + 1; at < close;) {
    if (core::IsAsciiLetter(line[at]) || line[at] == '_') {
      std::size_t stop = at;
      while (stop < close && (core::IsAsciiLetter(line[stop]) || line[stop] == '_' || line[stop] == '-' ||
                              (line[stop] >= '0' && line[stop] <= '9')))
        ++stop;
      const Found define = FindDefine(files, line.substr(at, stop - at));
      if (!define) return {};
      inner += Expanded(files, Trimmed(define.symbol->value));
      at = stop;
    } else {
      inner += line[at++];
    }
  }
  std::string literal(1, line[open]);
  int points = 0;
  int digits = 0;
  for (const char c : inner) {
    if (c == ' ' || c == '\t') continue;
    if (c == '-' && literal.size() == 1) {
      literal += c;
    } else if (c == '.' && ++points == 1) {
      literal += c;
    } else if (c >= '0' && c <= '9') {
      literal += c;
      ++digits;
    } else {
      return {};
    }
  }
  if (digits == 0) return {};
  begin = lineStart + open;
  end = lineStart + close + 1;
  return literal + closer;
}

// The value the compiler gives a literal under the settings, by compiling it.
bool LiteralValue(const Settings& settings, const std::string& literal, std::int32_t& value) {
  core::CompileOptions options;
  options.angularConst = settings.angularScale;
  options.linearConst = settings.linearScale;
  bool warned = false;
  options.onWarning = [&warned](const core::CompileWarning&) { warned = true; };
  const core::CompileOutcome outcome = core::CompileText("\nvalue(){return " + literal + ";}", options);
  if (!outcome.ok || warned || outcome.image.code.size() < 2) return false;
  value = static_cast<std::int32_t>(outcome.image.code[1]);
  return true;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string GetHover(const Settings& settings, const Place& place) {
  const auto& tokens = place.self->index.tokens;
  std::size_t at = static_cast<std::size_t>(place.tokenIndex);
  if (!SameName(place.token->Text, "get")) {
    if (at == 0 || !SameName(tokens[at - 1].Text, "get")) return {};
  } else {
    ++at;
  }
  if (at >= tokens.size()) return {};
  std::string number = tokens[at].Text;
  if (const Found define = FindDefine(place.files, number)) number = Expanded(place.files, define.symbol->value);
  if (settings.extended && SameName(number, "unknown_unit_value") && at + 2 < tokens.size())
    number = tokens[at + 2].Text;
  if (number.empty() || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      number.size() > 9)
    return {};
  const int k = std::stoi(number);
  std::string text = "**get** value number " + std::to_string(k);
  if (!settings.extended) {
    if ((k >= 1 && k <= 6) || (k >= 16 && k <= 20))
      text += ": read without arguments";
    else if (k >= 7 && k <= 13)
      text += ": takes one argument";
    else if (k >= 14 && k <= 15)
      text += ": takes two arguments";
    else
      text += ": no value is read, `get " + std::to_string(k) + "` is the number " + std::to_string(k);
  }
  return text;
}

std::string Describe(const Files& files, const Found& found) {
  const Symbol& symbol = *found.symbol;
  auto numberOf = [&](SymbolKind kind) {
    int number = 0;
    for (const FileRef& file : files)
      for (const Symbol& other : file->index.symbols) {
        if (&other == &symbol) return number;
        if (other.kind == kind) ++number;
      }
    return -1;
  };
  auto scriptName = [&] { return found.file->index.scripts[static_cast<std::size_t>(symbol.script)].name; };
  switch (symbol.kind) {
    case SymbolKind::kDefine: {
      std::string text = Code(Written(symbol));
      const std::string expanded = Expanded(files, symbol.value);
      if (expanded != Trimmed(symbol.value)) text += "\n\nexpands to `" + expanded + "`";
      return text;
    }
    case SymbolKind::kPiece: {
      const int number = numberOf(SymbolKind::kPiece);
      return Code("piece " + symbol.name) + (number >= 0 ? "\n\npiece number " + std::to_string(number) : "");
    }
    case SymbolKind::kStatic: {
      const int number = numberOf(SymbolKind::kStatic);
      return Code("static-var " + symbol.name) +
             (number >= 0 ? "\n\nstatic variable number " + std::to_string(number) : "");
    }
    case SymbolKind::kScript:
      return Code(symbol.name + "()") + "\n\nscript";
    case SymbolKind::kParameter:
      return Code(symbol.name) + "\n\nparameter of " + scriptName();
    case SymbolKind::kLocal:
      return Code("var " + symbol.name) + "\n\nlocal variable of " + scriptName();
  }
  return {};
}

}  // namespace

Json RangeJson(const TextDocument& text, std::size_t begin, std::size_t end, Encoding encoding) {
  const Position from = text.PositionAt(begin, encoding);
  const Position to = text.PositionAt(end, encoding);
  return Json{{"start", {{"line", from.line}, {"character", from.character}}},
              {"end", {{"line", to.line}, {"character", to.character}}}};
}

Json DocumentSymbols(Workspace& workspace, const Document& document, Encoding encoding) {
  Json symbols = Json::array();
  const FileRef file = workspace.Indexed(document.path);
  if (!file) return symbols;
  const TextDocument& text = file->text;
  auto entry = [&](const std::string& name, int kind, std::size_t begin, std::size_t end, std::size_t nameBegin,
                   std::size_t nameEnd) {
    return Json{{"name", name.empty() ? std::string("?") : name},
                {"kind", kind},
                {"range", RangeJson(text, begin, end, encoding)},
                {"selectionRange", RangeJson(text, nameBegin, nameEnd, encoding)}};
  };
  for (const Symbol& symbol : file->index.symbols) {
    const std::size_t end = symbol.offset + symbol.length;
    if (symbol.kind == SymbolKind::kPiece) {
      symbols.push_back(entry(symbol.name, kSymbolField, symbol.offset, end, symbol.offset, end));
    } else if (symbol.kind == SymbolKind::kStatic) {
      symbols.push_back(entry(symbol.name, kSymbolVariable, symbol.offset, end, symbol.offset, end));
    } else if (symbol.kind == SymbolKind::kScript) {
      const auto& script = *std::find_if(file->index.scripts.begin(), file->index.scripts.end(),
                                         [&](const Script& s) { return s.nameOffset == symbol.offset; });
      Json item = entry(symbol.name, kSymbolFunction, symbol.offset, std::max(script.end, end), symbol.offset, end);
      item["children"] = Json::array();
      symbols.push_back(std::move(item));
    } else if (symbol.kind == SymbolKind::kParameter || symbol.kind == SymbolKind::kLocal) {
      if (!symbols.empty() && symbols.back()["kind"] == kSymbolFunction)
        symbols.back()["children"].push_back(
            entry(symbol.name, kSymbolVariable, symbol.offset, end, symbol.offset, end));
    }
  }
  return symbols;
}

Json Definition(Workspace& workspace, const Document& document, Position position, Encoding encoding) {
  const Place place = PlaceOf(workspace, document, position, encoding);
  if (!place.token) return nullptr;
  for (const Include& include : place.self->index.includes) {
    if (include.offset != static_cast<std::size_t>(place.token->Position)) continue;
    const std::string path = workspace.ResolveInclude(document, document.path, include.name);
    if (path.empty()) return nullptr;
    return Json{{"uri", workspace.UriOf(path)},
                {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 0}, {"character", 0}}}}}};
  }
  if (!IsWord(*place.token)) return nullptr;
  const Found found = Resolve(workspace, document, place);
  if (!found) return nullptr;
  return LocationOf(workspace, *found.file, found.symbol->offset, found.symbol->offset + found.symbol->length,
                    encoding);
}

Json Hover(Workspace& workspace, const Document& document, Position position, Encoding encoding) {
  const Place place = PlaceOf(workspace, document, position, encoding);
  if (!place.self) return nullptr;
  std::size_t begin = 0;
  std::size_t end = 0;
  const std::string literal = LiteralAt(place.files, place.self->text, place.offset, begin, end);
  std::int32_t value = 0;
  if (!literal.empty() && LiteralValue(workspace.settings, literal, value)) {
    const bool angular = literal[0] == '<';
    const double scale = angular ? workspace.settings.angularScale : workspace.settings.linearScale;
    return Json{{"contents", Markdown("`" + literal + "` = **" + std::to_string(value) + "**\n\n" +
                                      literal.substr(1, literal.size() - 2) + " × " + Number(scale) +
                                      (angular ? " (angular scale)" : " (linear scale)") + ", truncated toward zero")},
                {"range", RangeJson(place.self->text, begin, end, encoding)}};
  }
  if (!place.token || !IsWord(*place.token)) return nullptr;
  const std::size_t tokenBegin = static_cast<std::size_t>(place.token->Position);
  const Json range = RangeJson(place.self->text, tokenBegin,
                               place.self->index.tokenEnds[static_cast<std::size_t>(place.tokenIndex)], encoding);
  const std::string get = GetHover(workspace.settings, place);
  const Found found = Resolve(workspace, document, place);
  if (!found && get.empty()) return nullptr;
  const std::string described = found ? Describe(place.files, found) : std::string();
  return Json{{"contents", Markdown(get.empty()         ? described
                                    : described.empty() ? get
                                                        : described + "\n\n" + get)},
              {"range", range}};
}

Json Completion(Workspace& workspace, const Document& document, Position position, Encoding encoding) {
  const Place place = PlaceOf(workspace, document, position, encoding);
  Json items = Json::array();
  auto list = [&items] { return Json{{"isIncomplete", false}, {"items", std::move(items)}}; };
  std::set<std::string> labels;
  auto add = [&](const std::string& label, int kind, const std::string& detail = {}) {
    if (label.empty() || !labels.insert(label).second) return;
    Json item{{"label", label}, {"kind", kind}};
    if (!detail.empty()) item["detail"] = detail;
    items.push_back(std::move(item));
  };
  if (!place.self) return list();
  // After a "#" at the line's start only directives make sense.
  const TextDocument& text = place.self->text;
  const Position at = text.PositionAt(place.offset, Encoding::kUtf8);
  std::string_view before = text.Line(at.line).substr(0, static_cast<std::size_t>(at.character));
  while (!before.empty() && (before.front() == ' ' || before.front() == '\t')) before.remove_prefix(1);
  if (!before.empty() && before.front() == '#' && before.find(' ') == std::string_view::npos) {
    for (const std::string_view directive : kDirectives) add(std::string(directive), kCompletionKeyword);
    return list();
  }
  const int script = place.self->index.ScriptAt(place.offset);
  if (script >= 0)
    for (const Symbol& symbol : place.self->index.symbols)
      if (symbol.script == script)
        add(symbol.name, kCompletionVariable, symbol.kind == SymbolKind::kParameter ? "parameter" : "local variable");
  for (const FileRef& file : place.files) {
    for (const Symbol& symbol : file->index.symbols) {
      switch (symbol.kind) {
        case SymbolKind::kDefine:
          add(symbol.name, kCompletionConstant, Written(symbol));
          break;
        case SymbolKind::kPiece:
          add(symbol.name, kCompletionField, "piece");
          break;
        case SymbolKind::kStatic:
          add(symbol.name, kCompletionVariable, "static-var");
          break;
        case SymbolKind::kScript:
          add(symbol.name, kCompletionFunction, "script");
          break;
        default:
          break;
      }
    }
  }
  for (const std::string_view keyword : kStatementKeywords) add(std::string(keyword), kCompletionKeyword);
  if (workspace.settings.extended) add("else", kCompletionKeyword);
  for (const std::string_view keyword : {"piece", "true", "false"}) add(std::string(keyword), kCompletionKeyword);
  for (const std::string_view axis : kAxes) add(std::string(axis), kCompletionKeyword);
  return list();
}

}  // namespace marlo::lsp
