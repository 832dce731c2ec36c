// New report ids and the shape of typed ids.
#include "designer/report_id.h"

#include <cstdio>
#include <random>

#include "base/ascii.h"

namespace fennick::designer {

std::string ReportIdFor(const std::tm& when, int digit) {
  char text[64];
  std::snprintf(text, sizeof text, "%d%02d%02d%02d%02d%d", (when.tm_year + 1900) % 10,
                when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, digit);
  return text;
}

std::optional<std::string> UniqueReportId(const std::tm& when, int digit,
                                          const std::function<bool(std::string_view)>& taken) {
  std::tm minute = when;
  minute.tm_sec = 0;
  minute.tm_isdst = -1;
  if (digit < 1 || digit > 9) digit = 1;
  for (int tries = 0; tries < kMaxIdTries; ++tries) {
    std::string id = ReportIdFor(minute, digit);
    if (!taken(id)) return id;
    if (++digit > 9) {
      // The next minute; mktime carries into hours, days and years.
      digit = 1;
      minute.tm_min += 1;
      std::mktime(&minute);
    }
  }
  return std::nullopt;
}

int RandomIdDigit() {
  // The digit only spreads ids; uniqueness comes from UniqueReportId.
  std::random_device device;
  return 1 + static_cast<int>(device() % 9);
}

bool IsAcceptableNewId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string NormalizeId(std::string_view id) { return AsciiUpper(TrimBlanks(id)); }

}  // namespace fennick::designer
