// Password hashes: a password stored so that whoever reads the store (a
// backup, a copy of the file) cannot read the password back.
//
// A hash is libsodium's crypto_pwhash_str text (Argon2id with a random
// salt, the interactive limits: about 64 MB and a tenth of a second per
// hash): ASCII, under 128 characters, holding "$", ",", "=" but never ";"
// or a line break. At most kConcurrentHashes hashes are computed at once
// in the process (a caller waits for its turn), so a burst of password
// posts cannot take more memory than that many hashes need. Thread-safe.
#ifndef FENNICK_PLATFORM_CRYPTO_PASSWORD_HASH_H_
#define FENNICK_PLATFORM_CRYPTO_PASSWORD_HASH_H_

#include <string>
#include <string_view>

namespace fennick {

inline constexpr int kConcurrentHashes = 4;

// A new hash of `password` (a fresh salt each call). Raises fennick::Error
// when the hash cannot be computed (no memory).
std::string HashPassword(std::string_view password);

// Whether `password` is the one `hash` was made from; false for a text
// that is no hash, and for one whose limits exceed HashPassword's (more
// memory, more than twice the passes): it is refused, never computed.
bool PasswordMatchesHash(std::string_view hash, std::string_view password);

// Whether `hash` was made with other limits than HashPassword uses now (or
// is no hash), so that it should be made again once the password is known.
bool PasswordHashIsOutdated(std::string_view hash);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_CRYPTO_PASSWORD_HASH_H_
