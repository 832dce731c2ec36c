// Locale files: the texts the designer's pages and grids show, one element
// per text under a root "Locale".
//
// The file can be named by the page or chosen from the browser's language.
// The language comes from the request, so it is trusted with nothing: only
// a suffix of 1 to 8 ASCII letters ever becomes part of a file name, a
// detected file that does not exist falls back to the folder's default
// locale.xml, and no file named from the request is ever created. Files
// that are written (the default locale, keys added by ReadLocaleText) are
// changed under the designer's file lock and replaced atomically. Plain
// functions over paths; thread-safe.
#ifndef FENNICK_DESIGNER_LOCALE_FILE_H_
#define FENNICK_DESIGNER_LOCALE_FILE_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fennick::designer {

// The language suffix for an Accept-Language value: the first language, cut
// before its first "-", with "_" in front ("fr-CA,fr;q=0.8" gives "_fr");
// "" when there is none or it is not 1 to 8 ASCII letters. Letter case is
// kept.
std::string LanguageSuffix(std::string_view accept_language);

// The locale file for a request: folder / ("locale" + suffix + ".xml"), or
// folder / "locale.xml" when that file does not exist. `from_request` tells
// whether the path came from the request (and so may not be created).
struct DetectedLocale {
  std::filesystem::path path;
  bool from_request = false;
};
DetectedLocale DetectLocaleFile(const std::filesystem::path& folder,
                                std::string_view accept_language);

// The texts of a locale file in document order: each child element of the
// root, its name and its text trimmed (comments and text nodes skipped).
struct LocaleTexts {
  std::vector<std::pair<std::string, std::string>> texts;
  std::string error;  // the parser's reason; "" when the file was read
  bool ok() const { return error.empty(); }
};

// Reads `path`. A missing file is first written from the default locale
// when `may_create` is true; otherwise it is an error.
LocaleTexts LoadLocaleTexts(const std::filesystem::path& path, bool may_create);

// The text of the first element named exactly `name` (case-sensitive), or
// `fallback`. When the file has no such element, one is added to the root
// element with `fallback` as its text and the file saved, so the file gains
// every key asked for. A missing or broken file gives `fallback` and is not
// written; `error` then holds the reason (a missing file is no error).
std::string ReadLocaleText(const std::filesystem::path& path, std::string_view name,
                           std::string_view fallback, std::string* error);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_LOCALE_FILE_H_
