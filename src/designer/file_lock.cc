// Per-path mutexes, OFD locks on lock files, and atomic file replacement.
#include "designer/file_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string ErrnoText(const char* what, const std::filesystem::path& path) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
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

}  // namespace

ExclusiveFileLock::ExclusiveFileLock(const std::filesystem::path& path) {
  const std::filesystem::path lock_path = Canonical(path).string() + ".lock";
  path_mutex_ = MutexFor(lock_path.string());
  path_lock_ = std::unique_lock<std::mutex>(*path_mutex_);
  fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) throw Error(-1, ErrnoText("Cannot open the lock file", lock_path), "Quillon2");
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  while (::fcntl(fd_, F_OFD_SETLKW, &lock) != 0) {
    if (errno == EINTR) continue;
    const std::string reason = ErrnoText("Cannot lock", lock_path);
    ::close(fd_);
    throw Error(-1, reason, "Quillon2");
  }
}

ExclusiveFileLock::~ExclusiveFileLock() {
  // Closing the last descriptor of the open file description releases the
  // OFD lock.
  if (fd_ >= 0) ::close(fd_);
}

std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view content) {
  const std::filesystem::path target = Canonical(path);
  const std::filesystem::path folder = target.parent_path();
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return ErrnoText("Cannot create a temporary file in", folder);
  // Keep the old file's permissions: the site may serve the folder to
  // another user.
  struct stat old_stat {};
  if (::stat(target.c_str(), &old_stat) == 0) {
    ::fchmod(fd, old_stat.st_mode & 07777);
  } else {
    ::fchmod(fd, 0644);
  }
  if (!WriteAll(fd, content) || ::fsync(fd) != 0) {
    const std::string reason = ErrnoText("Cannot write", temp);
    ::close(fd);
    ::unlink(temp.c_str());
    return reason;
  }
  ::close(fd);
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const std::string reason = ErrnoText("Cannot replace", target);
    ::unlink(temp.c_str());
    return reason;
  }
  // The rename is durable only once the folder is flushed.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);  // Ignoring errors on purpose: the new file is in place.
    ::close(dir);
  }
  return std::string();
}

}  // namespace fennick::designer
