#include "lsp/workspace.h"

#include <set>
#include <system_error>

#include "base/ascii.h"
#include "lsp/uri.h"

namespace marlo::lsp {

namespace fs = std::filesystem;

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  const fs::path absolute = fs::absolute(fs::path(path), error);
  return (error ? fs::path(path) : absolute).lexically_normal().generic_string();
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Document::IsScript() const {
  if (!uri.starts_with("file:")) return languageId == "bos";
  const std::string lower = core::AsciiLowerCopy(path);
  return lower.size() > 4 && lower.ends_with(".bos");
}

Workspace::Workspace() = default;

Document& Workspace::Open(const std::string& uri, const std::string& languageId, int version, std::string text) {
  Document& document = documents_[uri];
  document.uri = uri;
  const std::string path = PathFromUri(uri);
  document.path = AbsolutePath(path.empty() ? uri : path);
  document.languageId = languageId;
  document.version = version;
  document.text.SetText(std::move(text));
  Changed(document);
  return document;
}

Document* Workspace::Find(const std::string& uri) {
  const auto found = documents_.find(uri);
  return found == documents_.end() ? nullptr : &found->second;
}

void Workspace::Changed(Document& document) {
  files_.memory.Add(document.path, document.text.Text());
  ++changes_;
}

void Workspace::Close(const std::string& uri) {
  const auto found = documents_.find(uri);
  if (found == documents_.end()) return;
  files_.memory.Remove(found->second.path);
  indexes_.erase(found->second.path);
  documents_.erase(found);
  ++changes_;
}

const Document* Workspace::DocumentOfPath(const std::string& path) const {
  for (const auto& [uri, document] : documents_)
    if (document.path == path) return &document;
  return nullptr;
}

std::string Workspace::UriOf(const std::string& path) const {
  const Document* document = DocumentOfPath(path);
  return document ? document->uri : UriFromPath(path);
}

std::string Workspace::IncludeDirs(const Document& document) const {
  if (!settings.includeDirsGiven) return FolderOf(document.path);
  std::string dirs;
  for (const std::string& given : settings.includeDirs) {
    std::string dir = given;
    if (!dir.empty() && !fs::path(dir).is_absolute() && !root.empty()) dir = root + "/" + dir;
    dir = AbsolutePath(dir);
    if (!dir.empty() && dir.back() != '/') dir += '/';
    if (!dirs.empty()) dirs += ';';
    dirs += dir;
  }
  return dirs;
}

std::string Workspace::ResolveInclude(const Document& document, const std::string& includer,
                                      const std::string& name) const {
  if (name.empty()) return {};
  if (files_.Exists(name)) return AbsolutePath(name);
  if (settings.extended && files_.Exists(FolderOf(includer) + name)) return AbsolutePath(FolderOf(includer) + name);
  const std::string dirs = IncludeDirs(document);
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(';', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + name;
    if (files_.Exists(candidate)) return AbsolutePath(candidate);
    start = end + 1;
  }
  return {};
}

std::shared_ptr<const IndexedFile> Workspace::Indexed(const std::string& path) {
  std::string stamp;
  if (DocumentOfPath(path)) {
    stamp = "open " + std::to_string(changes_);
  } else {
    std::error_code error;
    const auto time = fs::last_write_time(path, error);
    const auto size = fs::file_size(path, error);
    if (error) return nullptr;
    stamp = std::to_string(time.time_since_epoch().count()) + " " + std::to_string(size);
  }
  Cached& cached = indexes_[path];
  if (cached.file && cached.stamp == stamp) return cached.file;
  std::string text;
  std::string reason;
  if (!files_.Read(path, text, reason)) {
    indexes_.erase(path);
    return nullptr;
  }
  auto file = std::make_shared<IndexedFile>();
  file->path = path;
  if (text.size() <= kMaxAnalysedBytes) file->index = IndexText(text);
  file->text.SetText(std::move(text));
  cached.stamp = stamp;
  cached.file = std::move(file);
  return cached.file;
}

std::vector<std::shared_ptr<const IndexedFile>> Workspace::Closure(const Document& document) {
  std::vector<std::shared_ptr<const IndexedFile>> files;
  std::set<std::string> seen;
  // Depth first, as the preprocessor walks; depth-limited as it is.
  auto visit = [&](auto& self, const std::string& path, int depth) -> void {
    if (depth > core::TPreProcessor::kMaxIncludeDepth || !seen.insert(path).second) return;
    std::shared_ptr<const IndexedFile> file = Indexed(path);
    if (!file) return;
    files.push_back(file);
    for (const Include& include : file->index.includes) {
      const std::string found = ResolveInclude(document, path, include.name);
      if (!found.empty()) self(self, found, depth + 1);
    }
  };
  visit(visit, document.path, 0);
  return files;
}

}  // namespace marlo::lsp
