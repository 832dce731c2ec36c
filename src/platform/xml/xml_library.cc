// Process-wide set-up of libxml2 and libxslt (their counted allocator
// included), and per-thread error capture.
#include "platform/xml/xml_library.h"

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxslt/documents.h>
#include <libxslt/security.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltutils.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "base/ascii.h"
#include "fennick/error.h"
#include "platform/script/native_memory.h"

namespace fennick::xml_internal {
namespace {

thread_local XmlErrorCapture* current_capture = nullptr;

// libxml2 and libxslt report errors as printf-style fragments; a message may
// arrive in several calls, so fragments are joined and split at newlines.
void CaptureError(void* /*context*/, const char* format, ...) {
  if (current_capture == nullptr) return;  // nobody listening: drop it
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  current_capture->Add(buffer);
}

xsltDocLoaderFunc library_loader = nullptr;

// Every document libxslt loads on a stylesheet's behalf (xsl:include,
// xsl:import, document()) goes through here, so none of them substitutes
// entities, loads a DTD or reaches the network, whatever options libxslt
// asks for.
xmlDocPtr SafeLoader(const xmlChar* uri, xmlDictPtr dict, int options,
                     void* context, xsltLoadType type) {
  options &= ~(XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR |
               XML_PARSE_DTDVALID | XML_PARSE_XINCLUDE);
  options |= XML_PARSE_NONET | XML_PARSE_NOXINCNODE;
  return library_loader(uri, dict, options, context, type);
}

}  // namespace

int SafeParseOptions() {
  return XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
}

void EnsureXmlLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    // First of all, so that every block libxml2 frees was counted when it
    // was made. libxslt allocates through libxml2's functions, so its
    // stylesheets and results count too.
    xmlMemSetup(CountedFree, CountedMalloc, CountedRealloc, CountedStrdup);
    xmlInitParser();
    xsltInit();
    exsltRegisterAll();
    library_loader = xsltDocDefaultLoader;
    xsltSetLoaderFunc(SafeLoader);
    // libxslt's generic error handler is one per process: it forwards to the
    // capture of the calling thread.
    xsltSetGenericErrorFunc(nullptr, CaptureError);
    // The defaults guard stylesheet compilation (xsl:include and xsl:import
    // of a network URI); transforms install their own preferences.
    xsltSecurityPrefsPtr prefs = xsltNewSecurityPrefs();
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetDefaultSecurityPrefs(prefs);
  });
}

void CheckXmlMemory() {
  if (ThreadNativeLimitHit()) {
    throw Error(7, "Out of memory: the page reached its memory cap while building an XML document",
                "Fennick.Xml");
  }
}

XmlErrorCapture::XmlErrorCapture() : previous_(current_capture) {
  EnsureXmlLibrary();
  current_capture = this;
  // libxml2's generic handler is per thread; setting it again is cheap.
  xmlSetGenericErrorFunc(nullptr, CaptureError);
}

XmlErrorCapture::~XmlErrorCapture() { current_capture = previous_; }

void XmlErrorCapture::Add(const std::string& message) { messages_ += message; }

std::string XmlErrorCapture::Messages() const {
  std::string joined;
  size_t start = 0;
  while (start <= messages_.size()) {
    size_t end = messages_.find('\n', start);
    if (end == std::string::npos) end = messages_.size();
    std::string_view line = TrimBlanks(std::string_view(messages_).substr(start, end - start));
    if (!line.empty()) {
      if (!joined.empty()) joined += "; ";
      joined += line;
    }
    start = end + 1;
  }
  return joined;
}

}  // namespace fennick::xml_internal
