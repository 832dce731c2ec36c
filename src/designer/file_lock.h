// Exclusive locks on the designer's files, and atomic replacement.
//
// A change to the reports file (or a locale file) is load-modify-save under
// one exclusive lock, so concurrent saves from threads of this server and
// from other server processes sharing the folder lose nothing. Two locks
// are taken, in this order:
//   - a mutex per path inside this process: record locks (even open-file-
//     description ones) are per open file, and two threads holding two
//     opens of one file must still exclude each other cheaply;
//   - an open-file-description lock (F_OFD_SETLKW) on a separate lock file
//     beside the target (name + ".lock"), which excludes other processes and
//     is released by the kernel when a holder dies.
// The lock file is never removed: removing it would let one process lock a
// file another has just unlinked.
//
// WriteFileAtomically writes a temporary file in the same folder, flushes
// it, renames it over the target and flushes the folder, so a process
// killed at any moment leaves either the old or the new file, never a torn
// one. A process killed during a save leaves its temporary file
// ("." + name + ".XXXXXX") behind; RemoveStaleTemporaryFiles, called under
// the lock, removes those older than kStaleTemporaryAge. Failures name no
// server path: the page gets the reason, the server's log (stderr) the
// full text. All of them are thread-safe.
//
// FileStamp tells one version of a file from another for caches of parsed
// files: which file (device, inode) and what it held (size, modification
// time in nanoseconds). Since every save renames a new file into place, a
// save changes the inode even when size and time (which the kernel keeps
// only to a few milliseconds) stay the same; a cache that also keeps the
// version it read open (a FileHandle) stops the system from giving that
// inode to a later save.
#ifndef FENNICK_DESIGNER_FILE_LOCK_H_
#define FENNICK_DESIGNER_FILE_LOCK_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace fennick::designer {

class ExclusiveFileLock {
 public:
  // Blocks until the lock on `path` is held. Raises fennick::Error when the
  // lock file cannot be opened or locked (a read-only folder, say).
  explicit ExclusiveFileLock(const std::filesystem::path& path);
  ~ExclusiveFileLock();
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

 private:
  std::shared_ptr<std::mutex> path_mutex_;
  std::unique_lock<std::mutex> path_lock_;
  int fd_ = -1;  // the lock file, holding the OFD lock
};

// An open file descriptor, closed when the handle goes. Movable, not
// copyable; not thread-safe.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// One version of a file (see the file comment).
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t mtime_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the file `path` names now, or of an open file; nullopt when
// there is none (errno tells why).
std::optional<FileStamp> StampOfPath(const std::filesystem::path& path);
std::optional<FileStamp> StampOfFile(const FileHandle& file);

// Replaces `path` by `content` atomically (see the file comment). Returns ""
// on success, else the reason (without the path); the old file is then
// untouched. `no_space`, when given, tells whether the disk or the quota
// was full. `written`, when given, receives the new file, still open, after
// a success, so the caller can stamp and keep the version it wrote.
std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                                bool* no_space = nullptr, FileHandle* written = nullptr);

// No save takes this long, so a temporary file this old was left by a
// process that died during its save.
inline constexpr std::chrono::minutes kStaleTemporaryAge{10};

// Removes the temporary files of `path` older than kStaleTemporaryAge. Call
// with the lock on `path` held. Errors are ignored: a leftover that cannot
// be removed now is tried again at the next save.
void RemoveStaleTemporaryFiles(const std::filesystem::path& path);

// Tests only: every later write fails as if the disk answered
// `error_number` (ENOSPC, EIO...); 0 ends it.
void FailWritesForTesting(int error_number);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_FILE_LOCK_H_
