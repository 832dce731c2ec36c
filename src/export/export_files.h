// Export files in the site's temporary folder: their unique names, their
// writing, and the removal of old ones.
//
// Every export written in file mode gets its own name, a fixed prefix and
// 128 random bits in hex, so two users never share (or guess) a file. The
// cleanup removes only names of exactly that shape with an export
// extension, because the folder is the page's choice and may hold anything.
#ifndef FENNICK_EXPORT_EXPORT_FILES_H_
#define FENNICK_EXPORT_EXPORT_FILES_H_

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace fennick {

inline constexpr char kExportFilePrefix[] = "fnkexport";

// A fresh file-name base: the prefix and 32 lower-case hex characters.
std::string NewExportFileBase();

// Whether `file_name` (no folder) is one NewExportFileBase made, with an
// export extension (xls, doc, csv, xml, txt, html, xlsx, pdf).
bool IsExportFileName(std::string_view file_name);

// Removes the export files in `folder` last written more than `max_age`
// ago; returns how many were removed. Errors are ignored (a file another
// request removes first, a folder that does not exist).
int RemoveOldExportFiles(const std::filesystem::path& folder, std::chrono::seconds max_age);

// One export file being written, a piece at a time. Whatever stops the
// writing before Commit (a full disk, an error of the rows, an exception)
// leaves no file behind: the destructor removes it. Errors are raised as
// fennick::Error with the system's reason and the file's name, never its
// folder on the server. Not thread-safe.
class ExportFileWriter {
 public:
  // Creates (or empties) the file at `path`.
  explicit ExportFileWriter(std::filesystem::path path);
  ~ExportFileWriter();
  ExportFileWriter(const ExportFileWriter&) = delete;
  ExportFileWriter& operator=(const ExportFileWriter&) = delete;

  void Write(std::string_view bytes);
  // Flushes and closes the file, which then stays.
  void Commit();

 private:
  [[noreturn]] void Fail(int error);

  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

}  // namespace fennick

#endif  // FENNICK_EXPORT_EXPORT_FILES_H_
