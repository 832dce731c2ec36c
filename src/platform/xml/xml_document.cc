// XML documents over libxml2: parse, serialise, select, edit.
#include "platform/xml/xml_document.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>

#include "fennick/error.h"
#include "platform/script/native_memory.h"
#include "platform/xml/xml_chars.h"
#include "platform/xml/xml_library.h"

namespace fennick {
namespace {

using xml_internal::CheckXmlMemory;
using xml_internal::EnsureXmlLibrary;
using xml_internal::XmlErrorCapture;

constexpr char kSource[] = "Fennick.Xml";

struct ParserContextDeleter {
  void operator()(xmlParserCtxtPtr ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct XPathContextDeleter {
  void operator()(xmlXPathContextPtr ctxt) const { xmlXPathFreeContext(ctxt); }
};
struct XPathObjectDeleter {
  void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
};
struct XmlCharDeleter {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
struct BufferDeleter {
  void operator()(xmlBufferPtr buffer) const { xmlBufferFree(buffer); }
};
using XmlChars = std::unique_ptr<xmlChar, XmlCharDeleter>;

xmlNodePtr AsNode(void* node) { return static_cast<xmlNodePtr>(node); }
xmlDocPtr AsDoc(void* doc) { return static_cast<xmlDocPtr>(doc); }

// libxml2 takes NUL-terminated names; a string_view is not.
const xmlChar* Chars(const std::string& text) {
  return reinterpret_cast<const xmlChar*>(text.c_str());
}

std::string TakeChars(xmlChar* text) {
  XmlChars owned(text);
  return owned ? std::string(reinterpret_cast<const char*>(owned.get())) : std::string();
}

XmlParseResult FinishParse(xmlParserCtxtPtr ctxt, xmlDocPtr doc,
                           const XmlErrorCapture& capture) {
  if (ThreadNativeLimitHit()) {
    if (doc != nullptr) xmlFreeDoc(doc);
    CheckXmlMemory();
  }
  XmlParseResult result;
  if (doc != nullptr && ctxt->wellFormed) {
    result.document = XmlDocument::Adopt(doc);
    return result;
  }
  if (doc != nullptr) xmlFreeDoc(doc);
  const xmlError* error = xmlCtxtGetLastError(ctxt);
  if (error != nullptr && error->message != nullptr) {
    result.error = error->message;
    while (!result.error.empty() && (result.error.back() == '\n' || result.error.back() == ' '))
      result.error.pop_back();
    result.line = error->line;
  } else {
    result.error = capture.Messages();
  }
  if (result.error.empty()) result.error = "the document is not well-formed";
  return result;
}

int ParseOptions(bool keep_blanks) {
  return xml_internal::SafeParseOptions() | (keep_blanks ? 0 : XML_PARSE_NOBLANKS);
}

}  // namespace

// XmlNode -------------------------------------------------------------------

std::string XmlNode::Name() const {
  return node_ ? std::string(reinterpret_cast<const char*>(AsNode(node_)->name)) : "";
}

std::string XmlNode::NamespaceUri() const {
  if (!node_ || AsNode(node_)->ns == nullptr || AsNode(node_)->ns->href == nullptr) return "";
  return reinterpret_cast<const char*>(AsNode(node_)->ns->href);
}

std::string XmlNode::Text() const {
  return node_ ? TakeChars(xmlNodeGetContent(AsNode(node_))) : "";
}

std::optional<std::string> XmlNode::Attribute(std::string_view name,
                                              std::string_view ns_uri) const {
  if (!node_ || AsNode(node_)->type != XML_ELEMENT_NODE) return std::nullopt;
  std::string key(name), uri(ns_uri);
  xmlChar* value = uri.empty() ? xmlGetNoNsProp(AsNode(node_), Chars(key))
                               : xmlGetNsProp(AsNode(node_), Chars(key), Chars(uri));
  if (value == nullptr) return std::nullopt;
  return TakeChars(value);
}

std::vector<std::pair<std::string, std::string>> XmlNode::Attributes() const {
  std::vector<std::pair<std::string, std::string>> list;
  if (!node_ || AsNode(node_)->type != XML_ELEMENT_NODE) return list;
  for (xmlAttrPtr attr = AsNode(node_)->properties; attr; attr = attr->next) {
    list.emplace_back(reinterpret_cast<const char*>(attr->name),
                      TakeChars(xmlNodeListGetString(attr->doc, attr->children, 1)));
  }
  return list;
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) {
  if (!node_) return;
  // Characters XML cannot hold would be written as references no parser
  // reads back: the value is stored under the rule of xml_chars.h.
  std::string key(name), text = XmlSafeText(value);
  // xmlSetProp stores the value as given (it is escaped on output); it is
  // not parsed for entity references the way xmlNewProp's text would be.
  xmlSetProp(AsNode(node_), Chars(key), Chars(text));
  CheckXmlMemory();
}

void XmlNode::RemoveAttribute(std::string_view name) {
  if (!node_) return;
  std::string key(name);
  xmlUnsetProp(AsNode(node_), Chars(key));
}

void XmlNode::SetText(std::string_view text) {
  if (!node_) return;
  std::string content = XmlSafeText(text);  // as in SetAttribute
  // xmlNodeSetContent would read "&..." as entity references; escaping
  // first keeps the text as it is.
  XmlChars escaped(xmlEncodeSpecialChars(AsNode(node_)->doc, Chars(content)));
  xmlNodeSetContent(AsNode(node_), escaped.get());
  CheckXmlMemory();
}

XmlNode XmlNode::AppendElement(std::string_view name) {
  if (!node_) return XmlNode();
  std::string element(name);
  xmlNodePtr child = xmlNewDocNode(AsNode(node_)->doc, nullptr, Chars(element), nullptr);
  CheckXmlMemory();
  return XmlNode(xmlAddChild(AsNode(node_), child));
}

XmlNode XmlNode::PrependElement(std::string_view name) {
  if (!node_) return XmlNode();
  std::string element(name);
  xmlNodePtr child = xmlNewDocNode(AsNode(node_)->doc, nullptr, Chars(element), nullptr);
  CheckXmlMemory();
  xmlNodePtr first = AsNode(node_)->children;
  if (first == nullptr) return XmlNode(xmlAddChild(AsNode(node_), child));
  return XmlNode(xmlAddPrevSibling(first, child));
}

XmlNode XmlNode::AppendCopy(const XmlNode& node) {
  if (!node_ || !node.node_) return XmlNode();
  xmlNodePtr copy = xmlDocCopyNode(AsNode(node.node_), AsNode(node_)->doc, 1);
  if (ThreadNativeLimitHit()) {
    xmlFreeNode(copy);  // perhaps a partial copy
    CheckXmlMemory();
  }
  if (copy == nullptr) throw Error(kErrInvalidCall, "The XML node could not be copied", kSource);
  return XmlNode(xmlAddChild(AsNode(node_), copy));
}

void XmlNode::MoveBefore(const XmlNode& sibling) {
  if (!node_ || !sibling.node_ || node_ == sibling.node_) return;
  xmlUnlinkNode(AsNode(node_));
  xmlAddPrevSibling(AsNode(sibling.node_), AsNode(node_));
}

void XmlNode::Remove() {
  if (!node_) return;
  xmlUnlinkNode(AsNode(node_));
  xmlFreeNode(AsNode(node_));
  node_ = nullptr;
}

XmlNode XmlNode::Parent() const {
  if (!node_) return XmlNode();
  xmlNodePtr parent = AsNode(node_)->parent;
  if (parent == nullptr || parent->type == XML_DOCUMENT_NODE ||
      parent->type == XML_HTML_DOCUMENT_NODE)
    return XmlNode();
  return XmlNode(parent);
}

XmlNode XmlNode::FirstElement() const {
  return node_ ? XmlNode(xmlFirstElementChild(AsNode(node_))) : XmlNode();
}

XmlNode XmlNode::NextElement() const {
  return node_ ? XmlNode(xmlNextElementSibling(AsNode(node_))) : XmlNode();
}

std::vector<XmlNode> XmlNode::Elements() const {
  std::vector<XmlNode> list;
  for (XmlNode child = FirstElement(); child; child = child.NextElement()) list.push_back(child);
  return list;
}

std::vector<XmlNode> XmlNode::Select(std::string_view xpath,
                                     const std::vector<XmlNamespace>& namespaces) const {
  std::vector<XmlNode> list;
  if (!node_) return list;
  XmlErrorCapture capture;
  xmlDocPtr doc = AsNode(node_)->doc;
  std::unique_ptr<xmlXPathContext, XPathContextDeleter> ctxt(xmlXPathNewContext(doc));
  if (!ctxt) throw Error(kErrInvalidCall, "Out of memory for an XPath context", kSource);
  xmlNodePtr root = xmlDocGetRootElement(doc);
  for (xmlNsPtr ns = root ? root->nsDef : nullptr; ns; ns = ns->next) {
    if (ns->prefix != nullptr) xmlXPathRegisterNs(ctxt.get(), ns->prefix, ns->href);
  }
  for (const auto& [prefix, uri] : namespaces) {
    xmlXPathRegisterNs(ctxt.get(), Chars(prefix), Chars(uri));
  }
  ctxt->node = AsNode(node_);
  std::string expression(xpath);
  std::unique_ptr<xmlXPathObject, XPathObjectDeleter> result(
      xmlXPathEvalExpression(Chars(expression), ctxt.get()));
  if (!result) {
    std::string reason = capture.Messages();
    throw Error(kErrInvalidCall,
                "Invalid XPath expression '" + expression + "'" +
                    (reason.empty() ? "" : ": " + reason),
                kSource);
  }
  if (result->type == XPATH_NODESET && result->nodesetval != nullptr) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i)
      list.push_back(XmlNode(result->nodesetval->nodeTab[i]));
  }
  return list;
}

XmlNode XmlNode::SelectFirst(std::string_view xpath,
                             const std::vector<XmlNamespace>& namespaces) const {
  std::vector<XmlNode> list = Select(xpath, namespaces);
  return list.empty() ? XmlNode() : list.front();
}

std::string XmlNode::OuterXml() const {
  if (!node_) return "";
  std::unique_ptr<xmlBuffer, BufferDeleter> buffer(xmlBufferCreate());
  xmlNodeDump(buffer.get(), AsNode(node_)->doc, AsNode(node_), 0, 0);
  CheckXmlMemory();
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                     xmlBufferLength(buffer.get()));
}

// XmlDocument ---------------------------------------------------------------

XmlDocument::XmlDocument() { EnsureXmlLibrary(); }

XmlDocument::~XmlDocument() {
  if (doc_) xmlFreeDoc(AsDoc(doc_));
}

XmlDocument::XmlDocument(XmlDocument&& other) noexcept : doc_(other.doc_) {
  other.doc_ = nullptr;
}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
  if (this != &other) {
    if (doc_) xmlFreeDoc(AsDoc(doc_));
    doc_ = other.doc_;
    other.doc_ = nullptr;
  }
  return *this;
}

XmlDocument XmlDocument::Adopt(void* native_doc) {
  XmlDocument document;
  document.doc_ = native_doc;
  return document;
}

XmlParseResult XmlDocument::Parse(std::string_view text, bool keep_blanks) {
  XmlErrorCapture capture;
  std::unique_ptr<xmlParserCtxt, ParserContextDeleter> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw Error(kErrInvalidCall, "Out of memory for an XML parser", kSource);
  if (text.size() > static_cast<size_t>(INT32_MAX)) {
    XmlParseResult result;
    result.error = "the document is too large";
    return result;
  }
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()),
                                    nullptr, nullptr, ParseOptions(keep_blanks));
  return FinishParse(ctxt.get(), doc, capture);
}

XmlParseResult XmlDocument::ParseFile(const std::filesystem::path& path, bool keep_blanks) {
  XmlErrorCapture capture;
  std::unique_ptr<xmlParserCtxt, ParserContextDeleter> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw Error(kErrInvalidCall, "Out of memory for an XML parser", kSource);
  xmlDocPtr doc = xmlCtxtReadFile(ctxt.get(), path.c_str(), nullptr, ParseOptions(keep_blanks));
  return FinishParse(ctxt.get(), doc, capture);
}

XmlDocument XmlDocument::ParseHtml(std::string_view text) {
  XmlErrorCapture capture;
  htmlDocPtr doc = htmlReadMemory(
      text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
      HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_RECOVER);
  if (doc == nullptr) doc = htmlNewDocNoDtD(nullptr, nullptr);
  return Adopt(doc);
}

XmlDocument XmlDocument::WithRoot(std::string_view root_name) {
  XmlDocument document;
  document.doc_ = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  std::string name(root_name);
  xmlNodePtr root = xmlNewDocNode(AsDoc(document.doc_), nullptr, Chars(name), nullptr);
  xmlDocSetRootElement(AsDoc(document.doc_), root);
  CheckXmlMemory();
  return document;
}

XmlNode XmlDocument::Root() const {
  return doc_ ? XmlNode(xmlDocGetRootElement(AsDoc(doc_))) : XmlNode();
}

std::vector<XmlNode> XmlDocument::Select(std::string_view xpath,
                                         const std::vector<XmlNamespace>& namespaces) const {
  return Root().Select(xpath, namespaces);
}

XmlNode XmlDocument::SelectFirst(std::string_view xpath,
                                 const std::vector<XmlNamespace>& namespaces) const {
  return Root().SelectFirst(xpath, namespaces);
}

std::string XmlDocument::Serialize(const XmlWriteOptions& options) const {
  if (!doc_) return "";
  XmlErrorCapture capture;
  std::unique_ptr<xmlBuffer, BufferDeleter> buffer(xmlBufferCreate());
  int save_options = (options.declaration ? 0 : XML_SAVE_NO_DECL) |
                     (options.indent ? XML_SAVE_FORMAT : 0);
  const char* encoding = options.encoding.empty() ? "UTF-8" : options.encoding.c_str();
  // The save context converts to the encoding and writes a character
  // reference for each character the encoding cannot hold.
  xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer.get(), encoding, save_options);
  if (save == nullptr) {
    throw Error(kErrInvalidCall, "Unknown encoding '" + options.encoding + "'", kSource);
  }
  long written = xmlSaveDoc(save, AsDoc(doc_));
  xmlSaveClose(save);
  CheckXmlMemory();
  if (written < 0) {
    throw Error(kErrInvalidCall, "The XML document could not be written: " + capture.Messages(),
                kSource);
  }
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                     xmlBufferLength(buffer.get()));
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : XmlSafeText(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace fennick
