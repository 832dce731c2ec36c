// ASCII text helpers.
#include "frame/ascii.h"

namespace fennick {
namespace {

char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string_view Trim(std::string_view s, std::string_view chars) {
  size_t begin = s.find_first_not_of(chars);
  if (begin == std::string_view::npos) return std::string_view();
  size_t end = s.find_last_not_of(chars);
  return s.substr(begin, end - begin + 1);
}

}  // namespace

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Up(c);
  return out;
}

std::string_view TrimBlanks(std::string_view text) { return Trim(text, " \t"); }

std::string_view TrimSpace(std::string_view text) { return Trim(text, " \t\r\n"); }

bool ContainsIgnoreCase(std::string_view text, std::string_view part) {
  if (part.empty()) return false;
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    size_t j = 0;
    while (j < part.size() && Up(text[i + j]) == Up(part[j])) ++j;
    if (j == part.size()) return true;
  }
  return false;
}

bool SameIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Up(a[i]) != Up(b[i])) return false;
  }
  return true;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace fennick
