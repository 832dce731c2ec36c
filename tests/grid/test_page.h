// The page a grid test runs in: a request for one address with the form
// and query fields the test posts, in a session of the test's own store,
// made the current page until the next one opens. Used like the page's
// pointer (page_->response()).
#ifndef FENNICK_TESTS_GRID_TEST_PAGE_H_
#define FENNICK_TESTS_GRID_TEST_PAGE_H_

#include <gmock/gmock.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fennick/page.h"

namespace fennick {
// The grid tests look for parts of the HTML they draw.
using ::testing::HasSubstr;
using ::testing::Not;

// How often `part` occurs in `text`.
inline size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}
}  // namespace fennick

namespace fennick::testing {

using Fields = std::vector<std::pair<std::string, std::string>>;

class TestPage {
 public:
  explicit TestPage(std::string path = "/orders.asp", std::string root = "/site")
      : path_(std::move(path)), root_(std::move(root)) {}

  // Opens a new page; the previous one stops being current first (its
  // grids must be gone by then).
  PageContext& Open(const Fields& form, const Fields& query = {}) {
    binding_.reset();
    Request r;
    for (auto& [k, v] : form) r.MutableForm().Add(k, v);
    for (auto& [k, v] : query) r.MutableQuery().Add(k, v);
    r.SetVariable("URL", path_);
    page_ = std::make_unique<PageContext>(std::move(r), session(), app_,
                                          Server(root_, path_, nullptr, "en_US"));
    binding_ = std::make_unique<PageBinding>(*page_);
    return *page_;
  }
  void Close() {
    binding_.reset();
    page_.reset();
  }

  Session session() { return Session(store_, "s"); }
  PageContext* operator->() const { return page_.get(); }
  PageContext& operator*() const { return *page_; }
  explicit operator bool() const { return page_ != nullptr; }

 private:
  std::string path_, root_;
  std::shared_ptr<SessionStore> store_ = MakeMemorySessionStore();
  Application app_;
  std::unique_ptr<PageContext> page_;
  std::unique_ptr<PageBinding> binding_;
};

// The value of the hidden field `name` in a grid's HTML ("" when absent).
inline std::string HiddenValue(const std::string& html, const std::string& name) {
  const std::string key = "name=" + name + " value=\"";
  const size_t at = html.find(key);
  if (at == std::string::npos) return "";
  return html.substr(at + key.size(), html.find('"', at + key.size()) - at - key.size());
}

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_GRID_TEST_PAGE_H_
