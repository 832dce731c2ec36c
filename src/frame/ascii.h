// ASCII text helpers the component's layers share: case folding of SQL
// keywords and names, trimming blanks, replacing all occurrences.
#ifndef FENNICK_FRAME_ASCII_H_
#define FENNICK_FRAME_ASCII_H_

#include <string>
#include <string_view>

#include "platform/web/http_text.h"  // AsciiLower, EqualsIgnoreCase

namespace fennick {

std::string AsciiUpper(std::string_view text);
// The text without leading and trailing blanks and tabs: a view into the
// same characters.
std::string_view TrimBlanks(std::string_view text);
// The same, also dropping carriage returns and line feeds.
std::string_view TrimSpace(std::string_view text);
bool ContainsIgnoreCase(std::string_view text, std::string_view part);
bool SameIgnoreCase(std::string_view a, std::string_view b);
// Replaces every occurrence of `from`, scanning on after each replacement.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to);

}  // namespace fennick

#endif  // FENNICK_FRAME_ASCII_H_
