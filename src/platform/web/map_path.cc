// Server.MapPath: virtual paths of the site to physical paths inside it.
#include <vector>

#include "fennick/error.h"
#include "fennick/page.h"
#include "platform/web/http_text.h"

namespace fennick {

std::filesystem::path Server::MapPath(std::string_view virtual_path) const {
  // Escapes may hide dots and slashes ("%2e%2e%2f"), so the path is decoded
  // before its segments are resolved.
  std::string path = UrlDecode(virtual_path, false);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.find('\0') != std::string::npos) {
    throw Error(kErrInvalidCall, "Server.MapPath: invalid character in path",
                "Server.MapPath");
  }
  std::string base;
  if (path.empty() || path[0] != '/') {
    // Relative to the folder of the page being served.
    size_t slash = page_url_.rfind('/');
    base = slash == std::string::npos ? "/" : page_url_.substr(0, slash + 1);
  }
  std::string full = base + path;

  std::vector<std::string_view> segments;
  std::string_view rest = full;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view seg = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      if (segments.empty()) {
        throw Error(kErrInvalidCall,
                    "Server.MapPath: the path '" + std::string(virtual_path) +
                        "' leaves the site folder",
                    "Server.MapPath");
      }
      segments.pop_back();
      continue;
    }
    segments.push_back(seg);
  }
  std::filesystem::path out = site_root_;
  for (std::string_view seg : segments) out /= std::string(seg);
  return out;
}

}  // namespace fennick
