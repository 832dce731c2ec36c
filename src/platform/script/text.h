// Character-level text operations for the evaluator's string functions.
//
// Texts are UTF-8; the string functions count characters (code points), not
// bytes, so Len("café") is 4. A byte that does not belong to a well-formed
// sequence counts as one character of its own, so no input can make these
// routines fail. Case mapping follows Unicode's simple one-to-one mappings.
#ifndef FENNICK_PLATFORM_SCRIPT_TEXT_H_
#define FENNICK_PLATFORM_SCRIPT_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fennick::script {

bool IsAscii(std::string_view s);
// The byte length of the character starting at s[offset] (1 for an invalid
// byte); offset must be below s.size().
size_t CharLength(std::string_view s, size_t offset);
// Decodes the character at s[offset]; an invalid byte decodes to itself.
uint32_t DecodeChar(std::string_view s, size_t offset, size_t& length);
void AppendChar(std::string& out, uint32_t code_point);

size_t CharCount(std::string_view s);
// The byte offset of character index `chars` (0-based); s.size() when the
// text has fewer characters.
size_t ByteOffset(std::string_view s, size_t chars);
// `count` characters from character index `start` (0-based), clamped.
std::string_view CharSlice(std::string_view s, size_t start, size_t count);
// The character index of a byte offset that starts a character.
size_t CharIndex(std::string_view s, size_t byte_offset);

// The byte offset of the first occurrence of needle in s at or after byte
// `from`, or npos. Linear in the lengths whatever the texts, so no pair of
// texts can make a search slow.
size_t FindText(std::string_view s, std::string_view needle, size_t from = 0);
// The byte offset of the last occurrence of needle in s, or npos; linear.
size_t FindLastText(std::string_view s, std::string_view needle);

std::string ToUpper(std::string_view s);
std::string ToLower(std::string_view s);
std::string ReverseChars(std::string_view s);

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_TEXT_H_
