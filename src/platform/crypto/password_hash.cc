// Password hashes on libsodium's crypto_pwhash_str.
#include "platform/crypto/password_hash.h"

#include <sodium.h>

#include <semaphore>

#include "fennick/error.h"

namespace fennick {
namespace {

constexpr char kSource[] = "PasswordHash";

// Each hash holds its memory limit while it runs: the gate bounds the sum.
std::counting_semaphore<kConcurrentHashes>& HashGate() {
  static std::counting_semaphore<kConcurrentHashes> gate(kConcurrentHashes);
  return gate;
}

class GateTurn {
 public:
  GateTurn() { HashGate().acquire(); }
  ~GateTurn() { HashGate().release(); }
  GateTurn(const GateTurn&) = delete;
  GateTurn& operator=(const GateTurn&) = delete;
};

// The number after `key` in `text` ("$m=65536,t=2,p=1"); -1 without one.
long long Parameter(std::string_view text, std::string_view key) {
  const size_t at = text.find(key);
  if (at == std::string_view::npos) return -1;
  long long value = 0;
  size_t i = at + key.size();
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < (1LL << 40); ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Whether checking `hash` costs at most what a hash made here costs (twice
// the passes allowed): a stored hash is no more trusted than a post, and
// one asking for gigabytes or minutes is never computed.
bool WithinLimits(std::string_view hash) {
  const long long memory_kib = Parameter(hash, "$m=");
  const long long passes = Parameter(hash, ",t=");
  const long long lanes = Parameter(hash, ",p=");
  return memory_kib > 0 && memory_kib <= crypto_pwhash_MEMLIMIT_INTERACTIVE / 1024 && passes > 0 &&
         passes <= 2 * crypto_pwhash_OPSLIMIT_INTERACTIVE && lanes == 1;
}

}  // namespace

std::string HashPassword(std::string_view password) {
  if (sodium_init() < 0) throw Error(-1, "libsodium could not be initialised", kSource);
  char hash[crypto_pwhash_STRBYTES];
  GateTurn turn;
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    throw Error(7, "Out of memory while hashing a password", kSource);
  }
  return hash;
}

bool PasswordMatchesHash(std::string_view hash, std::string_view password) {
  if (sodium_init() < 0 || hash.size() >= crypto_pwhash_STRBYTES || !WithinLimits(hash)) {
    return false;
  }
  // The library reads the hash as a C string.
  const std::string text(hash);
  GateTurn turn;
  return crypto_pwhash_str_verify(text.c_str(), password.data(), password.size()) == 0;
}

bool PasswordHashIsOutdated(std::string_view hash) {
  if (sodium_init() < 0 || hash.size() >= crypto_pwhash_STRBYTES) return true;
  const std::string text(hash);
  return crypto_pwhash_str_needs_rehash(text.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0;
}

}  // namespace fennick
