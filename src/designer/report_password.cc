// Stored report passwords: hashing, matching and renewing.
#include "designer/report_password.h"

#include "designer/report_definition.h"
#include "fennick/error.h"
#include "platform/crypto/password_hash.h"
#include "platform/crypto/seal.h"

namespace fennick::designer {

std::string StoredPasswordForm(std::string_view typed) {
  if (typed.empty()) return std::string();
  return std::string(kHashedPassword) + HashPassword(typed);
}

PasswordMatch MatchPassword(std::string_view stored, std::string_view typed) {
  PasswordMatch match;
  if (stored.empty()) return match;
  if (stored.substr(0, kHashedPassword.size()) == kHashedPassword) {
    const std::string_view hash = stored.substr(kHashedPassword.size());
    match.right = PasswordMatchesHash(hash, typed);
    match.renew = match.right && PasswordHashIsOutdated(hash);
    return match;
  }
  match.right = SecretsEqual(typed, stored);
  match.renew = match.right;
  return match;
}

std::optional<std::string> ReplaceStoredPassword(std::string_view definition,
                                                 std::string_view expected,
                                                 std::string_view stored) {
  // Found as the reader finds it: the first ";rpwd:", a definition that
  // does not start with ";" read as if it did.
  std::string text(definition);
  const bool opened = text.empty() || text.front() != ';';
  if (opened) text.insert(0, ";");
  const size_t key = text.find(";rpwd:");
  if (key == std::string::npos) return std::nullopt;
  const size_t start = key + 6;
  size_t end = text.find(';', start);
  if (end == std::string::npos) end = text.size();
  if (std::string_view(text).substr(start, end - start) != expected) return std::nullopt;
  text.replace(start, end - start, stored);
  if (opened) text.erase(0, 1);
  return text;
}

void RenewStoredPassword(const ReportsFile& file, std::string_view id, std::string_view expected,
                         std::string_view typed) {
  std::string stored;
  try {
    // Hashed before the lock is taken: the lock is held for the splice.
    stored = StoredPasswordForm(typed);
  } catch (const Error&) {
    return;  // Ignoring errors on purpose: the next right password tries again.
  }
  // Only the password's value changes: the rest of the definition stays
  // byte for byte as it was written.
  FileResult result = file.UpdateReportArgs(id, [&](std::string_view args) {
    std::optional<std::string> changed =
        ReplaceStoredPassword(DecodeDefinition(args), expected, stored);
    return changed ? std::optional<std::string>(EncodeDefinition(*changed)) : std::nullopt;
  });
  // Ignoring errors on purpose: the file keeps the old form, still
  // accepted, and the next right password tries again.
  (void)result;
}

}  // namespace fennick::designer
