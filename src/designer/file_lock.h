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
// one. Both are thread-safe.
#ifndef FENNICK_DESIGNER_FILE_LOCK_H_
#define FENNICK_DESIGNER_FILE_LOCK_H_

#include <filesystem>
#include <memory>
#include <mutex>
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

// Replaces `path` by `content` atomically (see the file comment). Returns ""
// on success, else the reason; the old file is then untouched.
std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view content);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_FILE_LOCK_H_
