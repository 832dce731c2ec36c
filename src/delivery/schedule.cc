// Checks of a schedule's values.
#include "delivery/schedule.h"

#include "base/ascii.h"

namespace fennick::delivery {
namespace {

bool IsAtomChar(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+/=?^_`{|}~-").find(static_cast<char>(c)) !=
         std::string_view::npos;
}

bool HasControl(std::string_view text, bool allow_line_breaks) {
  for (unsigned char c : text) {
    if (allow_line_breaks && (c == '\n' || c == '\r' || c == '\t')) continue;
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

std::string CheckValues(const NamedValues& values, std::string_view what) {
  for (const auto& [name, value] : values) {
    if (name.empty() || name.size() > 128 || value.size() > kMaxValueBytes ||
        HasControl(name, false) || HasControl(value, false)) {
      return "A " + std::string(what) + " is empty, too long or holds control characters.";
    }
  }
  return "";
}

}  // namespace

std::string CheckAddress(std::string_view address) {
  const size_t at = address.rfind('@');
  if (address.size() > 254 || at == std::string_view::npos || at == 0 || at > 64) {
    return "Not a mail address: " + std::string(address.substr(0, 254));
  }
  const std::string_view local = address.substr(0, at), domain = address.substr(at + 1);
  bool ok = local.front() != '.' && local.back() != '.' &&
            local.find("..") == std::string_view::npos;
  for (unsigned char c : local) ok = ok && (c == '.' || IsAtomChar(c));
  // The domain: dot-separated labels of letters, digits and inner hyphens.
  size_t start = 0;
  ok = ok && !domain.empty();
  while (ok && start <= domain.size()) {
    size_t dot = domain.find('.', start);
    if (dot == std::string_view::npos) dot = domain.size();
    const std::string_view label = domain.substr(start, dot - start);
    ok = !label.empty() && label.size() <= 63 && label.front() != '-' && label.back() != '-';
    for (unsigned char c : label) {
      ok = ok && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-');
    }
    start = dot + 1;
  }
  if (!ok) return "Not a mail address: " + std::string(address);
  return "";
}

bool IsScheduleFormat(std::string_view format) {
  return format == "csv" || format == "xlsx" || format == "pdf";
}

std::string Validate(const Schedule& schedule) {
  if (TrimBlanks(schedule.report_id).empty()) return "The schedule names no report.";
  if (schedule.recipients.empty()) return "The schedule has no recipients.";
  if (schedule.recipients.size() > kMaxRecipients) {
    return "A schedule may have at most " + std::to_string(kMaxRecipients) + " recipients.";
  }
  for (const std::string& to : schedule.recipients) {
    if (std::string reason = CheckAddress(to); !reason.empty()) {
      // The reason quotes the address: never with its line breaks.
      return HasControl(to, false) ? "A recipient holds control characters." : reason;
    }
  }
  if (schedule.subject.size() > kMaxSubjectBytes || HasControl(schedule.subject, false)) {
    return "The subject must be one line of at most " + std::to_string(kMaxSubjectBytes) +
           " bytes.";
  }
  if (schedule.message.size() > kMaxMessageBytes || HasControl(schedule.message, true)) {
    return "The message must be text of at most " + std::to_string(kMaxMessageBytes) +
           " bytes.";
  }
  if (!IsScheduleFormat(schedule.format)) {
    return "Unknown format: " + std::string(schedule.format.substr(0, 16)) +
           " (csv, xlsx or pdf).";
  }
  if (std::string reason = CheckTiming(schedule.timing); !reason.empty()) return reason;
  if (std::string reason = CheckValues(schedule.parameters, "parameter"); !reason.empty()) {
    return reason;
  }
  return CheckValues(schedule.session_values, "session value");
}

}  // namespace fennick::delivery
