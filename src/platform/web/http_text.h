// Text forms of HTTP: URL encoding and decoding, query and cookie parsing,
// HTML encoding. Pure functions, thread-safe.
#ifndef FENNICK_PLATFORM_WEB_HTTP_TEXT_H_
#define FENNICK_PLATFORM_WEB_HTTP_TEXT_H_

#include <string>
#include <string_view>

#include "base/ascii.h"
#include "fennick/page.h"

namespace fennick {

// Server.URLEncode: letters, digits and "-_.!~*'()" stay, a blank becomes
// "+", every other byte (non-ASCII UTF-8 bytes included) becomes %XX in upper
// case.
std::string UrlEncodeAsp(std::string_view text);
// Decodes %XX and, when plus_is_space, "+" as a blank. Malformed escapes are
// kept as they stand.
std::string UrlDecode(std::string_view text, bool plus_is_space);

// Server.HTMLEncode: < > & " and the no-break character as entities.
std::string HtmlEncode(std::string_view text);
// Escapes < > & " for an attribute value.
std::string HtmlAttributeEscape(std::string_view text);

// The body of a JavaScript string literal, safe in a <script> element and
// in an attribute alike: ASCII letters, digits, the blank and . _ - / ? =
// stay; every other character becomes \uNNNN (a pair of them beyond the
// basic plane), so no quote, markup, ampersand, line break or U+2028/U+2029
// can end the string, the attribute or the script. Malformed UTF-8 becomes
// \uFFFD.
std::string JsStringBody(std::string_view text);

// Adds the fields of "a=1&b=2" to `fields`. Returns false when the text holds
// more than max_fields fields (the rest is not added).
bool ParseUrlEncoded(std::string_view text, FieldList& fields, size_t max_fields);
// Adds the cookies of a Cookie header ("a=1; b=2"), URL-decoded.
void ParseCookieHeader(std::string_view header, FieldList& cookies);
// The Set-Cookie header value for a cookie.
std::string FormatSetCookie(std::string_view name, const Cookie& cookie);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_HTTP_TEXT_H_
