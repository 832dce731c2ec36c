// XML documents: parsing, serialising, XPath selection and node editing over
// libxml2, without a libxml2 type in sight.
//
// Parsing never reaches the network, never loads an external DTD and never
// substitutes entities, so a hostile document cannot read files or grow
// without bound through its doctype. An XmlDocument owns its libxml2
// document; an XmlNode borrows one of its nodes and is valid while the
// document lives and the node is not removed. Neither is thread-safe: one
// document belongs to one thread at a time (distinct documents may be used
// on distinct threads at once).
#ifndef FENNICK_PLATFORM_XML_XML_DOCUMENT_H_
#define FENNICK_PLATFORM_XML_XML_DOCUMENT_H_

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fennick {

class XmlDocument;
struct XmlParseResult;

// A namespace prefix and its URI, for XPath expressions.
using XmlNamespace = std::pair<std::string, std::string>;

// A borrowed element (or other node) of an XmlDocument. A default XmlNode is
// null: every accessor returns an empty value and every editor does nothing.
class XmlNode {
 public:
  XmlNode() = default;

  explicit operator bool() const { return node_ != nullptr; }
  bool operator==(const XmlNode& other) const { return node_ == other.node_; }

  // The local name ("row" for "z:row"); "" for a null node.
  std::string Name() const;
  // The namespace URI of the node, "" when it has none.
  std::string NamespaceUri() const;
  // The text content of the node and its descendants.
  std::string Text() const;
  // The attribute's value, nullopt when the element has no such attribute.
  // `ns_uri` names the attribute's namespace ("" for none).
  std::optional<std::string> Attribute(std::string_view name,
                                       std::string_view ns_uri = "") const;
  // The element's attributes in document order: local name and value.
  std::vector<std::pair<std::string, std::string>> Attributes() const;

  // Sets (adding or replacing) an attribute without a namespace. The value is
  // stored as text: the serialiser escapes it. Characters XML cannot hold
  // become U+FFFD (xml_chars.h), here and in SetText.
  void SetAttribute(std::string_view name, std::string_view value);
  void RemoveAttribute(std::string_view name);
  // Replaces the children by one text node holding `text` (escaped on output).
  void SetText(std::string_view text);

  // A new element as the last (or first) child, in no namespace. Returns the
  // new element; a null node when this node is null.
  XmlNode AppendElement(std::string_view name);
  XmlNode PrependElement(std::string_view name);
  // A deep copy of `node` (which may belong to another document) as the last
  // child; returns the copy.
  XmlNode AppendCopy(const XmlNode& node);
  // Moves this node (and its subtree) before `sibling`, which must belong to
  // the same document.
  void MoveBefore(const XmlNode& sibling);
  // Unlinks and frees this node; the XmlNode becomes null.
  void Remove();

  XmlNode Parent() const;
  // The first child element, and the next sibling element.
  XmlNode FirstElement() const;
  XmlNode NextElement() const;
  // The child elements in order.
  std::vector<XmlNode> Elements() const;

  // The nodes an XPath expression selects with this node as context.
  // Namespaces declared on the document's root element are known by their
  // prefixes; `namespaces` adds or overrides more. Raises fennick::Error for
  // an expression that does not compile.
  std::vector<XmlNode> Select(std::string_view xpath,
                              const std::vector<XmlNamespace>& namespaces = {}) const;
  XmlNode SelectFirst(std::string_view xpath,
                      const std::vector<XmlNamespace>& namespaces = {}) const;

  // The node as markup (UTF-8, no declaration).
  std::string OuterXml() const;

 private:
  friend class XmlDocument;
  friend class XmlNodeAccess;
  explicit XmlNode(void* node) : node_(node) {}
  void* node_ = nullptr;  // an xmlNode of the owning document
};

// How a document is written out.
struct XmlWriteOptions {
  // The encoding of the bytes ("UTF-8", "ISO-8859-1", ...). Characters the
  // encoding lacks become character references, so the bytes always match
  // the declaration.
  std::string encoding = "UTF-8";
  // Whether the text starts with the XML declaration.
  bool declaration = true;
  bool indent = false;
};

class XmlDocument {
 public:
  // An empty document (no root element).
  XmlDocument();
  ~XmlDocument();
  XmlDocument(XmlDocument&& other) noexcept;
  XmlDocument& operator=(XmlDocument&& other) noexcept;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Parses XML text. Parse errors are an ordinary outcome: see
  // XmlParseResult. `keep_blanks` false drops whitespace-only text nodes.
  static XmlParseResult Parse(std::string_view text, bool keep_blanks = true);
  // Parses a file (the caller has resolved the path inside the site).
  static XmlParseResult ParseFile(const std::filesystem::path& path,
                                  bool keep_blanks = true);
  // Parses HTML leniently (as browsers and Office read it), for reading
  // exported documents. Never fails: broken markup is repaired.
  static XmlDocument ParseHtml(std::string_view text);
  // A document holding one root element named `root_name`.
  static XmlDocument WithRoot(std::string_view root_name);

  XmlNode Root() const;
  // Shorthands for Root().Select(...); an empty list without a root.
  std::vector<XmlNode> Select(std::string_view xpath,
                              const std::vector<XmlNamespace>& namespaces = {}) const;
  XmlNode SelectFirst(std::string_view xpath,
                      const std::vector<XmlNamespace>& namespaces = {}) const;

  // The document as text. Raises fennick::Error for an unknown encoding.
  std::string Serialize(const XmlWriteOptions& options = {}) const;

  // The libxml2 document, for the XSLT adapter of this folder only.
  void* native() const { return doc_; }
  // Takes ownership of a libxml2 document (XSLT adapter only).
  static XmlDocument Adopt(void* native_doc);

 private:
  void* doc_ = nullptr;  // an owned xmlDoc
};

// The outcome of a parse: the document, or the parser's reason and line.
struct XmlParseResult {
  XmlDocument document;
  std::string error;  // "" when the text parsed
  int line = 0;       // line of the first error

  bool ok() const { return error.empty(); }
};

// Escapes text for an element's content or a double- or single-quoted
// attribute: & < > " ' become entity references, and characters XML cannot
// hold U+FFFD (xml_chars.h).
std::string XmlEscape(std::string_view text);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_XML_XML_DOCUMENT_H_
