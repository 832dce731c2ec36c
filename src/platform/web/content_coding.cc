// Accept-Encoding negotiation and the brotli and gzip encoders (libbrotli,
// zlib) behind StreamEncoder.
#include "platform/web/content_coding.h"

#include <brotli/encode.h>
#include <zlib.h>

#include <cstdlib>

#include "base/ascii.h"

namespace fennick {
namespace {

// Brotli's window: 64 KiB instead of the default 4 MiB bounds what each
// compressed response in flight holds; at the qualities used it costs no
// size (at qualities 2 to 4 it even compressed a CSV export flushed piece
// by piece 10 to 15% smaller).
constexpr int kBrotliWindowBits = 16;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The q-value of one Accept-Encoding element's parameters ("q=0.5");
// 1 without one.
double QValue(std::string_view params) {
  while (!params.empty()) {
    size_t semi = params.find(';');
    std::string_view param = Trim(params.substr(0, semi));
    params = semi == std::string_view::npos ? std::string_view() : params.substr(semi + 1);
    if (param.size() >= 2 && (param[0] == 'q' || param[0] == 'Q') && param[1] == '=') {
      return std::strtod(std::string(param.substr(2)).c_str(), nullptr);
    }
  }
  return 1;
}

class BrotliEncoder : public StreamEncoder {
 public:
  explicit BrotliEncoder(int quality)
      : state_(BrotliEncoderCreateInstance(nullptr, nullptr, nullptr)) {
    if (!state_) return;
    BrotliEncoderSetParameter(state_.get(), BROTLI_PARAM_QUALITY, quality);
    BrotliEncoderSetParameter(state_.get(), BROTLI_PARAM_LGWIN, kBrotliWindowBits);
    BrotliEncoderSetParameter(state_.get(), BROTLI_PARAM_MODE, BROTLI_MODE_TEXT);
  }

  bool Add(std::string_view piece, bool flush, std::string& out) override {
    return Run(piece, flush ? BROTLI_OPERATION_FLUSH : BROTLI_OPERATION_PROCESS, out);
  }
  bool Finish(std::string& out) override { return Run({}, BROTLI_OPERATION_FINISH, out); }

 private:
  struct Free {
    void operator()(BrotliEncoderState* s) const { BrotliEncoderDestroyInstance(s); }
  };

  bool Run(std::string_view in, BrotliEncoderOperation op, std::string& out) {
    if (!state_) return false;
    size_t avail_in = in.size();
    const uint8_t* next_in = reinterpret_cast<const uint8_t*>(in.data());
    uint8_t buffer[16 * 1024];
    while (true) {
      size_t avail_out = sizeof buffer;
      uint8_t* next_out = buffer;
      if (!BrotliEncoderCompressStream(state_.get(), op, &avail_in, &next_in, &avail_out,
                                       &next_out, nullptr)) {
        return false;
      }
      out.append(reinterpret_cast<const char*>(buffer), sizeof buffer - avail_out);
      bool more = BrotliEncoderHasMoreOutput(state_.get());
      if (op == BROTLI_OPERATION_FINISH) {
        if (BrotliEncoderIsFinished(state_.get())) return true;
      } else if (avail_in == 0 && !more) {
        return true;
      }
    }
  }

  std::unique_ptr<BrotliEncoderState, Free> state_;
};

class GzipEncoder : public StreamEncoder {
 public:
  explicit GzipEncoder(int level) {
    // 15 window bits plus 16: a gzip header and trailer around the deflate
    // stream, which is what "Content-Encoding: gzip" means.
    ok_ = deflateInit2(&z_, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~GzipEncoder() override {
    if (ok_) deflateEnd(&z_);
  }

  bool Add(std::string_view piece, bool flush, std::string& out) override {
    return Run(piece, flush ? Z_SYNC_FLUSH : Z_NO_FLUSH, out);
  }
  bool Finish(std::string& out) override { return Run({}, Z_FINISH, out); }

 private:
  bool Run(std::string_view in, int mode, std::string& out) {
    if (!ok_) return false;
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(in.size());
    Bytef buffer[16 * 1024];
    while (true) {
      z_.next_out = buffer;
      z_.avail_out = sizeof buffer;
      int rc = deflate(&z_, mode);
      if (rc == Z_STREAM_ERROR) return false;
      out.append(reinterpret_cast<const char*>(buffer), sizeof buffer - z_.avail_out);
      // Room left in the buffer means deflate took all the input and
      // wrote all it had to; at the end, the stream's end says so.
      if (mode == Z_FINISH ? rc == Z_STREAM_END : z_.avail_out != 0) return true;
    }
  }

  z_stream z_{};
  bool ok_ = false;
};

}  // namespace

ContentCoding ChooseContentCoding(std::string_view accept_encoding) {
  double br = -1, gzip = -1, any = -1;
  while (!accept_encoding.empty()) {
    size_t comma = accept_encoding.find(',');
    std::string_view element = accept_encoding.substr(0, comma);
    accept_encoding = comma == std::string_view::npos ? std::string_view()
                                                       : accept_encoding.substr(comma + 1);
    size_t semi = element.find(';');
    std::string_view name = Trim(element.substr(0, semi));
    double q = semi == std::string_view::npos ? 1 : QValue(element.substr(semi + 1));
    if (EqualsIgnoreCase(name, "br")) {
      br = q;
    } else if (EqualsIgnoreCase(name, "gzip") || EqualsIgnoreCase(name, "x-gzip")) {
      gzip = q;
    } else if (name == "*") {
      any = q;
    }
  }
  // A coding not named takes the q-value of "*".
  if (br < 0) br = any;
  if (gzip < 0) gzip = any;
  if (br > 0 && br >= gzip) return ContentCoding::kBrotli;
  if (gzip > 0) return ContentCoding::kGzip;
  if (br > 0) return ContentCoding::kBrotli;
  return ContentCoding::kIdentity;
}

std::string_view ContentCodingToken(ContentCoding coding) {
  switch (coding) {
    case ContentCoding::kBrotli: return "br";
    case ContentCoding::kGzip: return "gzip";
    case ContentCoding::kIdentity: break;
  }
  return {};
}

bool IsCompressibleType(std::string_view content_type) {
  std::string type = AsciiLower(Trim(content_type.substr(0, content_type.find(';'))));
  if (type.rfind("text/", 0) == 0) return type != "text/event-stream";
  return type == "application/json" || type == "application/javascript" ||
         type == "application/xml" || type == "application/xhtml+xml" ||
         type == "image/svg+xml" || type == "application/vnd.ms-excel" ||
         type == "application/msword";
}

std::unique_ptr<StreamEncoder> StreamEncoder::Make(ContentCoding coding) {
  switch (coding) {
    case ContentCoding::kBrotli: return std::make_unique<BrotliEncoder>(kStreamBrotliQuality);
    case ContentCoding::kGzip: return std::make_unique<GzipEncoder>(kStreamGzipLevel);
    case ContentCoding::kIdentity: break;
  }
  return nullptr;
}

std::string CompressWhole(ContentCoding coding, std::string_view body) {
  std::string out;
  if (coding == ContentCoding::kBrotli) {
    // Brotli's one-shot call knows the whole input, so it sizes and
    // prepares only what a small page needs.
    size_t size = BrotliEncoderMaxCompressedSize(body.size());
    if (size == 0) return out;
    out.resize(size);
    if (!BrotliEncoderCompress(kPageBrotliQuality, kBrotliWindowBits, BROTLI_MODE_TEXT,
                               body.size(), reinterpret_cast<const uint8_t*>(body.data()), &size,
                               reinterpret_cast<uint8_t*>(out.data()))) {
      out.clear();
      return out;
    }
    out.resize(size);
    return out;
  }
  if (coding != ContentCoding::kGzip) return out;
  GzipEncoder encoder(kPageGzipLevel);
  out.reserve(body.size() / 4 + 64);
  if (!encoder.Add(body, false, out) || !encoder.Finish(out)) out.clear();
  return out;
}

}  // namespace fennick
