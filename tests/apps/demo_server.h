// `fennick serve --demo` on a free loopback port, for the tests that talk to
// the demo site with a real client. The server is stopped with SIGTERM when
// the object goes.
#ifndef FENNICK_TESTS_APPS_DEMO_SERVER_H_
#define FENNICK_TESTS_APPS_DEMO_SERVER_H_

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fennick::test_support {

class DemoServer {
 public:
  DemoServer() {
    int out_pipe[2];
    if (pipe(out_pipe) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out_pipe[1], 1);
      close(out_pipe[0]);
      setenv("FENNICK_SECRET", "test secret", 1);
      execl(FENNICK_BINARY, "fennick", "serve", "--demo", "--port", "0", "--quiet", nullptr);
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
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (out_) fclose(out_);
  }
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // 0 when the server did not start.
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int port_ = 0;
};

}  // namespace fennick::test_support

#endif  // FENNICK_TESTS_APPS_DEMO_SERVER_H_
