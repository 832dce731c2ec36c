// Per-path mutexes, OFD locks on lock files, and atomic file replacement.
#include "designer/file_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "fennick/error.h"

namespace fennick::designer {
namespace {

std::mutex registry_mutex;
// One mutex per lock path, kept for the life of the process (a few paths).
std::map<std::string, std::shared_ptr<std::mutex>> path_mutexes;  // GUARDED_BY(registry_mutex)

std::shared_ptr<std::mutex> MutexFor(const std::string& key) {
  std::lock_guard<std::mutex> guard(registry_mutex);
  std::shared_ptr<std::mutex>& slot = path_mutexes[key];
  if (!slot) slot = std::make_shared<std::mutex>();
  return slot;
}

// The path as one key for every spelling of it: absolute, "." and ".."
// resolved (the file itself may not exist yet).
std::filesystem::path Canonical(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path out = std::filesystem::weakly_canonical(path, ec);
  return ec ? std::filesystem::absolute(path) : out;
}

std::atomic<int> failing_writes{0};

// The reason a page may show: what failed and the system's words, no path.
// The full text, path included, goes to the server's log.
std::string Failure(const char* what, const std::filesystem::path& path, int error_number) {
  const std::string reason = std::string(what) + ": " + std::strerror(error_number);
  std::fprintf(stderr, "fennick: %s %s: %s\n", what, path.c_str(), std::strerror(error_number));
  return reason;
}

bool IsNoSpace(int error_number) { return error_number == ENOSPC || error_number == EDQUOT; }

// Whether `name` is a temporary file of `target`: "." + target + "." and
// the six characters mkstemp chose.
bool IsTemporaryOf(const std::string& name, const std::string& target) {
  const std::string head = "." + target + ".";
  if (name.size() != head.size() + 6 || name.compare(0, head.size(), head) != 0) return false;
  for (size_t i = head.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  return true;
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

FileStamp StampOf(const struct stat& s) {
  FileStamp stamp;
  stamp.device = static_cast<uint64_t>(s.st_dev);
  stamp.inode = static_cast<uint64_t>(s.st_ino);
  stamp.size = static_cast<int64_t>(s.st_size);
  stamp.mtime_ns = static_cast<int64_t>(s.st_mtim.tv_sec) * 1000000000 + s.st_mtim.tv_nsec;
  return stamp;
}

}  // namespace

FileHandle::~FileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::optional<FileStamp> StampOfPath(const std::filesystem::path& path) {
  struct stat s {};
  if (::stat(path.c_str(), &s) != 0) return std::nullopt;
  return StampOf(s);
}

std::optional<FileStamp> StampOfFile(const FileHandle& file) {
  struct stat s {};
  if (!file || ::fstat(file.get(), &s) != 0) return std::nullopt;
  return StampOf(s);
}

ExclusiveFileLock::ExclusiveFileLock(const std::filesystem::path& path) {
  const std::filesystem::path lock_path = Canonical(path).string() + ".lock";
  path_mutex_ = MutexFor(lock_path.string());
  path_lock_ = std::unique_lock<std::mutex>(*path_mutex_);
  fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) throw Error(-1, Failure("Cannot open the lock file", lock_path, errno), "Quillon2");
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  while (::fcntl(fd_, F_OFD_SETLKW, &lock) != 0) {
    if (errno == EINTR) continue;
    const std::string reason = Failure("Cannot lock", lock_path, errno);
    ::close(fd_);
    throw Error(-1, reason, "Quillon2");
  }
}

ExclusiveFileLock::~ExclusiveFileLock() {
  // Closing the last descriptor of the open file description releases the
  // OFD lock.
  if (fd_ >= 0) ::close(fd_);
}

std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                                bool* no_space, FileHandle* written) {
  if (no_space) *no_space = false;
  auto failed = [no_space](const char* what, const std::filesystem::path& where, int error) {
    if (no_space) *no_space = IsNoSpace(error);
    return Failure(what, where, error);
  };
  const std::filesystem::path target = Canonical(path);
  const std::filesystem::path folder = target.parent_path();
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  // Close-on-exec: a kept handle must not leak into programs the server starts.
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return failed("Cannot create a temporary file", folder, errno);
  // Keep the old file's permissions: the site may serve the folder to
  // another user.
  struct stat old_stat {};
  if (::stat(target.c_str(), &old_stat) == 0) {
    ::fchmod(fd, old_stat.st_mode & 07777);
  } else {
    ::fchmod(fd, 0644);
  }
  const int injected = failing_writes.load();
  if (injected != 0 || !WriteAll(fd, content) || ::fsync(fd) != 0) {
    const std::string reason = failed("Cannot write the file", temp, injected ? injected : errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return reason;
  }
  // The descriptor stays open until the rename is done: the caller may
  // keep it as the handle of the version it wrote.
  FileHandle file(fd);
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const std::string reason = failed("Cannot replace the file", target, errno);
    ::unlink(temp.c_str());
    return reason;
  }
  // The rename is durable only once the folder is flushed.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);  // Ignoring errors on purpose: the new file is in place.
    ::close(dir);
  }
  if (written) *written = std::move(file);
  return std::string();
}

void RemoveStaleTemporaryFiles(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  const fs::path target = Canonical(path);
  const std::string name = target.filename().string();
  const auto oldest = fs::file_time_type::clock::now() - kStaleTemporaryAge;
  // Ignoring errors on purpose: the next save tries again.
  std::error_code ec;
  for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!IsTemporaryOf(it->path().filename().string(), name)) continue;
    std::error_code item;
    const fs::file_time_type written = it->last_write_time(item);
    if (!item && written < oldest) fs::remove(it->path(), item);
  }
}

void FailWritesForTesting(int error_number) { failing_writes.store(error_number); }

}  // namespace fennick::designer
