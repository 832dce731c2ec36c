// Which locale formatting runs in: Windows locale identifiers (LCIDs, as a
// page sets Response.LCID) mapped to ICU locale names, and the locale of the
// page being served.
#include <unicode/uloc.h>

#include <string>
#include <string_view>

#include "fennick/page.h"
#include "platform/intl/format.h"
#include "platform/intl/icu_support.h"

namespace fennick::intl {

std::string LocaleForLcid(int32_t lcid) {
  // 0 is "no locale" to a page (ICU would answer with its root locale).
  if (lcid <= 0) return "";
  char name[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = uloc_getLocaleForLCID(static_cast<uint32_t>(lcid), name,
                                         sizeof name, &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0) {
    return "";
  }
  // Some LCIDs only select a sort order (1034 is Spanish with the traditional
  // collation); formatting needs the language and country alone.
  icu::Locale locale(name);
  if (locale.isBogus() || *locale.getLanguage() == '\0') return "";
  return locale.getBaseName();
}

std::string CurrentLocale() {
  PageContext* page = CurrentPage();
  if (page == nullptr) return "en_US";
  if (int32_t lcid = page->response().LCID(); lcid != 0) {
    // The grid asks once per cell, so the last answer is kept per thread.
    thread_local int32_t last_lcid = 0;
    thread_local std::string last_name;
    if (lcid != last_lcid) {
      last_name = LocaleForLcid(lcid);
      last_lcid = lcid;
    }
    if (!last_name.empty()) return last_name;
  }
  const std::string& server_locale = page->server().Locale();
  return server_locale.empty() ? "en_US" : server_locale;
}

namespace detail {

std::string EffectiveLocale(std::string_view locale) {
  return locale.empty() ? CurrentLocale() : std::string(locale);
}

icu::Locale ToIcuLocale(std::string_view locale) {
  // createCanonical accepts the forms a server is configured with: "en_US",
  // "en-US" and the POSIX "en_US.UTF-8".
  return icu::Locale::createCanonical(std::string(locale).c_str());
}

}  // namespace detail
}  // namespace fennick::intl
