// SMTP through libcurl.
#include "delivery/smtp_sender.h"

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>

#include "base/ascii.h"
#include "delivery/schedule.h"

namespace fennick::delivery {
namespace {

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Upload {
  std::string_view data;
  size_t offset = 0;
};

size_t ReadPiece(char* buffer, size_t size, size_t count, void* user) {
  Upload& upload = *static_cast<Upload*>(user);
  const size_t n = std::min(size * count, upload.data.size() - upload.offset);
  std::memcpy(buffer, upload.data.data() + upload.offset, n);
  upload.offset += n;
  return n;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

SmtpSettings LoadSmtpSettings(const std::filesystem::path& file, std::string* error) {
  SmtpSettings s;
  std::string reason;
  if (!file.empty()) {
    std::ifstream in(file);
    if (!in) reason = "The mail settings file cannot be read.";
    std::string line;
    while (reason.empty() && std::getline(in, line)) {
      const std::string_view text = TrimBlanks(line);
      if (text.empty() || text.front() == '#') continue;
      const size_t eq = text.find('=');
      if (eq == std::string_view::npos) {
        reason = "A line of the mail settings file is not \"key = value\".";
        break;
      }
      const std::string key = AsciiLower(TrimBlanks(text.substr(0, eq)));
      const std::string value(TrimBlanks(text.substr(eq + 1)));
      if (key == "url") s.url = value;
      else if (key == "user") s.user = value;
      else if (key == "password") s.password = value;
      else if (key == "from") s.from = value;
      else if (key == "tls") s.tls = value;
      else reason = "Unknown key in the mail settings file: " + key;
    }
  }
  auto env = [](const char* name, std::string& into) {
    if (const char* v = std::getenv(name); v != nullptr && *v != '\0') into = v;
  };
  env("FENNICK_SMTP_URL", s.url);
  env("FENNICK_SMTP_USER", s.user);
  env("FENNICK_SMTP_PASSWORD", s.password);
  env("FENNICK_SMTP_FROM", s.from);
  env("FENNICK_SMTP_TLS", s.tls);
  if (reason.empty() && s.url.rfind("smtp://", 0) != 0 && s.url.rfind("smtps://", 0) != 0) {
    reason = "The mail server's URL must start with smtp:// or smtps:// (FENNICK_SMTP_URL).";
  }
  if (reason.empty() && !CheckAddress(s.from).empty()) {
    reason = "The sender's address is missing or malformed (FENNICK_SMTP_FROM).";
  }
  if (reason.empty() && s.tls != "starttls" && s.tls != "none") {
    reason = "FENNICK_SMTP_TLS must be starttls or none.";
  }
  for (char c : s.url + s.user + s.password) {
    if (reason.empty() && (c == '\r' || c == '\n')) reason = "The mail settings hold line breaks.";
  }
  if (error) *error = reason;
  return s;
}

std::string SendMail(const SmtpSettings& settings, const std::vector<std::string>& recipients,
                     std::string_view message) {
  InitCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return "The mail library could not start.";
  std::unique_ptr<curl_slist, ListDeleter> to;
  for (const std::string& r : recipients) {
    curl_slist* grown = curl_slist_append(to.get(), ("<" + r + ">").c_str());
    if (grown == nullptr) return "Out of memory.";
    to.release();
    to.reset(grown);
  }
  Upload upload{message, 0};
  char error[CURL_ERROR_SIZE] = "";
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, settings.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  if (settings.url.rfind("smtps://", 0) == 0 || settings.tls == "starttls") {
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  }
  if (!settings.user.empty()) {
    curl_easy_setopt(c, CURLOPT_USERNAME, settings.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, settings.password.c_str());
  }
  const std::string from = "<" + settings.from + ">";
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, to.get());
  curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadPiece);
  curl_easy_setopt(c, CURLOPT_READDATA, &upload);
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, settings.timeout_seconds);
  const CURLcode code = curl_easy_perform(c);
  if (code == CURLE_OK) return "";
  std::string reason = error[0] != '\0' ? error : curl_easy_strerror(code);
  long reply = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply);
  if (reply != 0) reason += " (server reply " + std::to_string(reply) + ")";
  return reason;
}

}  // namespace fennick::delivery
