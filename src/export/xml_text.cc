// XML text as libxml2 writes it, and its re-encoding.
#include "export/xml_text.h"

#include "base/ascii.h"
#include "platform/xml/xml_chars.h"

namespace fennick {

void AppendXmlContent(std::string_view text, std::string& out) {
  AppendXmlText(text, XmlTextEscape::kContent, out);
}

void AppendXmlAttribute(std::string_view text, std::string& out) {
  AppendXmlText(text, XmlTextEscape::kAttribute, out);
}

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
    size_t length = DecodeUtf8Char(utf8, i, cp);
    if (length == 0) {
      length = 1;
      cp = 0xFFFD;
    }
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
