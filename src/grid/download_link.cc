// Sealing and opening a binary cell's download token.
#include "grid/download_link.h"

#include <charconv>
#include <chrono>
#include <vector>

#include "platform/crypto/seal.h"

namespace fennick {
namespace {

template <class Number>
bool ParseWhole(const std::string& text, Number& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string SealDownloadLink(std::string_view command, std::string_view connection_string,
                             size_t column, std::string_view session, int64_t expires_at) {
  const std::string index = std::to_string(column);
  const std::string expiry = std::to_string(expires_at);
  return SealParts(SealPurpose::kFieldDownload,
                   {command, connection_string, index, session, expiry});
}

std::optional<DownloadTarget> OpenDownloadLink(std::string_view token) {
  std::optional<std::vector<std::string>> parts =
      OpenSealedParts(SealPurpose::kFieldDownload, token, 5);
  if (!parts) return std::nullopt;
  DownloadTarget target;
  if (!ParseWhole((*parts)[2], target.column) || !ParseWhole((*parts)[4], target.expires_at)) {
    return std::nullopt;
  }
  target.command = std::move((*parts)[0]);
  target.connection_string = std::move((*parts)[1]);
  target.session = std::move((*parts)[3]);
  return target;
}

int64_t DownloadClockSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace fennick
