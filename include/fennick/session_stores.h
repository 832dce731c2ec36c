// Session stores besides the default in-memory one: Redis, shared by
// several server processes so that a user's requests may land on any of
// them.
#ifndef FENNICK_SESSION_STORES_H_
#define FENNICK_SESSION_STORES_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fennick/page.h"

namespace fennick {

// The session store shared between servers (Redis) cannot be reached or
// refused a command. The host answers a page that met it with a 503
// "sessions unavailable" page.
inline constexpr int32_t kErrSessionStore = 1020;

// Where a Redis server listens and how to log in, from
// "redis://[[USER]:PASSWORD@]HOST:PORT[/DB]".
struct RedisAddress {
  std::string host;
  int port = 6379;
  int database = 0;
  // Sent with AUTH on every new connection when not empty: the password
  // alone for Redis's requirepass (the default user), with the user for an
  // ACL user. Never part of a message or log line.
  std::string user;
  std::string password;
};
// The address of a redis:// URL; nullopt when it is not one (no port, a
// port or database that is not a number, other characters in the host, a
// user without a password). User and password are percent-decoded, so a
// password holding "@", ":" or "/" is written %40, %3A, %2F.
std::optional<RedisAddress> ParseRedisUrl(std::string_view url);

// A session store in Redis that several servers share: values live in one
// hash per session whose expiry is the session's idle timeout. It connects
// on first use and again after a failure, so it may be made while Redis is
// down. Its members raise kErrSessionStore when Redis cannot be reached or
// refuses a command, and Set raises kErrTypeMismatch for an object value.
// Thread-safe.
std::shared_ptr<SessionStore> MakeRedisSessionStore(const RedisAddress& address,
                                                    int32_t timeout_minutes = 20);

}  // namespace fennick

#endif  // FENNICK_SESSION_STORES_H_
