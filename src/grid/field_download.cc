// The field download: the request a binary cell's link makes (query
// "a" = "i"). It opens the link's sealed token (command, connection string
// and column together), runs that command, and sends the bytes of one
// field of one row as the whole response, with a content type the bytes
// themselves name.
//
// Nothing the browser could have written reaches the database: a token
// that does not open as a download link of this server gets HTTP 400, and
// one made for another session or expired gets 403, before any connection
// is made. Even a sealed connection string is
// checked: a download opens an existing database and never creates a file.
// No answer repeats what the token held.
#include "grid/field_download.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "fennick/data.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "frame/refuse_request.h"
#include "grid/download_link.h"
#include "grid/render/grid_render.h"
#include "platform/data/connection_string.h"

namespace fennick {
namespace {

// Pictures stored through an OLE container start with this header; plain
// image bytes do not, so it is skipped only when it is there.
constexpr size_t kOleHeaderBytes = 78;

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

bool HasOleHeader(std::string_view bytes) {
  return bytes.size() >= kOleHeaderBytes && static_cast<unsigned char>(bytes[0]) == 0x15 &&
         static_cast<unsigned char>(bytes[1]) == 0x1C;
}

// The type the bytes' signature names, or nullopt.
std::optional<std::string_view> TypeFromSignature(std::string_view bytes) {
  using namespace std::string_view_literals;
  if (StartsWith(bytes, "\x89PNG\r\n\x1a\n"sv)) return "image/png";
  if (StartsWith(bytes, "\xFF\xD8\xFF"sv)) return "image/jpeg";
  if (StartsWith(bytes, "GIF87a"sv) || StartsWith(bytes, "GIF89a"sv)) return "image/gif";
  if (StartsWith(bytes, "BM"sv) && bytes.size() >= 14) return "image/bmp";
  if (StartsWith(bytes, "%PDF-"sv)) return "application/pdf";
  return std::nullopt;
}

// The type for a known extension (lower case); anything else is served as
// opaque bytes, never as a type the browser would run as a page.
std::string_view TypeFromExtension(std::string_view ext) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kTypes = {{
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},
      {"bmp", "image/bmp"},
      {"pdf", "application/pdf"},
  }};
  for (const auto& [known, type] : kTypes) {
    if (ext == known) return type;
  }
  return "application/octet-stream";
}

// The extension in lower case when it is a short run of letters and
// digits; "" otherwise, so the query value cannot reach a header as is.
std::string SafeExtension(std::string_view ext) {
  if (ext.empty() || ext.size() > 10) return {};
  std::string out;
  for (char c : ext) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      out.push_back(AsciiLowerChar(c));
    } else {
      return {};
    }
  }
  return out;
}

// A 0-based index written as plain decimal digits, or nullopt.
std::optional<int64_t> ParseIndex(std::string_view text) {
  int64_t value = 0;
  if (text.empty() || text.size() > 18) return std::nullopt;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

bool IsBinaryType(int32_t type) {
  return type == kAdBinary || type == kAdVarBinary || type == kAdLongVarBinary;
}

// Whether opening the connection string can create nothing: it parses, and
// it does not ask for a missing database file to be made.
bool OpensWithoutCreating(const std::string& connection_string) {
  try {
    return !data::AsksToCreateDatabase(data::ConnectionString::Parse(connection_string));
  } catch (const Error&) {
    return false;  // malformed: refused, and its parse message is not shown
  }
}

}  // namespace

bool ServeFieldDownload(GridObject& g) {
  const Request& request = *g.host.request;
  if (request.QueryString("a") != "i") return false;
  Response& response = *g.host.response;
  constexpr char kBadLink[] = "The download link is not valid.";

  const std::optional<DownloadTarget> target =
      OpenDownloadLink(request.QueryString(kDownloadTokenKey));
  if (!target || target->command.empty()) RefuseRequest(response, "400 Bad Request", kBadLink);
  // A link serves the session its page was made for, for a working day:
  // replayed without the page's cookie, from another browser or later, it
  // runs nothing.
  if (target->session != g.host.session->SessionID() ||
      target->expires_at < DownloadClockSeconds()) {
    RefuseRequest(response, "403 Forbidden",
                  "The download link has expired or belongs to another session.");
  }
  const std::optional<int64_t> row = ParseIndex(request.QueryString("r"));
  if (!row) RefuseRequest(response, "400 Bad Request", kBadLink);
  if (!OpensWithoutCreating(target->connection_string)) {
    RefuseRequest(response, "400 Bad Request", kBadLink);
  }

  // The engine's messages name the database and quote the command, which
  // the link keeps sealed: a failure is answered with a fixed text.
  Connection connection;
  Recordset rs;
  Variant value;
  bool found = false;
  bool binary = false;
  try {
    connection.Open(target->connection_string);
    rs.Open(target->command, connection, kAdOpenStatic, kAdLockReadOnly, kAdCmdUnspecified);
    if (rs.State() == kAdStateOpen && *row < rs.RecordCount() &&
        target->column < rs.FieldCount()) {
      found = true;
      rs.AbsolutePosition(static_cast<int32_t>(*row + 1));
      const Field field = rs.Fields(target->column);
      binary = IsBinaryType(field.Type());
      if (binary) value = field.Value();
    }
  } catch (const Error&) {
    RefuseRequest(response, "500 Internal Server Error", "The field cannot be read.");
  }
  if (!found) RefuseRequest(response, "404 Not Found", "No such field.");
  if (!binary) RefuseRequest(response, "404 Not Found", "The field holds no file.");
  if (value.IsNull() || !value.IsBinary()) {
    RefuseRequest(response, "404 Not Found", "The field is empty.");
  }

  std::string_view bytes = value.Bytes();
  if (HasOleHeader(bytes)) bytes.remove_prefix(kOleHeaderBytes);
  const std::string ext = SafeExtension(request.QueryString("ext"));
  const std::optional<std::string_view> signature_type = TypeFromSignature(bytes);

  try {
    response.Clear();
  } catch (const Error&) {
    // Ignoring errors on purpose: with buffering off the text is gone already.
  }
  response.Expires(0);
  response.Charset("");
  response.ContentType(signature_type ? *signature_type : TypeFromExtension(ext));
  // Only the bytes' own type is served: the browser must not guess a page
  // out of stored data.
  response.AddHeader("X-Content-Type-Options", "nosniff");
  if (!ext.empty()) {
    response.AddHeader("Content-Disposition", "attachment; filename=file." + ext);
  }
  response.BinaryWrite(bytes);
  response.End();
}

}  // namespace fennick
