// A real web host on an ephemeral loopback port, over a temporary site
// folder, for tests that talk HTTP to it.
#ifndef FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_
#define FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
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

// Sends `request` as written (so that no client library normalises its
// path or headers) and reads until the server closes the connection or
// stays silent for `timeout_seconds`; "" when nothing listens on `port`.
inline std::string RawRequest(int port, const std::string& request, int timeout_seconds = 10) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return "";
  }
  timeval tv{timeout_seconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  (void)!write(fd, request.data(), request.size());
  std::string out;
  char buf[8192];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fd);
  return out;
}

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_
