// The connection side of the web host: per-address admission, one poll
// thread reading and framing requests under deadlines, and the workers
// that serve complete requests.
#include "platform/web/connection_front.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <httplib.h>

#include "fennick/error.h"

namespace fennick {
namespace {

using Clock = std::chrono::steady_clock;

// How long a closing connection keeps draining what the client still
// sends, so that its last response is read rather than lost to a reset.
constexpr auto kLingerTime = std::chrono::seconds(2);
// At most this much is read from one connection per wake-up, so one fast
// client cannot keep the poll thread from the others.
constexpr size_t kReadPerWake = 64 * 1024;

thread_local const std::vector<std::string>* set_aside_values = nullptr;

const char* StatusTitle(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 417: return "Expectation Failed";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
  }
}

// The numeric host and port of a socket address.
void NameAddress(const sockaddr_storage& addr, socklen_t len, std::string& ip, int& port) {
  char host[NI_MAXHOST], service[NI_MAXSERV];
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&addr), len, host, sizeof host, service,
                  sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    ip.clear();
    port = 0;
    return;
  }
  ip = host;
  port = std::atoi(service);
}

int PollMillis(Clock::duration d) {
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return static_cast<int>(std::clamp<int64_t>(ms, 0, 1000));
}

// One framed request for the HTTP library: it reads the request from
// memory and writes the response to the socket, waiting at most the write
// timeout each time the client stops taking bytes.
class RequestStream : public httplib::Stream {
 public:
  RequestStream(int fd, std::string request, std::chrono::milliseconds write_timeout)
      : fd_(fd), request_(std::move(request)), write_timeout_ms_(PollMillisLong(write_timeout)) {}

  bool is_readable() const override { return pos_ < request_.size(); }

  bool is_writable() const override {
    pollfd p{fd_, POLLOUT, 0};
    return poll(&p, 1, write_timeout_ms_) > 0 && !(p.revents & (POLLERR | POLLHUP));
  }

  ssize_t read(char* ptr, size_t size) override {
    size_t n = std::min(size, request_.size() - pos_);
    std::memcpy(ptr, request_.data() + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (failed_) return -1;
    size_t done = 0;
    while (done < size) {
      ssize_t n = ::send(fd_, ptr + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && is_writable()) {
        continue;
      } else {
        failed_ = true;
        // What went out before the failure still counts as sent; the
        // caller's next write fails at once.
        return done > 0 ? static_cast<ssize_t>(done) : -1;
      }
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
      NameAddress(addr, len, ip, port);
    }
  }

  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
      NameAddress(addr, len, ip, port);
    }
  }

  socket_t socket() const override { return fd_; }

  bool failed() const { return failed_; }

 private:
  static int PollMillisLong(std::chrono::milliseconds d) {
    return static_cast<int>(std::max<int64_t>(d.count(), 1));
  }

  int fd_;
  std::string request_;
  size_t pos_ = 0;
  int write_timeout_ms_;
  bool failed_ = false;
};

}  // namespace

const std::vector<std::string>* SetAsideValues() { return set_aside_values; }

// One client connection. It belongs to exactly one thread at a time: the
// poll thread while a request arrives, a worker while it is served. Closing
// the socket and giving back its address's slot happen together, here.
struct ConnectionFront::Connection {
  Connection(ConnectionFront& owner, int socket, std::string peer, FramingLimits limits)
      : front(owner), fd(socket), address(std::move(peer)), framer(limits) {}
  ~Connection() {
    ::close(fd);
    front.Release(address);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  ConnectionFront& front;
  const int fd;
  const std::string address;
  std::string received;  // from the start of the pending request
  RequestFramer framer;
  Clock::time_point request_start;  // first byte of the pending request
  Clock::time_point last_activity;
  size_t served = 0;
  bool eof = false;            // the client sends no more
  bool continue_sent = false;  // "100 Continue" answered for this request
  bool retiring = false;       // answered for the last time; draining
};

ConnectionFront::ConnectionFront(ConnectionFrontOptions options, ServeFn serve,
                                 ErrorPageFn error_page, LogFn log)
    : options_(options),
      serve_(std::move(serve)),
      error_page_(std::move(error_page)),
      log_(std::move(log)) {
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) throw Error(-1, std::string("eventfd: ") + std::strerror(errno), "WebServer");
}

ConnectionFront::~ConnectionFront() {
  Stop();
  ::close(wake_fd_);
}

void ConnectionFront::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_ || stopping_) return;
  started_ = true;
  poller_ = std::thread([this] { PollLoop(); });
  for (size_t i = 0; i < std::max<size_t>(options_.threads, 1); ++i) {
    workers_.emplace_back([this] { WorkerLoop(); });
  }
}

void ConnectionFront::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  Wake();
  ready_cv_.notify_all();
  if (poller_.joinable()) poller_.join();
  for (auto& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  // Connections are destroyed outside the lock: closing one takes it.
  std::vector<ConnectionPtr> inbox;
  std::deque<ConnectionPtr> ready;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    inbox.swap(inbox_);
    ready.swap(ready_);
  }
}

void ConnectionFront::Drain(Clock::time_point deadline) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_ || stopping_) return;
    draining_ = true;
    // Until the poll thread has looked once, count what it holds as
    // arriving.
    arriving_ = 1;
  }
  Wake();
  while (Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard<std::mutex> lock(mutex_);
    // Connections handed back by a worker wait in the inbox until the poll
    // thread frames what they hold (a pipelined request, perhaps).
    if (busy_ == 0 && ready_.empty() && inbox_.empty() && arriving_ == 0) return;
  }
}

size_t ConnectionFront::ActiveRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return busy_;
}

void ConnectionFront::Wake() {
  uint64_t one = 1;
  // A full counter already means "wake up"; nothing is lost.
  (void)!::write(wake_fd_, &one, sizeof one);
}

bool ConnectionFront::Admit(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (options_.uncapped && options_.uncapped(address)) return true;
  size_t& open = per_address_[address];
  if (options_.max_connections_per_address != 0 && open >= options_.max_connections_per_address) {
    if (open == 0) per_address_.erase(address);
    return false;
  }
  ++open;
  return true;
}

void ConnectionFront::Release(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = per_address_.find(address);
  if (it != per_address_.end() && --it->second == 0) per_address_.erase(it);
}

void ConnectionFront::Adopt(int fd) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  std::string address;
  int port = 0;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    NameAddress(addr, len, address, port);
  }
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  // Responses go out in pieces (a head, then a streamed export's chunks):
  // each is sent at once rather than held back until the client
  // acknowledges the one before, which costs a delayed acknowledgement
  // (tens of milliseconds) per piece.
  int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);

  // The cap is checked here, on the accept thread, before the connection
  // costs anything more than its socket: a client holding its share gets
  // no further slot, however many workers are idle or busy.
  if (!Admit(address)) {
    SendRefusal(fd, 503, StatusTitle(503));
    if (options_.on_refusal) options_.on_refusal(503);
    ::close(fd);
    if (log_) log_("refused 503 " + address + ": too many connections from this address");
    return;
  }
  auto c = std::make_unique<Connection>(*this, fd, std::move(address), options_.limits);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_) inbox_.push_back(std::move(c));
  }
  Wake();
}

void ConnectionFront::SendRefusal(int fd, int status, std::string_view title) {
  std::string body = error_page_ ? error_page_(status, title) : std::string();
  std::string response = "HTTP/1.1 " + std::to_string(status) + " " + std::string(title) +
                         "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  // Best effort: a refusal is small and goes into an idle socket's buffer;
  // a client that cannot take it loses only its own answer.
  (void)!::send(fd, response.data(), response.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void ConnectionFront::Retire(Connection& c) {
  ::shutdown(c.fd, SHUT_WR);
  c.retiring = true;
  c.received.clear();
  c.received.shrink_to_fit();
  c.request_start = c.last_activity = Clock::now();
}

bool ConnectionFront::ReadFrom(Connection& c) {
  char buffer[16 * 1024];
  size_t total = 0;
  while (total < kReadPerWake) {
    ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      total += static_cast<size_t>(n);
      if (c.retiring) continue;  // drained and dropped
      if (c.received.empty()) c.request_start = Clock::now();
      c.received.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      c.eof = true;
      break;
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      break;
    } else {
      return false;
    }
  }
  if (total > 0) c.last_activity = Clock::now();
  return true;
}

ConnectionFront::Next ConnectionFront::Examine(Connection& c) {
  switch (c.framer.Advance(c.received)) {
    case RequestFramer::Result::kComplete:
      return Next::kDispatch;
    case RequestFramer::Result::kFailed: {
      int status = c.framer.FailureStatus();
      SendRefusal(c.fd, status, StatusTitle(status));
      if (options_.on_refusal) options_.on_refusal(status);
      if (log_) {
        log_("refused " + std::to_string(status) + " " + c.address + ": " +
             c.framer.FailureReason());
      }
      return Next::kClose;
    }
    case RequestFramer::Result::kNeedMore:
      break;
  }
  if (c.framer.WantsContinue() && !c.continue_sent) {
    static constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    (void)!::send(c.fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    c.continue_sent = true;
  }
  return Next::kWait;
}

void ConnectionFront::PollLoop() {
  // Connections waiting for bytes; only this thread touches them.
  std::vector<ConnectionPtr> waiting;
  std::vector<pollfd> fds;

  auto deadline = [this](const Connection& c) {
    if (c.retiring) return c.request_start + kLingerTime;
    if (c.received.empty()) {
      return c.last_activity + (c.served == 0 ? options_.request_deadline : options_.keep_alive);
    }
    return c.request_start + options_.request_deadline;
  };
  // Acts on what Examine (or a timeout) decided; false when the connection
  // left `waiting` (dispatched or closed).
  auto settle = [this](ConnectionPtr& c, Next next) {
    if (next == Next::kWait && c->eof && !c->retiring) next = Next::kClose;
    if (next == Next::kWait) return true;
    if (next == Next::kDispatch) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_.push_back(std::move(c));
      }
      ready_cv_.notify_one();
      return false;
    }
    // kClose after an answer: linger unless the client is gone already.
    if (!c->retiring && !c->eof) {
      Retire(*c);
      return true;
    }
    c.reset();
    return false;
  };

  while (true) {
    std::vector<ConnectionPtr> arrived;
    bool draining;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) break;
      arrived.swap(inbox_);
      draining = draining_;
    }
    for (auto& c : arrived) {
      if (c->retiring) {
        waiting.push_back(std::move(c));
        continue;
      }
      // A connection back from a worker may hold the next pipelined
      // request already; it is framed before the socket is polled.
      c->last_activity = c->request_start = Clock::now();
      if (settle(c, Examine(*c))) waiting.push_back(std::move(c));
    }

    auto now = Clock::now();
    auto next_deadline = now + std::chrono::seconds(1);
    fds.assign(1, pollfd{wake_fd_, POLLIN, 0});
    for (const auto& c : waiting) {
      fds.push_back(pollfd{c->fd, POLLIN, 0});
      next_deadline = std::min(next_deadline, deadline(*c));
    }
    ::poll(fds.data(), fds.size(), PollMillis(next_deadline - now));
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      (void)!::read(wake_fd_, &count, sizeof count);
    }

    now = Clock::now();
    size_t kept = 0;
    for (size_t i = 0; i < waiting.size(); ++i) {
      ConnectionPtr& c = waiting[i];
      Next next = Next::kWait;
      if (fds[i + 1].revents != 0) {
        if (!ReadFrom(*c)) {
          next = Next::kClose;
          c->eof = true;
        } else if (c->retiring) {
          if (c->eof) c.reset();
        } else {
          next = Examine(*c);
        }
      }
      if (c && next == Next::kWait && now >= deadline(*c)) {
        if (c->retiring || c->received.empty()) {
          c.reset();  // nothing is owed to an idle client
        } else {
          SendRefusal(c->fd, 408, StatusTitle(408));
          if (options_.on_refusal) options_.on_refusal(408);
          if (log_) log_("refused 408 " + c->address + ": request not complete in time");
          next = Next::kClose;
        }
      }
      if (c && settle(c, next) && kept++ != i) waiting[kept - 1] = std::move(c);
    }
    waiting.resize(kept);

    // While draining, a connection between requests is closed rather than
    // kept for a next request that would arrive too late; one whose
    // request is arriving is given the grace period to finish.
    size_t arriving = 0;
    kept = 0;
    for (size_t i = 0; i < waiting.size(); ++i) {
      ConnectionPtr& c = waiting[i];
      if (draining && !c->retiring && c->received.empty()) {
        c.reset();
        continue;
      }
      if (!c->retiring && !c->received.empty()) ++arriving;
      if (kept++ != i) waiting[kept - 1] = std::move(c);
    }
    waiting.resize(kept);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      arriving_ = arriving;
    }
  }
  // Closing a connection takes the mutex; `waiting` is destroyed here,
  // outside it.
}

bool ConnectionFront::ServeOne(Connection& c) {
  std::string request = c.framer.TakeRequest();
  std::vector<std::string> set_aside = c.framer.TakeSetAsideValues();
  c.received.erase(0, c.framer.Consumed());
  // An idle kept-alive connection should not keep the buffer of a large
  // upload.
  if (c.received.capacity() > 64 * 1024) c.received.shrink_to_fit();
  c.framer.Reset();
  c.continue_sent = false;
  ++c.served;
  bool stopping;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping = stopping_ || draining_;
    ++busy_;
  }
  // A client that half-closed still gets its pipelined requests answered;
  // the last of them says the connection closes.
  bool close_connection = (c.eof && c.received.empty()) ||
                          c.served >= options_.keep_alive_max_count || stopping;
  RequestStream stream(c.fd, std::move(request), options_.write_timeout);
  bool connection_closed = false;
  bool ok = false;
  set_aside_values = set_aside.empty() ? nullptr : &set_aside;
  try {
    ok = serve_(stream, close_connection, connection_closed);
  } catch (...) {
    // The library answers the page's own errors; anything escaping it (out
    // of memory) costs this connection, not the worker thread.
  }
  set_aside_values = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    --busy_;
  }
  if (!ok || stream.failed()) {
    c.eof = true;  // nothing more is said on this connection
    return false;
  }
  return !(close_connection || connection_closed);
}

void ConnectionFront::WorkerLoop() {
  while (true) {
    ConnectionPtr c;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_cv_.wait(lock, [this] { return stopping_ || !ready_.empty(); });
      if (ready_.empty()) return;
      c = std::move(ready_.front());
      ready_.pop_front();
    }
    if (!ServeOne(*c)) {
      if (c->eof) continue;  // closed here
      Retire(*c);
    }
    Hand(std::move(c));
  }
}

void ConnectionFront::Hand(ConnectionPtr c) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_) inbox_.push_back(std::move(c));
  }
  // When stopping, `c` still holds the connection and closes it here,
  // outside the lock.
  c.reset();
  Wake();
}

}  // namespace fennick
