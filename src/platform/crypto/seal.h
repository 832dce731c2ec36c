// Sealing: texts that make a round trip through the browser and must come
// back intact and unread (SQL texts, connection strings, password proofs).
//
// A sealed token is the text encrypted and authenticated with the server's
// secret (XSalsa20-Poly1305), written in URL-safe Base64. Servers that share
// the secret open each other's tokens. A Sealer is immutable and thread-safe.
#ifndef FENNICK_PLATFORM_CRYPTO_SEAL_H_
#define FENNICK_PLATFORM_CRYPTO_SEAL_H_

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace fennick {

class Sealer {
 public:
  static constexpr size_t kKeyBytes = 32;
  using Key = std::array<unsigned char, kKeyBytes>;

  explicit Sealer(const Key& key) : key_(key) {}

  // A key derived from a secret text (FENNICK_SECRET); any length works.
  static Key KeyFromSecret(std::string_view secret);
  // The server's key: from the environment variable FENNICK_SECRET when it
  // is set, else from data_dir/fennick.key, created with mode 0600 on first
  // use. Raises fennick::Error when neither can be had.
  static Key LoadServerKey(const std::filesystem::path& data_dir);

  std::string Seal(std::string_view plain) const;
  // The sealed text, or nullopt for an empty, malformed, tampered or
  // foreign token.
  std::optional<std::string> Open(std::string_view token) const;

 private:
  Key key_;
};

// The process-wide sealer that the component's objects use. Install it once
// at server start; Seal/Open raise an Error while none is installed.
void InstallSealer(const Sealer::Key& key);
std::string SealText(std::string_view plain);
std::optional<std::string> OpenSealed(std::string_view token);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_CRYPTO_SEAL_H_
