// Sealing with libsodium's XChaCha20-Poly1305 AEAD and the server key file.
//
// A token is nonce, ciphertext and tag in URL-safe Base64 without padding.
// The purpose's name is the AEAD's additional data: it is not in the token,
// yet opening with another purpose fails the tag check.
#include "platform/crypto/seal.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "fennick/error.h"

namespace fennick {
namespace {

constexpr char kKeyFileName[] = "fennick.key";
constexpr size_t kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr int kBase64Variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;

void EnsureSodium() {
  if (sodium_init() < 0) throw Error(-1, "libsodium could not be initialised", "Sealer");
}

std::optional<Sealer::Key> ParseHexKey(std::string_view hex) {
  while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r' || hex.back() == ' '))
    hex.remove_suffix(1);
  Sealer::Key key;
  size_t len = 0;
  if (sodium_hex2bin(key.data(), key.size(), hex.data(), hex.size(), nullptr, &len,
                     nullptr) != 0 ||
      len != key.size()) {
    return std::nullopt;
  }
  return key;
}

std::optional<std::string> ReadSmallFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data(256, '\0');
  ssize_t n = ::read(fd, data.data(), data.size());
  ::close(fd);
  if (n < 0) return std::nullopt;
  data.resize(static_cast<size_t>(n));
  return data;
}

std::mutex sealer_mutex;
std::shared_ptr<const Sealer> process_sealer;  // GUARDED_BY(sealer_mutex)

std::shared_ptr<const Sealer> GetProcessSealer() {
  std::lock_guard<std::mutex> lock(sealer_mutex);
  if (!process_sealer) {
    throw Error(-1, "No server secret is installed: sealed values cannot be made or read",
                "Sealer");
  }
  return process_sealer;
}

}  // namespace

std::string_view SealPurposeName(SealPurpose purpose) {
  switch (purpose) {
    case SealPurpose::kSortDefault:
      return "fennick/grid/sort-default";
    case SealPurpose::kSortRequired:
      return "fennick/grid/sort-required";
    case SealPurpose::kFieldDownload:
      return "fennick/grid/field-download";
    case SealPurpose::kDesignerAction:
      return "fennick/designer/action";
    case SealPurpose::kReportPassword:
      return "fennick/designer/report-password";
    case SealPurpose::kReportStatement:
      return "fennick/designer/report-statement";
    case SealPurpose::kReportReference:
      return "fennick/designer/report-reference";
    case SealPurpose::kReportEdit:
      return "fennick/designer/report-edit";
    case SealPurpose::kReportBuilder:
      return "fennick/designer/report-builder";
    case SealPurpose::kBuilderPassword:
      return "fennick/designer/builder-password";
    case SealPurpose::kRowCount:
      return "fennick/grid/row-count";
  }
  // Only a value cast from outside the enumeration gets here; no token is
  // ever sealed or opened for it.
  throw Error(-1, "Unknown seal purpose", "Sealer");
}

Sealer::Key Sealer::KeyFromSecret(std::string_view secret) {
  EnsureSodium();
  Key key;
  static const unsigned char kContext[] = "fennick-seal-v1";
  crypto_generichash(key.data(), key.size(),
                     reinterpret_cast<const unsigned char*>(secret.data()), secret.size(),
                     kContext, sizeof kContext - 1);
  return key;
}

Sealer::Key Sealer::LoadServerKey(const std::filesystem::path& data_dir) {
  EnsureSodium();
  if (const char* secret = std::getenv("FENNICK_SECRET"); secret && *secret) {
    return KeyFromSecret(secret);
  }
  const auto path = data_dir / kKeyFileName;
  if (auto existing = ReadSmallFile(path)) {
    if (auto key = ParseHexKey(*existing)) return *key;
    throw Error(-1, "The key file " + path.string() + " is not a valid key", "Sealer");
  }
  std::error_code ec;
  std::filesystem::create_directories(data_dir, ec);
  // Written to a private temporary file, then linked into place: a second
  // server starting at the same moment either wins the link or reads the
  // winner's key, never a half-written one.
  Key key;
  randombytes_buf(key.data(), key.size());
  char hex[kKeyBytes * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, key.data(), key.size());
  std::string temp = (data_dir / ".fennick.key.XXXXXX").string();
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    throw Error(-1, "Cannot create the key file in " + data_dir.string(), "Sealer");
  }
  ::fchmod(fd, 0600);
  std::string content = std::string(hex) + "\n";
  bool written = ::write(fd, content.data(), content.size()) ==
                     static_cast<ssize_t>(content.size()) &&
                 ::fsync(fd) == 0;
  ::close(fd);
  if (!written) {
    ::unlink(temp.c_str());
    throw Error(-1, "Cannot write the key file in " + data_dir.string(), "Sealer");
  }
  int linked = ::link(temp.c_str(), path.c_str());
  ::unlink(temp.c_str());
  if (linked != 0) {
    if (auto existing = ReadSmallFile(path)) {
      if (auto other = ParseHexKey(*existing)) return *other;
    }
    throw Error(-1, "Cannot create the key file " + path.string(), "Sealer");
  }
  return key;
}

std::string Sealer::Seal(SealPurpose purpose, std::string_view plain) const {
  const std::string_view ad = SealPurposeName(purpose);
  std::string box(kNonceBytes + plain.size() + kTagBytes, '\0');
  auto* out = reinterpret_cast<unsigned char*>(box.data());
  randombytes_buf(out, kNonceBytes);
  unsigned long long sealed_len = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(
      out + kNonceBytes, &sealed_len, reinterpret_cast<const unsigned char*>(plain.data()),
      plain.size(), reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), nullptr, out,
      key_.data());
  std::string token(sodium_base64_encoded_len(box.size(), kBase64Variant), '\0');
  sodium_bin2base64(token.data(), token.size(), out, box.size(), kBase64Variant);
  token.resize(token.size() - 1);  // the terminating NUL
  return token;
}

std::optional<std::string> Sealer::Open(SealPurpose purpose, std::string_view token) const {
  if (token.empty()) return std::nullopt;
  std::string box(token.size(), '\0');
  size_t len = 0;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(box.data()), box.size(), token.data(),
                        token.size(), nullptr, &len, nullptr, kBase64Variant) != 0 ||
      len < kNonceBytes + kTagBytes) {
    return std::nullopt;
  }
  const std::string_view ad = SealPurposeName(purpose);
  const auto* in = reinterpret_cast<const unsigned char*>(box.data());
  std::string plain(len - kNonceBytes - kTagBytes, '\0');
  unsigned long long plain_len = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          reinterpret_cast<unsigned char*>(plain.data()), &plain_len, nullptr, in + kNonceBytes,
          len - kNonceBytes, reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), in,
          key_.data()) != 0) {
    return std::nullopt;
  }
  plain.resize(static_cast<size_t>(plain_len));
  return plain;
}

void InstallSealer(const Sealer::Key& key) {
  EnsureSodium();
  std::lock_guard<std::mutex> lock(sealer_mutex);
  process_sealer = std::make_shared<const Sealer>(key);
}

std::string SealText(SealPurpose purpose, std::string_view plain) {
  return GetProcessSealer()->Seal(purpose, plain);
}

std::optional<std::string> OpenSealed(SealPurpose purpose, std::string_view token) {
  return GetProcessSealer()->Open(purpose, token);
}

// Parts are written as their byte length in decimal, ":", and the bytes, so
// that no text a part holds can end it early or start the next.
std::string SealParts(SealPurpose purpose, std::initializer_list<std::string_view> parts) {
  std::string packed;
  for (std::string_view part : parts) {
    packed.append(std::to_string(part.size())).push_back(':');
    packed.append(part);
  }
  return SealText(purpose, packed);
}

std::optional<std::vector<std::string>> OpenSealedParts(SealPurpose purpose,
                                                        std::string_view token, size_t count) {
  const std::optional<std::string> packed = OpenSealed(purpose, token);
  if (!packed) return std::nullopt;
  std::vector<std::string> parts;
  std::string_view rest = *packed;
  while (!rest.empty()) {
    size_t length = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), length);
    const size_t digits = static_cast<size_t>(end - rest.data());
    if (ec != std::errc() || digits == 0 || digits >= rest.size() || rest[digits] != ':' ||
        length > rest.size() - digits - 1) {
      return std::nullopt;
    }
    parts.emplace_back(rest.substr(digits + 1, length));
    rest.remove_prefix(digits + 1 + length);
  }
  if (parts.size() != count) return std::nullopt;
  return parts;
}

std::string TextDigest(std::initializer_list<std::string_view> parts) {
  EnsureSodium();
  crypto_generichash_state state;
  unsigned char digest[16];
  crypto_generichash_init(&state, nullptr, 0, sizeof digest);
  for (std::string_view part : parts) {
    const std::string length = std::to_string(part.size()) + ":";
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(length.data()),
                              length.size());
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(part.data()),
                              part.size());
  }
  crypto_generichash_final(&state, digest, sizeof digest);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * sizeof digest);
  for (unsigned char b : digest) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

bool SecretsEqual(std::string_view a, std::string_view b) {
  if (sodium_init() < 0) return false;
  unsigned char da[crypto_generichash_BYTES], db[crypto_generichash_BYTES];
  crypto_generichash(da, sizeof da, reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                     nullptr, 0);
  crypto_generichash(db, sizeof db, reinterpret_cast<const unsigned char*>(b.data()), b.size(),
                     nullptr, 0);
  return sodium_memcmp(da, db, sizeof da) == 0;
}

}  // namespace fennick
