// Files inside the site that the static file handler never serves.
//
// The report designer keeps its reports file (every report definition and
// password) and its locale files as .xml files, by default in the page's
// folder, and delivery schedules beside the reports file. The static
// handler asks IsPrivateFile before it sends a file:
// an .xml file whose root element is "quillon", "Locale" or
// "quillonSchedules" is refused, and
// so is any file a designer object has used (MarkPrivateFile), whatever
// its content. Thread-safe.
#ifndef FENNICK_PLATFORM_WEB_PRIVATE_FILES_H_
#define FENNICK_PLATFORM_WEB_PRIVATE_FILES_H_

#include <filesystem>
#include <string_view>

namespace fennick {

// Remembers `path` (made canonical) as never to be served, for the life of
// the process.
void MarkPrivateFile(const std::filesystem::path& path);

// Whether the file at canonical path `path`, holding `content`, must not be
// served.
bool IsPrivateFile(const std::filesystem::path& path, std::string_view content);

// The name of the first element of an XML text (after the declaration,
// comments, processing instructions and a doctype); "" when there is none.
std::string_view XmlRootName(std::string_view content);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_PRIVATE_FILES_H_
