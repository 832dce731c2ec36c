// Sending a delivery's mail through an SMTP server with libcurl.
//
// The server and its credentials come from the environment or a settings
// file (SmtpSettings), never from a schedule; they are never logged, and
// no failure text names the password (libcurl's messages do not carry
// it). A sender is one transfer at a time; make one per thread.
#ifndef FENNICK_DELIVERY_SMTP_SENDER_H_
#define FENNICK_DELIVERY_SMTP_SENDER_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::delivery {

struct SmtpSettings {
  // "smtp://host:port" (STARTTLS per `tls`) or "smtps://host:port" (TLS
  // from the first byte).
  std::string url;
  std::string user, password;  // both empty: no authentication
  std::string from;            // the sender's address
  // For smtp:// URLs: "starttls" (the default; the mail is not sent when
  // the server cannot switch to TLS) or "none" (plain text; for a server
  // on the same host).
  std::string tls = "starttls";
  long timeout_seconds = 120;
};

// Settings from a file of "key = value" lines (url, user, password, from,
// tls; "#" starts a comment), then the environment, which wins:
// FENNICK_SMTP_URL, FENNICK_SMTP_USER, FENNICK_SMTP_PASSWORD,
// FENNICK_SMTP_FROM, FENNICK_SMTP_TLS. `file` may be empty. Fills `error`
// (and the result is unusable) when the file cannot be read, the URL or
// sender is missing or malformed, or tls is neither value.
SmtpSettings LoadSmtpSettings(const std::filesystem::path& file, std::string* error);

// Sends `message` (RFC 5322 text) from settings.from to `recipients`.
// Returns "" when the server accepted it for every recipient, else the
// reason (libcurl's, or the server's reply).
std::string SendMail(const SmtpSettings& settings, const std::vector<std::string>& recipients,
                     std::string_view message);

}  // namespace fennick::delivery

#endif  // FENNICK_DELIVERY_SMTP_SENDER_H_
