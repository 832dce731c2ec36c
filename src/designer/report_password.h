// Report passwords as a definition's "rpwd" key keeps them.
//
// A password set or changed in the builder is stored as a salted hash
// (platform/crypto/password_hash.h) after the marker kHashedPassword, so
// that the reports file, its backups and copies no longer hold it. Files
// written before hold the password itself; it is still accepted, and
// replaced by its hash once it is typed right. "" means no password. An
// old password that itself began with the marker would be read as a hash
// (and never match): such a report gets its password set again.
#ifndef FENNICK_DESIGNER_REPORT_PASSWORD_H_
#define FENNICK_DESIGNER_REPORT_PASSWORD_H_

#include <optional>
#include <string>
#include <string_view>

#include "designer/reports_file.h"

namespace fennick::designer {

inline constexpr std::string_view kHashedPassword = "{pwhash}";

// The stored form of a password typed in the builder: its hash with the
// marker; "" (no password) stays "". Raises fennick::Error when the hash
// cannot be computed.
std::string StoredPasswordForm(std::string_view typed);

struct PasswordMatch {
  bool right = false;
  // The password was right, and its stored form should be replaced by a
  // new hash: it is the password itself, or a hash made with older limits.
  bool renew = false;
};

// Compares a typed password with the stored form. No password never
// matches. The password itself is compared in constant time.
PasswordMatch MatchPassword(std::string_view stored, std::string_view typed);

// The plain definition with its rpwd value replaced by `stored`, when that
// value is still `expected`; nullopt when it is not (the password changed
// meanwhile) or the definition has no rpwd.
std::optional<std::string> ReplaceStoredPassword(std::string_view definition,
                                                 std::string_view expected,
                                                 std::string_view stored);

// After a right password whose match says renew: stores the hash of
// `typed` in report `id` in place of `expected`, under the file's lock,
// unless the stored password changed in the meantime. A failure leaves the
// file as it was (the next right password tries again); nothing of either
// password is logged.
void RenewStoredPassword(const ReportsFile& file, std::string_view id, std::string_view expected,
                         std::string_view typed);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_REPORT_PASSWORD_H_
