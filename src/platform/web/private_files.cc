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
      // A doctype, possibly with an internal subset in brackets.
      size_t bracket = text.find('[', lt);
      size_t gt = text.find('>', lt);
      if (bracket != std::string_view::npos && bracket < gt) {
        close = text.find("]>", bracket);
        if (close != std::string_view::npos) close += 2;
      } else {
        close = gt == std::string_view::npos ? gt : gt + 1;
      }
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
  return root == "quillon" || root == "Locale";
}

}  // namespace fennick
