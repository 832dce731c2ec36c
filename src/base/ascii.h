// ASCII text helpers every layer uses: case folding, case-insensitive
// comparison and search, trimming, replacing.
//
// Fennick's names, keys, SQL keywords, HTTP tokens and member names are
// compared without regard to ASCII case only; bytes outside A-Z and a-z
// (UTF-8 included) compare as they stand. Pure functions, thread-safe.
#ifndef FENNICK_BASE_ASCII_H_
#define FENNICK_BASE_ASCII_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace fennick {

constexpr char AsciiLowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr char AsciiUpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
// Folds `text` in place.
void AsciiLowerInPlace(std::string& text);
void AsciiUpperInPlace(std::string& text);

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Negative, zero or positive as `a` sorts before, with or after `b` with
// both folded to lower case.
int CompareIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);
bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix);
// The position of the first occurrence of `part` at or after `from`, or
// npos. An empty part is found at `from` (when from <= size).
size_t FindIgnoreCase(std::string_view text, std::string_view part, size_t from = 0);
// False for an empty part.
bool ContainsIgnoreCase(std::string_view text, std::string_view part);

// An ordering for maps keyed without regard to case.
struct LessIgnoreCase {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return CompareIgnoreCase(a, b) < 0;
  }
};

// The text without leading and trailing blanks and tabs: a view into the
// same characters.
std::string_view TrimBlanks(std::string_view text);
// The same, also dropping carriage returns and line feeds.
std::string_view TrimSpace(std::string_view text);

// Replaces every occurrence of `from`, scanning on after each replacement.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to);

}  // namespace fennick

#endif  // FENNICK_BASE_ASCII_H_
