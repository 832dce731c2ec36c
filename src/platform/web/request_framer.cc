// Strict framing of one HTTP/1.x request: where it ends and whether its
// request line, headers and body framing are sound.
#include "base/ascii.h"
#include "platform/web/request_framer.h"

#include <utility>

#include "platform/web/http_text.h"

namespace fennick {
namespace {

// The HTTP library's own bound on the request line; a longer line is 414.
constexpr size_t kMaxRequestLine = 8192;
// The HTTP library's bound on a header line, its line end included (built
// into the library, so not ours to raise).
constexpr size_t kLibraryHeaderLine = 8192;
// A header name this long is no honest header.
constexpr size_t kMaxHeaderName = 1024;
// A chunk-size line is a hex number and perhaps an extension; nothing
// honest needs more.
constexpr size_t kMaxChunkLine = 1024;
// Chunk sizes beyond 15 hex digits cannot be honest and would overflow.
constexpr int kMaxChunkDigits = 15;

bool IsTokenChar(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
      return true;
    default:
      return false;
  }
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if (!IsTokenChar(c)) return false;
  }
  return true;
}

// Field values may hold visible characters, blanks, tabs and non-ASCII
// bytes; never other control characters (a bare CR or a NUL among them).
bool IsFieldValue(std::string_view text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7f) return false;
  }
  return true;
}

struct HeaderLine {
  std::string_view name;
  std::string_view value;
};

// "Name: value" with a token name directly before the colon. A line that
// starts with a blank (an obsolete folded continuation) is refused: readers
// disagree on whether it continues the previous header.
std::optional<HeaderLine> ParseHeaderLine(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view name = line.substr(0, colon);
  std::string_view value = TrimBlanks(line.substr(colon + 1));
  if (!IsToken(name) || !IsFieldValue(value)) return std::nullopt;
  return HeaderLine{name, value};
}

// Calls `each` with every non-empty element of a comma-separated list,
// blanks trimmed.
template <class Fn>
void ForEachListElement(std::string_view list, Fn each) {
  while (true) {
    size_t comma = list.find(',');
    std::string_view element = TrimBlanks(list.substr(0, comma));
    if (!element.empty()) each(element);
    if (comma == std::string_view::npos) return;
    list.remove_prefix(comma + 1);
  }
}

// A Host value: a registered name or IPv4 address (letters, digits and the
// URI's unreserved and sub-delimiter characters, percent escapes), or an
// IPv6 literal in brackets, and an optional port. Blanks, slashes, "@" and
// the like have no place in it ("a, b" is two hosts joined).
bool IsHostValue(std::string_view host) {
  for (unsigned char c : host) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!ok && std::string_view("-._~!$&'()*+;=:[]%").find(static_cast<char>(c)) ==
                   std::string_view::npos) {
      return false;
    }
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

RequestFramer::Result RequestFramer::Fail(int status, std::string reason) {
  phase_ = Phase::kFailed;
  failure_status_ = status;
  failure_reason_ = std::move(reason);
  return Result::kFailed;
}

void RequestFramer::Reset() { *this = RequestFramer(limits_); }

bool RequestFramer::TakeRequestLine(std::string_view line) {
  size_t first = line.find(' ');
  size_t last = line.rfind(' ');
  if (first == std::string_view::npos || first == last) {
    Fail(400, "malformed request line");
    return false;
  }
  std::string_view method = line.substr(0, first);
  std::string_view target = line.substr(first + 1, last - first - 1);
  std::string_view version = line.substr(last + 1);
  if (!IsToken(method) || target.empty()) {
    Fail(400, "malformed request line");
    return false;
  }
  for (unsigned char c : target) {
    // Blanks inside the target would make the line ambiguous.
    if (c <= 0x20 || c == 0x7f) {
      Fail(400, "malformed request target");
      return false;
    }
  }
  if (version == "HTTP/1.0") {
    http10_ = true;
  } else if (version != "HTTP/1.1") {
    Fail(version.rfind("HTTP/", 0) == 0 ? 505 : 400, "unsupported protocol version");
    return false;
  }
  head_.assign(line).append("\r\n");
  seen_request_line_ = true;
  return true;
}

bool RequestFramer::TakeHeaderLine(std::string_view line) {
  auto header = ParseHeaderLine(line);
  if (!header) {
    Fail(400, "malformed header line");
    return false;
  }
  if (EqualsIgnoreCase(header->name, "Content-Length")) {
    bool ok = true, huge = false, empty = true;
    ForEachListElement(header->value, [&](std::string_view element) {
      empty = false;
      uint64_t value = 0;
      for (char c : element) {
        if (c < '0' || c > '9') {
          ok = false;
          return;
        }
        if (value > (UINT64_MAX - 9) / 10) {
          huge = true;
          continue;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
      }
      if (huge) return;
      if (content_length_ && *content_length_ != value) ok = false;
      content_length_ = value;
    });
    if (!ok || empty) {
      Fail(400, "invalid or conflicting Content-Length");
      return false;
    }
    if (huge) {
      Fail(413, "body larger than the limit");
      return false;
    }
    return true;
  }
  if (EqualsIgnoreCase(header->name, "Transfer-Encoding")) {
    seen_transfer_encoding_ = true;
    ForEachListElement(header->value, [&](std::string_view element) {
      transfer_codings_.push_back(AsciiLower(element));
    });
    return true;
  }
  if (EqualsIgnoreCase(header->name, "Expect")) {
    if (!EqualsIgnoreCase(header->value, "100-continue")) {
      Fail(417, "unknown expectation");
      return false;
    }
    // Answered here, while the body is awaited; the library must not
    // answer it a second time.
    expect_continue_ = true;
    return true;
  }
  if (EqualsIgnoreCase(header->name, "Host")) {
    // Two Host headers, or one naming two hosts, leave the request's host
    // ambiguous, and readers may each take another.
    if (++host_headers_ > 1 || !IsHostValue(header->value)) {
      Fail(400, "ambiguous or malformed Host header");
      return false;
    }
  }
  std::string_view value = header->value;
  std::string mark;
  if (header->name.size() + value.size() + 4 > kLibraryHeaderLine) {
    if (header->name.size() > kMaxHeaderName) {
      Fail(431, "header name too long");
      return false;
    }
    mark = kSetAsideMark + std::to_string(set_aside_.size());
    set_aside_.emplace_back(value);
    value = mark;
  }
  head_.append(header->name).append(": ").append(value).append("\r\n");
  return true;
}

bool RequestFramer::FinishHead(size_t end) {
  body_start_ = end;
  if (seen_transfer_encoding_) {
    if (content_length_) {
      Fail(400, "both Content-Length and Transfer-Encoding");
      return false;
    }
    if (http10_ || transfer_codings_.empty()) {
      Fail(400, "invalid Transfer-Encoding");
      return false;
    }
    for (const std::string& coding : transfer_codings_) {
      if (coding != "chunked") {
        Fail(501, "unsupported transfer coding " + coding);
        return false;
      }
    }
    if (transfer_codings_.size() > 1) {
      Fail(400, "chunked applied twice");
      return false;
    }
    phase_ = Phase::kChunkSize;
    return true;
  }
  if (content_length_) {
    if (*content_length_ > limits_.max_body_bytes) {
      Fail(413, "body larger than the limit");
      return false;
    }
    remaining_ = *content_length_;
    phase_ = Phase::kLengthBody;
    return true;
  }
  consumed_ = end;
  phase_ = Phase::kDone;
  return true;
}

RequestFramer::Result RequestFramer::AdvanceHead(std::string_view received) {
  while (phase_ == Phase::kHead) {
    size_t newline = received.find('\n', pos_);
    size_t line_end = newline == std::string_view::npos ? received.size() : newline;
    if (!seen_request_line_ && line_end - line_start_ > kMaxRequestLine) {
      return Fail(414, "request line too long");
    }
    if (line_end > limits_.max_head_bytes) return Fail(431, "request head too large");
    if (newline == std::string_view::npos) {
      pos_ = received.size();
      return Result::kNeedMore;
    }
    std::string_view line = received.substr(line_start_, newline - line_start_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = line_start_ = newline + 1;
    if (!seen_request_line_) {
      // Blank lines before a request are tolerated (a client may end a
      // body with an extra CRLF); they count towards the head limit.
      if (!line.empty() && !TakeRequestLine(line)) return Result::kFailed;
    } else if (line.empty()) {
      if (!FinishHead(pos_)) return Result::kFailed;
      // HTTP/1.1 names its host; without one, each reader would choose.
      if (host_headers_ == 0 && !http10_) return Fail(400, "no Host header");
    } else if (line.front() == ' ' || line.front() == '\t') {
      return Fail(400, "folded header line");
    } else if (!TakeHeaderLine(line)) {
      return Result::kFailed;
    }
  }
  return Result::kNeedMore;
}

RequestFramer::Result RequestFramer::AdvanceChunks(std::string_view received) {
  // Chunk framing may cost a few bytes per byte of data; beyond twice the
  // body limit it is an attack on memory, not an upload.
  const size_t max_raw = 2 * limits_.max_body_bytes + 64 * 1024;
  while (true) {
    if (pos_ - body_start_ > max_raw) return Fail(413, "body larger than the limit");
    if (phase_ == Phase::kChunkSize) {
      size_t newline = received.find('\n', pos_);
      if (newline == std::string_view::npos) {
        if (received.size() - pos_ > kMaxChunkLine) return Fail(400, "malformed chunk size");
        return Result::kNeedMore;
      }
      std::string_view line = received.substr(pos_, newline - pos_);
      if (line.empty() || line.back() != '\r') return Fail(400, "chunk size without CRLF");
      line.remove_suffix(1);
      uint64_t size = 0;
      size_t digits = 0;
      for (; digits < line.size() && HexValue(line[digits]) >= 0; ++digits) {
        if (digits == kMaxChunkDigits) return Fail(413, "body larger than the limit");
        size = size * 16 + static_cast<uint64_t>(HexValue(line[digits]));
      }
      std::string_view extension = TrimBlanks(line.substr(digits));
      if (digits == 0 || (!extension.empty() && extension.front() != ';') ||
          !IsFieldValue(extension)) {
        return Fail(400, "malformed chunk size");
      }
      pos_ = newline + 1;
      if (size == 0) {
        phase_ = Phase::kTrailers;
        continue;
      }
      if (size > limits_.max_body_bytes - body_.size()) {
        return Fail(413, "body larger than the limit");
      }
      remaining_ = size;
      phase_ = Phase::kChunkData;
    } else if (phase_ == Phase::kChunkData) {
      if (received.size() - pos_ < remaining_ + 2) return Result::kNeedMore;
      body_.append(received.substr(pos_, remaining_));
      pos_ += remaining_;
      if (received[pos_] != '\r' || received[pos_ + 1] != '\n') {
        return Fail(400, "chunk data not followed by CRLF");
      }
      pos_ += 2;
      phase_ = Phase::kChunkSize;
    } else {  // kTrailers: header lines after the last chunk, dropped
      size_t newline = received.find('\n', pos_);
      size_t line_end = newline == std::string_view::npos ? received.size() : newline;
      if (trailer_bytes_ + (line_end - pos_) > limits_.max_head_bytes) {
        return Fail(431, "trailers too large");
      }
      if (newline == std::string_view::npos) return Result::kNeedMore;
      std::string_view line = received.substr(pos_, newline - pos_);
      if (line.empty() || line.back() != '\r') return Fail(400, "trailer without CRLF");
      line.remove_suffix(1);
      trailer_bytes_ += line.size() + 2;
      pos_ = newline + 1;
      if (line.empty()) {
        consumed_ = pos_;
        phase_ = Phase::kDone;
        return Result::kComplete;
      }
      if (!ParseHeaderLine(line)) return Fail(400, "malformed trailer");
    }
  }
}

RequestFramer::Result RequestFramer::Advance(std::string_view received) {
  if (phase_ == Phase::kFailed) return Result::kFailed;
  if (phase_ == Phase::kHead) {
    Result head = AdvanceHead(received);
    if (head == Result::kFailed || phase_ == Phase::kHead) return head;
  }
  switch (phase_) {
    case Phase::kDone:
      return Result::kComplete;
    case Phase::kLengthBody:
      if (received.size() - body_start_ < remaining_) return Result::kNeedMore;
      body_.assign(received.substr(body_start_, remaining_));
      consumed_ = body_start_ + remaining_;
      phase_ = Phase::kDone;
      return Result::kComplete;
    default:
      return AdvanceChunks(received);
  }
}

std::string RequestFramer::TakeRequest() {
  std::string request = std::move(head_);
  // One allocation for the whole request: appending the length line and
  // then a posted form of several kilobytes would otherwise grow the head's
  // buffer twice, copying it each time.
  request.reserve(request.size() + 40 + body_.size());
  if (content_length_ || seen_transfer_encoding_) {
    request.append("Content-Length: ").append(std::to_string(body_.size())).append("\r\n");
  }
  request.append("\r\n");
  request.append(body_);
  body_.clear();
  return request;
}

}  // namespace fennick
