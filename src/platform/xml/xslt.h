// XSLT over libxslt: compiled stylesheets, transforms under a security
// policy, extension functions, and a cache of compiled stylesheets.
//
// A transform may read documents (document(), xsl:include) only as files
// inside the folder its policy names; it may never write a file, create a
// folder or touch the network. A compiled XsltStylesheet is immutable and
// may be used by several threads at once; XsltCache is thread-safe.
#ifndef FENNICK_PLATFORM_XML_XSLT_H_
#define FENNICK_PLATFORM_XML_XSLT_H_

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/xml/xml_document.h"

namespace fennick {

class XsltStylesheet;

// The outcome of compiling a stylesheet: the stylesheet, or the reason.
struct XsltCompileResult {
  std::shared_ptr<const XsltStylesheet> stylesheet;
  std::string error;  // "" when it compiled

  bool ok() const { return error.empty(); }
};

// The outcome of a transform: the serialised result (in the encoding and
// method of the stylesheet's xsl:output), or the reason it failed.
struct XsltResult {
  std::string text;
  std::string error;  // "" when the transform ran

  bool ok() const { return error.empty(); }
};

// What a transform may read. Writes, folder creation and network access are
// always refused.
struct XsltPolicy {
  // Files inside this folder (after resolving "..", symbolic links and
  // file: URIs) may be read by document() and xsl:include; an empty path
  // refuses every file.
  std::filesystem::path readable_root;
  // A transform still running at this moment is stopped and fails with
  // "the transformation ran past its time limit"; max() for no limit.
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

class XsltStylesheet {
 public:
  ~XsltStylesheet();
  XsltStylesheet(const XsltStylesheet&) = delete;
  XsltStylesheet& operator=(const XsltStylesheet&) = delete;

  // Compiles stylesheet text. xsl:include and xsl:import are resolved
  // against `base_path` and must stay inside `policy.readable_root`.
  static XsltCompileResult Compile(std::string_view text,
                                   const XsltPolicy& policy = {},
                                   const std::filesystem::path& base_path = {});
  // Compiles a stylesheet file (the caller has placed it inside the site).
  static XsltCompileResult CompileFile(const std::filesystem::path& path,
                                       const XsltPolicy& policy = {});

  // Transforms `input`. `parameters` are global xsl:param values given as
  // strings (quoted for XPath here, so any text is safe). Thread-safe.
  XsltResult Transform(const XmlDocument& input,
                       const std::vector<std::pair<std::string, std::string>>& parameters = {},
                       const XsltPolicy& policy = {}) const;

 // Takes ownership of a compiled libxslt stylesheet (this folder only).
  static std::shared_ptr<const XsltStylesheet> FromNative(void* style);

 private:
  explicit XsltStylesheet(void* style) : style_(style) {}
  void* style_;  // an owned xsltStylesheet (it owns its document)
};

// An extension function: the arguments converted to strings (a node-set
// gives the string value of its first node), and the result string.
using XsltFunction = std::function<std::string(const std::vector<std::string>& arguments)>;

// Makes `name` in namespace `ns_uri` callable from every stylesheet
// compiled afterwards (a stylesheet declares the namespace and calls
// prefix:name(...)). A second registration of the same name replaces the
// first. Thread-safe; meant for start-up.
void RegisterXsltFunction(std::string_view ns_uri, std::string_view name,
                          XsltFunction function);

// Compiled stylesheets by text, or by file path and modification time, so
// that each is compiled once. Thread-safe. Failed compilations are not
// cached (the result carries the reason each time).
class XsltCache {
 public:
  explicit XsltCache(size_t max_entries = 64) : max_entries_(max_entries) {}

  XsltCompileResult FromText(std::string_view text, const XsltPolicy& policy = {});
  XsltCompileResult FromFile(const std::filesystem::path& path, const XsltPolicy& policy = {});

  // The cache the component uses.
  static XsltCache& Shared();

 private:
  void Store(const std::string& key, const std::shared_ptr<const XsltStylesheet>& style);

  const size_t max_entries_;
  std::mutex mutex_;
  // Stylesheets by key ("t:" + policy root + text, "f:" + path + mtime).
  std::map<std::string, std::shared_ptr<const XsltStylesheet>> entries_;  // GUARDED_BY(mutex_)
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_XML_XSLT_H_
