// The pages the web host answers with itself: short status pages (refusals,
// "not found", "sessions unavailable") and the error block that shows an
// error escaping a page. Pure functions, thread-safe.
#ifndef FENNICK_PLATFORM_WEB_HOST_PAGES_H_
#define FENNICK_PLATFORM_WEB_HOST_PAGES_H_

#include <string>
#include <string_view>

#include "fennick/error.h"

namespace fennick {

// A small HTML page: "<status> <title>" as its title, the title as heading,
// `text` below it; everything encoded.
std::string SimplePage(int status, std::string_view title, std::string_view text);
// The block that shows an error escaping a page: its number (hex and
// decimal), description and source, the source's "<br>" steps kept as
// line breaks and everything else encoded.
std::string ErrorBlock(const Error& e);
// The sentence of a refusal the connection front answers itself (408,
// 413, 414, 431, 501, 503, 505; a generic one otherwise).
const char* RefusalText(int status);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_HOST_PAGES_H_
