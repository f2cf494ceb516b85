#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <random>
#include <string_view>
#include <system_error>

#include "base/system_error_text.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#else
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

#ifdef _WIN32

// Binary, so that no byte changes on the way; not inherited by a child.
int OpenNew(const std::string& path) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
int WriteSome(int fd, const std::uint8_t* data, std::size_t size) {
  return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1U << 30)));
}
int CloseFile(int fd) { return ::_close(fd); }
void RemoveFile(const std::string& path) { ::_unlink(path.c_str()); }

// Windows files have no permission bits to keep (a read-only target refuses
// the replacement below).
bool ExistingMode(const fs::path&, unsigned&) { return false; }
void KeepMode(int, unsigned) {}

// rename() refuses an existing target on Windows; MoveFileEx replaces it.
// Empty, or the reason it failed.
std::string Replace(const std::string& from, const fs::path& to) {
  if (::MoveFileExA(from.c_str(), to.string().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
  return std::system_category().message(static_cast<int>(::GetLastError()));
}

#else

// 0666: the umask decides, as for any new file.
int OpenNew(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }
ssize_t WriteSome(int fd, const std::uint8_t* data, std::size_t size) { return ::write(fd, data, size); }
int CloseFile(int fd) { return ::close(fd); }
void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

bool ExistingMode(const fs::path& target, unsigned& mode) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) != 0) return false;
  mode = existing.st_mode & 07777;
  return true;
}
// A failure here (say on a file of another owner) leaves the umask's.
void KeepMode(int fd, unsigned mode) { ::fchmod(fd, static_cast<mode_t>(mode)); }

std::string Replace(const std::string& from, const fs::path& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return {};
  return SystemErrorText(errno);
}

#endif

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
    const int fd = OpenNew(path);
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
    const auto n = WriteSome(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const fs::path target = FinalTarget(path);
  auto failure = [&path](std::string_view what, const std::string& reason) {
    return std::string(what) + " file \"" + path + "\". " + reason;
  };
  unsigned mode = 0;
  const bool exists = ExistingMode(target, mode);
  std::string temp;
  const int fd = CreateTemporary(target, temp);
  if (fd < 0) return failure("Cannot create", SystemErrorText(errno));
  bool written = WriteAll(fd, bytes);
  int error = written ? 0 : errno;
  if (written && exists) KeepMode(fd, mode);
  if (CloseFile(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  std::string reason = written ? Replace(temp, target) : SystemErrorText(error);
  if (written && reason.empty()) {
    Forget(temp);
    return {};
  }
  RemoveFile(temp);
  Forget(temp);
  return failure(written ? "Cannot create" : "Cannot write", reason);
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
