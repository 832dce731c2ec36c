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

std::string UniqueReportId(const std::tm& when, int digit,
                           const std::function<bool(std::string_view)>& taken) {
  if (digit < 1 || digit > 9) digit = 1;
  for (int step = 0; step < 9; ++step) {
    std::string id = ReportIdFor(when, (digit - 1 + step) % 9 + 1);
    if (!taken(id)) return id;
  }
  // The minute is full: more digits, two at a time. Twenty random tries
  // at one width all taken means the width is crowded; the next one has a
  // hundred times the room, so the search ends.
  const std::string minute = ReportIdFor(when, digit);
  std::random_device device;
  for (size_t extra = 2;; extra += 2) {
    for (int tries = 0; tries < 20; ++tries) {
      std::string id = minute;
      for (size_t k = 0; k < extra; ++k) id.push_back(static_cast<char>('0' + device() % 10));
      if (!taken(id)) return id;
    }
  }
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
