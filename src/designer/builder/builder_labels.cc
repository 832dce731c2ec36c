// The builder's texts for format codes and summary entries.
#include "designer/builder/builder_labels.h"

#include "fennick/variant.h"
#include "frame/date_tokens.h"
#include "platform/intl/format.h"

namespace fennick::designer {
namespace {

struct FormatOption {
  const char* code;
  const char* name;
};

// The format list's names; samples follow some of them (FormatLabels).
const FormatOption kFormatNames[] = {
    {"N1", "Decimal"},
    {"N2", "Currency"},
    {"N3", "Percentage"},
    {"N4", "Number"},
    {"C8", "Long Decimal"},
    {"B1", "Yes/No"},
    {"B2", "True/False"},
    {"B3", "On/Off"},
    {"C6", "Images(true.gif/false.gif)"},
    {"C2", "Other"},
    {"C4", "Hidden"},
    {"D1", "Long Date"},
    {"D2", "Medium Date"},
    {"D3", "Short Date (US)"},
    {"D4", "Short Date"},
    {"T1", "Time"},
    {"T2", "Army Time"},
    {"S1", "Phone: (800) 555-9000"},
    {"S2", "Phone 2: 800-555-9000"},
    {"S3", "SSN: 123-45-6789"},
    {"S4", "URL: Webpage link"},
    {"S5", "Email Address"},
    {"S6", "Image URL"},
    {"C1", "Link to another report"},
    {"C3", "Insert Hyperlink"},
    {"C5", "Text Replacement"},
    {"O1", "Image"},
    {"C7", "Document"},
};

}  // namespace

// The samples are 1,000 and 15 July 1997 at 14:30, written by the routines
// and formats the report grid uses for each code.
std::map<std::string, std::string, std::less<>> FormatLabels() {
  DateParts parts;
  parts.year = 1997;
  parts.month = 7;
  parts.day = 15;
  parts.hour = 14;
  parts.minute = 30;
  const double date = MakeOleDate(parts);
  std::string long_decimal = intl::FormatNumber(1000, 1);
  long_decimal.back() = '?';
  long_decimal += "??";
  const std::map<std::string_view, std::string> samples = {
      {"N1", intl::FormatNumber(1000, 2)},
      {"N2", intl::FormatCurrency(1000, 2)},
      {"N3", intl::FormatPercent(0.1, 0)},
      {"N4", intl::FormatNumber(1000, 0)},
      {"C8", long_decimal},
      {"D1", FormatDateTokens(date, "%A, %B %d%O %Y")},
      {"D2", FormatDateTokens(date, "%D-%b-%y")},
      {"D3", intl::FormatDateTime(date, 2)},
      {"D4", FormatDateTokens(date, "%d/%m/%y")},
      {"T1", intl::FormatDateTime(date, 3)},
      {"T2", intl::FormatDateTime(date, 4)},
  };
  std::map<std::string, std::string, std::less<>> labels;
  for (const FormatOption& o : kFormatNames) {
    auto sample = samples.find(o.code);
    labels[o.code] = sample == samples.end() ? o.name : std::string(o.name) + ": " + sample->second;
  }
  return labels;
}

std::string SummaryLabel(std::string_view entry) {
  const size_t first = entry.find("__");
  const size_t second = first == std::string_view::npos ? first : entry.find("__", first + 2);
  if (second == std::string_view::npos) return std::string(entry);
  const std::string_view field = entry.substr(0, first);
  const std::string_view type = entry.substr(first + 2, second - first - 2);
  const std::string_view text = entry.substr(second + 2);
  std::string label;
  if (!text.empty()) label.append(text).append(": ");
  label.append(type).append(" of ").append(field);
  return label;
}

}  // namespace fennick::designer
