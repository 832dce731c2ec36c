// The services the tests talk to (Redis, nginx): their settings from
// .services/NAME.env, written by scripts/services/NAME-start.sh, and a
// private Redis server a test may stop and start again (the shared one is
// never stopped: other tests use it at the same time).
#ifndef FENNICK_TESTS_PLATFORM_WEB_TEST_SERVICES_H_
#define FENNICK_TESTS_PLATFORM_WEB_TEST_SERVICES_H_

#include <hiredis/hiredis.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fennick::testing {

// KEY=VALUE lines of .services/NAME.env; empty when the service is not
// running (the test then fails: services are never optional).
inline std::map<std::string, std::string> ServiceEnv(const std::string& name) {
  std::map<std::string, std::string> out;
  std::ifstream in(std::string(FENNICK_SOURCE_DIR) + "/.services/" + name + ".env");
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

// A loopback port nobody listens on right now.
inline int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

// Sends one command to a Redis server, after AUTH with `password` when one
// is given; the reply as text ("" on failure).
inline std::string RedisCommand(int port, const std::vector<std::string>& args,
                                const std::string& password = "") {
  timeval timeout{2, 0};
  redisContext* c = redisConnectWithTimeout("127.0.0.1", port, timeout);
  if (!c || c->err) {
    if (c) redisFree(c);
    return "";
  }
  if (!password.empty()) {
    freeReplyObject(redisCommand(c, "AUTH %b", password.data(), password.size()));
  }
  std::vector<const char*> argv;
  std::vector<size_t> lens;
  for (const auto& a : args) {
    argv.push_back(a.data());
    lens.push_back(a.size());
  }
  auto* r = static_cast<redisReply*>(
      redisCommandArgv(c, static_cast<int>(argv.size()), argv.data(), lens.data()));
  std::string out;
  if (r) {
    if (r->type == REDIS_REPLY_INTEGER) {
      out = std::to_string(r->integer);
    } else if (r->str) {
      out.assign(r->str, r->len);
    }
    freeReplyObject(r);
  }
  redisFree(c);
  return out;
}

// A Redis server of the test's own on a fixed free port, from the binary the
// Redis service names, with `password` as its requirepass when not empty;
// Stop() and Start() again keep the port and password, as a real Redis
// restarting would.
class PrivateRedis {
 public:
  explicit PrivateRedis(std::string password = "") : port_(FreePort()), password_(std::move(password)) {
    std::string templ = (std::filesystem::temp_directory_path() / "fennick-redis-XXXXXX").string();
    dir_ = mkdtemp(templ.data());
  }
  ~PrivateRedis() {
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  PrivateRedis(const PrivateRedis&) = delete;
  PrivateRedis& operator=(const PrivateRedis&) = delete;

  // False when the server did not answer within five seconds.
  bool Start() {
    std::string bin = ServiceEnv("redis")["FENNICK_REDIS_BIN"];
    if (bin.empty()) return false;
    pid_ = fork();
    if (pid_ == 0) {
      std::string port = std::to_string(port_);
      std::string log = (dir_ / "redis.log").string();
      execl(bin.c_str(), bin.c_str(), "--port", port.c_str(), "--bind", "127.0.0.1", "--dir",
            dir_.c_str(), "--save", "", "--appendonly", "no", "--logfile", log.c_str(),
            "--requirepass", password_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      if (RedisCommand(port_, {"PING"}, password_) == "PONG") return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  int port() const { return port_; }
  std::string url() const { return "redis://127.0.0.1:" + std::to_string(port_); }

 private:
  int port_;
  std::string password_;
  pid_t pid_ = -1;
  std::filesystem::path dir_;
};

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_PLATFORM_WEB_TEST_SERVICES_H_
