// Process-wide set-up of libxml2 and libxslt for the XML adapter, and the
// capture of their error messages. Internal to src/platform/xml.
//
// libxml2 reports errors through a per-thread handler; XmlErrorCapture
// installs one for its scope and collects the messages, so that a failure
// becomes a fennick::Error (or a result) carrying the library's own reason
// instead of text on stderr.
#ifndef FENNICK_PLATFORM_XML_XML_LIBRARY_H_
#define FENNICK_PLATFORM_XML_XML_LIBRARY_H_

#include <string>

namespace fennick::xml_internal {

// The parser options of every document Fennick reads: no network, no
// external DTD, no entity substitution, no library messages on stderr.
int SafeParseOptions();

// Initialises libxml2, libxslt and EXSLT once per process (thread-safe):
// routes their allocations through the counted allocator (so documents
// count against the page's memory cap), installs the document loader that
// keeps the safe options for stylesheets and documents loaded by
// xsl:include, xsl:import and document(), and sets the default XSLT
// security preferences (no writes, no network).
void EnsureXmlLibrary();

// Raises an out-of-memory error (7) when libxml2 was refused memory on this
// thread for the page's memory cap (platform/script/native_memory.h): what
// it made meanwhile may be incomplete, so it must not be used.
void CheckXmlMemory();

// Collects the messages libxml2 and libxslt report on this thread while it
// lives, and restores the previous handlers when it ends.
class XmlErrorCapture {
 public:
  XmlErrorCapture();
  ~XmlErrorCapture();
  XmlErrorCapture(const XmlErrorCapture&) = delete;
  XmlErrorCapture& operator=(const XmlErrorCapture&) = delete;

  // The messages so far, trimmed and joined by "; " ("" when none).
  std::string Messages() const;
  void Add(const std::string& message);

 private:
  std::string messages_;
  XmlErrorCapture* previous_;  // the enclosing capture on this thread
};

}  // namespace fennick::xml_internal

#endif  // FENNICK_PLATFORM_XML_XML_LIBRARY_H_
