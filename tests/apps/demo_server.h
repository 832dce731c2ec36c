// `fennick serve --demo` (or `fennick serve` with other options) on a free
// loopback port, for the tests that talk to the server with a real client.
// The server is stopped with SIGTERM when the object goes.
#ifndef FENNICK_TESTS_APPS_DEMO_SERVER_H_
#define FENNICK_TESTS_APPS_DEMO_SERVER_H_

#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fennick::test_support {

class DemoServer {
 public:
  DemoServer() : DemoServer({"--demo"}) {}

  // `fennick serve --port 0 --quiet` followed by `options`.
  explicit DemoServer(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"fennick", "serve", "--port", "0", "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out_pipe[2];
    if (pipe(out_pipe) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out_pipe[1], 1);
      close(out_pipe[0]);
      setenv("FENNICK_SECRET", "test secret", 1);
      execv(FENNICK_BINARY, argv.data());
      _exit(127);
    }
    close(out_pipe[1]);
    out_ = fdopen(out_pipe[0], "r");
    char line[512] = {0};
    if (!out_ || !fgets(line, sizeof line, out_)) return;
    // The banner comes after the database is built.
    const std::string banner = line;
    const size_t at = banner.find("http://127.0.0.1:");
    if (at != std::string::npos) port_ = std::stoi(banner.substr(at + 17));
  }
  ~DemoServer() {
    Stop();
    if (out_) fclose(out_);
  }
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // 0 when the server did not start.
  int port() const { return port_; }
  httplib::Client Client(int read_timeout_seconds = 30) const {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(read_timeout_seconds);
    return client;
  }

  // Sends SIGTERM and waits for the server; its wait status, or -1 when it
  // was not running.
  int Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int port_ = 0;
};

}  // namespace fennick::test_support

#endif  // FENNICK_TESTS_APPS_DEMO_SERVER_H_
