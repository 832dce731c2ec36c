// Reading and writing report definitions and their field schema.
#include "designer/report_definition.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "base/ascii.h"
#include "fennick/variant.h"
#include "frame/argument_codec.h"

namespace fennick::designer {
namespace {

// How the reader turns a key's text into its member.
enum class Rule {
  kText,     // as written
  kInteger,  // a 16-bit number; empty or bad keeps the member
  kLeading,  // the value of the leading digits; none gives 0
  kSortDef,  // a 16-bit number; anything else gives 0
  kRowNum,   // a 16-bit number; anything else gives 1
};

struct Key {
  const char* name;
  Rule rule;
  std::string ReportDefinition::*text;
  int16_t ReportDefinition::*number;
};

using R = ReportDefinition;
constexpr std::string R::*kNoText = nullptr;
constexpr int16_t R::*kNoNumber = nullptr;

// Writing order. The reader does not depend on it.
const Key kKeys[] = {
    {"tables", Rule::kText, &R::tables, kNoNumber},
    {"fields", Rule::kText, &R::fields, kNoNumber},
    {"filters", Rule::kText, &R::filters, kNoNumber},
    {"relations", Rule::kText, &R::relations, kNoNumber},
    {"schema", Rule::kText, &R::schema, kNoNumber},
    {"dbt", Rule::kInteger, kNoText, &R::dbt},
    {"rtitle", Rule::kText, &R::rtitle, kNoNumber},
    {"rdesc", Rule::kText, &R::rdesc, kNoNumber},
    {"rgroup", Rule::kText, &R::rgroup, kNoNumber},
    {"rid", Rule::kText, &R::rid, kNoNumber},
    {"summary", Rule::kText, &R::summary, kNoNumber},
    {"rpwd", Rule::kText, &R::rpwd, kNoNumber},
    {"pagesize", Rule::kInteger, kNoText, &R::pagesize},
    {"rfmt", Rule::kInteger, kNoText, &R::rfmt},
    {"sonly", Rule::kInteger, kNoText, &R::sonly},
    {"grpby", Rule::kInteger, kNoText, &R::grpby},
    {"join", Rule::kInteger, kNoText, &R::join},
    {"distinct", Rule::kInteger, kNoText, &R::distinct},
    {"rtype", Rule::kInteger, kNoText, &R::rtype},
    {"mtbl", Rule::kText, &R::mtbl, kNoNumber},
    {"shwsrch", Rule::kLeading, kNoText, &R::shwsrch},
    {"sortdef", Rule::kSortDef, kNoText, &R::sortdef},
    {"reqparam", Rule::kText, &R::reqparam, kNoNumber},
    {"rownum", Rule::kRowNum, kNoText, &R::rownum},
    {"coltotal", Rule::kLeading, kNoText, &R::coltotal},
    {"colavg", Rule::kLeading, kNoText, &R::colavg},
    {"rowtotal", Rule::kLeading, kNoText, &R::rowtotal},
    {"rowavg", Rule::kLeading, kNoText, &R::rowavg},
    {"isproc", Rule::kLeading, kNoText, &R::isproc},
    {"gflds", Rule::kText, &R::gflds, kNoNumber},
    {"params", Rule::kText, &R::params, kNoNumber},
    {"chart", Rule::kInteger, kNoText, &R::chart},
    {"graph", Rule::kInteger, kNoText, &R::graph},
    {"conly", Rule::kInteger, kNoText, &R::conly},
    {"legend", Rule::kText, &R::legend, kNoNumber},
    {"gtitle", Rule::kText, &R::gtitle, kNoNumber},
    {"xlabel", Rule::kText, &R::xlabel, kNoNumber},
    {"ylabel", Rule::kText, &R::ylabel, kNoNumber},
    {"count", Rule::kInteger, kNoText, &R::count},
    {"sum", Rule::kText, &R::sum, kNoNumber},
    {"avg", Rule::kText, &R::avg, kNoNumber},
    {"min", Rule::kText, &R::min, kNoNumber},
    {"max", Rule::kText, &R::max, kNoNumber},
    {"stdev", Rule::kText, &R::stdev, kNoNumber},
    {"var", Rule::kText, &R::var, kNoNumber},
    {"nftotal", Rule::kText, &R::nftotal, kNoNumber},
    {"nfavg", Rule::kText, &R::nfavg, kNoNumber},
    {"agcaps", Rule::kText, &R::agcaps, kNoNumber},
    {"distsrchtxt", Rule::kLeading, kNoText, &R::distsrchtxt},
};

// A 16-bit integer as a late-bound conversion makes it: any number text,
// rounded half to even; nullopt for no number or one out of range.
std::optional<int16_t> ToInteger(std::string_view text) {
  double value = 0;
  if (!ParseNumber(text, value)) return std::nullopt;
  value = std::nearbyint(value);  // the default rounding mode rounds half to even
  if (!(value >= std::numeric_limits<int16_t>::min() &&
        value <= std::numeric_limits<int16_t>::max())) {
    return std::nullopt;
  }
  return static_cast<int16_t>(value);
}

// The value of the leading digits (after blanks and an optional sign); 0
// when there are none. Clamped to the 16-bit range rather than failing.
int16_t LeadingValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 32768) value = 32768;
  }
  if (negative) value = -value;
  if (value > 32767) value = 32767;
  return static_cast<int16_t>(value);
}

bool HasPrefix(std::string_view name) {
  size_t dot = name.find('.');
  return dot != std::string_view::npos && dot > 0;
}

std::string_view BareName(std::string_view name) {
  return HasPrefix(name) ? name.substr(name.find('.') + 1) : name;
}

// Where the attribute's value lies in `text` (the schema with a leading
// ","), searching from the entry at `entry`; nullopt when the code is not
// found. `end` is where the closing delimiter is (or the end of the text).
struct ValueSpan {
  size_t begin;
  size_t end;
};

std::optional<ValueSpan> FindAttribute(std::string_view text, size_t entry,
                                       std::string_view code) {
  const bool tilde_form = text.find("~f") != std::string_view::npos;
  const char delimiter = tilde_form ? '~' : ':';
  std::string marker(1, delimiter);
  marker.append(code);
  const size_t at = text.find(marker, entry);
  if (at == std::string_view::npos) return std::nullopt;
  const size_t begin = std::min(text.size(), at + 1 + code.size());
  size_t end = text.find(delimiter, begin);
  if (end == std::string_view::npos) end = text.size();
  return ValueSpan{begin, end};
}

std::string AttributeAt(std::string_view text, size_t entry, std::string_view code) {
  std::optional<ValueSpan> span = FindAttribute(text, entry, code);
  if (!span) return std::string();
  return std::string(text.substr(span->begin, span->end - span->begin));
}

// The entry whose name is `bare`, alone or after a table prefix
// ("Amount" finds ",Orders.Amount~" and ",Amount~" but not ",Amount2~" or
// ",TotalAmount~"), ignoring case; npos when none. Only the name part of an
// entry counts, never a caption or format.
size_t FindWholeName(std::string_view text, std::string_view bare) {
  if (bare.empty()) return std::string_view::npos;
  for (size_t at = FindIgnoreCase(text, bare); at != std::string_view::npos;
       at = FindIgnoreCase(text, bare, at + 1)) {
    const size_t end = at + bare.size();
    if (at == 0 || end >= text.size()) continue;
    const char before = text[at - 1], after = text[end];
    if ((before != ',' && before != '.') || (after != '~' && after != ':')) continue;
    const size_t entry = text.rfind(',', at - 1);
    if (entry == std::string_view::npos) continue;
    const std::string_view name = text.substr(entry + 1, at - entry - 1);
    if (name.find('~') == std::string_view::npos && name.find(':') == std::string_view::npos) {
      return entry;
    }
  }
  return std::string_view::npos;
}

std::string EntryMarker(std::string_view name) {
  std::string marker = ",";
  marker.append(name);
  marker.push_back('~');
  return marker;
}

}  // namespace

std::string GetDefinitionValue(std::string_view definition, std::string_view key) {
  // Same reading as the postback pairs: ";" + key + ":" up to the next ";".
  return GetArgument(definition, key);
}

void ReadDefinition(std::string_view definition, ReportDefinition& report) {
  std::string text;
  if (definition.empty() || definition.front() != ';') text.push_back(';');
  text.append(definition);
  for (const Key& key : kKeys) {
    const std::string value = GetArgument(text, key.name);
    switch (key.rule) {
      case Rule::kText:
        report.*key.text = value;
        break;
      case Rule::kInteger:
        if (std::optional<int16_t> n = ToInteger(value)) report.*key.number = *n;
        break;
      case Rule::kLeading:
        report.*key.number = LeadingValue(value);
        break;
      case Rule::kSortDef:
        report.*key.number = ToInteger(value).value_or(0);
        break;
      case Rule::kRowNum:
        report.*key.number = ToInteger(value).value_or(1);
        break;
    }
  }
}

std::string WriteDefinition(const ReportDefinition& report) {
  std::string out;
  out.reserve(256 + report.schema.size() + report.fields.size());
  for (const Key& key : kKeys) {
    out.push_back(';');
    out.append(key.name);
    out.push_back(':');
    if (key.text) {
      out.append(DefinitionText(report.*key.text));
    } else {
      out.append(std::to_string(report.*key.number));
    }
  }
  out.push_back(';');
  return out;
}

std::string EncodeDefinition(std::string_view plain) { return EncodeArgument(plain); }

std::string DecodeDefinition(std::string_view encoded) {
  // Files written by other tools may break lines or pad with "="; both are
  // read, and the decoded padding is dropped.
  std::string clean;
  clean.reserve(encoded.size());
  for (char c : encoded) {
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') clean.push_back(c);
  }
  size_t padding = 0;
  while (!clean.empty() && clean.back() == '=') {
    clean.pop_back();
    ++padding;
  }
  if (padding > 2) return std::string();
  if (padding > 0) {
    // Pad with "A" (zero bits) to whole groups, then drop the bytes that
    // stood for the "=" signs.
    clean.append(padding, 'A');
    std::string out = DecodeArgument(clean);
    if (out.size() < padding) return std::string();
    out.resize(out.size() - padding);
    return out;
  }
  return DecodeArgument(clean);
}

std::string DefinitionText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == ';') c = ',';
  }
  return out;
}

std::string SchemaText(std::string_view text) {
  std::string out = DefinitionText(text);
  for (char& c : out) {
    if (c == '~') c = '-';
  }
  return out;
}

std::string StoredDescription(std::string_view rdesc) {
  std::string out(rdesc);
  ReplaceAll(out, "_Q_", "\"");
  return out;
}

std::string SchemaValue(std::string_view schema, std::string_view name, std::string_view code,
                        std::string_view fallback) {
  if (schema.empty()) return std::string(fallback);
  const std::string text = "," + std::string(schema);
  size_t entry = FindIgnoreCase(text, EntryMarker(name));
  if (entry == std::string::npos && HasPrefix(name)) {
    entry = FindIgnoreCase(text, EntryMarker(BareName(name)));
  }
  if (entry == std::string::npos) return std::string();
  return AttributeAt(text, entry, code);
}

std::string ReportSchemaValue(std::string_view schema, std::string_view name,
                              std::string_view code) {
  if (schema.empty()) return std::string();
  const std::string text = "," + std::string(schema);
  size_t entry = FindIgnoreCase(text, EntryMarker(name));
  if (entry == std::string::npos) entry = FindWholeName(text, BareName(name));
  if (entry == std::string::npos) return std::string();
  return AttributeAt(text, entry, code);
}

void ReplaceSchemaValue(std::string& schema, std::string_view name, std::string_view code,
                        std::string_view value) {
  const std::string text = "," + schema;
  size_t entry = text.find(EntryMarker(name));
  if (entry == std::string::npos) entry = FindWholeName(text, BareName(name));
  if (entry == std::string::npos) return;
  std::optional<ValueSpan> span = FindAttribute(text, entry, code);
  if (!span) return;
  std::string out = text.substr(1, span->begin - 1);
  out.append(SchemaText(value));
  out.append(text, span->end, std::string::npos);
  schema = std::move(out);
}

std::string SchemaEntry(std::string_view name, std::string_view caption, std::string_view format,
                        std::string_view category) {
  std::string out = ",";
  out.append(DefinitionText(name));
  out.append("~c");
  out.append(SchemaText(caption));
  out.append("~f");
  out.append(SchemaText(format));
  out.append("~t");
  out.append(SchemaText(category));
  out.push_back('~');
  return out;
}

}  // namespace fennick::designer
