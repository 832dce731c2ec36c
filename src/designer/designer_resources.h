// Texts carried inside the designer: the default locale file, the
// catalogue stylesheet and the built-in style sheet of its pages.
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

// The CSS the designer's pages carry when the site has no style sheet of
// its own (Quillon2::StyleSheetHtml). Its rules have no weight, so any
// rule of a page's own style sheet wins.
std::string_view DefaultStyleSheetText();

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_DESIGNER_RESOURCES_H_
