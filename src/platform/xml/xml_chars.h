// The characters an XML document can hold, and the one rule for those it
// cannot: every text that reaches an XML document Fennick writes (export
// documents, persisted rowsets, stylesheet parameters, the reports file,
// the designer's pages) passes through here, so a value from a database
// or a browser can never make a document that does not parse.
//
// The rule: a character XML 1.0 does not allow (NUL and the C0 controls
// other than tab, line feed and carriage return; U+FFFE, U+FFFF) and every
// byte that does not begin a well-formed UTF-8 character (a stray
// continuation byte, an overlong form, an encoded surrogate, a truncated
// sequence) is written as U+FFFD, one for each maximal ill-formed piece as
// Unicode recommends. Nothing is dropped, so a reader sees where a value
// held something that could not be written.
//
// Pure functions; safe on any thread.
#ifndef FENNICK_PLATFORM_XML_XML_CHARS_H_
#define FENNICK_PLATFORM_XML_XML_CHARS_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace fennick {

// U+FFFD REPLACEMENT CHARACTER in UTF-8.
inline constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 character at `at` (1 to 4), setting
// `cp` to its code point; 0 when the bytes there are not one.
size_t DecodeUtf8Char(std::string_view text, size_t at, char32_t& cp);

// Whether XML 1.0 allows the code point in a document.
constexpr bool IsXmlChar(char32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Whether `text` is well-formed UTF-8 made only of characters XML allows.
bool IsXmlSafeText(std::string_view text);

// Whether `name` is an XML name without a colon (an NCName), as the
// parser reads names: well-formed UTF-8 whose letters XML allows in names.
bool IsXmlNcName(std::string_view name);

// How AppendXmlText escapes what it writes.
enum class XmlTextEscape {
  kNone,       // the characters only (for text handed to libxml2's tree)
  kContent,    // element content: "&", "<", ">" and CR as references
  kAttribute,  // a double-quoted attribute: also '"', tab and LF
};

// Appends `text` under the rule above, escaped as `escape` says, the
// references written as libxml2's serialiser writes them (so a document
// written as text equals one built as a tree and serialised).
void AppendXmlText(std::string_view text, XmlTextEscape escape, std::string& out);

// `text` under the rule above, unescaped.
std::string XmlSafeText(std::string_view text);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_XML_XML_CHARS_H_
