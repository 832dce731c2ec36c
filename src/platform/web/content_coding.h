// Compression of responses for browsers that accept it (Accept-Encoding):
// brotli or gzip at levels chosen for content made per request, never the
// slow maximum levels meant for files compressed once ahead of time.
//
// A buffered page is compressed whole; a streamed body (an export) piece by
// piece through a StreamEncoder that flushes after every piece, so the
// browser receives each batch of rows as it is produced and the server
// never holds more than one piece.
//
// Not thread-safe per object; separate objects may be used on separate
// threads.
#ifndef FENNICK_PLATFORM_WEB_CONTENT_CODING_H_
#define FENNICK_PLATFORM_WEB_CONTENT_CODING_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace fennick {

enum class ContentCoding { kIdentity, kGzip, kBrotli };

// Levels for content made per request, never the maximum levels meant for
// files compressed once (brotli's default, 11, made a CSV export forty
// times slower). Measured with bench/compression.sh as the server's CPU
// per request: brotli quality 1 compresses a 600 KB CSV export for 16% of
// the export's own cost, 3.4 times smaller (quality 2 is 28% smaller still
// but costs 45%; quality 4, 60%), and a grid page of 12 KB, which takes a
// millisecond to make, for no measurable cost (quality 4 added 28%). gzip,
// for the few clients without brotli, is level 5 for pages (the best size
// short of level 6's extra cost) and level 1 for exports.
inline constexpr int kPageBrotliQuality = 1;
inline constexpr int kPageGzipLevel = 5;
inline constexpr int kStreamBrotliQuality = 1;
inline constexpr int kStreamGzipLevel = 1;
// Bodies smaller than this go as they are: the saving does not pay for the
// header and the work.
inline constexpr size_t kMinCompressBytes = 1024;

// The coding to use for a request's Accept-Encoding value: brotli, else
// gzip, when the browser accepts it (a q-value of 0 refuses; "*" accepts
// both); identity otherwise.
ContentCoding ChooseContentCoding(std::string_view accept_encoding);

// The Content-Encoding token of a coding ("br", "gzip"); empty for identity.
std::string_view ContentCodingToken(ContentCoding coding);

// Whether a Content-Type is worth compressing: text (but not event streams),
// JSON, JavaScript, XML and SVG. Images, archives, PDF and .xlsx files are
// compressed already.
bool IsCompressibleType(std::string_view content_type);

// Compresses a body produced piece by piece.
class StreamEncoder {
 public:
  // An encoder at the levels for streamed bodies; nullptr for identity.
  static std::unique_ptr<StreamEncoder> Make(ContentCoding coding);
  virtual ~StreamEncoder() = default;

  // Appends the compressed form of `piece` to `out`. With `flush`, all of
  // it, ready for the browser to decode now; without, the encoder may keep
  // some back for a better ratio. False when the library failed (out of
  // memory); the stream is then unusable.
  virtual bool Add(std::string_view piece, bool flush, std::string& out) = 0;
  // Appends the end of the compressed stream to `out`.
  virtual bool Finish(std::string& out) = 0;
};

// `body` compressed whole at the levels for pages; empty when the library
// failed (a compressed body is never empty).
std::string CompressWhole(ContentCoding coding, std::string_view body);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_CONTENT_CODING_H_
