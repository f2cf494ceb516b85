#include "base/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <random>
#include <string_view>
#include <system_error>

#include "base/system_error_text.h"

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace marlo::core {
namespace {

namespace fs = std::filesystem;

// The temporary files of writes under way, for RemoveTemporaryFiles.
struct Temporaries {
  std::mutex mutex;
  std::vector<std::string> paths;
  bool stopped = false;  // the process is ending: no new ones
};

Temporaries& TheTemporaries() {
  static auto* temporaries = new Temporaries;  // never destroyed: a signal may come during exit
  return *temporaries;
}

void Forget(const std::string& path) {
  Temporaries& t = TheTemporaries();
  std::lock_guard lock(t.mutex);
  t.paths.erase(std::remove(t.paths.begin(), t.paths.end(), path), t.paths.end());
}

// The file a path leads to: a symbolic link (or a chain of them) is
// followed, also to a file that does not exist yet.
fs::path FinalTarget(const fs::path& path) {
  fs::path target = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(target, error)) break;
    const fs::path next = fs::read_symlink(target, error);
    if (error) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

// A short name beside `target`: nothing of the target's own name, so that
// any name the file system accepts for it also works here.
std::string TemporaryName(const fs::path& target, std::mt19937& random) {
  static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".cob-";
  for (int i = 0; i < 8; ++i) name += kLetters[random() % kLetters.size()];
  name += ".tmp";
  return (target.parent_path() / name).string();
}

std::mt19937& ThreadRandom() {
  thread_local std::mt19937 random{std::random_device{}()};
  return random;
}

#ifndef _WIN32

// Creates and lists a new temporary file beside `target`; -1 with errno set
// when that fails. Creating under the lock means that RemoveTemporaryFiles
// misses no file that exists.
int CreateTemporary(const fs::path& target, std::string& path) {
  Temporaries& t = TheTemporaries();
  std::lock_guard lock(t.mutex);
  if (t.stopped) {
    errno = EINTR;
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = TemporaryName(target, ThreadRandom());
    // 0666: the umask decides, as for any new file.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      t.paths.push_back(path);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

#endif

}  // namespace

std::string WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const fs::path target = FinalTarget(path);
  auto failure = [&path](std::string_view what, int error) {
    return std::string(what) + " file \"" + path + "\". " + SystemErrorText(error);
  };
#ifdef _WIN32
  std::string temp = TemporaryName(target, ThreadRandom());
  {
    std::lock_guard lock(TheTemporaries().mutex);
    TheTemporaries().paths.push_back(temp);
  }
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      const int error = errno;
      Forget(temp);
      return failure("Cannot create", error);
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      const int error = errno;
      std::error_code ignored;
      fs::remove(temp, ignored);
      Forget(temp);
      return failure("Cannot write", error);
    }
  }
  std::error_code renamed;
  fs::rename(temp, target, renamed);
  if (renamed) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    Forget(temp);
    return "Cannot create file \"" + path + "\". " + renamed.message();
  }
  Forget(temp);
  return {};
#else
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  std::string temp;
  const int fd = CreateTemporary(target, temp);
  if (fd < 0) return failure("Cannot create", errno);
  bool written = WriteAll(fd, bytes);
  int error = written ? 0 : errno;
  // An existing file keeps its permissions (a failure here, say on a file
  // of another owner, leaves the umask's).
  if (written && exists) ::fchmod(fd, existing.st_mode & 07777);
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && ::rename(temp.c_str(), target.c_str()) == 0) {
    Forget(temp);
    return {};
  }
  const bool renameFailed = written;
  if (renameFailed) error = errno;
  ::unlink(temp.c_str());
  Forget(temp);
  return failure(renameFailed ? "Cannot create" : "Cannot write", error);
#endif
}

void RemoveTemporaryFiles() {
  Temporaries& t = TheTemporaries();
  std::lock_guard lock(t.mutex);
  t.stopped = true;
  for (const std::string& path : t.paths) {
    std::error_code ignored;
    fs::remove(path, ignored);
  }
  t.paths.clear();
}

}  // namespace marlo::core
