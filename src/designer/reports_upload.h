// An uploaded reports file, read as data and never as a document.
//
// The import page hands the upload's text here before anything else
// happens. It is refused whole when it is larger than kMaxUploadBytes,
// holds a document type declaration (no DTD, so no entities, ever reaches
// the parser), is not UTF-8, ASCII or ISO-8859-1 text, does not parse, is
// not a reports file of version 2, or holds an attribute or text over its
// cap. Only the known elements (group, report) and their known attributes
// are taken; everything else in the upload is dropped. The reports file
// later rebuilds each element from these values alone.
//
// Caps (bytes): a report's args 64 KB, title 1 KB, description 16 KB; a
// group's title 1 KB; ids, groups, dates, addresses and user names 256.
//
// Plain value code: thread-compatible, no page, no file.
#ifndef FENNICK_DESIGNER_REPORTS_UPLOAD_H_
#define FENNICK_DESIGNER_REPORTS_UPLOAD_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::designer {

inline constexpr size_t kMaxUploadBytes = 4 * 1024 * 1024;
inline constexpr size_t kMaxArgsBytes = 64 * 1024;
inline constexpr size_t kMaxTitleBytes = 1024;
inline constexpr size_t kMaxDescriptionBytes = 16 * 1024;
inline constexpr size_t kMaxShortAttributeBytes = 256;

struct UploadedGroup {
  std::string id;  // trimmed, upper case
  std::string title;
};

// A report of the upload: the reports file's attributes, without "query"
// (a stored statement is never run; imported reports store none, as the
// builder's do).
struct UploadedReport {
  std::string id;     // trimmed, upper case
  std::string group;  // trimmed, upper case
  std::string args, title, added, modified, ip, createdby, modifiedby;
  std::string description;
};

struct UploadedReports {
  std::vector<UploadedGroup> groups;
  std::vector<UploadedReport> reports;
  std::string error;       // why the upload is refused whole; "" when read
  bool too_large = false;  // refused for its size alone
  bool ok() const { return error.empty(); }
};

UploadedReports ReadUploadedReports(std::string_view text);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_REPORTS_UPLOAD_H_
