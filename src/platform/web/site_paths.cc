// Request paths against the site folder.
#include "platform/web/site_paths.h"

#include "base/ascii.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

struct ContentTypeEntry {
  const char* extension;
  const char* type;
};

// Static files the host serves: page assets and export documents.
constexpr ContentTypeEntry kStaticTypes[] = {
    {".html", "text/html; charset=utf-8"}, {".htm", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},   {".js", "text/javascript; charset=utf-8"},
    {".png", "image/png"},                 {".gif", "image/gif"},
    {".jpg", "image/jpeg"},                {".jpeg", "image/jpeg"},
    {".svg", "image/svg+xml"},             {".ico", "image/x-icon"},
    {".webp", "image/webp"},               {".bmp", "image/bmp"},
    {".woff", "font/woff"},                {".woff2", "font/woff2"},
    {".ttf", "font/ttf"},                  {".otf", "font/otf"},
    {".eot", "application/vnd.ms-fontobject"},
    {".xls", "application/vnd.ms-excel"},  {".doc", "application/msword"},
    {".csv", "text/csv; charset=utf-8"},   {".xml", "text/xml; charset=utf-8"},
    {".txt", "text/plain; charset=utf-8"},
};

// Whether `path` is `folder` or lies inside it (both absolute, normalised).
bool IsWithin(const std::filesystem::path& path, const std::filesystem::path& folder) {
  const std::string& p = path.native();
  const std::string& f = folder.native();
  return p.compare(0, f.size(), f) == 0 && (p.size() == f.size() || p[f.size()] == '/');
}

}  // namespace

const char* StaticContentType(std::string_view path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
    return nullptr;
  std::string ext = AsciiLower(path.substr(dot));
  for (const auto& entry : kStaticTypes) {
    if (ext == entry.extension) return entry.type;
  }
  return nullptr;
}

std::optional<std::string> DecodePath(std::string_view target) {
  std::string_view raw = target.substr(0, target.find('?'));
  std::string decoded = UrlDecode(raw, false);
  if (decoded.empty() || decoded[0] != '/') return std::nullopt;
  std::string path;
  path.reserve(decoded.size());
  for (unsigned char c : decoded) {
    if (c < 0x20 || c == 0x7f || c == '\\') return std::nullopt;
    if (c == '/' && !path.empty() && path.back() == '/') continue;
    path.push_back(static_cast<char>(c));
  }
  return path;
}

bool HasUnsafeSegment(std::string_view path) {
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view seg = path.substr(start, end - start);
    if (!seg.empty() && seg[0] == '.') return true;
    start = end + 1;
  }
  return false;
}

// The resolved path is checked against the real folder data/ is, wherever
// that is.
bool IsDataPath(const std::filesystem::path& site_root, std::string_view path) {
  std::string lower = AsciiLower(path.substr(0, 5));
  if (lower == "/data" && (path.size() == 5 || path[5] == '/')) return true;
  std::error_code ec;
  const std::filesystem::path real =
      std::filesystem::weakly_canonical(site_root / std::string(path.substr(1)), ec);
  // A path that cannot be resolved is not served: refusing it is safe.
  if (ec) return true;
  const std::filesystem::path data = std::filesystem::weakly_canonical(site_root / "data", ec);
  if (ec || IsWithin(real, data)) return true;
  if (!IsWithin(real, site_root)) return false;
  const std::filesystem::path inside = real.lexically_relative(site_root);
  return !inside.empty() && AsciiLower(inside.begin()->native()) == "data";
}

}  // namespace fennick
