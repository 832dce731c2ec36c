// Values from the database placed into markup the page author wrote.
//
// A cell template ("<a href=\"#TEMP#\">", "[eval]#TEMP#*2[/eval]") or a
// regular-expression replacement is markup; the row's value put into it is
// data. Where the value lands decides how it is written, so that no value
// can add tags, attributes, script or a link the author did not write:
//
// - in text and inside quoted attribute values: HTML-encoded;
// - inside a tag outside a quoted value (an unquoted value, or where an
//   attribute name would be): every character that could end the value or
//   start another attribute is written as a character reference;
// - inside script (a <script> element, an "[eval]" block, an "on..."
//   attribute): numeric text only, anything else becomes 0, since no
//   encoding keeps "1));alert(1);((" from being code;
// - in a link attribute (href, src, action, ...) whose scheme is not yet
//   settled: the value is written only when the address it completes is
//   http, https, mailto or relative; otherwise "#" is written instead.
//
// The place is read from the markup built so far, so callers append the
// value to the very buffer the markup is built in.
#ifndef FENNICK_GRID_RENDER_DATA_MARKUP_H_
#define FENNICK_GRID_RENDER_DATA_MARKUP_H_

#include <string>
#include <string_view>

namespace fennick {

// Appends value to out as data placed at the end of the markup in out (see
// above). With plus_as_url every "+" of a value written as text is written
// "%2B", so a value in a query string reads back the same.
void AppendDataInMarkup(std::string_view value, std::string& out, bool plus_as_url = false);

// Whether data appended to markup now would land in script (a <script>
// element, an "[eval]" block or an "on..." attribute).
bool EndsInScript(std::string_view markup);

// Appends value when it is a plain number (blanks around it, an optional
// sign, digits, a decimal point, an exponent), else "0". A leading "+" is
// dropped.
void AppendScriptNumber(std::string_view value, std::string& out);

// Appends text with < > & " and ' as character references.
void AppendHtmlText(std::string_view text, std::string& out);

// Appends text with < > & and " as character references, ' as it is,
// without a temporary.
void AppendHtmlEncoded(std::string_view text, std::string& out);

// Whether a browser, given url as a link address, goes to an http, https or
// mailto address or a relative one (no scheme): character references are
// decoded, leading blanks and control characters dropped, tabs and line
// breaks removed anywhere, and the scheme compared without regard to case.
bool IsSafeLinkAddress(std::string_view url);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_DATA_MARKUP_H_
