// Strict framing of one HTTP/1.x request as its bytes arrive.
//
// The web host reads a connection's bytes itself and hands the HTTP library
// only complete, well-framed requests (platform/web/connection_front.h).
// RequestFramer decides where a request ends and whether its framing is
// sound: the request line, the header lines, Content-Length and chunked
// Transfer-Encoding. Anything the framing rules leave ambiguous is refused,
// because two readers that disagree on where a request ends let a client
// smuggle a second request past the first:
//
//   - Content-Length values that differ, or are not decimal digits: 400;
//   - Transfer-Encoding other than "chunked": 501; both framings at once: 400;
//   - a chunk whose data is not followed by CRLF, or a bad chunk size: 400;
//   - a head beyond the head limit: 431; a body beyond the body limit: 413;
//   - no Host header on HTTP/1.1, more than one, or one that is no host: 400.
//
// The HTTP library refuses any head line over 8 KB, whatever the head
// limit; a header value that would make such a line is set aside and its
// line carries a mark instead (kSetAsideMark and its index), which the host
// replaces with the value again (SetAsideValues). A client cannot send the
// mark itself: control characters in header values are refused.
//
// The framer is fed the connection's received bytes from the start of the
// request, again and again as more arrive; it resumes where it stopped, so
// a request that trickles in costs time linear in its size.
//
// Not thread-safe: one framer belongs to one connection.
#ifndef FENNICK_PLATFORM_WEB_REQUEST_FRAMER_H_
#define FENNICK_PLATFORM_WEB_REQUEST_FRAMER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// Starts the value that stands for a set-aside one; the index follows in
// decimal digits.
inline constexpr char kSetAsideMark = '\x01';

struct FramingLimits {
  // Request line and header lines, line ends included.
  size_t max_head_bytes = 16 * 1024;
  // The body after chunked decoding.
  size_t max_body_bytes = 1 << 20;
};

class RequestFramer {
 public:
  enum class Result { kNeedMore, kComplete, kFailed };

  explicit RequestFramer(FramingLimits limits) : limits_(limits) {}

  // Examines `received`: the bytes of the connection from the start of this
  // request (more bytes than last time, the earlier ones unchanged).
  // kComplete and kFailed are final until Reset().
  Result Advance(std::string_view received);

  // Whether the head has arrived and the client waits for "100 Continue"
  // before it sends the body.
  bool WantsContinue() const {
    return expect_continue_ && phase_ != Phase::kHead && phase_ != Phase::kDone &&
           phase_ != Phase::kFailed;
  }

  // After kComplete: how many bytes of `received` the request took (what
  // follows belongs to the next, pipelined request).
  size_t Consumed() const { return consumed_; }
  // After kComplete: the request as the HTTP library is to read it: the
  // request line and headers as received, without Transfer-Encoding and
  // Expect, with one Content-Length for the decoded body when the request
  // declared a body, then the body. Moves the body out.
  std::string TakeRequest();

  // After TakeRequest: the header values the request's head carries as
  // marks, by index. Moves them out.
  std::vector<std::string> TakeSetAsideValues() { return std::move(set_aside_); }

  // After kFailed: the status to answer (400, 413, 414, 417, 431, 501) and
  // a short reason for the log.
  int FailureStatus() const { return failure_status_; }
  const std::string& FailureReason() const { return failure_reason_; }

  // Forgets the request, ready for the next one on the connection.
  void Reset();

 private:
  enum class Phase { kHead, kLengthBody, kChunkSize, kChunkData, kTrailers, kDone, kFailed };

  Result Fail(int status, std::string reason);
  // Parses one complete head line; false after Fail.
  bool TakeRequestLine(std::string_view line);
  bool TakeHeaderLine(std::string_view line);
  // Called when the blank line ending the head arrived at `end`.
  bool FinishHead(size_t end);
  Result AdvanceHead(std::string_view received);
  Result AdvanceChunks(std::string_view received);

  FramingLimits limits_;
  Phase phase_ = Phase::kHead;
  size_t pos_ = 0;          // next byte of `received` to examine
  size_t line_start_ = 0;   // start of the current head line
  std::string head_;        // the rewritten head, without its blank line
  bool seen_request_line_ = false;
  bool http10_ = false;
  std::optional<uint64_t> content_length_;
  std::vector<std::string> transfer_codings_;
  bool seen_transfer_encoding_ = false;
  bool expect_continue_ = false;
  int host_headers_ = 0;
  std::vector<std::string> set_aside_;
  uint64_t remaining_ = 0;  // body or chunk bytes still to come
  size_t body_start_ = 0;
  size_t trailer_bytes_ = 0;
  std::string body_;
  size_t consumed_ = 0;
  int failure_status_ = 0;
  std::string failure_reason_;
};

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_REQUEST_FRAMER_H_
