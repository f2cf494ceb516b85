// Writing a file so that its name never shows a partial file: the bytes go
// to a short-named temporary file beside the target, which is then renamed
// over it.
//
// - A target that is a symbolic link is written through: the link stays and
//   the file it leads to gets the bytes.
// - An existing file keeps its permission bits; a new one gets those the
//   process's umask allows for a plain file.
// - Temporary files are named for nothing in the target's name, so any name
//   the file system takes works, and are listed while they exist, so that
//   RemoveTemporaryFiles can delete them when the process is stopped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marlo::core {

// An empty string, or the reason the write failed ("Cannot create file ...").
std::string WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Deletes every temporary file of a write still under way and keeps any
// further one from being made: for a process about to end on a signal.
// Not for a signal handler itself (it takes a lock).
void RemoveTemporaryFiles();

}  // namespace marlo::core
