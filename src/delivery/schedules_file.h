// The schedules file: every delivery schedule of one reports file, in an
// XML file beside it ("reports.xml" -> "reports.xml.schedules.xml"):
//
//   <quillonSchedules version="1">
//     <schedule id="S1" report="R1" format="csv" timing="weekly mon 07:00"
//               zone="Europe/Paris" onlyrows="0" paused="0" next="..."
//               createdby="...">
//       <to>a@example.com</to>... <subject/> <message/>
//       <param name="" value=""/>... <session name="" value=""/>...
//       <context connection="" dbtype="" .../>
//       <state run="" claimedby="" claimedat="" expires="" attempts=""
//              retryat="" lastrun="" lastok="" stopped="" sent=""
//              failed="">last result</state>
//     </schedule>
//   </quillonSchedules>
//
// Times are Unix seconds. The root's name keeps the static file handler
// from ever serving the file (platform/web/private_files.h), as the reports
// file's does; it never holds a report definition, only the report's id.
//
// Every change, claims included, is load-modify-save under the file's
// exclusive lock with an atomic replacement (designer/file_lock.h), so
// runners in several processes and the designer's pages never lose each
// other's changes. A file that does not parse is never overwritten.
// SchedulesFile is a path with operations; thread-safe.
#ifndef FENNICK_DELIVERY_SCHEDULES_FILE_H_
#define FENNICK_DELIVERY_SCHEDULES_FILE_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/schedule.h"

namespace fennick::delivery {

// The schedules of a file, or why they cannot be read. A missing file has
// none.
struct LoadedSchedules {
  std::vector<Schedule> schedules;
  std::string error;
  bool ok() const { return error.empty(); }
};

// One run a runner holds: the schedule as it was claimed.
struct Claim {
  Schedule schedule;
  int64_t run = 0;
  std::string runner;
};

// What became of a claimed run.
struct RunOutcome {
  enum class Kind {
    kSent,     // the mail went (or was not needed: no rows)
    kFailed,   // try again after a back-off, or give the run up
    kStopped,  // never again: the report is gone
  } kind = Kind::kSent;
  std::string result;  // the text the schedule list shows
};

class SchedulesFile {
 public:
  // The schedules of the reports file `reports_file`.
  explicit SchedulesFile(const std::filesystem::path& reports_file);
  const std::filesystem::path& path() const { return path_; }

  LoadedSchedules Read() const;

  // Adds `schedule` (an empty id asks for a new one) or replaces the one of
  // its id, keeping that one's run state. The next run is worked out from
  // `now`. Returns the id, or nullopt with the reason in `error`.
  std::optional<std::string> Save(Schedule schedule, int64_t now, std::string* error) const;

  // Changes the schedule `id` by `change` under the lock (pause, resume,
  // stop); "" on success, else the reason (no such schedule included).
  std::string Update(std::string_view id, const std::function<void(Schedule&)>& change) const;
  std::string Delete(std::string_view id) const;

  // Claims, for `runner` and `lease` seconds, every run due at `now` that
  // is not paused, stopped, waiting for its back-off or held by another
  // runner's live claim; at most `limit`. A claim whose lease ran out
  // (its runner died mid-send) is taken over. Schedules named in `done`
  // are passed over (a pass runs each schedule once, even when a quick
  // retry falls due before the pass ends).
  std::vector<Claim> ClaimDue(int64_t now, std::string_view runner, int64_t lease,
                              size_t limit = 1000,
                              const std::set<std::string>* done = nullptr) const;

  // Records the outcome of `claim` and releases it, in one change: a sent
  // run moves the schedule to its next slot after `now` (slots missed while
  // no runner ran collapse into the one just sent); a failed one waits
  // `retry_base` << (attempts - 1) seconds, up to kMaxAttempts attempts,
  // then is given up and moves on likewise. Returns "" or the reason the
  // file could not be changed; a claim that is no longer this runner's
  // (its lease ran out and another took it) records nothing.
  std::string Finish(const Claim& claim, const RunOutcome& outcome, int64_t now,
                     int64_t retry_base) const;

 private:
  // Load-modify-save under the lock; `change` returns "" to save, or a
  // reason to leave the file as it is.
  std::string Change(const std::function<std::string(std::vector<Schedule>&)>& change) const;

  std::filesystem::path path_;
};

// The file's text for `schedules`, and back.
std::string WriteSchedules(const std::vector<Schedule>& schedules);
LoadedSchedules ParseSchedules(std::string_view text);

}  // namespace fennick::delivery

#endif  // FENNICK_DELIVERY_SCHEDULES_FILE_H_
