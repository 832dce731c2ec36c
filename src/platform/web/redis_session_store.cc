// The session store in Redis, for several server processes that share their
// users: whichever process a request lands on finds the same session values.
//
// One Redis hash per session, key "fennick:session:<id>": field "t" holds the
// session's idle timeout in minutes, fields "v:<name>" its values (names
// lower-cased, as the in-memory store keeps them). The session timeout is the
// key's expiry, refreshed whenever the session is used, so Redis itself drops
// idle sessions; no process sweeps.
//
// Every change that refreshes the expiry is one Lua script, so that a session
// expiring between two commands can never be left as a key without expiry.
//
// Connections are pooled: a request takes an idle connection (or opens one),
// and gives it back unless it failed. A pooled connection that fails (Redis
// restarted since) takes every idle one with it and the command is sent
// again on a fresh connection. A Redis that is away therefore costs each
// request one refused connect and a kErrSessionStore error, and the first
// request after it came back succeeds: the server recovers without a
// restart.
//
// Thread-safe.
#include "platform/web/redis_session_store.h"

#include <hiredis/hiredis.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "fennick/error.h"
#include "fennick/object.h"
#include "fennick/page.h"
#include "fennick/session_stores.h"

namespace fennick {
namespace {

constexpr char kKeyPrefix[] = "fennick:session:";
constexpr char kSource[] = "Session object";
// A loopback or LAN Redis answers in well under a millisecond; these only
// bound how long a request hangs on one that stopped answering.
constexpr timeval kConnectTimeout{1, 0};
constexpr timeval kCommandTimeout{2, 0};
// Idle connections kept for reuse; more are closed when given back.
constexpr size_t kMaxIdle = 64;

// Refreshes the expiry of a live session; 0 when there is none.
constexpr char kTouchScript[] =
    "local t = redis.call('HGET', KEYS[1], 't') "
    "if not t then return 0 end "
    "redis.call('EXPIRE', KEYS[1], tonumber(t) * 60) return 1";
// Stores one value (ARGV[1] field, ARGV[2] value); a session that expired
// meanwhile comes back with the default timeout ARGV[3].
constexpr char kSetScript[] =
    "local t = redis.call('HGET', KEYS[1], 't') or ARGV[3] "
    "redis.call('HSET', KEYS[1], ARGV[1], ARGV[2], 't', t) "
    "redis.call('EXPIRE', KEYS[1], tonumber(t) * 60) return 1";
// Sets the session's timeout (ARGV[1] minutes), creating it when needed.
constexpr char kTimeoutScript[] =
    "redis.call('HSET', KEYS[1], 't', ARGV[1]) "
    "redis.call('EXPIRE', KEYS[1], tonumber(ARGV[1]) * 60) return 1";
// Drops every value but keeps the session and its timeout.
constexpr char kAbandonScript[] =
    "local t = redis.call('HGET', KEYS[1], 't') "
    "redis.call('DEL', KEYS[1]) "
    "if t then redis.call('HSET', KEYS[1], 't', t) "
    "redis.call('EXPIRE', KEYS[1], tonumber(t) * 60) end return 1";

struct ContextFree {
  void operator()(redisContext* c) const { redisFree(c); }
};
using ContextPtr = std::unique_ptr<redisContext, ContextFree>;
struct ReplyFree {
  void operator()(redisReply* r) const { freeReplyObject(r); }
};
using ReplyPtr = std::unique_ptr<redisReply, ReplyFree>;

std::string SessionKey(std::string_view id) { return kKeyPrefix + std::string(id); }
std::string ValueField(std::string_view name) { return "v:" + AsciiLower(name); }

class RedisSessionStore : public SessionStore {
 public:
  RedisSessionStore(RedisAddress address, int32_t timeout_minutes)
      : address_(std::move(address)), timeout_minutes_(timeout_minutes) {}

  Variant Get(std::string_view id, std::string_view name) override {
    ReplyPtr r = Command({"HGET", SessionKey(id), ValueField(name)});
    if (r->type != REDIS_REPLY_STRING) return Variant();
    std::optional<Variant> value = DecodeSessionValue(std::string_view(r->str, r->len));
    // A value this server cannot read (written by a newer server, or not by
    // Fennick at all) reads as never set rather than failing the page.
    return value ? std::move(*value) : Variant();
  }

  void Set(std::string_view id, std::string_view name, Variant value) override {
    std::optional<std::string> encoded = EncodeSessionValue(value);
    if (!encoded) {
      throw Error(kErrTypeMismatch,
                  "Type mismatch: objects cannot be kept in a session shared between servers",
                  kSource);
    }
    Command({"EVAL", kSetScript, "1", SessionKey(id), ValueField(name), std::move(*encoded),
             std::to_string(timeout_minutes_)});
  }

  void Remove(std::string_view id, std::string_view name) override {
    Command({"HDEL", SessionKey(id), ValueField(name)});
  }

  void Abandon(std::string_view id) override {
    Command({"EVAL", kAbandonScript, "1", SessionKey(id)});
  }

  bool Touch(std::string_view id) override {
    ReplyPtr r = Command({"EVAL", kTouchScript, "1", SessionKey(id)});
    return r->type == REDIS_REPLY_INTEGER && r->integer == 1;
  }

  // Redis holds what its own maxmemory allows: a session is never refused
  // here (a full Redis refuses the write, which is a store error).
  bool Create(std::string_view id) override {
    SetSessionTimeout(id, timeout_minutes_);
    return true;
  }

  int32_t TimeoutMinutes() const override { return timeout_minutes_; }

  int32_t SessionTimeoutMinutes(std::string_view id) override {
    ReplyPtr r = Command({"HGET", SessionKey(id), "t"});
    if (r->type != REDIS_REPLY_STRING) return timeout_minutes_;
    int32_t minutes = std::atoi(std::string(r->str, r->len).c_str());
    return minutes > 0 ? minutes : timeout_minutes_;
  }

  void SetSessionTimeout(std::string_view id, int32_t minutes) override {
    Command({"EVAL", kTimeoutScript, "1", SessionKey(id), std::to_string(minutes)});
  }

 private:
  [[noreturn]] void Unavailable(const std::string& why) const {
    throw Error(kErrSessionStore,
                "The session store (Redis at " + address_.host + ":" +
                    std::to_string(address_.port) + ") cannot be reached: " + why,
                kSource);
  }

  ContextPtr Connect() {
    ContextPtr c(redisConnectWithTimeout(address_.host.c_str(), address_.port, kConnectTimeout));
    if (!c) Unavailable("out of memory");
    if (c->err) Unavailable(c->errstr);
    redisSetTimeout(c.get(), kCommandTimeout);
    if (!address_.password.empty()) {
      // Binary-safe arguments: the password is never formatted into a
      // command text (nor into any message).
      ReplyPtr r(static_cast<redisReply*>(
          address_.user.empty()
              ? redisCommand(c.get(), "AUTH %b", address_.password.data(),
                             address_.password.size())
              : redisCommand(c.get(), "AUTH %b %b", address_.user.data(), address_.user.size(),
                             address_.password.data(), address_.password.size())));
      if (!r) Unavailable(c->errstr);
      if (r->type == REDIS_REPLY_ERROR) {
        Unavailable("it refused the " +
                    std::string(address_.user.empty() ? "password" : "user and password") +
                    " (" + std::string(r->str, r->len) + ")");
      }
    }
    if (address_.database != 0) {
      ReplyPtr r(static_cast<redisReply*>(redisCommand(c.get(), "SELECT %d", address_.database)));
      if (!r) Unavailable(c->errstr);
      if (r->type == REDIS_REPLY_ERROR) Unavailable(std::string(r->str, r->len));
    }
    return c;
  }

  // Runs one command on a pooled connection. Raises kErrSessionStore when
  // Redis cannot be reached or answers with an error; the reply is never
  // null.
  ReplyPtr Command(std::vector<std::string> args) {
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const std::string& a : args) {
      argv.push_back(a.data());
      lengths.push_back(a.size());
    }
    ContextPtr c;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        c = std::move(idle_.back());
        idle_.pop_back();
      }
    }
    const bool pooled = c != nullptr;
    if (!c) c = Connect();
    ReplyPtr r = Send(*c, argv, lengths);
    if (!r && pooled) {
      // A pooled connection fails when Redis restarted since it was used,
      // and so do all the others that were idle with it: they are dropped
      // together, and the command (every one the store sends may safely
      // run twice) goes once more over a fresh connection.
      {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.clear();
      }
      c = Connect();
      r = Send(*c, argv, lengths);
    }
    // A connection that failed is dropped, not pooled: the next command
    // connects afresh, which is how the store recovers once Redis is back.
    if (!r) Unavailable(c->errstr[0] ? c->errstr : "no reply");
    if (r->type == REDIS_REPLY_ERROR) {
      std::string message(r->str, r->len);
      Give(std::move(c));
      throw Error(kErrSessionStore, "The session store (Redis) refused a command: " + message,
                  kSource);
    }
    Give(std::move(c));
    return r;
  }

  static ReplyPtr Send(redisContext& c, std::vector<const char*>& argv,
                       std::vector<size_t>& lengths) {
    return ReplyPtr(static_cast<redisReply*>(
        redisCommandArgv(&c, static_cast<int>(argv.size()), argv.data(), lengths.data())));
  }

  void Give(ContextPtr c) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < kMaxIdle) idle_.push_back(std::move(c));
  }

  const RedisAddress address_;
  const int32_t timeout_minutes_;
  std::mutex mutex_;
  std::vector<ContextPtr> idle_;  // GUARDED_BY(mutex_)
};

// `text` with its %XX escapes decoded; nullopt for a broken escape.
std::optional<std::string> PercentDecode(std::string_view text) {
  auto hex = [](char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = hex(text[i + 1]), low = hex(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

}  // namespace

std::optional<RedisAddress> ParseRedisUrl(std::string_view url) {
  constexpr std::string_view kScheme = "redis://";
  if (url.size() <= kScheme.size() || !StartsWithIgnoreCase(url, kScheme)) return std::nullopt;
  std::string_view rest = url.substr(kScheme.size());
  RedisAddress address;
  // The last "@": a password may hold one unencoded; host, port and
  // database never do.
  size_t at = rest.rfind('@');
  if (at != std::string_view::npos) {
    std::string_view userinfo = rest.substr(0, at);
    rest = rest.substr(at + 1);
    size_t colon = userinfo.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::optional<std::string> user = PercentDecode(userinfo.substr(0, colon));
    std::optional<std::string> password = PercentDecode(userinfo.substr(colon + 1));
    if (!user || !password || password->empty()) return std::nullopt;
    address.user = std::move(*user);
    address.password = std::move(*password);
  }
  size_t slash = rest.find('/');
  std::string_view host_port = rest.substr(0, slash);
  if (slash != std::string_view::npos) {
    std::string_view db = rest.substr(slash + 1);
    if (db.empty() || db.size() > 4) return std::nullopt;
    for (char ch : db) {
      if (ch < '0' || ch > '9') return std::nullopt;
    }
    address.database = std::atoi(std::string(db).c_str());
  }
  size_t colon = host_port.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view host = host_port.substr(0, colon);
  std::string_view port = host_port.substr(colon + 1);
  // "[::1]:6379": brackets only mark an IPv6 address.
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  for (char ch : host) {
    bool alnum = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    if (!(alnum || ch == '.' || ch == '-' || ch == ':' || ch == '_')) return std::nullopt;
  }
  if (port.empty() || port.size() > 5) return std::nullopt;
  for (char ch : port) {
    if (ch < '0' || ch > '9') return std::nullopt;
  }
  address.port = std::atoi(std::string(port).c_str());
  if (host.empty() || address.port == 0 || address.port > 65535) return std::nullopt;
  address.host = std::string(host);
  return address;
}

std::optional<std::string> EncodeSessionValue(const Variant& value) {
  std::string out = std::to_string(static_cast<uint16_t>(value.type()));
  out.push_back(':');
  char number[32];
  switch (value.type()) {
    case VarType::kEmpty:
    case VarType::kNull:
      break;
    case VarType::kObject:
      // Only the empty reference (Nothing) survives a trip through Redis.
      if (value.AsObject()) return std::nullopt;
      break;
    case VarType::kBoolean:
      out.push_back(value.AsBool() ? '1' : '0');
      break;
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kLongLong:
    case VarType::kByte:
      out.append(std::to_string(value.AsInt64()));
      break;
    case VarType::kError:
      out.append(std::to_string(static_cast<int64_t>(value.AsDouble())));
      break;
    case VarType::kCurrency:
      out.append(std::to_string(value.CurrencyRaw()));
      break;
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kDate:
    case VarType::kDecimal:
      // 17 significant digits read back to the same double.
      std::snprintf(number, sizeof number, "%.17g", value.AsDouble());
      out.append(number);
      break;
    case VarType::kString:
    case VarType::kBinary:
      out.append(value.Bytes());
      break;
  }
  return out;
}

std::optional<Variant> DecodeSessionValue(std::string_view text) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 5) return std::nullopt;
  int type = 0;
  for (char ch : text.substr(0, colon)) {
    if (ch < '0' || ch > '9') return std::nullopt;
    type = type * 10 + (ch - '0');
  }
  const std::string payload(text.substr(colon + 1));
  auto integer = [&](int64_t& out) {
    if (payload.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(payload.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
  };
  auto real = [&](double& out) {
    if (payload.empty()) return false;
    char* end = nullptr;
    out = std::strtod(payload.c_str(), &end);
    return end && *end == '\0';
  };
  int64_t i = 0;
  double d = 0;
  switch (static_cast<VarType>(type)) {
    case VarType::kEmpty:
      return Variant();
    case VarType::kNull:
      return Variant::Null();
    case VarType::kObject:
      return Variant::Nothing();
    case VarType::kBoolean:
      if (payload != "0" && payload != "1") return std::nullopt;
      return Variant(payload == "1");
    case VarType::kInteger:
      if (!integer(i) || i < INT16_MIN || i > INT16_MAX) return std::nullopt;
      return Variant(static_cast<int16_t>(i));
    case VarType::kLong:
      if (!integer(i) || i < INT32_MIN || i > INT32_MAX) return std::nullopt;
      return Variant(static_cast<int32_t>(i));
    case VarType::kLongLong:
      if (!integer(i)) return std::nullopt;
      return Variant(i);
    case VarType::kByte:
      if (!integer(i) || i < 0 || i > 255) return std::nullopt;
      return Variant::Byte(static_cast<uint8_t>(i));
    case VarType::kError:
      if (!integer(i) || i < INT32_MIN || i > INT32_MAX) return std::nullopt;
      return Variant::ErrorValue(static_cast<int32_t>(i));
    case VarType::kCurrency:
      if (!integer(i)) return std::nullopt;
      return Variant::Currency(i);
    case VarType::kSingle:
      if (!real(d)) return std::nullopt;
      return Variant(static_cast<float>(d));
    case VarType::kDouble:
      if (!real(d)) return std::nullopt;
      return Variant(d);
    case VarType::kDate:
      if (!real(d)) return std::nullopt;
      return Variant::Date(d);
    case VarType::kDecimal:
      if (!real(d)) return std::nullopt;
      return Variant::Decimal(d);
    case VarType::kString:
      return Variant(std::string(payload));
    case VarType::kBinary:
      return Variant::Binary(std::string(payload));
  }
  return std::nullopt;
}

std::shared_ptr<SessionStore> MakeRedisSessionStore(const RedisAddress& address,
                                                    int32_t timeout_minutes) {
  return std::make_shared<RedisSessionStore>(address, timeout_minutes);
}

}  // namespace fennick
