// The sealed token of a binary cell's download link.
//
// One token per column holds everything the download request will run:
// the command, the connection string and the column index, sealed together
// for the field-download purpose. The link carries only this token beside
// "a=i", "ext" and the row number "r", so none of its parts can be
// replaced, recombined with another link's, or taken from another sealed
// field, and no column the grid did not link can be asked for.
#ifndef FENNICK_GRID_DOWNLOAD_LINK_H_
#define FENNICK_GRID_DOWNLOAD_LINK_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace fennick {

// The query key of the token in the link.
inline constexpr char kDownloadTokenKey[] = "cell";

struct DownloadTarget {
  std::string command;
  std::string connection_string;
  size_t column = 0;  // 0-based field index in the command's result
};

// The token for a column's cells (URL-safe as it is). Raises an Error when
// no server secret is installed.
std::string SealDownloadLink(std::string_view command, std::string_view connection_string,
                             size_t column);

// What a token holds, or nullopt when it does not open as a download link
// made by this server (forged, tampered, another purpose's, malformed).
std::optional<DownloadTarget> OpenDownloadLink(std::string_view token);

}  // namespace fennick

#endif  // FENNICK_GRID_DOWNLOAD_LINK_H_
