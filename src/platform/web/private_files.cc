// The registry of private files and the root-element sniffing.
#include "platform/web/private_files.h"

#include <mutex>
#include <set>
#include <string>

#include "base/ascii.h"

namespace fennick {
namespace {

std::mutex registry_mutex;
std::set<std::string> private_paths;  // GUARDED_BY(registry_mutex)

std::string Key(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  return (ec ? path : canonical).string();
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '-' || c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

// The end of the doctype that starts at `lt`, or npos. Its internal subset
// may hold quoted literals, comments and processing instructions with any
// of "[", "]" and ">" inside; only the ">" outside all of them ends it.
size_t SkipDoctype(std::string_view text, size_t lt) {
  int depth = 0;
  char quote = 0;
  for (size_t j = lt + 2; j < text.size(); ++j) {
    const char c = text[j];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (depth > 0 && text.substr(j, 4) == "<!--") {
      j = text.find("-->", j + 4);
      if (j == std::string_view::npos) return j;
      j += 2;
    } else if (depth > 0 && text.substr(j, 2) == "<?") {
      j = text.find("?>", j + 2);
      if (j == std::string_view::npos) return j;
      j += 1;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      --depth;
    } else if (c == '>' && depth <= 0) {
      return j + 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

void MarkPrivateFile(const std::filesystem::path& path) {
  std::string key = Key(path);
  std::lock_guard<std::mutex> guard(registry_mutex);
  private_paths.insert(std::move(key));
}

std::string_view XmlRootName(std::string_view text) {
  // A byte order mark may lead.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t i = 0;
  while (i < text.size()) {
    size_t lt = text.find('<', i);
    if (lt == std::string_view::npos || lt + 1 >= text.size()) return {};
    std::string_view rest = text.substr(lt);
    size_t close = std::string_view::npos;
    if (rest.substr(0, 4) == "<!--") {
      close = text.find("-->", lt + 4);
      if (close != std::string_view::npos) close += 3;
    } else if (rest.substr(0, 2) == "<?") {
      close = text.find("?>", lt + 2);
      if (close != std::string_view::npos) close += 2;
    } else if (rest.substr(0, 2) == "<!") {
      close = SkipDoctype(text, lt);
    } else {
      size_t end = lt + 1;
      while (end < text.size() && IsNameChar(text[end])) ++end;
      std::string_view name = text.substr(lt + 1, end - lt - 1);
      // A prefixed root ("q:quillon") is named by its local part.
      size_t colon = name.rfind(':');
      return colon == std::string_view::npos ? name : name.substr(colon + 1);
    }
    if (close == std::string_view::npos) return {};
    i = close;
  }
  return {};
}

bool IsPrivateFile(const std::filesystem::path& path, std::string_view content) {
  {
    std::lock_guard<std::mutex> guard(registry_mutex);
    if (private_paths.count(Key(path))) return true;
  }
  if (!EndsWithIgnoreCase(path.native(), ".xml")) return false;
  std::string_view root = XmlRootName(content);
  return root == "quillon" || root == "Locale" || root == "quillonSchedules";
}

}  // namespace fennick
