// Responses on their way to the client: byte counts for the log, and the
// host's own writer of streamed responses.
#include "platform/web/response_channel.h"

#include <sys/socket.h>

#include <cstdio>

#include "base/ascii.h"
#include "fennick/error.h"

namespace fennick {

void CompressBuffered(ContentCoding coding, const httplib::Request& req,
                      httplib::Response& res) {
  if (res.body.empty() || res.has_header("Content-Encoding") ||
      !IsCompressibleType(res.get_header_value("Content-Type"))) {
    return;
  }
  AddVaryAcceptEncoding(res);
  if (coding == ContentCoding::kIdentity || res.body.size() < kMinCompressBytes) return;
  // A range asks for bytes of what the page made, so it goes as made.
  if (req.has_header("Range")) return;
  std::string compressed = CompressWhole(coding, res.body);
  if (compressed.empty() || compressed.size() >= res.body.size()) return;
  res.body = std::move(compressed);
  res.set_header("Content-Encoding", std::string(ContentCodingToken(coding)));
}

void AddVaryAcceptEncoding(httplib::Response& res) {
  auto it = res.headers.find("Vary");
  if (it == res.headers.end()) {
    res.set_header("Vary", "Accept-Encoding");
  } else if (AsciiLower(it->second).find("accept-encoding") == std::string::npos) {
    it->second += ", Accept-Encoding";
  }
}

void StreamTracker::CutAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  cutting_.store(true);
  // Shutting the socket down (it stays open: its connection owns it) wakes
  // a write waiting for a client that takes nothing.
  for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
}

void StreamTracker::Add(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  fds_.insert(fd);
}

void StreamTracker::Remove(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = fds_.find(fd);
  if (it != fds_.end()) fds_.erase(it);
}

ssize_t ResponseChannel::write(const char* ptr, size_t size) {
  // The library writes its own response after the host wrote one: dropped.
  if (written_by_host_) return static_cast<ssize_t>(size);
  ssize_t n = socket_.write(ptr, size);
  if (n <= 0) return n;
  size_t sent = static_cast<size_t>(n);
  size_t i = 0;
  static constexpr char kEnd[] = "\r\n\r\n";
  while (!head_done_ && i < sent) {
    char ch = ptr[i++];
    head_match_ = ch == kEnd[head_match_] ? head_match_ + 1 : (ch == '\r' ? 1 : 0);
    head_done_ = head_match_ == 4;
  }
  if (head_done_) body_bytes_ += sent - i;
  return n;
}

bool ResponseChannel::Send(std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = socket_.write(data.data() + done, data.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ResponseChannel::SendChunk(std::string_view data, bool chunked) {
  if (!chunked) {
    if (!Send(data)) return false;
    body_bytes_ += data.size();
    return true;
  }
  char size_line[24];
  int len = std::snprintf(size_line, sizeof size_line, "%zx\r\n", data.size());
  std::string chunk;
  chunk.reserve(data.size() + static_cast<size_t>(len) + 2);
  chunk.append(size_line, static_cast<size_t>(len)).append(data).append("\r\n");
  if (!Send(chunk)) return false;
  body_bytes_ += chunk.size();
  return true;
}

ResponseChannel::End ResponseChannel::WriteStreamed(
    const StreamedHead& head, std::string_view first, const Response::BodyProducer& producer,
    StreamTracker& tracker, const std::function<void(const std::string&)>& log) {
  written_by_host_ = true;
  head_done_ = true;
  std::string text = "HTTP/1.1 " + head.status + "\r\n";
  for (const auto& [name, value] : head.headers) text.append(name).append(": ").append(value).append("\r\n");
  std::string_view coding = ContentCodingToken(head.coding);
  if (!coding.empty()) text.append("Content-Encoding: ").append(coding).append("\r\n");
  if (head.chunked) text.append("Transfer-Encoding: chunked\r\n");
  must_close_ = head.close || (!head.chunked && !head.head_only);
  if (must_close_) text.append("Connection: close\r\n");
  text.append("\r\n");
  if (!Send(text)) {
    must_close_ = true;
    return End::kClientGone;
  }
  if (head.head_only) return End::kComplete;

  const int fd = socket();
  tracker.Add(fd);
  struct Untrack {
    StreamTracker& tracker;
    int fd;
    ~Untrack() { tracker.Remove(fd); }
  } untrack{tracker, fd};

  std::unique_ptr<StreamEncoder> encoder = StreamEncoder::Make(head.coding);
  std::string encoded;
  End end = End::kComplete;
  // Sends one piece; false (with `end` set) when the response cannot go on.
  auto emit = [&](std::string_view piece, bool flush) {
    if (tracker.Cutting()) {
      end = End::kCut;
      return false;
    }
    std::string_view out = piece;
    if (encoder) {
      encoded.clear();
      if (!encoder->Add(piece, flush, encoded)) {
        end = End::kFailed;
        if (log) log("stream aborted: the response could not be compressed");
        return false;
      }
      out = encoded;
    }
    if (!out.empty() && !SendChunk(out, head.chunked)) {
      end = tracker.Cutting() ? End::kCut : End::kClientGone;
      return false;
    }
    return true;
  };

  bool going = first.empty() || emit(first, !producer);
  if (going && producer) {
    try {
      producer([&](std::string_view piece) {
        if (going && !piece.empty()) going = emit(piece, true);
        return going;
      });
    } catch (const Error& e) {
      if (going && log) log("stream aborted: " + e.description());
      if (going) end = End::kFailed;
      going = false;
    } catch (const std::exception& e) {
      if (going && log) log(std::string("stream aborted: ") + e.what());
      if (going) end = End::kFailed;
      going = false;
    } catch (...) {
      if (going) end = End::kFailed;
      going = false;
    }
  }
  if (going && encoder) {
    encoded.clear();
    going = encoder->Finish(encoded) && (encoded.empty() || SendChunk(encoded, head.chunked));
    if (!going) end = tracker.Cutting() ? End::kCut : End::kClientGone;
  }
  if (going && head.chunked && !Send("0\r\n\r\n")) {
    going = false;
    end = tracker.Cutting() ? End::kCut : End::kClientGone;
  } else if (going && head.chunked) {
    body_bytes_ += 5;
  }
  if (!going) {
    must_close_ = true;
    if (end == End::kCut) tracker.CountCut();
  }
  return going ? End::kComplete : end;
}

}  // namespace fennick
