// The sealed token of a binary cell's download link.
//
// One token per column holds everything the download request will run:
// the command, the connection string and the column index, sealed together
// for the field-download purpose with the browser session the page was
// made for and the moment the token expires. The link carries only this
// token beside "a=i", "ext" and the row number "r", so none of its parts
// can be replaced, recombined with another link's, or taken from another
// sealed field, no column the grid did not link can be asked for, and a
// link copied out of the page serves nobody else and not forever.
#ifndef FENNICK_GRID_DOWNLOAD_LINK_H_
#define FENNICK_GRID_DOWNLOAD_LINK_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fennick {

// The query key of the token in the link.
inline constexpr char kDownloadTokenKey[] = "cell";

struct DownloadTarget {
  std::string command;
  std::string connection_string;
  size_t column = 0;       // 0-based field index in the command's result
  std::string session;     // the session the link was made for
  int64_t expires_at = 0;  // seconds since the epoch
};

// The token for a column's cells (URL-safe as it is), good for `session`
// until `expires_at` (seconds since the epoch). Raises an Error when no
// server secret is installed.
std::string SealDownloadLink(std::string_view command, std::string_view connection_string,
                             size_t column, std::string_view session, int64_t expires_at);

// What a token holds, or nullopt when it does not open as a download link
// made by this server (forged, tampered, another purpose's, malformed).
// Whether it is still good for the request's session is the caller's
// check (DownloadTarget::session, expires_at).
std::optional<DownloadTarget> OpenDownloadLink(std::string_view token);

// Seconds since the epoch, as expires_at counts them.
int64_t DownloadClockSeconds();

}  // namespace fennick

#endif  // FENNICK_GRID_DOWNLOAD_LINK_H_
