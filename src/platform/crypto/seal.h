// Sealing: texts that make a round trip through the browser and must come
// back intact and unread (SQL texts, connection strings, password proofs).
//
// A sealed token is the text encrypted and authenticated with the server's
// secret (XChaCha20-Poly1305), written in URL-safe Base64. Every token is
// sealed for one purpose, and the purpose's name is authenticated with it:
// a token opens only for the purpose it was made for, so a value the
// browser carries in one field cannot be moved into another. Servers that
// share the secret open each other's tokens. A Sealer is immutable and
// thread-safe.
#ifndef FENNICK_PLATFORM_CRYPTO_SEAL_H_
#define FENNICK_PLATFORM_CRYPTO_SEAL_H_

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// What a sealed value is for. Adding a purpose is one enumerator here and
// one name in SealPurposeName; a name, once used, is never given to another
// purpose (old tokens would open as the new one).
enum class SealPurpose {
  kSortDefault,      // a grid's DefaultSortOrder, carried in its "sortdef" field
  kSortRequired,     // a grid's RequiredSortOrder, carried in its "sortreq" field
  kFieldDownload,    // a binary cell's link: command, connection string, column
  kDesignerAction,   // a designer link or form that changes the reports file
  kReportPassword,   // proof that a report's password was given ("erid")
  kReportStatement,  // the statement a report page runs again ("__SQL")
  kReportReference,  // the report or table a report page shows ("__ARGS")
  kReportEdit,       // the Build button's link to the builder
  kReportBuilder,    // the report builder window: session, report edited, group
  kBuilderPassword,  // a report password typed in the builder, until Finish
  kRowCount,         // the rows a grid counted, for its query ("rowcount")
};

// The name bound into every token of the purpose.
std::string_view SealPurposeName(SealPurpose purpose);

// How long a token sealed for one browser session stays good (a report
// page's statement, a password proof, a binary cell's download link): a
// working day, after which the page that made it is loaded again.
inline constexpr int64_t kSessionSealLifetimeSeconds = 8 * 3600;

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

  // A fresh token (random nonce) for `plain`, made for `purpose`.
  std::string Seal(SealPurpose purpose, std::string_view plain) const;
  // The sealed text, or nullopt for an empty, malformed, tampered or
  // foreign token, or one sealed for another purpose.
  std::optional<std::string> Open(SealPurpose purpose, std::string_view token) const;

 private:
  Key key_;
};

// The process-wide sealer that the component's objects use. Install it once
// at server start; the functions below raise an Error while none is
// installed.
void InstallSealer(const Sealer::Key& key);
std::string SealText(SealPurpose purpose, std::string_view plain);
std::optional<std::string> OpenSealed(SealPurpose purpose, std::string_view token);

// Several texts sealed as one token, so that they can be neither separated
// nor recombined with the parts of another token. OpenSealedParts gives
// them back in order, or nullopt when the token does not open for the
// purpose or does not hold exactly `count` parts.
std::string SealParts(SealPurpose purpose, std::initializer_list<std::string_view> parts);
std::optional<std::vector<std::string>> OpenSealedParts(SealPurpose purpose,
                                                        std::string_view token, size_t count);

// A short fingerprint of several texts (BLAKE2b, 128 bits, as 32 hex
// digits), for binding a sealed value to texts too long to carry in it.
// The parts are length-prefixed, so no two lists share a fingerprint by
// moving text from one part to the next. Keyless: it hides nothing, and
// belongs inside a sealed token.
std::string TextDigest(std::initializer_list<std::string_view> parts);

// Whether two secrets (a typed password and the stored one) are equal, in
// a time that depends on neither their contents nor their lengths: both are
// hashed first and the digests compared in constant time.
bool SecretsEqual(std::string_view a, std::string_view b);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_CRYPTO_SEAL_H_
