// The connection side of the web host: reading requests off the sockets
// before any worker thread is involved.
//
// cpp-httplib reads a request on the worker thread that will run it, with a
// timeout per read only. A client that sends one header byte a second then
// holds a worker for as long as it likes, and as many such clients as there
// are workers starve everyone else; the library's reader also drops the
// bytes of pipelined requests that arrived with the first one. Fennick keeps
// the library for what it does well (parsing the head it is given, routing,
// writing responses) and puts this thin front in before it:
//
//   - the library's accept loop hands every accepted socket to Adopt(),
//     which refuses a client address holding too many connections already
//     and otherwise leaves the socket to one poll thread;
//   - the poll thread reads every connection without blocking and frames
//     its request strictly (RequestFramer) under an overall deadline for
//     head and body, answering 408 and closing when it passes;
//   - only a complete request goes to a worker, which lets the library
//     read it from memory (RequestStream) and write the response straight
//     to the socket; the connection then returns to the poll thread, whose
//     first look is at the bytes already received, so pipelined requests
//     are answered one after the other, in order.
//
// A dripping client therefore costs one socket and a few bytes of buffer,
// never a worker; workers only ever run pages.
//
// Thread-safe: Adopt() and Stop() may be called from any thread.
#ifndef FENNICK_PLATFORM_WEB_CONNECTION_FRONT_H_
#define FENNICK_PLATFORM_WEB_CONNECTION_FRONT_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/web/request_framer.h"

namespace httplib {
class Stream;
}

namespace fennick {

struct ConnectionFrontOptions {
  size_t threads = 64;
  FramingLimits limits;
  // A request's head and body must have arrived this long after its first
  // byte (else 408), and a new connection must have sent its first byte
  // within it (else it is closed). One deadline: however the client paces
  // its bytes, steady or in bursts, makes no difference.
  std::chrono::milliseconds request_deadline{10000};
  // Longest idle time between the requests of a kept-alive connection.
  std::chrono::milliseconds keep_alive{3000};
  // Longest wait for the client to take more of a response.
  std::chrono::milliseconds write_timeout{5000};
  // Connections one client address may hold at once; 0 for no limit.
  size_t max_connections_per_address = 32;
  // Requests served on one connection before it is closed.
  size_t keep_alive_max_count = 10000;
  // Addresses exempt from max_connections_per_address (trusted proxies,
  // whose connections carry many clients); none when empty.
  std::function<bool(std::string_view address)> uncapped;
  // Told of every refusal the front answers itself (its status).
  std::function<void(int status)> on_refusal;
};

// While a worker serves a request: the header values its framer set aside
// (RequestFramer::TakeSetAsideValues), by index; nullptr when none were or
// no request is being served on this thread.
const std::vector<std::string>* SetAsideValues();

class ConnectionFront {
 public:
  // Serves one complete request on a worker thread: reads it from `stream`,
  // writes the response to it, sending "Connection: close" when
  // close_connection, and sets connection_closed when the client asked for
  // the connection to close. Returns false when the connection is unusable.
  using ServeFn = std::function<bool(httplib::Stream& stream, bool close_connection,
                                     bool& connection_closed)>;
  // The HTML body of a refusal the front answers itself (400, 408, 413,
  // 503, ...).
  using ErrorPageFn = std::function<std::string(int status, std::string_view title)>;
  using LogFn = std::function<void(const std::string&)>;

  ConnectionFront(ConnectionFrontOptions options, ServeFn serve, ErrorPageFn error_page,
                  LogFn log);
  // Stops and closes every connection.
  ~ConnectionFront();
  ConnectionFront(const ConnectionFront&) = delete;
  ConnectionFront& operator=(const ConnectionFront&) = delete;

  // Starts the poll thread and the workers.
  void Start();
  // Takes ownership of an accepted socket: closes it at once (after a 503)
  // when its address holds too many connections, else reads its requests.
  void Adopt(int fd);
  // Closes every connection, lets the workers finish the requests they
  // run, and joins all threads. Idempotent.
  void Stop();
  // Winds down for a shutdown: idle connections close at once, every
  // response from now on closes its connection, and requests in flight
  // (arriving, queued or running) may finish. Returns when none is left or
  // at `deadline`, whichever is first; Stop() follows. Call after the
  // listening socket stopped accepting.
  void Drain(std::chrono::steady_clock::time_point deadline);
  // Requests a worker is serving right now.
  size_t ActiveRequests();

 private:
  struct Connection;
  using ConnectionPtr = std::unique_ptr<Connection>;

  void PollLoop();
  void WorkerLoop();
  // Reads what the socket has; false when the connection is finished.
  bool ReadFrom(Connection& c);
  enum class Next { kWait, kDispatch, kClose };
  // Frames the received bytes; answers refusals (then kClose) and
  // 100 Continue.
  Next Examine(Connection& c);
  // Shuts the sending side and keeps reading (and dropping) for a moment,
  // so the client reads the last response instead of a reset.
  void Retire(Connection& c);
  // Sends a short response that closes the connection, without blocking;
  // best effort.
  void SendRefusal(int fd, int status, std::string_view title);
  // Serves the framed request; false when the connection is to close.
  bool ServeOne(Connection& c);
  void Hand(ConnectionPtr c);  // back to the poll thread
  void Wake();
  bool Admit(const std::string& address);
  void Release(const std::string& address);

  const ConnectionFrontOptions options_;
  const ServeFn serve_;
  const ErrorPageFn error_page_;
  const LogFn log_;
  int wake_fd_ = -1;

  std::mutex mutex_;
  std::condition_variable ready_cv_;
  bool started_ = false;                       // GUARDED_BY(mutex_)
  bool stopping_ = false;                      // GUARDED_BY(mutex_)
  bool draining_ = false;                      // GUARDED_BY(mutex_)
  size_t busy_ = 0;                            // GUARDED_BY(mutex_), requests being served
  size_t arriving_ = 0;                        // GUARDED_BY(mutex_), partial requests polled
  std::vector<ConnectionPtr> inbox_;           // GUARDED_BY(mutex_), for the poll thread
  std::deque<ConnectionPtr> ready_;            // GUARDED_BY(mutex_), for the workers
  std::unordered_map<std::string, size_t> per_address_;  // GUARDED_BY(mutex_)

  std::thread poller_;
  std::vector<std::thread> workers_;
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_CONNECTION_FRONT_H_
