// A real web host on an ephemeral loopback port, over a temporary site
// folder, for tests that talk HTTP to it.
#ifndef FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_
#define FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_

#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "fennick/server.h"

namespace fennick::testing {

class TempSite {
 public:
  TempSite() {
    std::string templ = (std::filesystem::temp_directory_path() / "fennick-site-XXXXXX").string();
    root_ = mkdtemp(templ.data());
  }
  ~TempSite() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  void Write(const std::string& relative, const std::string& content) const {
    auto path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

class TestServer {
 public:
  explicit TestServer(ServerOptions options = {}) {
    options.site_root = site_.root();
    options.port = 0;
    if (!options.log) options.log = [](const std::string&) {};
    options_ = std::move(options);
  }
  ~TestServer() { Stop(); }

  WebServer& server() {
    if (!server_) server_ = std::make_unique<WebServer>(options_);
    return *server_;
  }
  void Start() {
    std::string error;
    if (!server().Bind(&error)) throw std::runtime_error(error);
    thread_ = std::thread([this] { server_->Run(); });
  }
  void Stop() {
    if (server_) server_->Stop();
    if (thread_.joinable()) thread_.join();
  }
  httplib::Client Client() const {
    httplib::Client client("127.0.0.1", server_->port());
    // Generous: CI runs two tests at once, and a heavy page (a hundred
    // thousand objects) may take seconds there. Tests that time something
    // measure it themselves.
    client.set_connection_timeout(5);
    client.set_read_timeout(30);
    return client;
  }
  int port() const { return server_->port(); }
  TempSite& site() { return site_; }

 private:
  TempSite site_;
  ServerOptions options_;
  std::unique_ptr<WebServer> server_;
  std::thread thread_;
};

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_
