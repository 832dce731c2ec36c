// What a request path may reach in the site folder: decoding the target
// into a path below the site root, refusing hidden and dot segments, the
// private data/ folder however it is spelled or linked to, and the content
// types of the static files the host serves. Thread-safe.
#ifndef FENNICK_PLATFORM_WEB_SITE_PATHS_H_
#define FENNICK_PLATFORM_WEB_SITE_PATHS_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace fennick {

// The Content-Type of a static file the host serves, by its extension;
// nullptr for a file that is never served.
const char* StaticContentType(std::string_view path);
// Decodes the path of a request target, refusing control characters and
// backslashes (nullopt). Runs of "/" become one: every path is then a path
// below the site root, never one that a file-system join would read as
// absolute ("//srv/site/data").
std::optional<std::string> DecodePath(std::string_view target);
// Whether any segment of a decoded path is "..", ".", or hidden (".git").
bool HasUnsafeSegment(std::string_view path);
// Whether a request path reaches the site's private folder data/: by its
// spelling ("/data" and "/data/..." in any case), or through a symbolic
// link anywhere on the way whose target lies in data/. A path that cannot
// be resolved counts as private.
bool IsDataPath(const std::filesystem::path& site_root, std::string_view path);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_SITE_PATHS_H_
