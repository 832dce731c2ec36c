// Sealing and opening a binary cell's download token.
#include "grid/download_link.h"

#include <charconv>
#include <vector>

#include "platform/crypto/seal.h"

namespace fennick {

std::string SealDownloadLink(std::string_view command, std::string_view connection_string,
                             size_t column) {
  const std::string index = std::to_string(column);
  return SealParts(SealPurpose::kFieldDownload, {command, connection_string, index});
}

std::optional<DownloadTarget> OpenDownloadLink(std::string_view token) {
  std::optional<std::vector<std::string>> parts =
      OpenSealedParts(SealPurpose::kFieldDownload, token, 3);
  if (!parts) return std::nullopt;
  DownloadTarget target;
  const std::string& index = (*parts)[2];
  const auto [end, ec] = std::from_chars(index.data(), index.data() + index.size(), target.column);
  if (index.empty() || ec != std::errc() || end != index.data() + index.size()) {
    return std::nullopt;
  }
  target.command = std::move((*parts)[0]);
  target.connection_string = std::move((*parts)[1]);
  return target;
}

}  // namespace fennick
