// ASCII case folding, comparison, trimming and replacing.
#include "base/ascii.h"

namespace fennick {
namespace {

std::string_view Trim(std::string_view s, std::string_view chars) {
  size_t begin = s.find_first_not_of(chars);
  if (begin == std::string_view::npos) return std::string_view();
  size_t end = s.find_last_not_of(chars);
  return s.substr(begin, end - begin + 1);
}

bool SameFolded(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  AsciiLowerInPlace(out);
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  AsciiUpperInPlace(out);
  return out;
}

void AsciiLowerInPlace(std::string& text) {
  for (char& c : text) c = AsciiLowerChar(c);
}

void AsciiUpperInPlace(std::string& text) {
  for (char& c : text) c = AsciiUpperChar(c);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && SameFolded(a.data(), b.data(), a.size());
}

int CompareIgnoreCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(AsciiLowerChar(a[i]));
    const unsigned char y = static_cast<unsigned char>(AsciiLowerChar(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameFolded(text.data(), prefix.data(), prefix.size());
}

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         SameFolded(text.data() + text.size() - suffix.size(), suffix.data(), suffix.size());
}

size_t FindIgnoreCase(std::string_view text, std::string_view part, size_t from) {
  if (from > text.size() || part.size() > text.size() - from) return std::string_view::npos;
  for (size_t i = from; i + part.size() <= text.size(); ++i) {
    if (SameFolded(text.data() + i, part.data(), part.size())) return i;
  }
  return std::string_view::npos;
}

bool ContainsIgnoreCase(std::string_view text, std::string_view part) {
  return !part.empty() && FindIgnoreCase(text, part) != std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view text) { return Trim(text, " \t"); }

std::string_view TrimSpace(std::string_view text) { return Trim(text, " \t\r\n"); }

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace fennick
