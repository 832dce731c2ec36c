// XML's characters and the replacement of those it cannot hold.
#include "platform/xml/xml_chars.h"

#include <libxml/tree.h>

namespace fennick {
namespace {

// Reads the UTF-8 character at `at`. Returns its length with `cp` set, or
// minus the length of the maximal ill-formed piece there (the lead byte and
// the continuation bytes that could still have completed it), which reads
// as one U+FFFD.
int ScanUtf8(std::string_view text, size_t at, char32_t& cp) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  int length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    if (at + i >= text.size()) return -i;
    const unsigned char c = byte(at + i);
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return -i;
    cp = (cp << 6) | (c & 0x3F);
  }
  return length;
}

template <XmlTextEscape kEscape>
void AppendText(std::string_view text, std::string& out) {
  constexpr bool kAttribute = kEscape == XmlTextEscape::kAttribute;
  constexpr bool kEscapes = kEscape != XmlTextEscape::kNone;
  size_t plain = 0;  // start of the run not yet copied
  size_t i = 0;
  const auto flush = [&] { out.append(text, plain, i - plain); };
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      char32_t cp = 0;
      const int length = ScanUtf8(text, i, cp);
      if (length < 0 || !IsXmlChar(cp)) {
        flush();
        out.append(kReplacementChar);
        plain = i += length < 0 ? -length : length;
      } else {
        i += length;
      }
      continue;
    }
    const char* reference = nullptr;
    switch (c) {
      case '&':
        if (kEscapes) reference = "&amp;";
        break;
      case '<':
        if (kEscapes) reference = "&lt;";
        break;
      case '>':
        if (kEscapes) reference = "&gt;";
        break;
      case '\r':
        if (kEscapes) reference = "&#13;";
        break;
      case '"':
        if (kAttribute) reference = "&quot;";
        break;
      case '\t':
        if (kAttribute) reference = "&#9;";
        break;
      case '\n':
        if (kAttribute) reference = "&#10;";
        break;
      default:
        if (c < 0x20) reference = kReplacementChar.data();  // not allowed in XML
        break;
    }
    if (reference != nullptr) {
      flush();
      out.append(reference);
      plain = i + 1;
    }
    ++i;
  }
  flush();
}

}  // namespace

size_t DecodeUtf8Char(std::string_view text, size_t at, char32_t& cp) {
  const int length = ScanUtf8(text, at, cp);
  return length < 0 ? 0 : static_cast<size_t>(length);
}

bool IsXmlSafeText(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80) {  // most of every text
      ++i;
      continue;
    }
    char32_t cp = 0;
    const int length = ScanUtf8(text, i, cp);
    if (length < 0 || !IsXmlChar(cp)) return false;
    i += length;
  }
  return true;
}

bool IsXmlNcName(std::string_view name) {
  if (name.empty() || !IsXmlSafeText(name)) return false;
  const std::string text(name);  // NUL-terminated for libxml2
  return xmlValidateNCName(reinterpret_cast<const xmlChar*>(text.c_str()), 0) == 0;
}

void AppendXmlText(std::string_view text, XmlTextEscape escape, std::string& out) {
  switch (escape) {
    case XmlTextEscape::kNone: AppendText<XmlTextEscape::kNone>(text, out); break;
    case XmlTextEscape::kContent: AppendText<XmlTextEscape::kContent>(text, out); break;
    case XmlTextEscape::kAttribute: AppendText<XmlTextEscape::kAttribute>(text, out); break;
  }
}

std::string XmlSafeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendText<XmlTextEscape::kNone>(text, out);
  return out;
}

}  // namespace fennick
