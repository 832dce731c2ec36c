// Unique export file names and the cleanup of old export files.
#include "export/export_files.h"

#include <array>
#include <random>
#include <system_error>

namespace fennick {

std::string NewExportFileBase() {
  // std::random_device reads the kernel's random source on Linux.
  static thread_local std::random_device device;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = kExportFilePrefix;
  for (int word = 0; word < 4; ++word) {
    uint32_t bits = device();
    for (int nibble = 0; nibble < 8; ++nibble) {
      name.push_back(kHex[bits & 15]);
      bits >>= 4;
    }
  }
  return name;
}

bool IsExportFileName(std::string_view file_name) {
  const std::string_view prefix = kExportFilePrefix;
  if (file_name.substr(0, prefix.size()) != prefix) return false;
  std::string_view rest = file_name.substr(prefix.size());
  if (rest.size() < 33) return false;
  for (char c : rest.substr(0, 32)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  static constexpr std::array<std::string_view, 6> kExtensions = {".xls", ".doc", ".csv",
                                                                  ".xml", ".txt", ".html"};
  std::string_view extension = rest.substr(32);
  for (std::string_view known : kExtensions) {
    if (extension == known) return true;
  }
  return false;
}

int RemoveOldExportFiles(const std::filesystem::path& folder, std::chrono::seconds max_age) {
  int removed = 0;
  std::error_code error;
  const auto now = std::filesystem::file_time_type::clock::now();
  std::filesystem::directory_iterator it(folder, error);
  if (error) return 0;  // no folder, nothing to clean
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (error) break;
    const std::filesystem::directory_entry& entry = *it;
    // A symbolic link or folder with an export-like name is not ours.
    if (!entry.is_regular_file(error) || entry.is_symlink(error)) continue;
    if (!IsExportFileName(entry.path().filename().string())) continue;
    auto written = entry.last_write_time(error);
    if (error || now - written < max_age) continue;
    if (std::filesystem::remove(entry.path(), error)) ++removed;
  }
  return removed;
}

}  // namespace fennick
