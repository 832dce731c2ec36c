// Page templates: an .asp file of the site turned into one JavaScript
// function.
//
// A page is literal text with script blocks: `<% code %>`, `<%= expression %>`
// and directives `<%@ Language="JScript" %>`, plus server-side includes
// `<!-- #include file="..." -->` (relative to the including file) and
// `<!-- #include virtual="..." -->` (relative to the site root). The
// translator turns it into the source of one function
//
//   function (__fnkw) { ...the page... }
//
// where literal text becomes calls of __fnkw (the page's output) with the text
// unchanged, code blocks are copied as they stand and expression blocks become
// __fnkw(expression); classic assignments (`Session("k") = v`) in the code
// become setter calls (classic_assignment.h). Every generated line remembers
// the file and line it came from, so errors name lines of the .asp files,
// includes too.
//
// Includes stay inside the site folder (symbolic links resolved) and out of
// its data/ folder; an include cycle is an error. JScript is the one script
// language: a page asking for VBScript is refused with its line.
//
// Pure functions over the file system; thread-safe.
#ifndef FENNICK_PLATFORM_SCRIPT_PAGE_TEMPLATE_H_
#define FENNICK_PLATFORM_SCRIPT_PAGE_TEMPLATE_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// What a file looked like when it was read: enough to notice a change on
// disk without reading it again.
struct FileStamp {
  bool exists = false;
  int64_t modified_ns = 0;
  uint64_t size = 0;
  uint64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampFile(const std::filesystem::path& file);

// A position in the page's files: files[file] of the translation, line from 1.
struct SourcePos {
  uint32_t file = 0;
  uint32_t line = 1;
};

struct TemplateFile {
  std::filesystem::path path;  // physical, canonical
  std::string virtual_path;    // "/inc/header.inc"
  FileStamp stamp;             // as read; exists == false for a missing include
};

// A translated page.
struct PageSource {
  // "function (__fnkw) {\n...\n}", the page as one function expression.
  std::string script;
  // Source position of each generated line: lines[0] is line 1 of script.
  std::vector<SourcePos> lines;
  // files[0] is the page; then every include read (or looked for).
  std::vector<TemplateFile> files;
  // Directive values; 0 when the page does not set them.
  int32_t code_page = 0;
  int32_t lcid = 0;

  // The source position of a generated line (from 1); the page's first line
  // for lines outside the script.
  SourcePos Map(int64_t generated_line) const;
};

// Why a page could not be translated, and where.
struct TemplateError {
  std::string file;  // virtual path
  uint32_t line = 0;
  std::string message;
};

struct TranslateResult {
  std::optional<PageSource> page;
  TemplateError error;  // when !ok()
  // Every file read or looked for, also when translation failed, so that a
  // cached failure is retried once one of them changes.
  std::vector<TemplateFile> files;
  bool ok() const { return page.has_value(); }
};

// Translates the page `file` of the site at `site_root` (both canonical).
TranslateResult TranslatePage(const std::filesystem::path& site_root,
                              const std::filesystem::path& file);

// The site-relative virtual path of a physical path under site_root
// ("/orders.asp").
std::string VirtualPathOf(const std::filesystem::path& site_root,
                          const std::filesystem::path& file);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_PAGE_TEMPLATE_H_
