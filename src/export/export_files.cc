// Unique export file names, export files and the cleanup of old ones.
#include "export/export_files.h"

#include <array>
#include <cerrno>
#include <random>
#include <system_error>

#include "fennick/error.h"

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
  static constexpr std::array<std::string_view, 8> kExtensions = {
      ".xls", ".doc", ".csv", ".xml", ".txt", ".html", ".xlsx", ".pdf"};
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

ExportFileWriter::ExportFileWriter(std::filesystem::path path) : path_(std::move(path)) {
  file_ = std::fopen(path_.c_str(), "wb");
  if (file_ == nullptr) Fail(errno);
}

ExportFileWriter::~ExportFileWriter() {
  if (file_ != nullptr) std::fclose(file_);
  if (!committed_) {
    std::error_code ignored;  // a file that cannot be removed is left to the cleanup
    std::filesystem::remove(path_, ignored);
  }
}

void ExportFileWriter::Write(std::string_view bytes) {
  if (bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) Fail(errno);
}

void ExportFileWriter::Commit() {
  std::FILE* file = file_;
  file_ = nullptr;
  // fclose flushes; a full disk often shows only here.
  if (std::fflush(file) != 0) {
    const int error = errno;
    std::fclose(file);
    Fail(error);
  }
  if (std::fclose(file) != 0) Fail(errno);
  committed_ = true;
}

void ExportFileWriter::Fail(int error) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
  throw Error(kErrInvalidCall,
              "The export file '" + path_.filename().string() + "' could not be written: " +
                  std::generic_category().message(error != 0 ? error : EIO),
              "Fennick.Export");
}

}  // namespace fennick
