// The way one response goes out to its client.
//
// The HTTP library writes buffered responses; streamed ones (exports) the
// host writes itself through a ResponseChannel, for two reasons: the
// library gives up on a streamed body the moment its listener stops (a
// download that had just begun when the server was asked to drain went out
// as a 200 with nothing after the head), and the host compresses each piece
// with a flushing encoder the library does not offer. After the host wrote
// a response itself the channel drops what the library then writes for the
// same request.
//
// Every response's body bytes that reached the client are counted, for the
// request log.
//
// A ResponseChannel is used by one worker thread; a StreamTracker is
// thread-safe.
#ifndef FENNICK_PLATFORM_WEB_RESPONSE_CHANNEL_H_
#define FENNICK_PLATFORM_WEB_RESPONSE_CHANNEL_H_

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fennick/page.h"
#include "platform/web/content_coding.h"

namespace fennick {

// The streamed responses being written, so that a drain whose time is up
// can cut them off. Thread-safe.
class StreamTracker {
 public:
  // Shuts down the sockets of the streams being written, which unblocks
  // and fails their next write, and fails every stream from now on.
  void CutAll();
  bool Cutting() const { return cutting_.load(); }
  // Streams that ended cut off by CutAll.
  size_t CutCount() const { return cut_count_.load(); }

 private:
  friend class ResponseChannel;
  void Add(int fd);
  void Remove(int fd);
  void CountCut() { ++cut_count_; }

  std::mutex mutex_;
  std::multiset<int> fds_;  // GUARDED_BY(mutex_)
  std::atomic<bool> cutting_{false};
  std::atomic<size_t> cut_count_{0};
};

// Compresses a buffered response's body with `coding` when its type gains
// from it and it is large enough, unless the page chose its own
// Content-Encoding or the request asks for a range; adds
// Vary: Accept-Encoding to every response of a compressible type.
void CompressBuffered(ContentCoding coding, const httplib::Request& req,
                      httplib::Response& res);
// Adds Accept-Encoding to the response's Vary header: caches must keep the
// compressed and the plain forms apart.
void AddVaryAcceptEncoding(httplib::Response& res);

class ResponseChannel : public httplib::Stream {
 public:
  // Borrows `socket` (the connection's stream) for one request.
  explicit ResponseChannel(httplib::Stream& socket) : socket_(socket) {}

  bool is_readable() const override { return socket_.is_readable(); }
  bool is_writable() const override { return socket_.is_writable(); }
  ssize_t read(char* ptr, size_t size) override { return socket_.read(ptr, size); }
  // Passes bytes on and counts those after the head; once the host wrote
  // the response itself, takes and drops them.
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    socket_.get_remote_ip_and_port(ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    socket_.get_local_ip_and_port(ip, port);
  }
  socket_t socket() const override { return socket_.socket(); }

  // Body bytes (after the head, as sent: compressed, chunk framing
  // included) that reached the client.
  size_t BodyBytesSent() const { return body_bytes_; }
  // Whether the host wrote this response itself, and if so whether the
  // connection must close after it (the client cannot tell where the body
  // ended, or the response was not whole).
  bool WrittenByHost() const { return written_by_host_; }
  bool MustClose() const { return must_close_; }

  // How a streamed response ended.
  enum class End { kComplete, kClientGone, kFailed, kCut };

  struct StreamedHead {
    std::string status;  // "200 OK"
    std::vector<std::pair<std::string, std::string>> headers;
    ContentCoding coding = ContentCoding::kIdentity;
    // An HTTP/1.0 client knows no chunks: its body ends with the connection.
    bool chunked = true;
    bool close = false;
    bool head_only = false;  // a HEAD request: no body
  };
  // Writes a streamed response: the head, `first` (what the page buffered
  // before streaming), then the producer's pieces, each compressed and
  // flushed when `head.coding` says so. A response that does not end whole
  // (the client went, the producer raised an error, which goes to `log`,
  // or the tracker cut it) stops without the final chunk and closes the
  // connection, so the client sees a failed download, never a short one
  // that looks whole.
  End WriteStreamed(const StreamedHead& head, std::string_view first,
                    const Response::BodyProducer& producer, StreamTracker& tracker,
                    const std::function<void(const std::string&)>& log);

 private:
  // Writes all of `data`; false when the client is gone.
  bool Send(std::string_view data);
  bool SendChunk(std::string_view data, bool chunked);

  httplib::Stream& socket_;
  size_t body_bytes_ = 0;
  int head_match_ = 0;  // how much of "\r\n\r\n" the head has shown
  bool head_done_ = false;
  bool written_by_host_ = false;
  bool must_close_ = false;
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_RESPONSE_CHANNEL_H_
