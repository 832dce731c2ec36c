// Texts carried inside the designer: the default locale file and the
// catalogue stylesheet.
#ifndef FENNICK_DESIGNER_DESIGNER_RESOURCES_H_
#define FENNICK_DESIGNER_DESIGNER_RESOURCES_H_

#include <string_view>

namespace fennick::designer {

// The default (English) locale file, UTF-8, written out when a page's
// locale file does not exist yet.
std::string_view DefaultLocaleText();

// The catalogue stylesheet: the catalogue's list document (groups and
// reports with their links, the page's switches on the root) to the HTML
// table of groups and reports.
std::string_view CatalogueStylesheetText();

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_DESIGNER_RESOURCES_H_
