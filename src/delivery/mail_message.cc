// Building a delivery's mail.
#include "delivery/mail_message.h"

#include <ctime>
#include <random>

namespace fennick::delivery {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const uint32_t v = (static_cast<unsigned char>(data[i]) << 16) |
                       (static_cast<unsigned char>(data[i + 1]) << 8) |
                       static_cast<unsigned char>(data[i + 2]);
    out.push_back(kBase64[(v >> 18) & 63]);
    out.push_back(kBase64[(v >> 12) & 63]);
    out.push_back(kBase64[(v >> 6) & 63]);
    out.push_back(kBase64[v & 63]);
  }
  if (i < data.size()) {
    uint32_t v = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
    out.push_back(kBase64[(v >> 18) & 63]);
    out.push_back(kBase64[(v >> 12) & 63]);
    out.push_back(i + 1 < data.size() ? kBase64[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

// A file name that needs no quoting rules: letters, digits, ".", "-", "_"
// and blanks (as "_"), at most 80 characters, never starting with ".".
std::string SafeFileName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (out.size() >= 80) break;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    out.push_back(plain ? static_cast<char>(c) : '_');
  }
  while (!out.empty() && out.front() == '.') out.erase(0, 1);
  return out.empty() ? "report" : out;
}

std::string DateHeader(int64_t when) {
  const std::time_t t = static_cast<std::time_t>(when);
  std::tm tm{};
  gmtime_r(&t, &tm);
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char out[64];
  std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[tm.tm_wday],
                tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return out;
}

std::string Boundary() {
  static thread_local std::random_device device;
  std::string out = "=_fennick_";
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", device());
    out += part;
  }
  return out;
}

}  // namespace

std::string Base64Lines(std::string_view data) {
  const std::string encoded = Base64(data);
  std::string out;
  out.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
  for (size_t i = 0; i < encoded.size(); i += 76) {
    out.append(encoded, i, 76);
    out.append("\r\n");
  }
  return out;
}

std::string EncodeSubject(std::string_view subject) {
  std::string clean;
  bool plain = true;
  for (unsigned char c : subject) {
    if (c < 0x20 || c == 0x7F) continue;
    plain = plain && c < 0x80;
    clean.push_back(static_cast<char>(c));
  }
  // "=?" in plain text would read as the start of an encoded word.
  if (plain && clean.size() <= 70 && clean.find("=?") == std::string::npos) return clean;
  // Words of at most 39 bytes (52 Base64 characters, 64 with the frame,
  // so that "Subject: " and the first word fit in 78), never splitting a
  // UTF-8 sequence.
  std::string out;
  size_t i = 0;
  while (i < clean.size()) {
    size_t end = std::min(clean.size(), i + 39);
    while (end < clean.size() && end > i + 1 &&
           (static_cast<unsigned char>(clean[end]) & 0xC0) == 0x80) {
      --end;
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(std::string_view(clean).substr(i, end - i)) + "?=";
    i = end;
  }
  return out;
}

std::string BuildMessage(const MailMessage& mail) {
  const std::string boundary = Boundary();
  std::string out;
  out.reserve(mail.attachment.content.size() * 4 / 3 + mail.html_body.size() * 4 / 3 + 2048);
  out += "From: " + mail.from + "\r\n";
  out += "To: ";
  for (size_t i = 0; i < mail.to.size(); ++i) out += (i ? ",\r\n " : "") + mail.to[i];
  out += "\r\n";
  out += "Subject: " + EncodeSubject(mail.subject) + "\r\n";
  out += "Date: " + DateHeader(mail.date) + "\r\n";
  if (!mail.message_id.empty()) out += "Message-ID: " + mail.message_id + "\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n";
  out += "--" + boundary + "\r\n";
  out += "Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  out += Base64Lines(mail.html_body);
  const std::string name = SafeFileName(mail.attachment.file_name);
  out += "--" + boundary + "\r\n";
  out += "Content-Type: " + mail.attachment.content_type + "; name=\"" + name + "\"\r\n";
  out += "Content-Transfer-Encoding: base64\r\n";
  out += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
  out += Base64Lines(mail.attachment.content);
  out += "--" + boundary + "--\r\n";
  return out;
}

}  // namespace fennick::delivery
