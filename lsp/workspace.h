// The server's view of the files: the open documents (their texts stand in
// for the files on disk), the settings, and the index of every file a
// document reaches through its #includes, found as the preprocessor finds
// them.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/memory_include_files.h"
#include "lsp/indexer.h"
#include "lsp/text_document.h"
#include "preprocessor/pre_processor.h"

namespace marlo::lsp {

struct Settings {
  std::vector<std::string> includeDirs;  // as given
  bool includeDirsGiven = false;         // else each document's folder
  bool extended = false;
  double angularScale = 182.04444444;
  double linearScale = 163840.0;
};

// Larger documents and headers are kept but not compiled or indexed.
inline constexpr std::size_t kMaxAnalysedBytes = std::size_t{16} << 20;
// The tab width the compile road expands tabs with, as marloc's default.
inline constexpr int kTabWidth = 4;

struct Document {
  std::string uri;
  std::string path;  // absolute; for a URI that is no file, a name made from it
  std::string languageId;
  int version = 0;
  TextDocument text;
  // Scripts (*.bos, or unsaved BOS text) are compiled on their own; other
  // files (headers, whatever the client calls their language) only as part
  // of the scripts that include them.
  bool IsScript() const;
};

struct IndexedFile {
  std::string path;
  TextDocument text;
  FileIndex index;
};

// Paths absolute and normal, in the generic form.
std::string AbsolutePath(const std::string& path);
std::string FolderOf(const std::string& path);

class Workspace {
 public:
  Workspace();

  Settings settings;
  std::string root;  // relative include directories start here ("": the current folder)

  Document& Open(const std::string& uri, const std::string& languageId, int version, std::string text);
  Document* Find(const std::string& uri);
  void Changed(Document& document);  // after its text changed
  void Close(const std::string& uri);
  const std::map<std::string, Document>& Documents() const { return documents_; }
  const Document* DocumentOfPath(const std::string& path) const;
  // The URI a file is known under: its document's, else a file URI.
  std::string UriOf(const std::string& path) const;

  // The open documents' texts over the disk, by any name of the file.
  const core::IIncludeFiles& Files() const { return files_; }
  // ";"-separated, each ending in "/": the settings' or the folder's.
  std::string IncludeDirs(const Document& document) const;

  // The index of a file, open or on disk (nullptr when it cannot be read).
  std::shared_ptr<const IndexedFile> Indexed(const std::string& path);
  // The document's file first, then every file its #includes reach, in
  // the order the preprocessor meets them, each once.
  std::vector<std::shared_ptr<const IndexedFile>> Closure(const Document& document);
  // Where an #include of `name` in `includer` leads, absolute, or "".
  std::string ResolveInclude(const Document& document, const std::string& includer, const std::string& name) const;

 private:
  class Overlay : public core::IIncludeFiles {
   public:
    Overlay() : memory(&disk) {}
    bool Exists(const std::string& path) const override { return memory.Exists(AbsolutePath(path)); }
    bool Read(const std::string& path, std::string& contents, std::string& reason) const override {
      return memory.Read(AbsolutePath(path), contents, reason);
    }
    core::DiskIncludeFiles disk;
    core::MemoryIncludeFiles memory;
  };
  struct Cached {
    std::string stamp;
    std::shared_ptr<const IndexedFile> file;
  };

  std::map<std::string, Document> documents_;
  Overlay files_;
  std::map<std::string, Cached> indexes_;
  long changes_ = 0;
};

}  // namespace marlo::lsp
