// Choosing, reading and extending locale files.
#include "designer/locale_file.h"

#include <fstream>
#include <sstream>

#include "base/ascii.h"
#include "designer/designer_resources.h"
#include "designer/file_lock.h"
#include "platform/xml/xml_document.h"

namespace fennick::designer {
namespace {

namespace fs = std::filesystem;

bool AllAsciiLetters(std::string_view text) {
  for (char c : text) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  }
  return true;
}

std::optional<std::string> ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string LanguageSuffix(std::string_view accept_language) {
  std::string_view lang = accept_language;
  lang = lang.substr(0, lang.find(','));
  lang = lang.substr(0, lang.find('-'));
  // Blanks and ";q=" weights are not letters: such a value gives no suffix
  // rather than a strange file name.
  if (lang.empty() || lang.size() > 8 || !AllAsciiLetters(lang)) return std::string();
  return "_" + std::string(lang);
}

DetectedLocale DetectLocaleFile(const fs::path& folder, std::string_view accept_language) {
  const std::string suffix = LanguageSuffix(accept_language);
  DetectedLocale out;
  if (!suffix.empty()) {
    fs::path candidate = folder / ("locale" + suffix + ".xml");
    std::error_code ec;
    if (fs::exists(candidate, ec)) {
      out.path = candidate;
      out.from_request = true;
      return out;
    }
  }
  out.path = folder / "locale.xml";
  return out;
}

LocaleTexts LoadLocaleTexts(const fs::path& path, bool may_create) {
  LocaleTexts out;
  std::optional<std::string> text = ReadText(path);
  if (!text && may_create) {
    ExclusiveFileLock lock(path);
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      std::string error = WriteFileAtomically(path, DefaultLocaleText());
      if (!error.empty()) {
        // The texts are still known; the page just cannot keep them.
        text = std::string(DefaultLocaleText());
      }
    }
    if (!text) text = ReadText(path);
  }
  if (!text) {
    out.error = "The file does not exist";
    return out;
  }
  XmlParseResult parsed = XmlDocument::Parse(*text);
  if (!parsed.ok()) {
    out.error = parsed.error;
    return out;
  }
  for (const XmlNode& node : parsed.document.Root().Elements()) {
    out.texts.emplace_back(node.Name(), std::string(TrimSpace(node.Text())));
  }
  return out;
}

std::string ReadLocaleText(const fs::path& path, std::string_view name,
                           std::string_view fallback, std::string* error) {
  if (path.empty()) return std::string(fallback);
  std::error_code ec;
  if (!fs::exists(path, ec)) return std::string(fallback);
  ExclusiveFileLock lock(path);
  std::optional<std::string> text = ReadText(path);
  if (!text) return std::string(fallback);
  XmlParseResult parsed = XmlDocument::Parse(*text);
  if (!parsed.ok()) {
    if (error) *error = parsed.error;
    return std::string(fallback);
  }
  // Element names are matched exactly; a name that is no XML name can be in
  // no file and is not added.
  for (const XmlNode& node : parsed.document.Root().Elements()) {
    if (node.Name() == name) return node.Text();
  }
  const bool plain_name = !name.empty() && AllAsciiLetters(name.substr(0, 1)) &&
                          name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-.") ==
                              std::string_view::npos;
  if (!plain_name) return std::string(fallback);
  XmlNode added = parsed.document.Root().AppendElement(name);
  added.SetText(fallback);
  std::string written = WriteFileAtomically(path, parsed.document.Serialize());
  if (!written.empty() && error) *error = written;
  return std::string(fallback);
}

}  // namespace fennick::designer
