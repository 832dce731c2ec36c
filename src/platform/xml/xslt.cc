// XSLT over libxslt: compile, transform under a policy, extension
// functions, the stylesheet cache.
#include "platform/xml/xslt.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/extensions.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <mutex>
#include <shared_mutex>
#include <system_error>

#include "fennick/error.h"
#include "platform/xml/xml_chars.h"
#include "platform/xml/xml_library.h"

namespace fennick {
namespace {

using xml_internal::EnsureXmlLibrary;
using xml_internal::XmlErrorCapture;

// The folder a stylesheet being compiled on this thread may include from;
// libxslt checks xsl:include and xsl:import without a transform context, so
// the compile publishes its policy here for the length of the compile.
thread_local const std::filesystem::path* compile_root = nullptr;

class CompileRootScope {
 public:
  explicit CompileRootScope(const std::filesystem::path* root) : previous_(compile_root) {
    compile_root = root;
  }
  ~CompileRootScope() { compile_root = previous_; }

 private:
  const std::filesystem::path* previous_;
};

// Whether `path` names a file inside `root`, after both are resolved
// (symbolic links, "..", "."), so no spelling leaves the folder.
bool IsInside(const std::filesystem::path& root, const std::filesystem::path& path) {
  if (root.empty() || path.empty()) return false;
  std::error_code error;
  std::filesystem::path base = std::filesystem::weakly_canonical(root, error);
  if (error) return false;
  std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
  if (error) return false;
  auto [base_end, target_end] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
  // A trailing separator leaves an empty last component in `base`.
  return base_end == base.end() || (base_end->empty() && std::next(base_end) == base.end());
}

// What every transform context carries in its _private: the policy's
// folder and deadline.
struct TransformLimits {
  const std::filesystem::path* readable_root;
  std::chrono::steady_clock::time_point deadline;
};

const std::filesystem::path* ReadableRootOf(xsltTransformContextPtr ctxt) {
  auto* limits = static_cast<TransformLimits*>(ctxt->_private);
  return limits != nullptr ? limits->readable_root : nullptr;
}

int CheckReadFile(xsltSecurityPrefsPtr /*prefs*/, xsltTransformContextPtr ctxt,
                  const char* path) {
  const std::filesystem::path* root = ctxt != nullptr ? ReadableRootOf(ctxt) : compile_root;
  if (root != nullptr && path != nullptr && IsInside(*root, path)) return 1;
  if (ctxt != nullptr) {
    xsltTransformError(ctxt, nullptr, nullptr, "Reading the file %s is not allowed\n",
                       path ? path : "");
  } else {
    xsltTransformError(nullptr, nullptr, nullptr, "Including the file %s is not allowed\n",
                       path ? path : "");
  }
  return 0;
}

// The preferences of every transform and of every compile: file reads are
// checked against the policy; writes, folders and the network are refused.
xsltSecurityPrefsPtr SecurityPrefs() {
  static xsltSecurityPrefsPtr prefs = [] {
    EnsureXmlLibrary();
    xsltSecurityPrefsPtr made = xsltNewSecurityPrefs();
    xsltSetSecurityPrefs(made, XSLT_SECPREF_READ_FILE, CheckReadFile);
    xsltSetSecurityPrefs(made, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(made, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(made, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(made, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    // Compiles check xsl:include and xsl:import against the defaults.
    xsltSetDefaultSecurityPrefs(made);
    return made;
  }();
  return prefs;
}

// Time limits ------------------------------------------------------------

constexpr char kTimeLimitMessage[] = "the transformation ran past its time limit";

// libxslt calls its debugger hook before every instruction of a transform
// whose context has a debug status; only transforms with a deadline get
// one, so others never come here. One instruction may evaluate a costly
// expression, so the clock (a vDSO call) is read at every one.
void CheckTransformDeadline(xmlNodePtr /*instruction*/, xmlNodePtr /*node*/,
                            xsltTemplatePtr /*templ*/, xsltTransformContextPtr ctxt) {
  auto* limits = static_cast<TransformLimits*>(ctxt->_private);
  if (limits == nullptr) return;
  if (std::chrono::steady_clock::now() < limits->deadline) return;
  if (ctxt->state != XSLT_STATE_STOPPED) {
    xsltTransformError(ctxt, nullptr, nullptr, "%s\n", kTimeLimitMessage);
    ctxt->state = XSLT_STATE_STOPPED;
  }
}

// Installs the hook once per process (the hook table is global; the
// per-context status decides which transforms use it).
void InstallDeadlineHook() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct {
      xsltHandleDebuggerCallback handler;
      xsltAddCallCallback add;
      xsltDropCallCallback drop;
    } hooks = {CheckTransformDeadline, nullptr, nullptr};
    xsltSetDebuggerCallbacks(3, &hooks);
  });
}

// Extension functions ---------------------------------------------------

std::shared_mutex functions_mutex;
// By namespace URI + " " + local name.
std::map<std::string, XsltFunction>& Functions() {  // GUARDED_BY(functions_mutex)
  static std::map<std::string, XsltFunction> functions;
  return functions;
}

// libxslt calls every registered extension function through here; the name
// and namespace of the call are on the XPath context.
void CallExtension(xmlXPathParserContextPtr ctxt, int nargs) {
  std::vector<std::string> arguments(nargs > 0 ? nargs : 0);
  for (int i = nargs - 1; i >= 0; --i) {
    xmlChar* value = xmlXPathPopString(ctxt);
    arguments[i] = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
  }
  std::string key = std::string(ctxt->context->functionURI
                                    ? reinterpret_cast<const char*>(ctxt->context->functionURI)
                                    : "") +
                    " " +
                    (ctxt->context->function ? reinterpret_cast<const char*>(ctxt->context->function)
                                             : "");
  XsltFunction function;
  {
    std::shared_lock lock(functions_mutex);
    auto found = Functions().find(key);
    if (found != Functions().end()) function = found->second;
  }
  std::string result;
  if (function) {
    // No C++ exception may unwind through libxslt's frames.
    try {
      result = function(arguments);
    } catch (const std::exception& error) {
      xsltTransformError(xsltXPathGetTransformContext(ctxt), nullptr, nullptr,
                         "Extension function %s failed: %s\n", key.c_str(), error.what());
    } catch (...) {
      xsltTransformError(xsltXPathGetTransformContext(ctxt), nullptr, nullptr,
                         "Extension function %s failed\n", key.c_str());
    }
  }
  valuePush(ctxt, xmlXPathNewString(reinterpret_cast<const xmlChar*>(result.c_str())));
}

XsltCompileResult CompileDocument(xmlDocPtr doc, const XsltPolicy& policy,
                                  XmlErrorCapture& capture) {
  XsltCompileResult result;
  SecurityPrefs();
  CompileRootScope scope(&policy.readable_root);
  xsltStylesheetPtr style = xsltParseStylesheetDoc(doc);
  if (style == nullptr || style->errors > 0) {
    if (style != nullptr) {
      xsltFreeStylesheet(style);  // frees the document with it
    } else {
      xmlFreeDoc(doc);  // still the caller's on failure
    }
    result.error = capture.Messages();
    if (result.error.empty()) result.error = "the stylesheet is not valid XSLT";
    return result;
  }
  result.stylesheet = XsltStylesheet::FromNative(style);
  return result;
}

}  // namespace

XsltStylesheet::~XsltStylesheet() {
  xsltFreeStylesheet(static_cast<xsltStylesheetPtr>(style_));
}

std::shared_ptr<const XsltStylesheet> XsltStylesheet::FromNative(void* style) {
  return std::shared_ptr<const XsltStylesheet>(new XsltStylesheet(style));
}

XsltCompileResult XsltStylesheet::Compile(std::string_view text, const XsltPolicy& policy,
                                          const std::filesystem::path& base_path) {
  XmlErrorCapture capture;
  std::string url = base_path.string();
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()),
                                url.empty() ? nullptr : url.c_str(), nullptr,
                                xml_internal::SafeParseOptions());
  if (doc == nullptr) {
    XsltCompileResult result;
    result.error = capture.Messages();
    if (result.error.empty()) result.error = "the stylesheet is not well-formed XML";
    return result;
  }
  return CompileDocument(doc, policy, capture);
}

XsltCompileResult XsltStylesheet::CompileFile(const std::filesystem::path& path,
                                              const XsltPolicy& policy) {
  XmlErrorCapture capture;
  xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, xml_internal::SafeParseOptions());
  if (doc == nullptr) {
    XsltCompileResult result;
    result.error = capture.Messages();
    if (result.error.empty()) result.error = "the stylesheet " + path.string() + " could not be read";
    return result;
  }
  return CompileDocument(doc, policy, capture);
}

XsltResult XsltStylesheet::Transform(
    const XmlDocument& input, const std::vector<std::pair<std::string, std::string>>& parameters,
    const XsltPolicy& policy) const {
  XsltResult result;
  XmlErrorCapture capture;
  auto style = static_cast<xsltStylesheetPtr>(style_);
  auto doc = static_cast<xmlDocPtr>(input.native());
  if (doc == nullptr) {
    result.error = "there is no document to transform";
    return result;
  }
  xsltTransformContextPtr raw = xsltNewTransformContext(style, doc);
  if (raw == nullptr) throw Error(kErrInvalidCall, "Out of memory for a transform", "Fennick.Xml");
  std::unique_ptr<xsltTransformContext, void (*)(xsltTransformContextPtr)> ctxt(
      raw, xsltFreeTransformContext);
  TransformLimits limits{&policy.readable_root, policy.deadline};
  ctxt->_private = &limits;
  if (policy.deadline != std::chrono::steady_clock::time_point::max()) {
    InstallDeadlineHook();
    ctxt->debugStatus = XSLT_DEBUG_RUN;
  }
  xsltSetCtxtSecurityPrefs(SecurityPrefs(), ctxt.get());
  xsltSetCtxtParseOptions(ctxt.get(), xml_internal::SafeParseOptions());
  for (const auto& [name, value] : parameters) {
    // Quoted as an XPath string by libxslt, whatever quotes the value holds;
    // a value reaches the result document, so it holds only what XML can.
    const std::string safe = XmlSafeText(value);
    xsltQuoteOneUserParam(ctxt.get(), reinterpret_cast<const xmlChar*>(name.c_str()),
                          reinterpret_cast<const xmlChar*>(safe.c_str()));
  }
  xmlDocPtr output = xsltApplyStylesheetUser(style, doc, nullptr, nullptr, nullptr, ctxt.get());
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> owned(output, xmlFreeDoc);
  xml_internal::CheckXmlMemory();
  if (output == nullptr || ctxt->state == XSLT_STATE_ERROR ||
      ctxt->state == XSLT_STATE_STOPPED) {
    result.error = capture.Messages();
    if (result.error.empty()) result.error = "the transformation failed";
    return result;
  }
  xmlChar* text = nullptr;
  int length = 0;
  if (xsltSaveResultToString(&text, &length, output, style) < 0) {
    result.error = "the transformation's result could not be written";
    return result;
  }
  if (text != nullptr) {
    result.text.assign(reinterpret_cast<const char*>(text), length);
    xmlFree(text);
  }
  xml_internal::CheckXmlMemory();
  return result;
}

void RegisterXsltFunction(std::string_view ns_uri, std::string_view name, XsltFunction function) {
  EnsureXmlLibrary();
  std::string uri(ns_uri), local(name);
  {
    std::unique_lock lock(functions_mutex);
    Functions()[uri + " " + local] = std::move(function);
  }
  xsltRegisterExtModuleFunction(reinterpret_cast<const xmlChar*>(local.c_str()),
                                reinterpret_cast<const xmlChar*>(uri.c_str()), CallExtension);
}

// XsltCache -------------------------------------------------------------

XsltCompileResult XsltCache::FromText(std::string_view text, const XsltPolicy& policy) {
  std::string key = "t:" + policy.readable_root.string() + "\n" + std::string(text);
  {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(key);
    if (found != entries_.end()) return {found->second, ""};
  }
  // Compiled outside the lock: two threads may compile the same text at
  // once, and the later store wins; both results are equal.
  XsltCompileResult result = XsltStylesheet::Compile(text, policy);
  if (result.ok()) Store(key, result.stylesheet);
  return result;
}

XsltCompileResult XsltCache::FromFile(const std::filesystem::path& path, const XsltPolicy& policy) {
  std::error_code error;
  auto modified = std::filesystem::last_write_time(path, error);
  if (error) {
    return {nullptr, "the stylesheet " + path.string() + " could not be read: " + error.message()};
  }
  std::string key = "f:" + policy.readable_root.string() + "\n" + path.string() + "\n" +
                    std::to_string(modified.time_since_epoch().count());
  {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(key);
    if (found != entries_.end()) return {found->second, ""};
  }
  XsltCompileResult result = XsltStylesheet::CompileFile(path, policy);
  if (result.ok()) Store(key, result.stylesheet);
  return result;
}

void XsltCache::Store(const std::string& key, const std::shared_ptr<const XsltStylesheet>& style) {
  std::lock_guard lock(mutex_);
  // A full cache starts over rather than tracking use: pages use a handful
  // of stylesheets, and only a page that makes new ones each time fills it.
  if (entries_.size() >= max_entries_) entries_.clear();
  entries_[key] = style;
}

XsltCache& XsltCache::Shared() {
  static XsltCache* cache = new XsltCache();  // never destroyed: used until exit
  return *cache;
}

}  // namespace fennick
