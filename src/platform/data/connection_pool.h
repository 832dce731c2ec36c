// Reuse of database links between the pages that open them.
//
// Opening a link is the dearest part of a small page: a server link costs
// round trips and a server process, a new SQLite link reads the schema
// again on its first statement and prepares every statement from scratch.
// So a Connection's link does not close when the page lets go of it: it is
// readied for its next user (DriverConnection::ResetForReuse: the session
// is put back as a new link has it) and kept idle, and the next Open with
// the same key takes it. A link that cannot be readied (it failed, was
// lost, was left in a transaction, its session cannot be undone) is
// closed, and so is one idle for longer than the idle time or beyond the
// number kept. Idle links are closed lazily, when the pool is next used;
// no thread watches them.
//
// Pages see none of this: what a page changed in its session is gone when
// the next page opens, as with a new link.
//
// Limits come from the environment, read once: FENNICK_DB_POOL_SIZE idle
// links kept per connection string of a server, and per thread for SQLite
// (default 8; 0 turns reuse off), FENNICK_DB_POOL_IDLE_SECONDS (default
// 60). Thread-safe.
#ifndef FENNICK_PLATFORM_DATA_CONNECTION_POOL_H_
#define FENNICK_PLATFORM_DATA_CONNECTION_POOL_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/data/driver.h"

namespace fennick::data {

// An open link of `driver` for `settings`: an idle one of the same reuse
// key that is still usable, else a new one. The link goes back to the pool
// (or closes) when its last owner lets go of it, on whatever thread that
// happens. Raises what driver.open raises.
std::shared_ptr<DriverConnection> OpenReusable(const DriverEntry& driver,
                                               const OpenSettings& settings);

struct ReuseLimits {
  size_t idle_links = 8;  // kept per key of a server, per thread for SQLite; 0: no reuse
  std::chrono::seconds idle_time{60};
};

// The limits in force: the environment's, or the last SetReuseLimits.
ReuseLimits CurrentReuseLimits();
// Replaces the limits (for benchmarks and tests). Links already idle stay
// until they are taken or idle out.
void SetReuseLimits(const ReuseLimits& limits);

// Links opened and links reused since the process started.
struct ReuseCounters {
  uint64_t opened = 0;
  uint64_t reused = 0;
};
ReuseCounters CurrentReuseCounters();

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_CONNECTION_POOL_H_
