// XML text as libxml2 writes it, and its re-encoding.
#include "export/xml_text.h"

#include "base/ascii.h"

namespace fennick {
namespace {

// The length of the well-formed UTF-8 character at `at` and its code
// point, or 0 when the bytes there are not one.
size_t DecodeUtf8(std::string_view text, size_t at, char32_t& cp) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
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
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char c = byte(at + i);
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  return length;
}

template <bool kAttribute>
void AppendEscaped(std::string_view text, std::string& out) {
  size_t plain = 0;  // start of the run not yet copied
  size_t i = 0;
  auto flush = [&] { out.append(text, plain, i - plain); };
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      char32_t cp = 0;
      const size_t length = DecodeUtf8(text, i, cp);
      if (length == 0) {
        flush();
        out.append("\xEF\xBF\xBD");
        plain = ++i;
      } else if (cp == 0xFFFE || cp == 0xFFFF) {
        flush();
        plain = i += length;
      } else {
        i += length;
      }
      continue;
    }
    const char* reference = nullptr;
    switch (c) {
      case '&': reference = "&amp;"; break;
      case '<': reference = "&lt;"; break;
      case '>': reference = "&gt;"; break;
      case '\r': reference = "&#13;"; break;
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
        if (c < 0x20 && c != '\t' && c != '\n') reference = "";  // not allowed in XML
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

void AppendXmlContent(std::string_view text, std::string& out) { AppendEscaped<false>(text, out); }

void AppendXmlAttribute(std::string_view text, std::string& out) { AppendEscaped<true>(text, out); }

XmlOutputEncoding XmlOutputEncodingOf(std::string_view name) {
  name = TrimBlanks(name);
  if (name.empty() || EqualsIgnoreCase(name, "UTF-8") || EqualsIgnoreCase(name, "UTF8")) {
    return XmlOutputEncoding::kUtf8;
  }
  if (EqualsIgnoreCase(name, "ISO-8859-1") || EqualsIgnoreCase(name, "ISO_8859-1") ||
      EqualsIgnoreCase(name, "latin1") || EqualsIgnoreCase(name, "ISO-LATIN-1")) {
    return XmlOutputEncoding::kLatin1;
  }
  if (EqualsIgnoreCase(name, "US-ASCII") || EqualsIgnoreCase(name, "ASCII")) {
    return XmlOutputEncoding::kAscii;
  }
  return XmlOutputEncoding::kOther;
}

void AppendEncoded(std::string_view utf8, XmlOutputEncoding encoding, std::string& out) {
  if (encoding == XmlOutputEncoding::kUtf8 || encoding == XmlOutputEncoding::kOther) {
    out.append(utf8);
    return;
  }
  const char32_t limit = encoding == XmlOutputEncoding::kLatin1 ? 0xFF : 0x7F;
  size_t plain = 0, i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      ++i;
      continue;
    }
    out.append(utf8, plain, i - plain);
    char32_t cp = 0xFFFD;
    size_t length = DecodeUtf8(utf8, i, cp);
    if (length == 0) length = 1;
    if (cp <= limit) {
      out.push_back(static_cast<char>(cp));
    } else {
      out.append("&#");
      out.append(std::to_string(static_cast<uint32_t>(cp)));
      out.push_back(';');
    }
    plain = i += length;
  }
  out.append(utf8, plain, std::string_view::npos);
}

}  // namespace fennick
