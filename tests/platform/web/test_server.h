// A real web host on an ephemeral loopback port, over a temporary site
// folder, for tests that talk HTTP to it.
#ifndef FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_
#define FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
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

// A raw client socket, for tests that play clients no library would be:
// dripping, pipelining, reading slowly. `from` picks the loopback address
// it connects from (127.0.0.0/8 all reaches this host); `receive_buffer`,
// when set, shrinks the socket's buffer so the server's writes wait.
class RawClient {
 public:
  explicit RawClient(int port, const char* from = nullptr, int receive_buffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer > 0)
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    if (from) {
      sockaddr_in local{};
      local.sin_family = AF_INET;
      inet_pton(AF_INET, from, &local.sin_addr);
      bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() { close(fd_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  bool Send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Everything the server sends until it closes or `timeout` passes.
  std::string ReadAll(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    std::string out;
    auto end = std::chrono::steady_clock::now() + timeout;
    char buf[4096];
    while (true) {
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      end - std::chrono::steady_clock::now())
                                      .count());
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, left) <= 0) break;
      ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  // Everything until the server closes or stays silent for `idle_seconds`,
  // taken `per_read` bytes at a time with `pause` after each read.
  std::string ReadUntilClosed(int idle_seconds, size_t per_read = 8192,
                              std::chrono::milliseconds pause = {}) {
    timeval tv{idle_seconds, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string out;
    std::string buffer(per_read, '\0');
    ssize_t n;
    while ((n = read(fd_, buffer.data(), per_read)) > 0) {
      out.append(buffer.data(), static_cast<size_t>(n));
      if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    return out;
  }
  void ShutdownWrite() { shutdown(fd_, SHUT_WR); }
  // Whether the server has answered or closed (without waiting).
  bool Answered() {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

// Sends `request` as written (so that no client library normalises its
// path or headers) and reads until the server closes the connection or
// stays silent for `timeout_seconds`; "" when nothing listens on `port`.
inline std::string RawRequest(int port, const std::string& request, int timeout_seconds = 10) {
  RawClient client(port);
  if (!client.connected()) return "";
  client.Send(request);
  return client.ReadUntilClosed(timeout_seconds);
}

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_PLATFORM_WEB_TEST_SERVER_H_
