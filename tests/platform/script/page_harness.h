// Script pages without HTTP: a temporary site, a page runtime over it, and
// requests made up as the web host would build them.
#ifndef FENNICK_TESTS_PLATFORM_PAGES_PAGE_HARNESS_H_
#define FENNICK_TESTS_PLATFORM_PAGES_PAGE_HARNESS_H_

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fennick/error.h"
#include "fennick/page.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "platform/script/page_runtime.h"
#include "platform/web/http_text.h"
#include "platform/web/test_server.h"

namespace fennick::testing {

struct PageResult {
  int status = 0;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string Header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
      if (EqualsIgnoreCase(n, name)) return v;
    }
    return "";
  }
};

class PageHarness {
 public:
  explicit PageHarness(ScriptPageOptions options = {})
      : root_(std::filesystem::canonical(site_.root())),
        store_(MakeMemorySessionStore()),
        factory_([](std::string_view progid) { return CreateComponentObject(progid); }),
        runtime_(std::make_unique<PageRuntime>(root_, std::move(options), 4)) {}

  void Write(const std::string& relative, const std::string& content) {
    site_.Write(relative, content);
  }
  const std::filesystem::path& root() const { return root_; }
  PageRuntime& runtime() { return *runtime_; }
  void SetFactory(ObjectFactory factory) { factory_ = std::move(factory); }

  // Runs the page of `url` ("/a.asp?x=1") in session `session`, with an
  // url-encoded form body when `form` is not empty.
  PageResult Get(const std::string& url, const std::string& form = "",
                 const std::string& session = "session-one") {
    std::string path = url.substr(0, url.find('?'));
    std::string query = url.size() > path.size() ? url.substr(path.size() + 1) : "";
    Request request;
    request.SetPath(path);
    request.SetMethod(form.empty() ? "GET" : "POST");
    ParseUrlEncoded(query, request.MutableQuery(), 1000);
    ParseUrlEncoded(form, request.MutableForm(), 1000);
    request.SetBody(form);
    request.SetVariable("URL", path);
    request.SetVariable("QUERY_STRING", query);
    request.SetVariable("REQUEST_METHOD", request.Method());
    request.SetVariable("REMOTE_ADDR", "192.0.2.7");
    if (!store_->Touch(session)) store_->Create(session);
    PageContext page(std::move(request), Session(store_, session), application_,
                     Server(root_, path, factory_, "en_US"));
    {
      PageBinding binding(page);
      try {
        runtime_->Run(page);
      } catch (const PageEnd&) {
        // Ended outside the script (never expected, but as the host does).
      }
    }
    PageResult result;
    result.status = page.response().StatusCode();
    result.body = page.response().Body();
    result.headers = page.response().Headers();
    return result;
  }

  Application& application() { return application_; }

 private:
  TempSite site_;
  std::filesystem::path root_;
  std::shared_ptr<SessionStore> store_;
  Application application_;
  ObjectFactory factory_;
  std::unique_ptr<PageRuntime> runtime_;
};

// Serves `t`'s site as script pages that create the component's objects,
// and starts it.
inline void StartWithScriptPages(TestServer& t, ScriptPageOptions options = {}) {
  t.server().SetObjectFactory(
      [](std::string_view progid) { return CreateComponentObject(progid); });
  EnableScriptPages(t.server(), std::move(options));
  t.Start();
}

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_PLATFORM_PAGES_PAGE_HARNESS_H_
