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
#ifndef FENNICK_DESIGNER_FILE_LOCK_H_
#define FENNICK_DESIGNER_FILE_LOCK_H_

#include <chrono>
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
// on success, else the reason (without the path); the old file is then
// untouched. `no_space`, when given, tells whether the disk or the quota
// was full.
std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                                bool* no_space = nullptr);

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
