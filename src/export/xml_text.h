// Values written into the export documents as XML text, byte for byte as
// libxml2 writes them (so a document written directly equals the one a
// stylesheet made), and the re-encoding of a finished UTF-8 piece into the
// encoding an XML export declares.
//
// Characters XML cannot hold and bytes that are not UTF-8 are written as
// U+FFFD, under the one rule of platform/xml/xml_chars.h that every XML
// document of Fennick follows, so a value can never make a document that
// does not parse.
#ifndef FENNICK_EXPORT_XML_TEXT_H_
#define FENNICK_EXPORT_XML_TEXT_H_

#include <string>
#include <string_view>

namespace fennick {

// Element content: "&", "<", ">" and CR as references.
void AppendXmlContent(std::string_view text, std::string& out);
// An attribute value between double quotes: also '"', tab and LF.
void AppendXmlAttribute(std::string_view text, std::string& out);

// How an XML export is encoded when it is written directly.
enum class XmlOutputEncoding { kUtf8, kLatin1, kAscii, kOther };
// The encoding of a declared name (any case; "" is UTF-8). kOther for an
// encoding this writer does not convert to.
XmlOutputEncoding XmlOutputEncodingOf(std::string_view name);

// Appends `utf8` (well-formed: written by the functions above) in
// `encoding` (not kOther): characters the encoding lacks become decimal
// character references, as libxml2 writes them.
void AppendEncoded(std::string_view utf8, XmlOutputEncoding encoding, std::string& out);

}  // namespace fennick

#endif  // FENNICK_EXPORT_XML_TEXT_H_
