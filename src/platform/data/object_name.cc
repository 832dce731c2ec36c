// Splitting and quoting object names.
#include "platform/data/object_name.h"

namespace fennick::data {
namespace {

bool IsNameChar(char c, bool first) {
  unsigned char u = static_cast<unsigned char>(c);
  if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u >= 0x80) return true;
  return !first && ((u >= '0' && u <= '9') || u == '$');
}

}  // namespace

std::optional<std::vector<std::string>> SplitObjectName(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::vector<std::string> parts;
  size_t i = 0;
  while (true) {
    if (i >= text.size()) return std::nullopt;
    std::string part;
    char open = text[i];
    if (open == '[' || open == '"' || open == '`') {
      char close = open == '[' ? ']' : open;
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == close) {
          if (i + 1 < text.size() && text[i + 1] == close) {
            part.push_back(close);
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        part.push_back(text[i++]);
      }
      if (!closed || part.empty()) return std::nullopt;
    } else {
      if (!IsNameChar(open, true)) return std::nullopt;
      while (i < text.size() && IsNameChar(text[i], part.empty())) part.push_back(text[i++]);
    }
    parts.push_back(std::move(part));
    if (i == text.size()) break;
    if (text[i] != '.' || parts.size() == 3) return std::nullopt;
    ++i;
  }
  return parts;
}

std::string QuoteObjectName(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out.push_back('.');
    out.push_back('"');
    for (char c : part) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    out.push_back('"');
  }
  return out;
}

}  // namespace fennick::data
