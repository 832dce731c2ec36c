// A test site for the designer's pages: a TestServer running script pages
// with the component objects, one browser session, and the requests,
// files and stored reports the designer, report and schedule tests share.
#ifndef FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_SITE_H_
#define FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_SITE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "designer/report_definition.h"
#include "designer/reports_file.h"
#include "fennick/registry.h"
#include "fennick/script_pages.h"
#include "platform/web/test_server.h"
#include "support/fold-designer_files.h"

namespace fennick::test_support {

// Stores a report whose title is its id; `query` is its own statement.
inline void SaveReport(const designer::ReportsFile& file, const std::string& id,
                       const std::string& body, const std::string& query = "") {
  designer::ReportSave save;
  save.id = id;
  save.args = designer::EncodeDefinition(body);
  save.query = query.empty() ? "" : designer::EncodeDefinition(query);
  save.title = id;
  std::string error;
  ASSERT_TRUE(file.SaveReport(save, &error)) << error;
}

class DesignerSiteTest : public ::testing::Test {
 protected:
  // Makes the server and its (empty) data folder; pages and data go in
  // before Start.
  void MakeSite(const std::string& secret, ServerOptions options = {}) {
    options.secret = secret;
    server_ = std::make_unique<testing::TestServer>(options);
    std::filesystem::create_directories(Data());
  }
  // Starts serving script pages and opens the session with `first_url`.
  void Start(const std::string& first_url) {
    server_->server().SetObjectFactory(
        [](std::string_view progid) { return CreateComponentObject(progid); });
    EnableScriptPages(server_->server(), {});
    server_->Start();
    cookie_ = NewSession(first_url);
  }
  std::string NewSession(const std::string& url) {
    auto first = server_->Client().Get(url);
    if (!first) return "";
    const std::string cookie = first->get_header_value("Set-Cookie");
    return cookie.substr(0, cookie.find(';'));
  }

  httplib::Result Get(const std::string& url, const std::string& cookie) {
    httplib::Headers headers;
    if (!cookie.empty()) headers.emplace("Cookie", cookie);
    return server_->Client().Get(url, headers);
  }
  httplib::Result Get(const std::string& url) { return Get(url, cookie_); }
  httplib::Result Post(const std::string& url, const httplib::Params& params) {
    return server_->Client().Post(url, httplib::Headers{{"Cookie", cookie_}}, params);
  }

  std::filesystem::path Data() const { return server_->site().root() / "data"; }
  std::filesystem::path ReportsPath() const { return Data() / "reports.xml"; }
  std::string FileText() const { return ReadText(ReportsPath()); }

  std::unique_ptr<testing::TestServer> server_;
  std::string cookie_;
};

}  // namespace fennick::test_support

#endif  // FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_SITE_H_
